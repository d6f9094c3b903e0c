#include "demo_job.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include <hostapi/objects.h>

#include "atomic_file.h"
#include "demo_scene.h"
#include "displacement.h"
#include "obj_mesh.h"
#include "output_paths.h"
#include "scene_run.h"

namespace ostrivel {

namespace {

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

int runDemo(const DemoJob& job, std::ostream& out) {
    namespace fs = std::filesystem;
    const fs::path folder(job.outDir);
    const fs::path sceneFolder = folder / "scene";
    if (!job.picture.path.empty()) requireExtension("--svg", job.picture.path, {".svg"});
    {
        auto library = std::make_shared<PluginLibrary>(job.pluginPath);
        checkPictureRequest(declarationsOf(*library), job.picture);  // before anything is written
        if (const std::string unavailable = deviceUnavailable(job.device); !unavailable.empty())
            throw HostError(unavailable);
    }
    prepareOutputFolder(job.outDir);
    if (!job.picture.path.empty()) prepareOutputFile(job.picture.path);
    createOutputFolder(sceneFolder.string());
    const std::string scenePath = (sceneFolder / "eyelid.json").string();
    writeFileAtomically(scenePath, kDemoSceneJson);
    writeFileAtomically((sceneFolder / "eyelid.obj").string(), kDemoSceneObj);

    hostapi::setEchoMessages(false);  // the summary says what happened
    SceneRun run(scenePath, job.pluginPath);
    run.selectDevice(job.device);
    const Scene& scene = run.scene();
    if (run.bindIfNeeded() != 0) return printNodeErrors();
    if (run.evaluate() != 0) return printNodeErrors();  // the first evaluation builds the caches
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < job.evaluations; ++k) {
        if (run.evaluate() != 0) return printNodeErrors();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const std::string restPath = (folder / "rest.obj").string();
    const std::string deformedPath = (folder / "deformed.obj").string();
    writeObjMesh(restPath, scene.points, scene.meshFaces, "rest shape of the demo eyelid");
    writeObjMesh(deformedPath, run.record().points, scene.meshFaces, "demo eyelid after the blink");

    PictureRequest picture = job.picture;
    if (picture.path.empty()) picture.path = (folder / "demo.svg").string();
    writeRunPicture(run, picture, "quelvarn demo: the upper eyelid closes over the eyeball");

    const Displacement moved = measure(scene.points, run.record().points);
    const size_t count = scene.points.size();
    out << "quelvarn demo: an upper eyelid slides over the eyeball while a blink curve closes it\n"
        << "  scene     " << scenePath << " (" << count << " points, node " << scene.nodeName << ")\n"
        << "  bound     " << count << " points to the surface with resetParams\n"
        << "  moved     " << moved.moved << " of " << count << " points (the rest lie outside the window)\n"
        << "  largest   " << fixed(moved.largest, 4) << " (point " << moved.largestPoint << ")\n"
        << "  time      " << fixed(seconds * 1e3 / std::max(1, job.evaluations), 3) << " ms per evaluation ("
        << job.evaluations << " cached evaluations)\n"
        << "  wrote     " << restPath << ", " << deformedPath << ", " << picture.path << "\n";
    return 0;
}

}  // namespace ostrivel
