// Filling the evaluation record from a host surface: knot layout, storage order, rounding,
// storage reuse, and input the evaluation cannot take.

#include <gtest/gtest.h>

#include "surface_fixtures.h"

using hostapi::NurbsSurfaceGeometry;
using surface_fixtures::clampedHostKnots;
using surface_fixtures::hostCv;
using surface_fixtures::rawSurfaceObject;
using surface_fixtures::roundedToFloat;

namespace {

NurbsSurfaceGeometry gridSurface(int degreeU, std::vector<double> knotsU, int degreeV, std::vector<double> knotsV) {
    NurbsSurfaceGeometry g;
    g.degreeU = degreeU;
    g.degreeV = degreeV;
    g.cvCountU = static_cast<int>(knotsU.size()) - degreeU + 1;
    g.cvCountV = static_cast<int>(knotsV.size()) - degreeV + 1;
    g.knotsU = std::move(knotsU);
    g.knotsV = std::move(knotsV);
    g.cvs.resize(static_cast<size_t>(g.cvCountU) * g.cvCountV);
    // Coordinates that single precision cannot hold, and no symmetry between u and v.
    for (int i = 0; i < g.cvCountU; ++i)
        for (int j = 0; j < g.cvCountV; ++j)
            hostCv(g, i, j) = {i + 0.1 * j, 0.3 * j - 0.7 * i, 0.1 * i * j + 0.05, 1.0};
    return g;
}

}  // namespace

