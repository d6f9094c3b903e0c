#include "bind_job.h"

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "atomic_file.h"
#include "output_paths.h"
#include "scene.h"
#include "scene_run.h"

namespace ostrivel {

namespace {

using Json = nlohmann::ordered_json;

Json widened(const std::vector<float>& values) {
    Json list = Json::array();
    for (float value : values) list.push_back(static_cast<double>(value));  // reads back as the same float
    return list;
}

// An OBJ named relative to the input scene must still be found from the output's folder.
std::string relocatedMeshPath(const std::string& meshPath, const std::string& outPath) {
    namespace fs = std::filesystem;
    const fs::path outFolder = fs::absolute(outPath).parent_path();
    return fs::absolute(meshPath).lexically_proximate(outFolder).string();
}

}  // namespace

std::string nullSurfaceRefusal(const std::string& scenePath) {
    return scenePath + ": surface: null, there is no surface to bind the points to";
}

int runBind(const BindJob& job) {
    requireExtension("--out", job.outPath, {".json"});
    SceneRun run(job.scenePath, job.pluginPath);
    run.refuseOverwritingInputs(job.outPath);
    // The command itself does not check the surface: against a null one it would "bind"
    // every point to made-up parameters and report success.
    if (run.scene().surface.isNull()) throw SceneError(nullSurfaceRefusal(job.scenePath));
    prepareOutputFile(job.outPath);
    {
        Progress binding(job.feedback, "binding " + std::to_string(run.scene().points.size()) + " points");
        if (run.bind() != 0) return 1;
    }

    // The scene was checked by the reader: only the parameters (and a relative mesh path)
    // change; every other field is written back as it was, in the order it was.
    std::ifstream file(job.scenePath);
    Json root = Json::parse(file);
    Json& attributes = root["attributes"];
    if (!attributes.is_object()) attributes = Json::object();
    attributes["uparams"] = widened(run.parameters("uparams"));
    attributes["vparams"] = widened(run.parameters("vparams"));
    if (!run.scene().meshPath.empty()) root["points"] = relocatedMeshPath(run.scene().meshPath, job.outPath);
    writeFileAtomically(job.outPath, root.dump(1) + "\n");
    job.feedback.closing("wrote " + job.outPath + ": " + std::to_string(run.scene().points.size()) +
                         " points bound to the surface");
    return 0;
}

}  // namespace ostrivel
