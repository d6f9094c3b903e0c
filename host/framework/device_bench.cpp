// `ostrivel bench --device opencl`: the same scene timed on the host's OpenCL device, in
// the measurement lines the CPU bench prints.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <hostapi/objects.h>

#include "bench_job.h"
#include "scene_run.h"

namespace ostrivel {

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

size_t movedPoints(const std::vector<KxPoint>& before, const std::vector<KxPoint>& after) {
    size_t moved = 0;
    for (size_t k = 0; k < before.size(); ++k)
        moved += before[k].x != after[k].x || before[k].y != after[k].y || before[k].z != after[k].z;
    return moved;
}

std::string measurementLine(const char* what, size_t count, size_t moved, double milliseconds, const char* kind) {
    char text[512];
    std::snprintf(text, sizeof text, "%s: %zu points, %zu moved, %.2f ms per evaluation, %.2f Mpoints/s (opencl %s, %s)\n",
                  what, count, moved, milliseconds, static_cast<double>(count) / milliseconds / 1e3,
                  DeviceSlide::deviceName().c_str(), kind);
    return text;
}

}  // namespace

int runDeviceBench(const BenchJob& job, std::ostream& out) {
    hostapi::setEchoMessages(false);
    SceneRun run(job.scenePath, job.pluginPath);
    run.selectDevice(job.device);
    const size_t count = run.scene().points.size();
    out << "ostrivel bench: " << run.scene().nodeName << ", " << count << " points, opencl "
        << DeviceSlide::deviceName() << "\n";
    if (run.bindIfNeeded() != 0) return printNodeErrors();

    auto start = Clock::now();
    if (run.evaluate() != 0) return printNodeErrors();
    char first[128];
    std::snprintf(first, sizeof first, "  first      %.2f ms (builds the kernel, the caches and their upload)\n",
                  millisecondsSince(start));
    out << first;

    // Medians of timed evaluations: with every cache rebuilt and uploaded, then cached.
    const auto median = [&](bool refresh, double& milliseconds) {
        std::vector<double> times;
        for (int k = 0; k < job.evaluations; ++k) {
            if (refresh) run.node().node().invalidateDeviceData();
            start = Clock::now();
            if (run.evaluate() != 0) return false;
            times.push_back(millisecondsSince(start));
        }
        std::sort(times.begin(), times.end());
        milliseconds = times[times.size() / 2];
        return true;
    };
    double refreshed = 0.0, cached = 0.0;
    if (!median(true, refreshed)) return printNodeErrors();
    out << measurementLine("deform", count, movedPoints(run.scene().points, run.record().points), refreshed, "refresh");
    if (!median(false, cached)) return printNodeErrors();
    out << measurementLine("deform", count, movedPoints(run.scene().points, run.record().points), cached, "cached");
    return 0;
}

}  // namespace ostrivel