TEST(SurfaceRead, KnotVectorsDomainsAndCorners) {
    // Bicubic, 4 x 4, clamped.
    NurbsSurfaceGeometry bicubic = gridSurface(3, {0, 0, 0, 1, 1, 1}, 3, {0, 0, 0, 1, 1, 1});
    SurfaceData record;
    readSurfaceData(hostapi::makeNurbsSurface(bicubic), record);
    ASSERT_TRUE(isSupportedSurface(record));
    for (const SurfaceDirection* d : {&record.uDirection, &record.vDirection}) {
        EXPECT_EQ(d->order, 4);
        EXPECT_EQ(d->cvCount, 4);
        EXPECT_EQ(d->knots, (std::vector<float>{0, 0, 0, 0, 1, 1, 1, 1}));
        EXPECT_EQ(d->domainStart, 0.0f);
        EXPECT_EQ(d->domainEnd, 1.0f);
    }
    const KxPoint first = evalSurfacePoint(record, 0.0f, 0.0f);
    EXPECT_EQ(first.x, roundedToFloat(hostCv(bicubic, 0, 0)[0]));
    EXPECT_EQ(first.y, record.cvs[0].y);
    EXPECT_EQ(first.z, record.cvs[0].z);
    const KxPoint last = evalSurfacePoint(record, 1.0f, 1.0f);
    EXPECT_EQ(last.x, roundedToFloat(3.0 + 0.1 * 3));
    EXPECT_EQ(last.y, roundedToFloat(0.3 * 3 - 0.7 * 3));
    EXPECT_EQ(last.z, roundedToFloat(0.1 * 9 + 0.05));

    // Unclamped knots: the added end knots extrapolate the outer steps, computed in double
    // and rounded once (the float difference 2 * 0.2f - 0.3f is a different number).
    const std::vector<double> hostV{0.05, 0.2, 0.3, 0.45, 0.6, 0.7};
    readSurfaceData(hostapi::makeNurbsSurface(gridSurface(3, {0, 1, 2, 3, 4, 5}, 2, hostV)), record);
    ASSERT_TRUE(isSupportedSurface(record));
    EXPECT_EQ(record.uDirection.knots, (std::vector<float>{0, 0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(record.uDirection.domainStart, 2.0f);
    EXPECT_EQ(record.uDirection.domainEnd, 3.0f);
    const std::vector<float>& kv = record.vDirection.knots;
    ASSERT_EQ(kv.size(), 8u);
    EXPECT_EQ(kv[0], static_cast<float>(2.0 * 0.2 - 0.3));
    ASSERT_NE(kv[0], 2.0f * 0.2f - 0.3f);
    EXPECT_EQ(kv[7], static_cast<float>(2.0 * 0.7 - 0.6));
    for (size_t k = 0; k < hostV.size(); ++k) EXPECT_EQ(kv[k + 1], static_cast<float>(hostV[k]));
    EXPECT_EQ(record.vDirection.cvCount, 5);
    EXPECT_EQ(record.vDirection.domainStart, 0.2f);
    EXPECT_EQ(record.vDirection.domainEnd, 0.6f);
}

TEST(SurfaceRead, VMajorRoundedStorageWeightsIgnoredAndReuse) {
    // 3 control points in u, 5 in v.
    NurbsSurfaceGeometry g = gridSurface(2, {0, 0, 1, 1}, 1, {0, 0.25, 0.5, 0.75, 1});
    hostCv(g, 0, 0) = {0.1, 0.2, 0.3, 1.0};
    SurfaceData record;
    readSurfaceData(hostapi::makeNurbsSurface(g), record);
    ASSERT_TRUE(isSupportedSurface(record));
    ASSERT_EQ(record.cvs.size(), 15u);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 5; ++j) {
            const KxPoint& cv = record.cvs[static_cast<size_t>(j) * 3 + i];
            EXPECT_EQ(cv.x, roundedToFloat(hostCv(g, i, j)[0])) << i << "," << j;
            EXPECT_EQ(cv.y, roundedToFloat(hostCv(g, i, j)[1])) << i << "," << j;
            EXPECT_EQ(cv.z, roundedToFloat(hostCv(g, i, j)[2])) << i << "," << j;
        }
    }
    // Each component rounded to single precision on its own.
    EXPECT_EQ(record.cvs[0].x, 0.100000001490116119384765625);
    EXPECT_EQ(record.cvs[0].y, 0.20000000298023223876953125);
    EXPECT_EQ(record.cvs[0].z, 0.300000011920928955078125);

    // Weights are dropped: a rational copy evaluates like the polynomial surface.
    NurbsSurfaceGeometry rational = g;
    for (auto& cv : rational.cvs) cv[3] = 0.5 + 0.25 * cv[0] * cv[0];
    SurfaceData rationalRecord;
    readSurfaceData(hostapi::makeNurbsSurface(rational), rationalRecord);
    for (float u : {0.0f, 0.3f, 0.77f, 1.0f}) {
        for (float v : {0.0f, 0.4f, 0.9f}) {
            const KxPoint a = evalSurfacePoint(record, u, v);
            const KxPoint b = evalSurfacePoint(rationalRecord, u, v);
            EXPECT_EQ(a.x, b.x);
            EXPECT_EQ(a.y, b.y);
            EXPECT_EQ(a.z, b.z);
        }
    }

    // A refill of the same size keeps every buffer; a smaller one keeps the storage too.
    const KxPoint* cvStorage = record.cvs.data();
    const float* uStorage = record.uDirection.knots.data();
    const float* vStorage = record.vDirection.knots.data();
    const size_t cvCapacity = record.cvs.capacity();
    for (auto& cv : g.cvs) cv[1] += 2.0;
    readSurfaceData(hostapi::makeNurbsSurface(g), record);
    EXPECT_EQ(record.cvs.data(), cvStorage);
    EXPECT_EQ(record.uDirection.knots.data(), uStorage);
    EXPECT_EQ(record.vDirection.knots.data(), vStorage);
    EXPECT_EQ(record.cvs[1].y, roundedToFloat(hostCv(g, 1, 0)[1]));
    readSurfaceData(hostapi::makeNurbsSurface(gridSurface(1, {0, 1}, 1, {0, 0.5, 1})), record);
    EXPECT_EQ(record.cvs.size(), 6u);
    EXPECT_EQ(record.cvs.data(), cvStorage);
    EXPECT_EQ(record.cvs.capacity(), cvCapacity);
}

TEST(SurfaceRead, UnsupportedSurfacesAreRefusedAndReadSafely) {
    SurfaceData record;
    const NurbsSurfaceGeometry good = gridSurface(2, {0, 0, 0.5, 1, 1}, 3, {0, 0, 0, 1, 1, 1});
    readSurfaceData(hostapi::makeNurbsSurface(good), record);
    EXPECT_TRUE(isSupportedSurface(record));

    // Order 11 in u.
    readSurfaceData(hostapi::makeNurbsSurface(gridSurface(10, clampedHostKnots(10, 0, 1, {}), 1, {0, 1, 2})), record);
    EXPECT_EQ(record.uDirection.order, 11);
    EXPECT_FALSE(isSupportedSurface(record));
    // Order 10 is the largest taken.
    readSurfaceData(hostapi::makeNurbsSurface(gridSurface(9, clampedHostKnots(9, 0, 1, {}), 1, {0, 1, 2})), record);
    EXPECT_TRUE(isSupportedSurface(record));

    // Degree 1 with two control points: two host knots, nothing to extrapolate from.
    readSurfaceData(hostapi::makeNurbsSurface(gridSurface(1, {0, 1}, 2, {0, 0, 1, 1})), record);
    EXPECT_EQ(record.uDirection.knots, (std::vector<float>{0, 0, 1, 1}));
    EXPECT_EQ(record.uDirection.domainStart, 0.0f);
    EXPECT_EQ(record.uDirection.domainEnd, 1.0f);
    EXPECT_FALSE(isSupportedSurface(record));

    // Malformed host data, past the factory's checks: no knots at all, degree 0, and a
    // control point array shorter than the counts claim.
    NurbsSurfaceGeometry noKnots = good;
    noKnots.knotsU.clear();
    readSurfaceData(rawSurfaceObject(noKnots), record);
    EXPECT_EQ(record.uDirection.knots, (std::vector<float>{0, 0}));
    EXPECT_FALSE(isSupportedSurface(record));

    NurbsSurfaceGeometry degreeZero = good;
    degreeZero.degreeV = 0;
    readSurfaceData(rawSurfaceObject(degreeZero), record);
    EXPECT_FALSE(isSupportedSurface(record));

    NurbsSurfaceGeometry shortCvs = good;
    shortCvs.cvs.resize(shortCvs.cvs.size() - 5);
    readSurfaceData(rawSurfaceObject(shortCvs), record);
    EXPECT_EQ(record.cvs.size(), shortCvs.cvs.size());
    EXPECT_FALSE(isSupportedSurface(record));

    NurbsSurfaceGeometry longCvs = good;
    longCvs.cvs.resize(longCvs.cvs.size() + 1);
    readSurfaceData(rawSurfaceObject(longCvs), record);
    EXPECT_FALSE(isSupportedSurface(record));

    readSurfaceData(MObject(), record);  // not a surface at all: the function set reports nothing
    EXPECT_FALSE(isSupportedSurface(record));

    // Records damaged after reading: sizes that disagree, fewer control points than the order.
    readSurfaceData(hostapi::makeNurbsSurface(good), record);
    SurfaceData damaged = record;
    damaged.vDirection.knots.pop_back();
    EXPECT_FALSE(isSupportedSurface(damaged));
    damaged = record;
    damaged.uDirection.cvCount = 3;
    damaged.uDirection.order = 4;  // still cvCount + order knots
    damaged.cvs.resize(3 * 4);
    EXPECT_FALSE(isSupportedSurface(damaged));
}
