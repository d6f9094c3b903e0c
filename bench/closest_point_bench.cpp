// The host's closest-point query, as binding uses it: one query per point through a
// projector whose search tree is built once; against wavy bicubic sheets, and against the
// surface of the 200,000-point bench scene with points spread as that scene spreads them.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "nurbs_geometry.h"

namespace {

hostapi::NurbsSurfaceGeometry wavyBicubic(int cvs) {
    hostapi::NurbsSurfaceGeometry s;
    s.degreeU = s.degreeV = 3;
    s.cvCountU = s.cvCountV = cvs;
    for (auto* knots : {&s.knotsU, &s.knotsV}) {
        knots->assign(2, 0.0);
        for (int k = 0; k <= cvs - 3; ++k) knots->push_back(k);
        knots->insert(knots->end(), 2, cvs - 3.0);
    }
    for (int iu = 0; iu < cvs; ++iu)
        for (int iv = 0; iv < cvs; ++iv) s.cvs.push_back({1.0 * iu, 1.0 * iv, 0.6 * std::sin(iu) * std::cos(iv), 1.0});
    return s;
}

void BM_ProjectorQuery(benchmark::State& state) {
    const hostapi::SurfaceProjector projector(wavyBicubic(static_cast<int>(state.range(0))));
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> along(-1.0, state.range(0)), off(-2.0, 2.0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(projector.closestPoint({along(rng), along(rng), off(rng)}));
    }
}
BENCHMARK(BM_ProjectorQuery)->Arg(10)->Arg(30)->Unit(benchmark::kMicrosecond);

// The bench scene's surface: a 10 x 10 bicubic dome over [-2, 2]^2, knots 0..7.
hostapi::NurbsSurfaceGeometry benchDome() {
    hostapi::NurbsSurfaceGeometry s;
    s.degreeU = s.degreeV = 3;
    s.cvCountU = s.cvCountV = 10;
    s.knotsU = {0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7};
    s.knotsV = s.knotsU;
    for (int iu = 0; iu < 10; ++iu)
        for (int iv = 0; iv < 10; ++iv) {
            const double x = iu / 9.0 * 4.0 - 2.0, y = iv / 9.0 * 4.0 - 2.0;
            s.cvs.push_back({x, y, 0.4 * std::sin(1.3 * x) * std::cos(0.9 * y) + 1.5 - 0.15 * (x * x + y * y), 1.0});
        }
    return s;
}

void BM_BenchSceneQuery(benchmark::State& state) {
    const hostapi::SurfaceProjector projector(benchDome());
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> param(0.02, 0.98), jitter(-0.01, 0.01), lift(0.0, 0.05);
    std::vector<std::array<double, 3>> points(4096);
    for (auto& p : points) p = {param(rng) * 4.0 - 2.0 + jitter(rng), param(rng) * 4.0 - 2.0 + jitter(rng), 1.6 + lift(rng)};
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(projector.closestPoint(points[k]));
        k = (k + 1) % points.size();
    }
}
BENCHMARK(BM_BenchSceneQuery)->Unit(benchmark::kMicrosecond);

void BM_ProjectorBuild(benchmark::State& state) {
    const hostapi::NurbsSurfaceGeometry surface = wavyBicubic(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        hostapi::SurfaceProjector projector(surface);
        benchmark::DoNotOptimize(&projector);
    }
}
BENCHMARK(BM_ProjectorBuild)->Arg(10)->Arg(30)->Unit(benchmark::kMicrosecond);

}  // namespace
