#include "bench_job.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <hostapi/objects.h>

#include "scene_run.h"

namespace ostrivel {

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

double peakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

}  // namespace

int runBench(const BenchJob& job, std::ostream& out) {
    if (job.device == "opencl") return runDeviceBench(job, out);
    hostapi::setEchoMessages(false);
    auto start = Clock::now();
    SceneRun run(job.scenePath, job.pluginPath);
    const double loading = millisecondsSince(start);
    const size_t count = run.scene().points.size();

    out << "ostrivel bench: " << run.scene().nodeName << ", " << count << " points, "
        << std::thread::hardware_concurrency() << " hardware threads\n"
        << "  load       " << format("%.1f", loading) << " ms (scene file and host objects)\n";
    if (run.scene().needsBinding()) {
        start = Clock::now();
        if (run.bind() != 0) return printNodeErrors();
        const double binding = millisecondsSince(start);
        out << "  bind       " << format("%.1f", binding) << " ms (" << format("%.2f", binding * 1e3 / std::max<size_t>(1, count))
            << " us per point)\n";
    }
    start = Clock::now();
    if (run.evaluate() != 0) return printNodeErrors();
    out << "  first      " << format("%.2f", millisecondsSince(start)) << " ms (builds the rest frames and maps)\n";

    std::vector<double> times;
    for (int k = 0; k < job.evaluations; ++k) {
        start = Clock::now();
        if (run.evaluate() != 0) return printNodeErrors();
        times.push_back(millisecondsSince(start));
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    out << "  cached     " << format("%.2f", median) << " ms per evaluation (median of " << job.evaluations
        << "; fastest " << format("%.2f", times.front()) << "), "
        << format("%.2f", static_cast<double>(count) / median / 1e3) << " M points/s\n"
        << "  memory     " << format("%.0f", peakResidentMegabytes()) << " MB peak resident\n";
    return 0;
}

}  // namespace ostrivel
