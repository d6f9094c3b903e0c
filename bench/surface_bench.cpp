// Cost of one surface point and of one pair of tangent chords, for the bicubic surfaces that
// rigs mostly use and for degree 5.

#include <cmath>
#include <vector>

#include <benchmark/benchmark.h>

#include "surface_data.h"

namespace {

SurfaceDirection clampedDirection(int order, int cvCount) {
    SurfaceDirection d;
    d.order = order;
    d.cvCount = cvCount;
    const int spans = cvCount - order + 1;
    for (int k = 0; k < order; ++k) d.knots.push_back(0.0f);
    for (int k = 1; k < spans; ++k) d.knots.push_back(static_cast<float>(k) / static_cast<float>(spans));
    for (int k = 0; k < order; ++k) d.knots.push_back(1.0f);
    d.domainStart = d.knots[order - 1];
    d.domainEnd = d.knots[cvCount];
    return d;
}

SurfaceData wavySurface(int degree, int cvCount) {
    SurfaceData s;
    s.uDirection = clampedDirection(degree + 1, cvCount);
    s.vDirection = clampedDirection(degree + 1, cvCount);
    for (int j = 0; j < cvCount; ++j) {
        for (int i = 0; i < cvCount; ++i) {
            KxPoint p;
            p.x = i;
            p.y = j;
            p.z = std::sin(0.7 * i) * std::cos(0.4 * j);
            s.cvs.push_back(p);
        }
    }
    return s;
}

// A fixed spread of parameters over the whole domain, cycled through by the loops.
const std::vector<float>& parameters() {
    static const std::vector<float> values = [] {
        std::vector<float> t(1024);
        for (size_t k = 0; k < t.size(); ++k) t[k] = static_cast<float>(std::fmod(k * 0.6180339887, 1.0));
        return t;
    }();
    return values;
}

void evalPoint(benchmark::State& state, int degree, int cvCount) {
    const SurfaceData s = wavySurface(degree, cvCount);
    const std::vector<float>& t = parameters();
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(evalSurfacePoint(s, t[k], t[(k + 511) & 1023]));
        k = (k + 1) & 1023;
    }
}

void tangents(benchmark::State& state, int degree, int cvCount) {
    const SurfaceData s = wavySurface(degree, cvCount);
    const std::vector<float>& t = parameters();
    size_t k = 0;
    KxPoint tu;
    KxPoint tv;
    for (auto _ : state) {
        surfaceTangents(s, t[k], t[(k + 511) & 1023], tu, tv);
        benchmark::DoNotOptimize(tu);
        benchmark::DoNotOptimize(tv);
        k = (k + 1) & 1023;
    }
}

}  // namespace

BENCHMARK_CAPTURE(evalPoint, bicubic_8x8, 3, 8);
BENCHMARK_CAPTURE(evalPoint, degree5_10x10, 5, 10);
BENCHMARK_CAPTURE(tangents, bicubic_8x8, 3, 8);
BENCHMARK_CAPTURE(tangents, degree5_10x10, 5, 10);
