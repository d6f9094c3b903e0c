#pragma once
// `ostrivel bench`: times the deformer on a scene the way a host drives it: one binding
// (when the scene needs it), one evaluation that builds the caches, then cached ones, then
// refreshing ones (caches rebuilt on every evaluation). Besides the summary it prints one
// line per measurement:
//   deform: N points, M moved, X ms per evaluation, Y Mpoints/s (cpu, T threads, cached|refresh)
//   bind: N points, X ms, Y kpoints/s
// where M counts the points the evaluation changed and X is the median of the timed runs.

#include <ostream>
#include <string>

#include "feedback.h"
#include "plugin_library.h"

namespace ostrivel {

struct BenchJob {
    std::string scenePath;
    std::string pluginPath = PluginLibrary::defaultPath();
    int evaluations = 10;  // timed evaluations of each kind, after a warm-up
    int threads = 0;       // TBB worker limit; 0: every hardware thread
    bool reference = false;  // the node's plain per-point slide instead of its wide one
    bool json = false;     // the figures as one JSON object instead of lines
    Feedback feedback;     // progress only: the figures are the command's output
    std::string device = "cpu";  // "opencl": the host's device slide
};

// Prints the timings to `out`; 0, or 1 when the node failed. Throws HostError.
int runBench(const BenchJob& job, std::ostream& out);
// The same on the host's OpenCL device (device_bench.cpp).
int runDeviceBench(const BenchJob& job, std::ostream& out);

}  // namespace ostrivel
