// Every build the processor can run must give bit-identical results, and evalCurve must
// dispatch to the build of the probed level.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "curve_dispatch.h"
#include "curve_kernel.h"
#include "random_curve.h"

namespace {

using quelvarn::kernels::evalCurveAtLevel;

// Levels 0, 1 and 2 are the distinct builds (SSE2, SSE4.1, AVX).
constexpr int kBuildLevels[] = {0, 1, 2};

TEST(CurveBuilds, BitIdenticalOnRandomCurves)
{
    const int supported = quelvarn::kernels::selectIsaLevel();
    ASSERT_GE(supported, 0);
    if (supported < 1)
        GTEST_SKIP() << "only the SSE2 build can run here";

    std::mt19937 rng(20230517);
    int compared = 0;
    for (int curve = 0; curve < 4000; ++curve) {
        const RandomCurve c = makeRandomCurve(rng, curve % 4 == 0);
        const float start = c.knots.front();
        const float end = c.knots.back();
        const float margin = 0.25f * (end - start) + 1.0f;
        std::uniform_real_distribution<float> param(start - margin, end + margin);
        for (int s = 0; s < 8; ++s) {
            // Hit knots exactly now and then: ties are where span choices differ.
            const float t = s == 0 ? c.knots[rng() % c.knots.size()] : param(rng);
            double reference[3];
            evalCurveAtLevel(0, c.cvs.data(), c.knots.data(), c.degree, c.knotCount(), t, reference);
            for (int level : kBuildLevels) {
                if (level > supported)
                    continue;
                double got[3];
                evalCurveAtLevel(level, c.cvs.data(), c.knots.data(), c.degree, c.knotCount(), t, got);
                ASSERT_EQ(std::memcmp(got, reference, sizeof got), 0)
                    << "level " << level << " curve " << curve << " t " << t;
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 4000 * 8);
}

TEST(CurveBuilds, DispatchUsesProbedLevel)
{
    std::mt19937 rng(7);
    const RandomCurve c = makeRandomCurve(rng, true);
    const float t = 0.5f * (c.domainStart() + c.domainEnd());

    double viaDispatch[3];
    evalCurve(c.cvs.data(), c.knots.data(), c.degree, c.knotCount(), t, viaDispatch);
    const int level = quelvarn::kernels::selectIsaLevel();
    EXPECT_EQ(quelvarn::kernels::currentIsaLevel(), level);

    double direct[3];
    evalCurveAtLevel(level, c.cvs.data(), c.knots.data(), c.degree, c.knotCount(), t, direct);
    EXPECT_EQ(std::memcmp(viaDispatch, direct, sizeof direct), 0);
}

}  // namespace
