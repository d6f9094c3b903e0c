#include "deform_job.h"

#include <hostapi/objects.h>

#include "obj_mesh.h"
#include "result.h"
#include "scene_run.h"

namespace ostrivel {

bool isObjPath(const std::string& path) {
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".obj") == 0;
}

int runDeform(const DeformJob& job) {
    hostapi::clearMessageLog();
    SceneRun run(job.scenePath, job.pluginPath);
    run.settings.referencePath = job.reference;
    run.selectDevice(job.device);
    checkPictureRequest(run.node().declarations(), job.picture);
    run.refuseOverwritingInputs(job.outPath);
    if (!job.picture.path.empty()) run.refuseOverwritingInputs(job.picture.path);
    int status = run.bindIfNeeded();
    for (int k = 0; status == 0 && k < job.repeat; ++k) status = run.evaluate();

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
    return status == 0 ? 0 : 1;
}

}  // namespace ostrivel
