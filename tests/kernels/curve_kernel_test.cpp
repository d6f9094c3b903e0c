// Exact curve values where the arithmetic is fixed: Bezier end points and midpoint,
// span choice on a knot, and extrapolation past both ends.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "curve_kernel.h"

namespace {

struct P {
    double x, y, z;
};

P eval(const std::vector<P>& cvs, const std::vector<float>& knots, int degree, float t)
{
    P out{};
    evalCurve(&cvs[0].x, knots.data(), degree, static_cast<int>(knots.size()), t, &out.x);
    return out;
}

// Weighted sum accumulated in the kernel's order, so equality can be exact.
P blend(const std::vector<P>& cvs, const std::vector<double>& w, size_t first)
{
    P r{0, 0, 0};
    for (size_t i = 0; i < w.size(); ++i) {
        r.x += w[i] * cvs[first + i].x;
        r.y += w[i] * cvs[first + i].y;
        r.z += w[i] * cvs[first + i].z;
    }
    return r;
}

void expectSame(const P& a, const P& b)
{
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.z, b.z);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(CurveKernel, CubicBezier)
{
    const std::vector<P> cvs = {{0.1, -2.5, 3.0}, {1.7, 4.25, -1.3}, {2.2, 0.3, 9.9}, {-5.5, 1.1, 0.7}};
    const std::vector<float> knots = {0, 0, 0, 0, 1, 1, 1, 1};
    expectSame(eval(cvs, knots, 3, 0.0f), cvs[0]);
    expectSame(eval(cvs, knots, 3, 1.0f), cvs[3]);
    expectSame(eval(cvs, knots, 3, 0.5f), blend(cvs, {0.125, 0.375, 0.375, 0.125}, 0));
}

TEST(CurveKernel, BasisInSinglePrecision)
{
    // Linear piece over [0, 3] at t = 1: the basis values are 2/3 and 1/3 rounded to
    // single precision, so a constant curve comes back as 1 + 2^-25, not 1.
    const P line = eval({{1, -1, 0}, {1, -1, 0}}, {0, 0, 3, 3}, 1, 1.0f);
    const double sum = static_cast<double>(2.0f / 3.0f) + static_cast<double>(1.0f / 3.0f);
    EXPECT_EQ(line.x, sum);
    EXPECT_EQ(line.x, 1.0 + std::ldexp(1.0, -25));
    EXPECT_EQ(line.y, -sum);
    EXPECT_EQ(line.z, 0.0);

    // Quadratic on {0,0,0,0.7,5.3,5.3,5.3} at t = 2.2f (span 3). Unit control points
    // expose the three basis values; these bits come from working the recurrence by hand
    // with knot differences taken in single precision and temp, N and saved each rounded
    // to single. Subtracting in double, keeping temp in double or forming N in single
    // all change the last bits.
    const std::vector<P> unit = {{kNaN, kNaN, kNaN}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const P got = eval(unit, {0, 0, 0, 0.7f, 5.3f, 5.3f, 5.3f}, 2, 2.2f);
    EXPECT_EQ(got.x, 0x1.93a2c2p-2);
    EXPECT_EQ(got.y, 0x1.ff7ac2p-2);
    EXPECT_EQ(got.z, 0x1.b389e8p-4);
}

TEST(CurveKernel, SpanOnInteriorKnot)
{
    // Quadratic, 4 control points: the span used is visible through a NaN control point
    // that must not be read (a zero weight would still turn it into NaN).
    const std::vector<float> knots = {0, 0, 0, 1, 2, 2, 2};
    const std::vector<P> lastUnused = {{1, 2, 3}, {10, -20, 30}, {100, 200, -300}, {kNaN, kNaN, kNaN}};
    const std::vector<P> firstUnused = {{kNaN, kNaN, kNaN}, {10, -20, 30}, {100, 200, -300}, {7, 8, 9}};

    // t = 0.5: knot 3 is the first above t, span 2, control points 0..2.
    expectSame(eval(lastUnused, knots, 2, 0.5f), blend(lastUnused, {0.25, 0.625, 0.125}, 0));
    // t = 1: no knot among 1..3 exceeds t, span 3, control points 1..3.
    expectSame(eval(firstUnused, knots, 2, 1.0f), blend(firstUnused, {0.5, 0.5, 0.0}, 1));
    // Just below the knot the left span is still used.
    const P below = eval(lastUnused, knots, 2, std::nextafter(1.0f, 0.0f));
    EXPECT_FALSE(std::isnan(below.x));
}

TEST(CurveKernel, ExtrapolatesEndSpans)
{
    // Degree 1: the end lines continue past the domain.
    const std::vector<P> line = {{0, 0, 0}, {1, 2, 3}};
    const std::vector<float> lineKnots = {0, 0, 1, 1};
    expectSame(eval(line, lineKnots, 1, -1.0f), P{-1, -2, -3});
    expectSame(eval(line, lineKnots, 1, 2.0f), P{2, 4, 6});

    // Quadratic on {0,0,0,1,2,2,2}: the first piece's basis is (1-t)^2, 2t - 1.5t^2, t^2/2,
    // the last piece's is its mirror; at t = -1 and t = 3 the weights are 4, -3.5, 0.5.
    const std::vector<float> knots = {0, 0, 0, 1, 2, 2, 2};
    const std::vector<P> lastUnused = {{1, 2, 3}, {10, -20, 30}, {100, 200, -300}, {kNaN, kNaN, kNaN}};
    const std::vector<P> firstUnused = {{kNaN, kNaN, kNaN}, {10, -20, 30}, {100, 200, -300}, {7, 8, 9}};
    expectSame(eval(lastUnused, knots, 2, -1.0f), blend(lastUnused, {4.0, -3.5, 0.5}, 0));
    expectSame(eval(firstUnused, knots, 2, 3.0f), blend(firstUnused, {0.5, -3.5, 4.0}, 1));

    // Fewer than two control points: the span is the degree itself.
    const std::vector<P> single = {{4, 5, 6}};
    expectSame(eval(single, {0, 1}, 0, 0.5f), single[0]);
}

}  // namespace
