// The host's closest-point query, as binding uses it: one query per point against a
// bicubic 10 x 10 surface, through a projector whose seeding grid is built once.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

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

void BM_ProjectorBuild(benchmark::State& state) {
    const hostapi::NurbsSurfaceGeometry surface = wavyBicubic(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        hostapi::SurfaceProjector projector(surface);
        benchmark::DoNotOptimize(&projector);
    }
}
BENCHMARK(BM_ProjectorBuild)->Arg(10)->Arg(30)->Unit(benchmark::kMicrosecond);

}  // namespace
