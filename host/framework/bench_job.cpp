#include "bench_job.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <hostapi/objects.h>
#include <nlohmann/json.hpp>

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

struct BenchFigures {
    std::string node;
    size_t points = 0;
    unsigned threads = 0;
    double load = 0, bind = -1, first = 0, median = 0, fastest = 0, memory = 0;  // bind < 0: not bound
    int evaluations = 0;
};

void printLines(const BenchFigures& f, std::ostream& out) {
    out << "ostrivel bench: " << f.node << ", " << f.points << " points, " << f.threads << " hardware threads\n"
        << "  load       " << format("%.1f", f.load) << " ms (scene file and host objects)\n";
    if (f.bind >= 0)
        out << "  bind       " << format("%.1f", f.bind) << " ms ("
            << format("%.2f", f.bind * 1e3 / std::max<size_t>(1, f.points)) << " us per point)\n";
    out << "  first      " << format("%.2f", f.first) << " ms (builds the rest frames and maps)\n"
        << "  cached     " << format("%.2f", f.median) << " ms per evaluation (median of " << f.evaluations
        << "; fastest " << format("%.2f", f.fastest) << "), "
        << format("%.2f", static_cast<double>(f.points) / f.median / 1e3) << " M points/s\n"
        << "  memory     " << format("%.0f", f.memory) << " MB peak resident\n";
}

void printJson(const BenchFigures& f, std::ostream& out) {
    nlohmann::ordered_json figures;
    figures["node"] = f.node;
    figures["points"] = f.points;
    figures["hardwareThreads"] = f.threads;
    figures["loadMs"] = f.load;
    figures["bindMs"] = f.bind >= 0 ? nlohmann::ordered_json(f.bind) : nlohmann::ordered_json();
    figures["firstMs"] = f.first;
    figures["cachedMedianMs"] = f.median;
    figures["cachedFastestMs"] = f.fastest;
    figures["cachedEvaluations"] = f.evaluations;
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
    auto start = Clock::now();
    SceneRun run(job.scenePath, job.pluginPath);
    figures.load = millisecondsSince(start);
    figures.node = run.scene().nodeName;
    figures.points = run.scene().points.size();
    figures.threads = std::thread::hardware_concurrency();
    figures.evaluations = job.evaluations;

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
    std::vector<double> times;
    int status = 0;
    {
        Progress progress(job.feedback, "bench: evaluations", job.evaluations + 1);
        start = Clock::now();
        status = run.evaluate();
        figures.first = millisecondsSince(start);
        for (int k = 0; status == 0 && k < job.evaluations; ++k) {
            progress.set(k + 1);
            start = Clock::now();
            status = run.evaluate();
            times.push_back(millisecondsSince(start));
        }
    }
    if (status != 0) return printNodeErrors();
    std::sort(times.begin(), times.end());
    figures.median = times[times.size() / 2];
    figures.fastest = times.front();
    figures.memory = peakResidentMegabytes();
    if (job.json) {
        printJson(figures, out);
    } else {
        printLines(figures, out);
    }
    return 0;
}

}  // namespace ostrivel
