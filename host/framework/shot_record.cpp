#include "shot_record.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "atomic_file.h"
#include "plugin_library.h"
#include "sha256.h"

namespace ostrivel {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

std::string readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw HostError("cannot read " + path + ": " + std::strerror(errno));
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

namespace {

Json stampJson(const FileStamp& stamp) { return Json{{"path", stamp.path}, {"sha256", stamp.sha256}}; }

FileStamp stampOf(const Json& value) {
    return {value.at("path").get<std::string>(), value.at("sha256").get<std::string>()};
}

}  // namespace

FrozenScene freezeScene(const std::string& scenePath, const std::string& meshPath) {
    FrozenScene frozen;
    frozen.sceneName = fs::path(scenePath).filename().string();
    frozen.sceneText = readBytes(scenePath);
    if (meshPath.empty()) return frozen;
    frozen.meshName = fs::path(meshPath).filename().string();
    frozen.meshText = readBytes(meshPath);
    if (frozen.meshName == frozen.sceneName) frozen.meshName = "points_" + frozen.meshName;
    // The copy names its OBJ beside it; a scene that already does stays byte for byte.
    Json scene = Json::parse(frozen.sceneText);
    if (scene.at("points") != frozen.meshName) {
        scene["points"] = frozen.meshName;
        frozen.sceneText = scene.dump(2) + "\n";
    }
    return frozen;
}

void writeFrozenScene(const ShotFolder& folder, const FrozenScene& frozen, ShotRecord& record) {
    createOutputFolder(folder.sceneDir().string());
    const fs::path scene = fs::path("scene") / frozen.sceneName;
    writeFileAtomically((folder.root / scene).string(), frozen.sceneText);
    record.scene = {scene.string(), sha256OfText(frozen.sceneText)};
    record.mesh = {};
    if (frozen.meshName.empty()) return;
    const fs::path mesh = fs::path("scene") / frozen.meshName;
    writeFileAtomically((folder.root / mesh).string(), frozen.meshText);
    record.mesh = {mesh.string(), sha256OfText(frozen.meshText)};
}

void writeShotRecord(const ShotFolder& folder, const ShotRecord& record) {
    Json json = {{"frames", record.frames},
                 {"chunk", record.chunkSize},
                 {"source", record.source},
                 {"scene", stampJson(record.scene)},
                 {"mesh", record.mesh.path.empty() ? Json(nullptr) : stampJson(record.mesh)},
                 {"binary", stampJson(record.binary)},
                 {"plugin", stampJson(record.plugin)},
                 {"partition", record.partition.empty() ? Json(nullptr) : Json(record.partition)},
                 {"timeLimitMinutes", record.timeLimitMinutes == 0 ? Json(nullptr) : Json(record.timeLimitMinutes)}};
    writeFileAtomically(folder.record().string(), json.dump(2) + "\n");
}

ShotRecord readShotRecord(const ShotFolder& folder) {
    const std::string path = folder.record().string();
    try {
        const Json json = Json::parse(readBytes(path));
        ShotRecord record;
        record.frames = json.at("frames").get<int>();
        record.chunkSize = json.at("chunk").get<int>();
        if (record.frames < 1 || record.chunkSize < 1) throw HostError("frames and chunk must be at least 1");
        record.source = json.at("source").get<std::string>();
        record.scene = stampOf(json.at("scene"));
        if (!json.at("mesh").is_null()) record.mesh = stampOf(json.at("mesh"));
        record.binary = stampOf(json.at("binary"));
        record.plugin = stampOf(json.at("plugin"));
        if (!json.at("partition").is_null()) record.partition = json.at("partition").get<std::string>();
        if (!json.at("timeLimitMinutes").is_null()) record.timeLimitMinutes = json.at("timeLimitMinutes").get<int>();
        return record;
    } catch (const nlohmann::json::exception& error) {
        throw HostError(path + ": not a shot record: " + error.what());
    } catch (const HostError& error) {
        throw HostError(path + ": not a shot record: " + error.what());
    }
}

std::vector<Submission> readSubmissions(const ShotFolder& folder) {
    const std::string path = folder.submissions().string();
    std::error_code error;
    if (!fs::exists(path, error)) return {};
    try {
        std::vector<Submission> submissions;
        for (const Json& entry : Json::parse(readBytes(path)))
            submissions.push_back({entry.at("job").get<std::string>(), entry.at("chunks").get<std::vector<int>>()});
        return submissions;
    } catch (const nlohmann::json::exception& error) {
        throw HostError(path + ": not a list of submissions: " + error.what());
    }
}

void recordSubmission(const ShotFolder& folder, const Submission& submission) {
    std::vector<Submission> submissions = readSubmissions(folder);
    submissions.push_back(submission);
    Json list = Json::array();
    for (const Submission& entry : submissions) list.push_back({{"job", entry.jobId}, {"chunks", entry.chunks}});
    writeFileAtomically(folder.submissions().string(), list.dump(2) + "\n");
}

void checkShotUnchanged(const ShotFolder& folder, const ShotRecord& record, const FileStamp& binary,
                        const FileStamp& plugin) {
    for (const FileStamp* frozen : {&record.scene, &record.mesh}) {
        if (frozen->path.empty()) continue;
        const std::string path = (folder.root / frozen->path).string();
        std::string now;
        try {
            now = sha256OfFile(path);
        } catch (const HostError& error) {
            throw HostError("the frozen shot is damaged: " + std::string(error.what()));
        }
        if (now != frozen->sha256)
            throw HostError("the frozen " + path + " changed after the shot was submitted (its SHA-256 differs "
                            "from shot.json); its frames would not match those already written");
    }
    const auto same = [](const char* what, const FileStamp& recorded, const FileStamp& current) {
        if (recorded.sha256 != current.sha256)
            throw HostError("this " + std::string(what) + " (" + current.path + ") is not the one that started the "
                            "shot (" + recorded.path + ", SHA-256 " + recorded.sha256.substr(0, 12) +
                            "...); its frames might not match those already written");
    };
    same("ostrivel binary", record.binary, binary);
    same("plug-in", record.plugin, plugin);
}

}  // namespace ostrivel
