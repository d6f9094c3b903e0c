#include "result.h"

#include <nlohmann/json.hpp>

#include "atomic_file.h"

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

void writeResult(const std::string& path, const DeformResult& result) { writeFileAtomically(path, resultJson(result)); }

}  // namespace ostrivel
