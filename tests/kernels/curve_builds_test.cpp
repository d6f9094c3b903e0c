// Random curves: every build the processor can run gives bit-identical results, and clamped
// curves agree with an independent B-spline implementation. The kernel rounds knots,
// parameters and basis values to single precision, so that agreement is to about 1e-6 of
// the control-point scale.
#include <gtest/gtest.h>

#include <BSplCLib.hxx>
#include <Geom_BSplineCurve.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColgp_Array1OfPnt.hxx>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "curve_dispatch.h"
#include "curve_kernel.h"

namespace {

using quelvarn::kernels::evalCurveAtLevel;

struct RandomCurve {
    std::vector<double> cvs;  // packed x, y, z
    std::vector<float> knots;
    int degree = 0;
    int knotCount() const { return static_cast<int>(knots.size()); }
};

// Degree 1..7 with up to 12 extra control points. Clamped curves repeat the end knots
// degree + 1 times and keep interior knots distinct; otherwise the knots are any
// non-decreasing sequence, repeats included.
RandomCurve makeRandomCurve(std::mt19937& rng, bool clamped)
{
    std::uniform_real_distribution<double> coord(-100.0, 100.0);
    std::uniform_real_distribution<float> step(0.05f, 2.0f);
    std::bernoulli_distribution repeat(0.2);
    RandomCurve c;
    c.degree = std::uniform_int_distribution<int>(1, 7)(rng);
    const int cvCount = c.degree + 1 + std::uniform_int_distribution<int>(0, 12)(rng);
    for (int i = 0; i < 3 * cvCount; ++i)
        c.cvs.push_back(coord(rng));
    float k = std::uniform_real_distribution<float>(-10.0f, 10.0f)(rng);
    for (int i = 0; i < cvCount + c.degree + 1; ++i) {
        const bool endKnot = i <= c.degree || i >= cvCount;
        if (i > 0 && !(clamped && endKnot && i != cvCount) && (clamped || !repeat(rng)))
            k += step(rng);
        c.knots.push_back(k);
    }
    return c;
}

TEST(CurveBuilds, BitIdenticalOnRandomCurves)
{
    const int supported = quelvarn::kernels::selectIsaLevel();
    if (supported < 1)
        GTEST_SKIP() << "only the SSE2 build can run here";
    std::mt19937 rng(20230517);
    for (int curve = 0; curve < 4000; ++curve) {
        const RandomCurve c = makeRandomCurve(rng, curve % 4 == 0);
        const float margin = 0.25f * (c.knots.back() - c.knots.front()) + 1.0f;
        std::uniform_real_distribution<float> param(c.knots.front() - margin, c.knots.back() + margin);
        for (int s = 0; s < 8; ++s) {
            // Hit knots exactly now and then: ties are where span choices differ.
            const float t = s == 0 ? c.knots[rng() % c.knots.size()] : param(rng);
            double reference[3], got[3];
            evalCurveAtLevel(0, c.cvs.data(), c.knots.data(), c.degree, c.knotCount(), t, reference);
            // Levels 1 and 2 are the other distinct builds (SSE4.1, AVX).
            for (int level = 1; level <= std::min(supported, 2); ++level) {
                evalCurveAtLevel(level, c.cvs.data(), c.knots.data(), c.degree, c.knotCount(), t, got);
                ASSERT_EQ(std::memcmp(got, reference, sizeof got), 0) << "level " << level << " curve " << curve;
            }
        }
    }
}

TEST(CurveBuilds, MatchesReferenceBSpline)
{
    std::mt19937 rng(424242);
    for (int curve = 0; curve < 300; ++curve) {
        const RandomCurve c = makeRandomCurve(rng, true);
        const int cvCount = static_cast<int>(c.cvs.size() / 3);
        TColgp_Array1OfPnt poles(1, cvCount);
        for (int i = 0; i < cvCount; ++i)
            poles.SetValue(i + 1, gp_Pnt(c.cvs[3 * i], c.cvs[3 * i + 1], c.cvs[3 * i + 2]));
        TColStd_Array1OfReal flat(1, c.knotCount());
        for (int i = 0; i < c.knotCount(); ++i)
            flat.SetValue(i + 1, c.knots[i]);
        const int distinct = BSplCLib::KnotsLength(flat);
        TColStd_Array1OfReal knots(1, distinct);
        TColStd_Array1OfInteger multiplicities(1, distinct);
        BSplCLib::Knots(flat, knots, multiplicities);  // strict equality groups repeated knots
        const Geom_BSplineCurve oracle(poles, knots, multiplicities, c.degree);

        double scale = 0.0;
        for (double v : c.cvs)
            scale = std::max(scale, std::abs(v));
        const float start = c.knots[c.degree], end = c.knots[c.knots.size() - 1 - c.degree];
        std::uniform_real_distribution<float> param(start, end);
        for (int s = 0; s < 20; ++s) {
            const float t = s == 0 ? start : s == 1 ? end : param(rng);
            double got[3];
            evalCurve(c.cvs.data(), c.knots.data(), c.degree, c.knotCount(), t, got);
            const gp_Pnt want = oracle.Value(static_cast<double>(t));
            const double err = std::max({std::abs(got[0] - want.X()), std::abs(got[1] - want.Y()),
                                         std::abs(got[2] - want.Z())}) / scale;
            ASSERT_LT(err, 1e-6) << "curve " << curve << " degree " << c.degree << " t " << t;
        }
    }
}

}  // namespace
