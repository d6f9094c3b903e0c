// Cost of one curve evaluation: through the dispatcher and through each build directly.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "curve_dispatch.h"
#include "curve_kernel.h"

namespace {

// A clamped uniform curve with 12 control points and a spread of parameters, so the
// span search does not always stop at the same knot.
struct BenchCurve {
    std::vector<double> cvs;
    std::vector<float> knots;
    std::vector<float> params;
    int degree;

    explicit BenchCurve(int p) : degree(p)
    {
        const int cvCount = 12;
        std::mt19937 rng(99);
        std::uniform_real_distribution<double> coord(-10.0, 10.0);
        for (int i = 0; i < 3 * cvCount; ++i)
            cvs.push_back(coord(rng));
        const int spans = cvCount - p;
        for (int i = 0; i < cvCount + p + 1; ++i)
            knots.push_back(static_cast<float>(std::min(std::max(i - p, 0), spans)));
        std::uniform_real_distribution<float> param(0.0f, static_cast<float>(spans));
        for (int i = 0; i < 1024; ++i)
            params.push_back(param(rng));
    }
};

template <typename Eval>
void runCurve(benchmark::State& state, int degree, Eval eval)
{
    const BenchCurve c(degree);
    const int knotCount = static_cast<int>(c.knots.size());
    double out[3];
    size_t i = 0;
    for (auto _ : state) {
        eval(c.cvs.data(), c.knots.data(), c.degree, knotCount, c.params[i++ & 1023], out);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_EvalCurve(benchmark::State& state)
{
    runCurve(state, static_cast<int>(state.range(0)), evalCurve);
}

// range(0) degree, range(1) build level (0 SSE2, 1 SSE4.1, 2 AVX).
void BM_EvalCurveBuild(benchmark::State& state)
{
    const int level = static_cast<int>(state.range(1));
    if (level > quelvarn::kernels::selectIsaLevel()) {
        state.SkipWithError("build not supported by this processor");
        return;
    }
    runCurve(state, static_cast<int>(state.range(0)),
             [level](const double* cvs, const float* knots, int degree, int knotCount, float t, double* out) {
                 quelvarn::kernels::evalCurveAtLevel(level, cvs, knots, degree, knotCount, t, out);
             });
}

}  // namespace

BENCHMARK(BM_EvalCurve)->ArgName("degree")->Arg(3)->Arg(5);
BENCHMARK(BM_EvalCurveBuild)->ArgNames({"degree", "level"})->ArgsProduct({{3, 5}, {0, 1, 2}});
