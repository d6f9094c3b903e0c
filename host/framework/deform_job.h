#pragma once
// One `ostrivel deform` run: read a scene, bind its points when it carries no surface
// parameters, evaluate the node, write the result.

#include <string>

#include "plugin_library.h"

namespace ostrivel {

struct DeformJob {
    std::string scenePath;
    std::string outPath;
    std::string pluginPath = PluginLibrary::defaultPath();
    int repeat = 1;  // evaluations of the same record, stopping at the first failure
};

// 0 when every step succeeded, 1 when the node reported a failure (the result is still
// written). Throws HostError for a refused scene or an unusable plug-in or output path;
// then no result is written.
int runDeform(const DeformJob& job);

}  // namespace ostrivel
