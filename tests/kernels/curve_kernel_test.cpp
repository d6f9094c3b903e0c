// Exact curve values where the arithmetic is fixed: Bezier end points and midpoint,
// single-precision basis values, span choice on a knot, and extrapolation past both ends.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "curve_kernel.h"

namespace {

using V = std::array<double, 3>;

V eval(const std::vector<V>& cvs, const std::vector<float>& knots, int degree, float t)
{
    V out{};
    evalCurve(cvs[0].data(), knots.data(), degree, static_cast<int>(knots.size()), t, out.data());
    return out;
}

// Weighted sum accumulated in the kernel's order, so equality can be exact.
V blend(const std::vector<V>& cvs, const std::vector<double>& w, size_t first)
{
    V r{0, 0, 0};
    for (size_t i = 0; i < w.size(); ++i)
        for (int c = 0; c < 3; ++c)
            r[c] += w[i] * cvs[first + i][c];
    return r;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(CurveKernel, BezierAndSinglePrecisionBasis)
{
    const std::vector<V> cvs = {{0.1, -2.5, 3.0}, {1.7, 4.25, -1.3}, {2.2, 0.3, 9.9}, {-5.5, 1.1, 0.7}};
    const std::vector<float> knots = {0, 0, 0, 0, 1, 1, 1, 1};
    EXPECT_EQ(eval(cvs, knots, 3, 0.0f), cvs[0]);
    EXPECT_EQ(eval(cvs, knots, 3, 1.0f), cvs[3]);
    EXPECT_EQ(eval(cvs, knots, 3, 0.5f), blend(cvs, {0.125, 0.375, 0.375, 0.125}, 0));

    // Linear piece over [0, 3] at t = 1: the basis values are 2/3 and 1/3 rounded to
    // single precision, so a constant curve comes back as 1 + 2^-25, not 1.
    EXPECT_EQ(eval({{1, -1, 0}, {1, -1, 0}}, {0, 0, 3, 3}, 1, 1.0f), (V{1 + 0x1p-25, -1 - 0x1p-25, 0}));

    // Quadratic on {0,0,0,0.7,5.3,5.3,5.3} at t = 2.2f (span 3): unit control points expose
    // the basis values, worked by hand with knot differences in single precision and temp,
    // N and saved each rounded to single. Subtracting in double, keeping temp in double or
    // forming N in single all change the last bits.
    const std::vector<V> unit = {{kNaN, kNaN, kNaN}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    EXPECT_EQ(eval(unit, {0, 0, 0, 0.7f, 5.3f, 5.3f, 5.3f}, 2, 2.2f), (V{0x1.93a2c2p-2, 0x1.ff7ac2p-2, 0x1.b389e8p-4}));
}

TEST(CurveKernel, SpanChoiceAndExtrapolation)
{
    // Quadratic, 4 control points on {0,0,0,1,2,2,2}: the span used shows through a NaN
    // control point that must not be read (a zero weight would still give NaN).
    const std::vector<float> knots = {0, 0, 0, 1, 2, 2, 2};
    const std::vector<V> lastUnused = {{1, 2, 3}, {10, -20, 30}, {100, 200, -300}, {kNaN, kNaN, kNaN}};
    const std::vector<V> firstUnused = {{kNaN, kNaN, kNaN}, {10, -20, 30}, {100, 200, -300}, {7, 8, 9}};
    // t = 0.5: span 2, control points 0..2. t = 1: no knot among 1..3 exceeds t, span 3.
    EXPECT_EQ(eval(lastUnused, knots, 2, 0.5f), blend(lastUnused, {0.25, 0.625, 0.125}, 0));
    EXPECT_EQ(eval(firstUnused, knots, 2, 1.0f), blend(firstUnused, {0.5, 0.5, 0.0}, 1));
    EXPECT_FALSE(std::isnan(eval(lastUnused, knots, 2, std::nextafter(1.0f, 0.0f))[0]));  // still the left span
    // Past the ends the end pieces continue: weights 4, -3.5, 0.5 at t = -1 and mirrored at t = 3.
    EXPECT_EQ(eval(lastUnused, knots, 2, -1.0f), blend(lastUnused, {4.0, -3.5, 0.5}, 0));
    EXPECT_EQ(eval(firstUnused, knots, 2, 3.0f), blend(firstUnused, {0.5, -3.5, 4.0}, 1));

    // Degree 1: the end lines continue past the domain.
    const std::vector<V> line = {{0, 0, 0}, {1, 2, 3}};
    EXPECT_EQ(eval(line, {0, 0, 1, 1}, 1, -1.0f), (V{-1, -2, -3}));
    EXPECT_EQ(eval(line, {0, 0, 1, 1}, 1, 2.0f), (V{2, 4, 6}));
    // Fewer than two control points: the span is the degree itself.
    EXPECT_EQ(eval({{4, 5, 6}}, {0, 1}, 0, 0.5f), (V{4, 5, 6}));
}

}  // namespace
