#pragma once
// One `ostrivel deform` run: read a scene, bind its points when it carries no surface
// parameters, evaluate the node, write the result.

#include <string>

#include "feedback.h"
#include "picture.h"
#include "plugin_library.h"

namespace ostrivel {

struct DeformJob {
    PictureRequest picture;  // an SVG of the (last) result, when its path is set
    std::string scenePath;
    std::string outPath;
    std::string pluginPath = PluginLibrary::defaultPath();
    int repeat = 1;  // evaluations of the same record, stopping at the first failure
    bool reference = false;  // the node's plain per-point slide instead of its wide one
    Feedback feedback;
    std::string device = "cpu";  // "opencl": the host's device slide
};

// True for output names that ask for an OBJ mesh rather than a JSON result.
bool isObjPath(const std::string& path);

// Every evaluation starts from the scene's points. The result is JSON, or an OBJ mesh
// (the scene's faces kept, vertex order unchanged) when outPath ends in ".obj".
// 0 when every step succeeded, 1 when the node reported a failure (the result is still
// written). Throws HostError for a refused scene or an unusable plug-in or output path,
// before any evaluation; then no result is written.
int runDeform(const DeformJob& job);

}  // namespace ostrivel
