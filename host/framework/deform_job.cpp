#include "deform_job.h"

#include <algorithm>
#include <chrono>

#include <hostapi/objects.h>

#include "displacement.h"
#include "obj_mesh.h"
#include "output_paths.h"
#include "result.h"
#include "scene_run.h"

namespace ostrivel {

bool isObjPath(const std::string& path) {
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".obj") == 0;
}

int runDeform(const DeformJob& job) {
    requireExtension("--out", job.outPath, {".json", ".obj"});
    if (!job.picture.path.empty()) requireExtension("--svg", job.picture.path, {".svg"});
    hostapi::clearMessageLog();
    SceneRun run(job.scenePath, job.pluginPath);
    run.settings.referencePath = job.reference;
    run.selectDevice(job.device);
    checkPictureRequest(run.node().declarations(), job.picture);
    run.refuseOverwritingInputs(job.outPath);
    if (!job.picture.path.empty()) run.refuseOverwritingInputs(job.picture.path);
    prepareOutputFile(job.outPath);
    if (!job.picture.path.empty()) prepareOutputFile(job.picture.path);

    int status = 0;
    if (run.scene().needsBinding()) {
        Progress binding(job.feedback, "binding " + std::to_string(run.scene().points.size()) + " points");
        status = run.bind();
    }
    const auto start = std::chrono::steady_clock::now();
    int evaluations = 0;
    {
        Progress progress(job.feedback, "deform: evaluations", job.repeat);
        for (; status == 0 && evaluations < job.repeat; progress.set(++evaluations)) status = run.evaluate();
    }
    const double elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    // The picture first: when it cannot be written, no result claims the run went through.
    writeRunPicture(run, job.picture, run.scene().nodeName + ": deformed after " + std::to_string(job.repeat) +
                                          (job.repeat == 1 ? " evaluation" : " evaluations"));
    if (isObjPath(job.outPath)) {
        writeObjMesh(job.outPath, run.record().points, run.scene().meshFaces, "deformed by ostrivel");
    } else {
        DeformResult result;
        result.status = status;
        result.points = run.record().points;
        result.uparams = run.parameters("uparams");
        result.vparams = run.parameters("vparams");
        result.messages = hostapi::messageLog();
        writeResult(job.outPath, result);
    }
    std::string closing = "wrote " + job.outPath + ": " + std::to_string(run.scene().points.size()) + " points, ";
    if (status == 0) {
        closing += std::to_string(measure(run.scene().points, run.record().points).moved) + " moved, " +
                   formatMilliseconds(elapsed / std::max(1, evaluations)) + " per evaluation";
    } else {
        closing += "the node reported a failure";
    }
    if (!job.picture.path.empty()) closing += "; " + job.picture.path;
    job.feedback.closing(closing);
    return status == 0 ? 0 : 1;
}

}  // namespace ostrivel
