// occt_peer_bench SCENE [--threads T] [--evaluations R] [--plugin PATH]
// The same work as `ostrivel bench` on the same scene, done with OpenCASCADE and TBB, printed
// in the same line forms with "(occt, ...)" so that the two can be compared line by line.

#include <CLI/CLI.hpp>
#include <tbb/global_control.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "bench_clock.h"
#include "peer_scene.h"
#include "peer_work.h"
#include "plugin_library.h"

using ostrivel::bench::Clock;
using ostrivel::bench::format;
using ostrivel::bench::millisecondsSince;

int main(int argc, char** argv) {
    CLI::App app("OpenCASCADE peer of `ostrivel bench`: deformation and binding of a scene");
    std::string scenePath, pluginPath = ostrivel::PluginLibrary::defaultPath();
    int threads = 0, evaluations = 10;
    app.add_option("scene", scenePath, "scene file (JSON)")->required();
    app.add_option("--threads", threads, "worker threads (default: every hardware thread)")->check(CLI::Range(1, 1024));
    app.add_option("--evaluations", evaluations, "timed evaluations after a warm-up")->check(CLI::Range(1, 100000));
    app.add_option("--plugin", pluginPath, "deformer plug-in whose declarations check the scene")->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    if (threads == 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    tbb::global_control limit(tbb::global_control::max_allowed_parallelism, static_cast<size_t>(threads));

    try {
        peer::PeerScene scene = peer::loadPeerScene(scenePath, pluginPath);
        const size_t count = scene.scene.points.size();
        if (scene.scene.needsBinding()) {
            const auto start = Clock::now();
            peer::bindPoints(scene, scene.uparams, scene.vparams);
            const double binding = millisecondsSince(start);
            std::cout << "bind: " << count << " points, " << format("%.1f", binding) << " ms, "
                      << format("%.1f", static_cast<double>(count) / std::max(binding, 1e-9)) << " kpoints/s (occt, "
                      << threads << " threads)\n";
        }
        std::vector<KxPoint> points;
        size_t moved = 0;
        std::vector<double> times;
        for (int k = 0; k <= evaluations; ++k) {  // the first is the warm-up
            const auto start = Clock::now();
            points = scene.scene.points;  // each evaluation starts from the scene's points
            moved = peer::deformPoints(scene, points);
            if (k > 0) times.push_back(millisecondsSince(start));
        }
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        std::cout << "deform: " << count << " points, " << moved << " moved, " << format("%.2f", median)
                  << " ms per evaluation, " << format("%.2f", static_cast<double>(count) / median / 1e3)
                  << " Mpoints/s (occt, " << threads << " threads, cached)\n";
    } catch (const std::exception& error) {
        std::cerr << "occt_peer_bench: error: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
