// The slide on the plane x = 2u, y = 2v, where every step has a closed form: the window,
// the sign rules around lr_center, the map choices, clamping, pushes and both
// re-attachment methods.

#include <gmock/gmock.h>

#include <cmath>
#include <iomanip>

#include "node_fixture.h"

using namespace node_testing;

namespace {

// The "matrix" method's frames are built from chords of step 0.01, which no float holds:
// its positions carry errors of a float ulp. Every alternative these tests tell apart
// differs by far more.
constexpr double kTight = 2e-7;

class Slide : public NodeFixture {
protected:
    // Runs one evaluation and returns how far each point moved.
    std::vector<KxPoint> moves() {
        const auto before = record.points;
        EXPECT_EQ(deform(), 0);
        std::vector<KxPoint> out;
        for (size_t k = 0; k < before.size(); ++k)
            out.push_back({record.points[k].x - before[k].x, record.points[k].y - before[k].y, record.points[k].z - before[k].z});
        return out;
    }
};

// Parameters, gains and displacements below are dyadic, so every float and double step of
// the slide is exact on the plane and the moves are compared exactly (tolerance 0).
::testing::AssertionResult movedBy(const KxPoint& move, double x, double y, double z, double tolerance = 0.0) {
    if (std::fabs(move.x - x) <= tolerance && std::fabs(move.y - y) <= tolerance && std::fabs(move.z - z) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << std::setprecision(17) << "moved (" << move.x << ", " << move.y << ", "
                                         << move.z << "), expected (" << x << ", " << y << ", " << z << ")";
}

TEST_F(Slide, WindowAlongUSlidesAcrossAndAlongWithTheVSignRule) {
    // paramType "V": t = u, the up/down slide moves v and the left/right slide moves u.
    host->setNumber("paramType", 1);
    host->setNumber("ud_factor", 0.5);
    host->setNumber("lr_factor", 0.25);
    host->setNumber("lr_center", 0.5);
    host->setArray("rmap", {0, 1}, {0.5f, 0.5f});
    host->setCurve("curve", lineCurve({0.125, 0.25, 0.0}));
    bindAt({{0.75f, 0.5f}, {0.25f, 0.5f}, {0.0f, 0.5f}, {1.0f, 0.5f}});
    const auto moved = moves();
    // u = 0.75 > lr_center: dx = +0.125 picks lmap (1): u' = u - 0.03125; v' = v - 0.5 * 0.25.
    EXPECT_TRUE(movedBy(moved[0], 2 * (0.71875 - 0.75), 2 * (0.375 - 0.5), 0.0));
    // u = 0.25 < lr_center: dx is reversed to -0.125 and picks rmap (0.5): u' = u + 0.015625.
    EXPECT_TRUE(movedBy(moved[1], 2 * (0.265625 - 0.25), 2 * (0.375 - 0.5), 0.0));
    // The window is open: t exactly at startParam or endParam never moves.
    EXPECT_TRUE(movedBy(moved[2], 0.0, 0.0, 0.0));
    EXPECT_TRUE(movedBy(moved[3], 0.0, 0.0, 0.0));
}

TEST_F(Slide, WindowAlongVMovesVTheSameWayOnBothSidesOfTheCenter) {
    // paramType "U": t = v. dx is reversed below lr_center and the v update adds there,
    // so v' = v - mLR * lr_factor * dx on both sides; only the map choice follows the sign.
    host->setNumber("ud_factor", -0.5);
    host->setNumber("lr_factor", 0.25);
    host->setNumber("lr_center", 0.5);
    host->setArray("rmap", {0, 1}, {0.5f, 0.5f});
    host->setArray("dmap", {0, 1}, {0.0f, 0.0f});  // dy > 0 uses umap: dmap must not matter
    host->setCurve("curve", lineCurve({0.125, 0.25, 0.0}));
    bindAt({{0.5f, 0.25f}, {0.5f, 0.75f}});
    const auto moved = moves();
    // u' = u - 1 * (-0.5 * 0.25); v' = v - mLR * 0.25 * 0.125 with rmap 0.5 below the center.
    EXPECT_TRUE(movedBy(moved[0], 2 * (0.625 - 0.5), 2 * (0.234375 - 0.25), 0.0));
    EXPECT_TRUE(movedBy(moved[1], 2 * (0.625 - 0.5), 2 * (0.71875 - 0.75), 0.0));
}

TEST_F(Slide, SlidesStopAtTheDomainAndPushesFollowTheNormal) {
    host->setNumber("ud_factor", 1.0);
    host->setNumber("push_coeff", 2.0);
    host->setCurve("curve", lineCurve({0.0, -0.5, 0.25}));  // dy < 0: d maps; dz pushes by pushMap
    host->setArray("pushMap", {0, 1}, {0.5f, 0.0f});
    host->setArray("dpushInMap", {0, 1}, {0.0f, 0.25f});
    host->setArray("dpushOutMap", {0, 1}, {0.0f, 1.0f});
    host->setArray("upushOutMap", {0, 1}, {1.0f, 1.0f});  // dy < 0: never read
    bindAt({{0.75f, 0.5f}, {0.25f, 0.5f}});
    const auto moved = moves();
    // u' = 0.75 + 0.5 leaves the domain and stops at its end; the push is dz * 2 * 0.5.
    EXPECT_TRUE(movedBy(moved[0], 2 * (1.0 - 0.75), 0.0, 0.25 * 2.0 * 0.5));
    // |dy| * (out - in) * push_coeff along the normal (0, 0, 1), and no dz push (pushMap 0).
    EXPECT_TRUE(movedBy(moved[1], 2 * 0.5, 0.0, 0.5 * 0.75 * 2.0));

    // dy > 0: u' = 0.25 - 0.5 stops at the domain's start, and the u push maps are read.
    host->setCurve("curve", lineCurve({0.0, 0.5, 0.0}));
    bindAt({{0.25f, 0.5f}});
    EXPECT_TRUE(movedBy(moves()[0], 2 * (0.0 - 0.25), 0.0, 0.5 * 1.0 * 2.0));
}

TEST_F(Slide, WeightsEnvelopeAndIndicesBlendOrSkipPoints) {
    host->setCurve("curve", lineCurve({0.0, 0.0, 0.4}));
    host->setDenseArray("pushMap", {1.0f, 1.0f, 1.0f, 1.0f, 1.0f});
    bindAt({{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}});
    settings.envelope = 0.5f;
    record.weights = {1.0f, 0.5f, 9e-6f, 1.0f, 1.0f};
    record.indices = {0, 1, 2, 9, 1};  // 9 has no parameters; position 4 blends with weight[1]
    const auto moved = moves();
    EXPECT_TRUE(movedBy(moved[0], 0.0, 0.0, 0.5 * 0.4));
    EXPECT_TRUE(movedBy(moved[1], 0.0, 0.0, 0.25 * 0.4));
    EXPECT_TRUE(movedBy(moved[2], 0.0, 0.0, 0.0));
    EXPECT_TRUE(movedBy(moved[3], 0.0, 0.0, 0.0));
    EXPECT_TRUE(movedBy(moved[4], 0.0, 0.0, 0.25 * 0.4));
    record.weights.resize(2);  // positions without a weight are left alone
    const auto fewer = moves();
    EXPECT_TRUE(movedBy(fewer[2], 0.0, 0.0, 0.0));
    EXPECT_TRUE(movedBy(fewer[4], 0.0, 0.0, 0.0));
}

TEST_F(Slide, IdenticalCurvesMoveNothingWhateverTheSurfacesDo) {
    host->setNumber("ud_factor", 1.0);
    host->setDenseArray("pushMap", {1.0f});
    bindAt({{0.3f, 0.6f}}, 0.1);
    host->setSurface("surface", hostapi::makeNurbsSurface(planeGeometry({0.0, 0.5, 1.0}, 3.0)));
    EXPECT_TRUE(movedBy(moves()[0], 0.0, 0.0, 0.0));
}

TEST_F(Slide, BothMethodsFollowTheSurfaceAndAgreeOnItsPoints) {
    // Curves differ only in z with pushMap 0: the attachment stays, so both methods move a
    // point by its surface point's displacement between rest and current surface ("matrix"
    // within kTight: on-surface points have zero local coordinates).
    for (int method : {0, 1}) {
        SetUp();
        host->setNumber("slidingMethod", method);
        host->setCurve("curve", lineCurve({0.0, 0.0, 0.3}));
        bindAt({{0.25f, 0.5f}, {0.5f, 0.75f}}, 0.0);
        const double tolerance = method == 0 ? 0.0 : kTight;
        for (const KxPoint& move : moves()) EXPECT_TRUE(movedBy(move, 0.0, 0.0, 0.0, tolerance)) << method;  // rest = current
        host->setSurface("surface", hostapi::makeNurbsSurface(planeGeometry({0.0, 0.5, 1.0}, 3.0)));
        const auto moved = moves();
        EXPECT_TRUE(movedBy(moved[0], 0.25, 0.5, 0.0, tolerance)) << method;
        EXPECT_TRUE(movedBy(moved[1], 0.5, 0.75, 0.0, tolerance)) << method;
    }
}

TEST_F(Slide, MatrixMethodCarriesLiftedPointsThroughTheHomogeneousFrames) {
    // The plane rises by T = (0, 0, 0.5). A point h above the rest plane at S0 = (sx, sy, 0)
    // has local coordinates with 1 + l0 + l1 + l2 = L = (1 - a) / (1 - a - h), a = 50 (sx + sy)
    // (chords 0.02, unit normal), and the carried target is P + T / L, not P + T.
    host->setCurve("curve", lineCurve({0.0, 0.0, 0.3}));
    host->setNumber("slidingMethod", 1);
    bindAt({{0.25f, 0.5f}}, 0.5);
    ASSERT_EQ(deform(), 0);
    setSurface(planeGeometry({0.0, 0.5, 1.0}, 2.0, 0.5));
    const auto moved = moves();
    const double a = 50.0 * (0.5 + 1.0), L = (1.0 - a) / (1.0 - a - 0.5);
    EXPECT_TRUE(movedBy(moved[0], 0.0, 0.0, 0.5 / L, 1e-6));
    EXPECT_GT(std::fabs(moved[0].z - 0.5), 1e-3);  // the "vector" method's answer is not this one

    // A rest frame whose homogeneous column is zero has no position to carry to: the point stays.
    node().restFrameInverses[0] = Imath::M44d(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0);
    EXPECT_TRUE(movedBy(moves()[0], 0.0, 0.0, 0.0));
}

}  // namespace
