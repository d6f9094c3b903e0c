#pragma once
// `ostrivel demo`: runs the built-in eyelid scene and writes its inputs, the rest and
// deformed meshes and a summary, so a new user sees what the deformer does.

#include <ostream>
#include <string>

#include "picture.h"
#include "plugin_library.h"

namespace ostrivel {

struct DemoJob {
    PictureRequest picture;  // demo.svg in the output folder unless a path is given
    std::string outDir = "quelvarn-demo";
    std::string pluginPath = PluginLibrary::defaultPath();
    int evaluations = 20;  // timed evaluations after the first (which builds the caches)
    std::string device = "cpu";  // "opencl": the host's device slide
};

// Prints the summary to `out`; 0 or 1 like the other jobs. Throws HostError.
int runDemo(const DemoJob& job, std::ostream& out);

}  // namespace ostrivel
