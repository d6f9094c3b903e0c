// Span search, the single-precision blend weights, the tangent chord switch at the domain
// end, and evaluation without heap use.

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include "surface_fixtures.h"

// Every global allocation in this test program is counted.
namespace {
std::atomic<long> allocationCount{0};
}
void* operator new(std::size_t size) {
    ++allocationCount;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using surface_fixtures::makeRecord;

namespace {

// A full clamped knot vector of `order` and `cvCount` with evenly spaced interior knots on [0, end].
std::vector<float> clampedKnots(int order, int cvCount, float end) {
    std::vector<float> knots;
    for (int k = 0; k < order; ++k) knots.push_back(0.0f);
    const int spans = cvCount - order + 1;
    for (int k = 1; k < spans; ++k) knots.push_back(end * static_cast<float>(k) / static_cast<float>(spans));
    for (int k = 0; k < order; ++k) knots.push_back(end);
    return knots;
}

// Curved in both directions, so forward and backward chords differ.
SurfaceData curvedSurface(int order, int cvCount, float end) {
    std::vector<KxPoint> cvs;
    for (int j = 0; j < cvCount; ++j) {
        for (int i = 0; i < cvCount; ++i) {
            KxPoint p;
            p.x = i;
            p.y = j + 0.25 * i;
            p.z = 0.1 * (i * i) - 0.3 * (j * j) + 0.01 * i * j;
            cvs.push_back(p);
        }
    }
    return makeRecord(order, clampedKnots(order, cvCount, end), order, clampedKnots(order, cvCount, end),
                      std::move(cvs));
}

void expectSame(const KxPoint& a, const KxPoint& b) {
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.z, b.z);
}

KxPoint minus(const KxPoint& a, const KxPoint& b) {
    KxPoint d;
    d.x = a.x - b.x;
    d.y = a.y - b.y;
    d.z = a.z - b.z;
    return d;
}

}  // namespace

TEST(SurfaceEval, SpanSearchAndSinglePrecisionBlend) {
    // Cubic, 7 control points, a double knot at 2.
    const float knots[] = {0, 0, 0, 0, 1, 2, 2, 3, 3, 3, 3};
    EXPECT_EQ(findSpan(knots, 4, 7, -1.0f), 3);  // below the domain: first span
    EXPECT_EQ(findSpan(knots, 4, 7, 0.0f), 3);
    EXPECT_EQ(findSpan(knots, 4, 7, 1.0f), 3);  // on an interior knot: the span to its left
    EXPECT_EQ(findSpan(knots, 4, 7, std::nextafter(1.0f, 2.0f)), 4);
    EXPECT_EQ(findSpan(knots, 4, 7, 2.0f), 4);
    EXPECT_EQ(findSpan(knots, 4, 7, 2.5f), 6);
    EXPECT_EQ(findSpan(knots, 4, 7, 3.0f), 6);
    EXPECT_EQ(findSpan(knots, 4, 7, 7.0f), 6);  // above the domain: last span
    EXPECT_EQ(findSpan(knots, 4, 7, NAN), 3);

    // Degree 1 on [0, 3] from x = 3 to x = 6 at t = 2: a = 1/3 and b = 1 - a are both rounded
    // to float (b to 0.666666626...), so the point is not 5.
    const float line[] = {0, 0, 3, 3};
    KxPoint ends[2];
    ends[0].x = 3.0;
    ends[1].x = 6.0;
    ends[1].y = -6.0;
    EXPECT_EQ(deBoorPoint(line, 2, 2, 1, 2.0f, ends).x, 4.9999997913837432861328125);
    EXPECT_EQ(deBoorPoint(line, 2, 2, 1, 1.0f, ends).y, -1.99999988079071044921875);
    // Past the end the last piece is extrapolated.
    EXPECT_EQ(deBoorPoint(line, 2, 2, 1, 6.0f, ends).x, 9.0);

    // Stride: the curve through every third point equals the curve through the compact list.
    const std::vector<float> cubic = clampedKnots(4, 6, 1.0f);
    KxPoint compact[6];
    KxPoint spread[18];
    for (int k = 0; k < 6; ++k) {
        compact[k].x = std::sin(k * 1.3);
        compact[k].y = 0.1 * k * k;
        compact[k].z = -k;
        spread[3 * k] = compact[k];
        spread[3 * k + 1].x = spread[3 * k + 2].x = 1.0e30;  // never read
    }
    for (float t : {0.0f, 0.2f, 1.0f / 3.0f, 0.5f, 0.9f, 1.0f}) {
        expectSame(deBoorPoint(cubic.data(), 4, 6, 3, t, spread), deBoorPoint(cubic.data(), 4, 6, 1, t, compact));
    }
    // End interpolation of a clamped curve is exact.
    expectSame(deBoorPoint(cubic.data(), 4, 6, 1, 0.0f, compact), compact[0]);
    expectSame(deBoorPoint(cubic.data(), 4, 6, 1, 1.0f, compact), compact[5]);
}

