#include "result.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>

#include <nlohmann/json.hpp>

#include "plugin_library.h"

namespace ostrivel {

std::string resultJson(const DeformResult& result) {
    using Json = nlohmann::ordered_json;
    Json points = Json::array();
    for (const KxPoint& point : result.points) points.push_back(Json::array({point.x, point.y, point.z}));
    auto widened = [](const std::vector<float>& values) {
        Json list = Json::array();
        for (float value : values) list.push_back(static_cast<double>(value));
        return list;
    };
    Json messages = Json::array();
    for (const hostapi::LoggedMessage& message : result.messages) {
        messages.push_back(
            {{"type", message.kind == hostapi::LoggedMessage::Kind::Error ? "error" : "info"}, {"text", message.text}});
    }
    Json root;
    root["status"] = result.status;
    root["points"] = std::move(points);
    root["uparams"] = widened(result.uparams);
    root["vparams"] = widened(result.vparams);
    root["messages"] = std::move(messages);
    // Non-finite numbers have no JSON form and come out as null; bad UTF-8 in a message
    // is replaced rather than failing the write.
    return root.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

void writeResult(const std::string& path, const DeformResult& result) {
    const std::string text = resultJson(result);
    const std::string temporary = path + ".partial-" + std::to_string(::getpid());
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        file.close();
        if (!file) {
            const std::error_code error(errno, std::generic_category());
            std::remove(temporary.c_str());
            throw HostError("cannot write " + path + ": " + error.message());
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::error_code error(errno, std::generic_category());
        std::remove(temporary.c_str());
        throw HostError("cannot write " + path + ": " + error.message());
    }
}

}  // namespace ostrivel
