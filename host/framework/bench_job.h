#pragma once
// `ostrivel bench`: times the deformer on a scene the way a host drives it: one binding
// (when the scene needs it), one evaluation that builds the caches, then cached ones.

#include <ostream>
#include <string>

#include "feedback.h"
#include "plugin_library.h"

namespace ostrivel {

struct BenchJob {
    std::string scenePath;
    std::string pluginPath = PluginLibrary::defaultPath();
    int evaluations = 10;  // cached evaluations timed after the first
    bool json = false;     // the figures as one JSON object instead of lines
    Feedback feedback;     // progress only: the figures are the command's output
    std::string device = "cpu";  // "opencl": the host's device slide
};

// Prints the timings to `out`; 0, or 1 when the node failed. Throws HostError.
int runBench(const BenchJob& job, std::ostream& out);
// The same on the host's OpenCL device (device_bench.cpp).
int runDeviceBench(const BenchJob& job, std::ostream& out);

}  // namespace ostrivel