TEST(SurfaceEval, TangentChordsSwitchStrictlyAtDomainEnd) {
    const SurfaceData s = curvedSurface(4, 6, 3.0f);
    const double h = 0.01;
    const double end = 3.0;
    KxPoint tu;
    KxPoint tv;
    const auto at = [&s](double u, double v) {
        return evalSurfacePoint(s, static_cast<float>(u), static_cast<float>(v));
    };

    // Exactly one step before the end: still the forward chord.
    const double before = end - h;
    surfaceTangents(s, before, before, tu, tv);
    expectSame(tu, minus(at(before + h, before), at(before, before)));
    expectSame(tv, minus(at(before, before + h), at(before, before)));
    const KxPoint backward = minus(at(before, before), at(before - h, before));
    EXPECT_NE(tu.x, backward.x);

    // Just past that, and at the end: the backward chord.
    const double after = std::nextafter(before, 4.0);
    surfaceTangents(s, after, 1.5, tu, tv);
    expectSame(tu, minus(at(after, 1.5), at(after - h, 1.5)));
    surfaceTangents(s, end, end, tu, tv);
    expectSame(tu, minus(at(end, end), at(end - h, end)));
    expectSame(tv, minus(at(end, end), at(end, end - h)));
    EXPECT_NE(tu.x, minus(at(end + h, end), at(end, end)).x);

    // Parameters are rounded after the step is added in double: (float)(0.083 + 0.01) is not
    // 0.083f + 0.01f.
    ASSERT_NE(static_cast<float>(0.083 + h), 0.083f + 0.01f);
    surfaceTangents(s, 0.083, 1.7, tu, tv);
    expectSame(tu, minus(at(0.083 + h, 1.7), at(0.083, 1.7)));
    expectSame(tv, minus(at(0.083, 1.7 + h), at(0.083, 1.7)));
}

TEST(SurfaceEval, NoHeapUseUpToOrderTen) {
    const SurfaceData orderTen = curvedSurface(10, 12, 1.0f);
    ASSERT_TRUE(isSupportedSurface(orderTen));
    const SurfaceData bicubic = curvedSurface(4, 5, 1.0f);
    KxPoint tu;
    KxPoint tv;
    const long before = allocationCount.load();
    KxPoint sum;
    for (float u : {0.0f, 0.37f, 1.0f}) {
        for (float v : {0.0f, 0.61f, 1.0f}) {
            sum.x += evalSurfacePoint(orderTen, u, v).x + evalSurfacePoint(bicubic, u, v).x;
            surfaceTangents(orderTen, u, v, tu, tv);
            surfaceTangents(bicubic, u, v, tu, tv);
        }
    }
    EXPECT_EQ(allocationCount.load(), before);
    EXPECT_TRUE(std::isfinite(sum.x));

    // Order 11 still evaluates (on the heap); the driver refuses it before that ever happens.
    const SurfaceData orderEleven = curvedSurface(11, 12, 1.0f);
    EXPECT_FALSE(isSupportedSurface(orderEleven));
    const KxPoint corner = evalSurfacePoint(orderEleven, 1.0f, 1.0f);
    expectSame(corner, orderEleven.cvs.back());
    EXPECT_GT(allocationCount.load(), before);
}
