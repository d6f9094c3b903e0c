// Filling the evaluation record from a host surface; the record's evaluation (span search,
// single-precision blending, tangent chords, no heap use); and random surfaces evaluated by
// the node against OpenCASCADE fed the same single-precision knots and control points.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>

#include <gtest/gtest.h>
#include <maya/MObject.h>

#include "../closest_point/occt_twin.h"
#include "hostapi/objects.h"
#include "surface_data.h"

// Every global allocation in this test program is counted. Out of line, so that GCC does
// not pair an inlined malloc or free with the other operator and warn of a mismatch.
namespace {
std::atomic<long> allocationCount{0};
}
[[gnu::noinline]] void* operator new(std::size_t size) {
    ++allocationCount;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using hostapi::makeNurbsSurface;

namespace {

using Xyz = std::array<double, 3>;
Xyz xyz(const KxPoint& p) { return {p.x, p.y, p.z}; }

// Out of line: GCC 12 has folded the float round trip away where it vectorised neighbouring conversions.
[[gnu::noinline]] double roundedToFloat(double x) { return static_cast<double>(static_cast<float>(x)); }

// Host-form clamped knots: degree copies of each end, `interior` in between.
std::vector<double> clampedHostKnots(int degree, double start, double end, const std::vector<double>& interior) {
    std::vector<double> knots(static_cast<size_t>(degree), start);
    knots.insert(knots.end(), interior.begin(), interior.end());
    knots.insert(knots.end(), static_cast<size_t>(degree), end);
    return knots;
}

// Coordinates single precision cannot hold, no symmetry between u and v, curved both ways;
// rational, and the weights are to be ignored.
NurbsSurfaceGeometry gridSurface(int degreeU, std::vector<double> knotsU, int degreeV, std::vector<double> knotsV) {
    NurbsSurfaceGeometry g;
    g.degreeU = degreeU;
    g.degreeV = degreeV;
    g.cvCountU = static_cast<int>(knotsU.size()) - degreeU + 1;
    g.cvCountV = static_cast<int>(knotsV.size()) - degreeV + 1;
    g.knotsU = std::move(knotsU);
    g.knotsV = std::move(knotsV);
    for (int i = 0; i < g.cvCountU; ++i)
        for (int j = 0; j < g.cvCountV; ++j)
            g.cvs.push_back({i + 0.1 * j, 0.3 * j - 0.7 * i + 0.1 * i * i, 0.1 * i * j - 0.3 * j * j + 0.05,
                             0.5 + 0.3 * i + 0.1 * j});
    return g;
}

SurfaceData readHost(const NurbsSurfaceGeometry& g) {
    SurfaceData record;
    readSurfaceData(makeNurbsSurface(g), record);
    return record;
}

}  // namespace

TEST(SurfaceRead, KnotVectorsGainEndKnotsExtrapolatedInDouble) {
    // The added end knots extrapolate the outer steps, computed in double and rounded once
    // (the float difference 2 * 0.2f - 0.3f is a different number).
    const std::vector<double> hostV{0.05, 0.2, 0.3, 0.45, 0.6, 0.7};
    const SurfaceData record = readHost(gridSurface(3, {0, 1, 2, 3, 4, 5}, 2, hostV));
    ASSERT_TRUE(isSupportedSurface(record));
    EXPECT_EQ(record.uDirection.knots, (std::vector<float>{0, 0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(record.uDirection.domainStart, 2.0f);
    EXPECT_EQ(record.uDirection.domainEnd, 3.0f);
    std::vector<float> expectedV{static_cast<float>(2.0 * 0.2 - 0.3)};
    for (double k : hostV) expectedV.push_back(static_cast<float>(k));
    expectedV.push_back(static_cast<float>(2.0 * 0.7 - 0.6));
    ASSERT_NE(expectedV[0], 2.0f * 0.2f - 0.3f);
    EXPECT_EQ(record.vDirection.knots, expectedV);
    EXPECT_EQ(record.vDirection.domainStart, 0.2f);
    EXPECT_EQ(record.vDirection.domainEnd, 0.6f);
}

TEST(SurfaceRead, VMajorRoundedPointsWeightsIgnoredAndStorageReused) {
    NurbsSurfaceGeometry g = gridSurface(2, {0, 0, 1, 1}, 1, {0, 0.25, 0.5, 0.75, 1});  // 3 by 5 points
    g.cvs[0] = {0.1, 0.2, 0.3, 2.0};
    SurfaceData record;
    readSurfaceData(makeNurbsSurface(g), record);
    const auto expectHostPoints = [&] {
        ASSERT_EQ(record.cvs.size(), 15u);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 5; ++j) {
                const auto& h = g.cvs[static_cast<size_t>(i) * 5 + j];  // u-major
                EXPECT_EQ(xyz(record.cvs[static_cast<size_t>(j) * 3 + i]),
                          (Xyz{roundedToFloat(h[0]), roundedToFloat(h[1]), roundedToFloat(h[2])}))
                    << i << "," << j;
            }
    };
    expectHostPoints();
    // Each component rounded to single precision on its own, and the weight not applied.
    EXPECT_EQ(xyz(record.cvs[0]), (Xyz{0.100000001490116119384765625, 0.20000000298023223876953125,
                                       0.300000011920928955078125}));

    // A refill of the same size keeps every buffer and takes the new points; a smaller one
    // keeps the storage too.
    const KxPoint* cvStorage = record.cvs.data();
    const float* uStorage = record.uDirection.knots.data();
    const float* vStorage = record.vDirection.knots.data();
    const size_t cvCapacity = record.cvs.capacity();
    for (auto& cv : g.cvs) cv[1] += 2.0;
    readSurfaceData(makeNurbsSurface(g), record);
    EXPECT_TRUE(record.cvs.data() == cvStorage && record.uDirection.knots.data() == uStorage &&
                record.vDirection.knots.data() == vStorage);
    expectHostPoints();
    readSurfaceData(makeNurbsSurface(gridSurface(1, {0, 1}, 1, {0, 0.5, 1})), record);
    EXPECT_EQ(record.cvs.size(), 6u);
    EXPECT_EQ(record.cvs.data(), cvStorage);
    EXPECT_EQ(record.cvs.capacity(), cvCapacity);
}

TEST(SurfaceRead, UnsupportedSurfacesAreRefusedAndReadSafely) {
    const NurbsSurfaceGeometry good = gridSurface(2, {0, 0, 0.5, 1, 1}, 3, {0, 0, 0, 1, 1, 1});
    // The host object as it is, past the factory's validation.
    const auto raw = [&good](void (*edit)(NurbsSurfaceGeometry&)) {
        NurbsSurfaceGeometry g = good;
        edit(g);
        return MObject(std::make_shared<hostapi::NurbsSurfaceObject>(std::make_shared<const NurbsSurfaceGeometry>(g)));
    };
    const std::pair<MObject, bool> cases[] = {
        {makeNurbsSurface(good), true},
        {raw([](NurbsSurfaceGeometry& g) { g.degreeV = 0; }), false},
        {raw([](NurbsSurfaceGeometry& g) { g.cvs.emplace_back(); }), false},
        {raw([](NurbsSurfaceGeometry& g) { g.knotsV.pop_back(); }), false},  // knot and point counts disagree
        // Consistent sizes, but fewer control points in u than the order.
        {raw([](NurbsSurfaceGeometry& g) { g.degreeU = 3, g.cvCountU = 3, g.cvs.resize(3 * 4); }), false},
        {MObject(), false},  // not a surface: the function set reports nothing
    };
    SurfaceData record;
    for (size_t k = 0; k < std::size(cases); ++k) {
        readSurfaceData(cases[k].first, record);
        EXPECT_EQ(isSupportedSurface(record), cases[k].second) << "case " << k;
    }
    // Too few host knots to extrapolate from (degree 1, two points; none at all): the ends are
    // repeated, or 0, so every entry is defined. Missing control points are not read.
    readSurfaceData(makeNurbsSurface(gridSurface(1, {0, 1}, 2, {0, 0, 1, 1})), record);
    EXPECT_EQ(record.uDirection.knots, (std::vector<float>{0, 0, 1, 1}));
    EXPECT_FALSE(isSupportedSurface(record));
    readSurfaceData(raw([](NurbsSurfaceGeometry& g) { g.knotsU.clear(); }), record);
    EXPECT_EQ(record.uDirection.knots, (std::vector<float>{0, 0}));
    EXPECT_FALSE(isSupportedSurface(record));
    readSurfaceData(raw([](NurbsSurfaceGeometry& g) { g.cvs.resize(g.cvs.size() - 5); }), record);
    EXPECT_EQ(record.cvs.size(), good.cvs.size() - 5);
    EXPECT_FALSE(isSupportedSurface(record));
}

TEST(SurfaceEval, SpanSearchAndSinglePrecisionBlend) {
    // Cubic, 7 control points, a double knot at 2. On an interior knot: the span to its left;
    // outside the domain (or NaN): the nearest end span.
    const float knots[] = {0, 0, 0, 0, 1, 2, 2, 3, 3, 3, 3};
    const std::pair<float, int> spans[] = {{-1.0f, 3}, {0.0f, 3}, {1.0f, 3}, {std::nextafter(1.0f, 2.0f), 4},
                                           {2.0f, 4},  {2.5f, 6}, {3.0f, 6}, {7.0f, 6},
                                           {NAN, 3}};
    for (const auto& [t, span] : spans) EXPECT_EQ(findSpan(knots, 4, 7, t), span) << t;

    // Degree 1 on [0, 3] from x = 3 to x = 6 at t = 2: a = 1/3 and b = 1 - a are both rounded
    // to float (b to 0.666666626...), so the point is not 5. Past the end the last piece extrapolates.
    const float line[] = {0, 0, 3, 3};
    const KxPoint ends[2] = {{3.0, 0.0, 0.0}, {6.0, -6.0, 0.0}};
    EXPECT_EQ(deBoorPoint(line, 2, 2, 1, 2.0f, ends).x, 4.9999997913837432861328125);
    EXPECT_EQ(deBoorPoint(line, 2, 2, 1, 1.0f, ends).y, -1.99999988079071044921875);
    EXPECT_EQ(deBoorPoint(line, 2, 2, 1, 6.0f, ends).x, 9.0);
}

TEST(SurfaceEval, TensorProductRunsAlongVFirstThenU) {
    // Bit for bit: the v curves of the u span's columns, then one u curve through them. The
    // other order gives different bits on most points of a curved non-uniform surface.
    const SurfaceData r = readHost(gridSurface(3, clampedHostKnots(3, 0.0, 2.5, {0.4, 1.7}), 2,
                                               clampedHostKnots(2, 0.0, 3.0, {0.5, 1.1, 2.2})));
    const SurfaceDirection& du = r.uDirection;
    const SurfaceDirection& dv = r.vDirection;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> along(0.0f, 1.0f);
    int differentIfSwapped = 0;
    for (int k = 0; k < 50; ++k) {
        const float u = along(rng) * du.domainEnd, v = along(rng) * dv.domainEnd;
        const int su = findSpan(du.knots.data(), du.order, du.cvCount, u);
        std::vector<KxPoint> columns(static_cast<size_t>(du.cvCount));
        for (int c = su - du.order + 1; c <= su; ++c)
            columns[c] = deBoorPoint(dv.knots.data(), dv.order, dv.cvCount, du.cvCount, v, &r.cvs[c]);
        const KxPoint expected = deBoorPoint(du.knots.data(), du.order, du.cvCount, 1, u, columns.data());
        EXPECT_EQ(xyz(evalSurfacePoint(r, u, v)), xyz(expected)) << u << ", " << v;

        const int sv = findSpan(dv.knots.data(), dv.order, dv.cvCount, v);
        std::vector<KxPoint> rows(static_cast<size_t>(dv.cvCount));
        for (int row = sv - dv.order + 1; row <= sv; ++row)
            rows[row] = deBoorPoint(du.knots.data(), du.order, du.cvCount, 1, u, &r.cvs[row * du.cvCount]);
        differentIfSwapped += xyz(deBoorPoint(dv.knots.data(), dv.order, dv.cvCount, 1, v, rows.data())) != xyz(expected);
    }
    EXPECT_GT(differentIfSwapped, 10);
}

TEST(SurfaceEval, TangentChordsSwitchStrictlyAtDomainEnd) {
    // Bicubic on [-1, 3] x [-1, 2.5]: each switch depends on its own end, not on the length.
    const double h = 0.01, endU = 3.0, endV = 2.5;
    const SurfaceData s = readHost(
        gridSurface(3, clampedHostKnots(3, -1, endU, {0.5, 2}), 3, clampedHostKnots(3, -1, endV, {0.5, 2})));
    const auto at = [&s](double u, double v) {
        return evalSurfacePoint(s, static_cast<float>(u), static_cast<float>(v));
    };
    const auto chord = [](const KxPoint& a, const KxPoint& b) { return Xyz{a.x - b.x, a.y - b.y, a.z - b.z}; };
    KxPoint tu;
    KxPoint tv;

    // Exactly one step before the ends: still the forward chords, which differ from the backward ones.
    const double u0 = endU - h, v0 = endV - h;
    surfaceTangents(s, u0, v0, tu, tv);
    EXPECT_EQ(xyz(tu), chord(at(u0 + h, v0), at(u0, v0)));
    EXPECT_EQ(xyz(tv), chord(at(u0, v0 + h), at(u0, v0)));
    ASSERT_NE(xyz(tu), chord(at(u0, v0), at(u0 - h, v0)));
    ASSERT_NE(xyz(tv), chord(at(u0, v0), at(u0, v0 - h)));

    // Just past that, and at the ends: the backward chords.
    for (const auto& [u, v] : {std::pair{std::nextafter(u0, endU), std::nextafter(v0, endV)}, std::pair{endU, endV}}) {
        surfaceTangents(s, u, v, tu, tv);
        EXPECT_EQ(xyz(tu), chord(at(u, v), at(u - h, v))) << u;
        EXPECT_EQ(xyz(tv), chord(at(u, v), at(u, v - h))) << v;
    }

    // Parameters are rounded after the step is added in double: (float)(u + 0.01) is not
    // (float)u + 0.01f here, and so close below a knot (0.5, 2) that the weights tell them apart.
    const double u = 0.4403, v = 1.9415;
    ASSERT_NE(static_cast<float>(u + h), static_cast<float>(u) + 0.01f);
    ASSERT_NE(static_cast<float>(v + h), static_cast<float>(v) + 0.01f);
    surfaceTangents(s, u, v, tu, tv);
    EXPECT_EQ(xyz(tu), chord(at(u + h, v), at(u, v)));
    EXPECT_EQ(xyz(tv), chord(at(u, v + h), at(u, v)));
}

TEST(SurfaceEval, NoHeapUseUpToOrderTen) {
    const std::vector<double> knots = clampedHostKnots(9, 0, 1, {0.4, 0.7});
    const SurfaceData orderTen = readHost(gridSurface(9, knots, 9, knots));
    const SurfaceData orderEleven = readHost(gridSurface(10, clampedHostKnots(10, 0, 1, {}), 1, {0, 1, 2}));
    ASSERT_TRUE(isSupportedSurface(orderTen));
    KxPoint tu;
    KxPoint tv;
    double sum = 0.0;
    const long before = allocationCount.load();
    for (float u : {0.0f, 0.37f, 1.0f}) {
        for (float v : {0.0f, 0.61f, 1.0f}) {
            sum += evalSurfacePoint(orderTen, u, v).x;
            surfaceTangents(orderTen, u, v, tu, tv);
        }
    }
    EXPECT_EQ(allocationCount.load(), before);
    // The count works: order 11 (refused by the driver) evaluates on the heap.
    sum += evalSurfacePoint(orderEleven, 0.5f, 1.0f).x;
    EXPECT_GT(allocationCount.load(), before);
    EXPECT_TRUE(std::isfinite(sum));
}

namespace {

// Clamped host knots with sorted random interior knots, some doubled where the degree allows.
std::vector<double> randomHostKnots(std::mt19937& rng, int degree, int cvCount) {
    std::uniform_real_distribution<double> offset(-1.0, 1.0);
    const double start = offset(rng), end = start + 0.5 + 2.0 * std::abs(offset(rng));
    std::uniform_real_distribution<double> inside(start, end);
    std::vector<double> knots(static_cast<size_t>(cvCount + degree - 1), end);
    std::fill(knots.begin(), knots.begin() + degree, start);
    for (int k = degree; k < cvCount - 1; ++k) {
        knots[k] = inside(rng);
        if (degree >= 2 && k + 1 < cvCount - 1 && rng() % 4 == 0) knots[k + 1] = knots[k], ++k;
    }
    std::sort(knots.begin(), knots.end());
    return knots;
}

// The textbook surface over the host's knots and points rounded to float, weights left out.
Handle(Geom_BSplineSurface) oracleSurface(NurbsSurfaceGeometry g) {
    for (auto& cv : g.cvs) cv = {roundedToFloat(cv[0]), roundedToFloat(cv[1]), roundedToFloat(cv[2]), 1.0};
    for (std::vector<double>* knots : {&g.knotsU, &g.knotsV})
        for (double& k : *knots) k = roundedToFloat(k);
    return toOcct(g);
}

}  // namespace

TEST(SurfaceOracle, RandomSurfacesMatchOpenCascade) {
    std::mt19937 rng(20240611u);
    std::uniform_int_distribution<int> extra(1, 6);
    std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
    std::uniform_real_distribution<double> weight(0.5, 2.0);
    // Parameters to probe: both domain ends, every distinct knot, and random ones.
    const auto probes = [&rng](const SurfaceDirection& d) {
        std::vector<float> t{d.domainStart, d.domainEnd};
        for (int k = d.order - 1; k <= d.cvCount; ++k) t.push_back(d.knots[k]);
        std::uniform_real_distribution<float> inside(d.domainStart, d.domainEnd);
        for (int k = 0; k < 5; ++k) t.push_back(inside(rng));
        return t;
    };
    // Order 10 is the largest taken; order 11 is refused, but its heap path must still be right.
    std::vector<std::pair<int, int>> degrees{{9, 4}, {10, 2}};
    for (int du = 1; du <= 5; ++du)
        for (int dv = 1; dv <= 5; ++dv) degrees.emplace_back(du, dv);

    for (int round = 0; round < 3; ++round) {
        for (const auto& [du, dv] : degrees) {
            NurbsSurfaceGeometry g;
            g.degreeU = du;
            g.degreeV = dv;
            g.cvCountU = du + extra(rng);
            g.cvCountV = dv + extra(rng);
            g.knotsU = randomHostKnots(rng, du, g.cvCountU);
            g.knotsV = randomHostKnots(rng, dv, g.cvCountV);
            for (int k = 0; k < g.cvCountU * g.cvCountV; ++k)
                g.cvs.push_back({coordinate(rng), coordinate(rng), coordinate(rng), weight(rng)});
            const SurfaceData record = readHost(g);
            // Refused: order 11, and degree 1 with two control points (two host knots).
            EXPECT_EQ(isSupportedSurface(record), du < 10 && g.knotsU.size() >= 3 && g.knotsV.size() >= 3);

            // Errors allowed relative to the net's extent of 10. (Tangent chords are differences of
            // these points, checked exactly in SurfaceEval.)
            const Handle(Geom_BSplineSurface) oracle = oracleSurface(g);
            for (float u : probes(record.uDirection)) {
                for (float v : probes(record.vDirection)) {
                    const KxPoint p = evalSurfacePoint(record, u, v);
                    const gp_Pnt q = oracle->Value(u, v);
                    ASSERT_LE(std::max({std::abs(p.x - q.X()), std::abs(p.y - q.Y()), std::abs(p.z - q.Z())}), 1e-5)
                        << "degrees " << du << "," << dv << " at " << u << "," << v;
                }
            }
        }
    }
}
