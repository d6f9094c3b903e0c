#include "farm_verify.h"

#include <nlohmann/json.hpp>

#include "animate_job.h"
#include "atomic_file.h"
#include "obj_mesh.h"
#include "sha256.h"

namespace ostrivel {

std::string frameFilePath(int frame, int frames) { return "frames/" + frameFileName(frame, frames); }

std::vector<int> missingFrames(const ShotFolder& folder, int frames, const FrameShape& shape) {
    std::vector<int> missing;
    for (int frame = 1; frame <= frames; ++frame) {
        const std::filesystem::path file = folder.root / frameFilePath(frame, frames);
        std::error_code error;
        bool complete = std::filesystem::is_regular_file(file, error);
        if (complete) {
            try {
                const ObjMesh mesh = readObjMesh(file.string());
                complete = mesh.vertices.size() == shape.vertices && mesh.faces.size() == shape.faces;
            } catch (const HostError&) {
                complete = false;
            }
        }
        if (!complete) missing.push_back(frame);
    }
    return missing;
}

void writeManifest(const ShotFolder& folder, int frames) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (int frame = 1; frame <= frames; ++frame) {
        const std::string file = frameFilePath(frame, frames);
        list.push_back({{"frame", frame}, {"file", file}, {"sha256", sha256OfFile((folder.root / file).string())}});
    }
    const nlohmann::ordered_json manifest = {{"frames", frames}, {"files", list}};
    writeFileAtomically(folder.manifest().string(), manifest.dump(2) + "\n");
}

}  // namespace ostrivel
