#include "bench_job.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <hostapi/objects.h>
#include <nlohmann/json.hpp>
#include <tbb/global_control.h>

#include "bench_clock.h"
#include "scene_run.h"

namespace ostrivel {

namespace {

using bench::Clock;
using bench::format;
using bench::millisecondsSince;

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

// One kind of evaluation (cached or refresh), timed after an untimed warm-up.
struct Timings {
    double median = 0, fastest = 0;
    double cpuPerPoint = 0;  // process CPU nanoseconds per point, all threads: steady on a busy machine
    size_t moved = 0;
};

// 0, or the node's status when an evaluation failed.
// The timed evaluations are the host's copy of the scene's points and the node's deform,
// as a host drives a deformer; the points are checked once, after the last.
int timeEvaluations(SceneRun& run, int evaluations, Progress& progress, long& done, Timings& timings) {
    if (int status = run.evaluate()) return status;
    std::vector<double> wall;
    const double cpuStart = processCpuMilliseconds();
    for (int k = 0; k < evaluations; ++k) {
        progress.set(++done);
        const auto start = Clock::now();
        if (int status = run.evaluateUnchecked()) return status;
        wall.push_back(millisecondsSince(start));
    }
    run.refuseNonFiniteOutput();
    const size_t count = std::max<size_t>(1, run.scene().points.size());
    timings.cpuPerPoint = (processCpuMilliseconds() - cpuStart) / evaluations * 1e6 / static_cast<double>(count);
    std::sort(wall.begin(), wall.end());
    timings.median = wall[wall.size() / 2];
    timings.fastest = wall.front();
    timings.moved = movedPoints(run.scene().points, run.record().points);
    return 0;
}

struct BenchFigures {
    std::string node;
    size_t points = 0;
    unsigned hardwareThreads = 0;
    int threads = 0;  // TBB threads used
    bool reference = false;
    double load = 0, bind = -1, first = 0, memory = 0;  // bind < 0: not bound
    int evaluations = 0;
    Timings cached, refresh;
};

double megapointsPerSecond(size_t points, double milliseconds) {
    return static_cast<double>(points) / milliseconds / 1e3;
}

std::string deformLine(const BenchFigures& f, const Timings& t, const char* kind) {
    return "deform: " + std::to_string(f.points) + " points, " + std::to_string(t.moved) + " moved, " +
           format("%.2f", t.median) + " ms per evaluation, " + format("%.2f", megapointsPerSecond(f.points, t.median)) +
           " Mpoints/s (cpu, " + std::to_string(f.threads) + " threads, " + kind + ")\n";
}

void printLines(const BenchFigures& f, std::ostream& out) {
    out << "ostrivel bench: " << f.node << ", " << f.points << " points, " << f.hardwareThreads
        << " hardware threads, " << f.threads << " used" << (f.reference ? ", reference slide\n" : "\n")
        << "  load       " << format("%.1f", f.load) << " ms (scene file and host objects)\n";
    if (f.bind >= 0)
        out << "  bind       " << format("%.1f", f.bind) << " ms ("
            << format("%.2f", f.bind * 1e3 / std::max<size_t>(1, f.points)) << " us per point)\n";
    out << "  first      " << format("%.2f", f.first) << " ms (builds the rest frames and maps)\n"
        << "  cached     " << format("%.2f", f.cached.median) << " ms per evaluation (median of " << f.evaluations
        << "; fastest " << format("%.2f", f.cached.fastest) << "), "
        << format("%.2f", megapointsPerSecond(f.points, f.cached.median)) << " M points/s, "
        << format("%.0f", f.cached.cpuPerPoint) << " ns CPU per point\n"
        << "  refresh    " << format("%.2f", f.refresh.median) << " ms per evaluation (median of " << f.evaluations
        << "; fastest " << format("%.2f", f.refresh.fastest) << "), " << format("%.0f", f.refresh.cpuPerPoint)
        << " ns CPU per point\n"
        << "  memory     " << format("%.0f", f.memory) << " MB peak resident\n";
    out << deformLine(f, f.cached, "cached") << deformLine(f, f.refresh, "refresh");
    if (f.bind >= 0)
        out << "bind: " << f.points << " points, " << format("%.1f", f.bind) << " ms, "
            << format("%.1f", static_cast<double>(f.points) / std::max(f.bind, 1e-9)) << " kpoints/s\n";
}

nlohmann::ordered_json timingsJson(const Timings& t) {
    nlohmann::ordered_json json;
    json["medianMs"] = t.median;
    json["fastestMs"] = t.fastest;
    json["cpuNsPerPoint"] = t.cpuPerPoint;
    json["moved"] = t.moved;
    return json;
}

void printJson(const BenchFigures& f, std::ostream& out) {
    nlohmann::ordered_json figures;
    figures["node"] = f.node;
    figures["points"] = f.points;
    figures["hardwareThreads"] = f.hardwareThreads;
    figures["threads"] = f.threads;
    figures["reference"] = f.reference;
    figures["loadMs"] = f.load;
    figures["bindMs"] = f.bind >= 0 ? nlohmann::ordered_json(f.bind) : nlohmann::ordered_json();
    figures["firstMs"] = f.first;
    figures["evaluations"] = f.evaluations;
    figures["cached"] = timingsJson(f.cached);
    figures["refresh"] = timingsJson(f.refresh);
    figures["peakResidentMB"] = f.memory;
    out << figures.dump() << "\n";
}

}  // namespace

int runBench(const BenchJob& job, std::ostream& out) {
    if (job.device == "opencl") {
        if (job.json) throw HostError("--json: the OpenCL bench prints its figures as lines only; drop --json");
        return runDeviceBench(job, out);
    }
    hostapi::setEchoMessages(false);
    BenchFigures figures;
    figures.hardwareThreads = std::thread::hardware_concurrency();
    figures.threads = job.threads > 0 ? job.threads : static_cast<int>(std::max(1u, figures.hardwareThreads));
    figures.reference = job.reference;
    figures.evaluations = job.evaluations;
    tbb::global_control limit(tbb::global_control::max_allowed_parallelism, static_cast<size_t>(figures.threads));
    auto start = Clock::now();
    SceneRun run(job.scenePath, job.pluginPath);
    run.settings.referencePath = job.reference;
    figures.load = millisecondsSince(start);
    figures.node = run.scene().nodeName;
    figures.points = run.scene().points.size();

    // Node errors print once the progress line is gone.
    if (run.scene().needsBinding()) {
        int status = 0;
        {
            Progress binding(job.feedback, "binding " + std::to_string(figures.points) + " points");
            start = Clock::now();
            status = run.bind();
            figures.bind = millisecondsSince(start);
        }
        if (status != 0) return printNodeErrors();
    }
    int status = 0;
    {
        Progress progress(job.feedback, "bench: evaluations", 2L * job.evaluations + 1);
        long done = 0;
        start = Clock::now();
        status = run.evaluate();
        figures.first = millisecondsSince(start);
        progress.set(++done);
        if (status == 0) status = timeEvaluations(run, job.evaluations, progress, done, figures.cached);
        run.settings.cacheAttributes = false;  // every evaluation rebuilds the rest frames and maps
        if (status == 0) status = timeEvaluations(run, job.evaluations, progress, done, figures.refresh);
    }
    if (status != 0) return printNodeErrors();
    figures.memory = peakResidentMegabytes();
    if (job.json) {
        printJson(figures, out);
    } else {
        printLines(figures, out);
    }
    return 0;
}

}  // namespace ostrivel
