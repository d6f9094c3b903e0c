#include "bench_job.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <hostapi/objects.h>
#include <tbb/global_control.h>

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


// The points an evaluation changed: those whose coordinates differ from the scene's.
size_t movedPoints(const std::vector<KxPoint>& before, const std::vector<KxPoint>& after) {
    size_t moved = 0;
    for (size_t i = 0; i < before.size() && i < after.size(); ++i) {
        if (std::memcmp(&before[i], &after[i], sizeof(KxPoint)) != 0) ++moved;
    }
    return moved;
}

// User and system time of every thread of the process so far, in milliseconds.
double processCpuMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

struct Timings {
    std::vector<double> wall;  // sorted wall-clock milliseconds, one per evaluation
    double cpuPerEvaluation = 0.0;  // process CPU milliseconds per evaluation, all threads
};

// Times `evaluations` evaluations after one untimed warm-up; no wall times when the node
// failed.
Timings timeEvaluations(SceneRun& run, int evaluations) {
    Timings timings;
    if (run.evaluate() != 0) return timings;
    const double cpuStart = processCpuMilliseconds();
    for (int k = 0; k < evaluations; ++k) {
        const auto start = Clock::now();
        if (run.evaluate() != 0) return {};
        timings.wall.push_back(millisecondsSince(start));
    }
    timings.cpuPerEvaluation = (processCpuMilliseconds() - cpuStart) / evaluations;
    std::sort(timings.wall.begin(), timings.wall.end());
    return timings;
}

// CPU time per point: on a busy machine this stays close to what a quiet one measures.
std::string cpuPerPoint(const Timings& timings, size_t count) {
    return format("%.0f", timings.cpuPerEvaluation * 1e6 / static_cast<double>(std::max<size_t>(1, count))) +
           " ns CPU per point";
}

std::string deformLine(size_t count, size_t moved, double median, int threads, const char* kind) {
    return "deform: " + std::to_string(count) + " points, " + std::to_string(moved) + " moved, " +
           format("%.2f", median) + " ms per evaluation, " +
           format("%.2f", static_cast<double>(count) / median / 1e3) + " Mpoints/s (cpu, " +
           std::to_string(threads) + " threads, " + kind + ")\n";
}

}  // namespace

int runBench(const BenchJob& job, std::ostream& out) {
    if (job.device == "opencl") return runDeviceBench(job, out);
    hostapi::setEchoMessages(false);
    const int threads = job.threads > 0 ? job.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    tbb::global_control limit(tbb::global_control::max_allowed_parallelism, static_cast<size_t>(threads));
    auto start = Clock::now();
    SceneRun run(job.scenePath, job.pluginPath);
    run.settings.referencePath = job.reference;
    const double loading = millisecondsSince(start);
    const size_t count = run.scene().points.size();

    out << "ostrivel bench: " << run.scene().nodeName << ", " << count << " points, "
        << std::thread::hardware_concurrency() << " hardware threads, " << threads << " used"
        << (job.reference ? ", reference slide\n" : "\n")
        << "  load       " << format("%.1f", loading) << " ms (scene file and host objects)\n";
    std::string bindLine;
    if (run.scene().needsBinding()) {
        start = Clock::now();
        if (run.bind() != 0) return printNodeErrors();
        const double binding = millisecondsSince(start);
        out << "  bind       " << format("%.1f", binding) << " ms (" << format("%.2f", binding * 1e3 / std::max<size_t>(1, count))
            << " us per point)\n";
        bindLine = "bind: " + std::to_string(count) + " points, " + format("%.1f", binding) + " ms, " +
                   format("%.1f", static_cast<double>(count) / std::max(binding, 1e-9)) + " kpoints/s\n";
    }
    start = Clock::now();
    if (run.evaluate() != 0) return printNodeErrors();
    out << "  first      " << format("%.2f", millisecondsSince(start)) << " ms (builds the rest frames and maps)\n";

    const Timings cachedTimings = timeEvaluations(run, job.evaluations);
    const std::vector<double>& cached = cachedTimings.wall;
    if (cached.empty()) return printNodeErrors();
    const size_t cachedMoved = movedPoints(run.scene().points, run.record().points);
    const double cachedMedian = cached[cached.size() / 2];
    out << "  cached     " << format("%.2f", cachedMedian) << " ms per evaluation (median of " << job.evaluations
        << "; fastest " << format("%.2f", cached.front()) << "), "
        << format("%.2f", static_cast<double>(count) / cachedMedian / 1e3) << " M points/s, "
        << cpuPerPoint(cachedTimings, count) << "\n";

    run.settings.cacheAttributes = false;  // every evaluation rebuilds the rest frames and maps
    const Timings refreshTimings = timeEvaluations(run, job.evaluations);
    const std::vector<double>& refresh = refreshTimings.wall;
    if (refresh.empty()) return printNodeErrors();
    const size_t refreshMoved = movedPoints(run.scene().points, run.record().points);
    const double refreshMedian = refresh[refresh.size() / 2];
    out << "  refresh    " << format("%.2f", refreshMedian) << " ms per evaluation (median of " << job.evaluations
        << "; fastest " << format("%.2f", refresh.front()) << "), " << cpuPerPoint(refreshTimings, count) << "\n"
        << "  memory     " << format("%.0f", peakResidentMegabytes()) << " MB peak resident\n";

    out << deformLine(count, cachedMoved, cachedMedian, threads, "cached")
        << deformLine(count, refreshMoved, refreshMedian, threads, "refresh") << bindLine;
    return 0;
}

}  // namespace ostrivel
