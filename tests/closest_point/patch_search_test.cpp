// The closest-point search structure: Bezier patches reproduce the B-spline evaluation, and
// the tree search is never farther than a brute-force search or OpenCASCADE on varied
// surfaces (rational, degrees 1 to 7, creased, nearly closed, a pole), for points on the
// surface, near it and far away, with parameters inside the domain.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "nurbs_basis.h"
#include "nurbs_bezier_patches.h"
#include "nurbs_surface_eval.h"
#include "occt_twin.h"

namespace {

// A cubic sheet folded along the triple knot u = 2: a C0 crease between two bumps.
NurbsSurfaceGeometry creasedSheet() {
    NurbsSurfaceGeometry s;
    s.degreeU = s.degreeV = 3;
    s.cvCountU = 7;
    s.cvCountV = 4;
    s.knotsU = {0, 0, 0, 2, 2, 2, 4, 4, 4};
    s.knotsV = {0, 0, 0, 1, 1, 1};
    const double xs[7] = {0, 1, 2, 3, 4, 5, 6}, zs[7] = {0, 1.5, 0.5, 3, 0.5, 1.5, 0};
    for (int i = 0; i < 7; ++i)
        for (int j = 0; j < 4; ++j) s.cvs.push_back({xs[i], j * 1.0, zs[i] + 0.2 * j, 1.0});
    return s;
}

// A cubic tube whose u direction nearly closes: control points around a circle of radius 2,
// the last one just short of the first.
NurbsSurfaceGeometry nearlyClosedTube() {
    NurbsSurfaceGeometry s;
    s.degreeU = 3;
    s.degreeV = 2;
    s.cvCountU = 11;
    s.cvCountV = 4;
    for (int k = 0; k < s.cvCountU + 2; ++k) s.knotsU.push_back(k);  // unclamped, uniform
    s.knotsV = {0, 0, 1, 2, 2};
    for (int i = 0; i < s.cvCountU; ++i) {
        const double angle = 2.0 * M_PI * i / (s.cvCountU - 3) * 0.98;
        for (int j = 0; j < s.cvCountV; ++j) s.cvs.push_back({2 * std::cos(angle), 2 * std::sin(angle), 1.5 * j, 1.0});
    }
    return s;
}

// A rational sheet whose u domain is a millionth wide at a million: u has only ~1e4
// representable values there, so Newton must keep improving v once u can no longer move.
// Its own generator, so the other surfaces' targets stay as they were.
NurbsSurfaceGeometry narrowInU(unsigned seed) {
    std::mt19937_64 rng(seed);
    NurbsSurfaceGeometry s = wavySheet(rng, 3, 2, 6, 5, 0.35, 1.5, true);
    for (double& k : s.knotsU) k = 1e6 + k * 1e-6;
    return s;
}

// Brute force: the nearest of a dense parameter grid, then four rounds of a finer grid
// around the best sample. Every sample is a surface point, so the answer is an upper bound
// of the true distance, and a tight one.
double bruteForceDistance(const NurbsSurfaceGeometry& s, const Point& p) {
    double u0, u1, v0, v1;
    hostapi::knotDomain(s, u0, u1, v0, v1);
    double bestU = u0, bestV = v0, best = INFINITY;
    double stepU = (u1 - u0) / 120, stepV = (v1 - v0) / 120;
    auto scan = [&](double cu, double cv, int half, double du, double dv) {
        for (int a = -half; a <= half; ++a)
            for (int b = -half; b <= half; ++b) {
                const double u = std::clamp(cu + a * du, u0, u1), v = std::clamp(cv + b * dv, v0, v1);
                const double d = distance(hostapi::evaluate(s, u, v), p);
                if (d < best) best = d, bestU = u, bestV = v;
            }
    };
    scan(0.5 * (u0 + u1), 0.5 * (v0 + v1), 60, stepU, stepV);
    for (int round = 0; round < 4; ++round) {
        scan(bestU, bestV, 6, stepU / 6, stepV / 6);
        stepU /= 6;
        stepV /= 6;
    }
    return best;
}

}  // namespace

TEST(BezierPatches, ReproduceTheSplineAndItsDerivativesEverywhere) {
    std::mt19937_64 rng(11);
    for (int degreeU = 1; degreeU <= 7; ++degreeU) {
        for (int degreeV : {1, 2, 3, 5}) {
            for (bool rational : {false, true}) {
                const NurbsSurfaceGeometry s =
                    wavySheet(rng, degreeU, degreeV, degreeU + 3, degreeV + 2, 0.3, 1.0, rational, degreeU % 2 == 0);
                ASSERT_EQ(hostapi::validateGeometry(s), "");
                const hostapi::nurbs::PreparedSurface prepared(s);
                const hostapi::nurbs::BezierPatches patches(prepared);
                EXPECT_EQ(patches.rational, rational);
                for (const auto& patch : patches.patches) {
                    for (int k = 0; k < 4; ++k) {
                        // Inside and on the corners of the patch.
                        const double u = k == 0 ? patch.u0 : k == 1 ? patch.u1 : uniform(rng, patch.u0, patch.u1);
                        const double v = k == 0 ? patch.v0 : k == 1 ? patch.v1 : uniform(rng, patch.v0, patch.v1);
                        const auto fast = patches.derivatives(patch, u, v);
                        const int su = hostapi::nurbs::findSpan(prepared.knotsU.data(), s.degreeU, s.cvCountU, 0.5 * (patch.u0 + patch.u1));
                        const int sv = hostapi::nurbs::findSpan(prepared.knotsV.data(), s.degreeV, s.cvCountV, 0.5 * (patch.v0 + patch.v1));
                        const auto ref = hostapi::nurbs::surfaceDerivativesInSpans(prepared, u, v, su, sv);
                        const Point* pairs[6][2] = {{&fast.point, &ref.point}, {&fast.du, &ref.du},   {&fast.dv, &ref.dv},
                                                    {&fast.duu, &ref.duu},     {&fast.duv, &ref.duv}, {&fast.dvv, &ref.dvv}};
                        for (int q = 0; q < 6; ++q) {
                            const Point& a = *pairs[q][0];
                            const Point& b = *pairs[q][1];
                            const double scale = 1.0 + std::hypot(b[0], b[1], b[2]);
                            EXPECT_LT(distance(a, b), 1e-9 * scale)
                                << degreeU << "x" << degreeV << (rational ? " rational" : "") << " quantity " << q;
                        }
                    }
                }
            }
        }
    }
}

// Seeds 103 and 116 hold a far target whose nearest point is a piece's far corner across an
// arched edge, and a rational piece with two minima unless weights count in its flatness.
class PatchSearchSeeds : public ::testing::TestWithParam<unsigned> {};

TEST_P(PatchSearchSeeds, NeverFartherThanBruteForceOrOcct) {
    std::mt19937_64 rng(GetParam());
    const struct {
        std::string name;
        NurbsSurfaceGeometry surface;
    } surfaces[] = {
        {"bicubic wave", wavySheet(rng, 3, 3, 8, 7, 0.2, 1.2, false)},
        {"rational 2x4", wavySheet(rng, 2, 4, 6, 7, 0.35, 1.5, true)},
        {"rational 5x5 unclamped", wavySheet(rng, 5, 5, 8, 8, 0.3, 1.0, true, false)},
        {"degree 7x2", wavySheet(rng, 7, 2, 9, 5, 0.25, 2.0, false)},
        {"bilinear twist", wavySheet(rng, 1, 1, 4, 4, 0.4, 2.0, false)},
        {"creased", creasedSheet()},
        {"nearly closed tube", nearlyClosedTube()},
        {"sphere octant with pole", sphereOctant(2.0)},
        {"rational 3x2 narrow in u", narrowInU(GetParam())},
    };
    int occtAnswered = 0;
    for (const auto& [name, s] : surfaces) {
        ASSERT_EQ(hostapi::validateGeometry(s), "") << name;
        const hostapi::SurfaceProjector projector(s);
        const auto occt = toOcct(s);
        double u0, u1, v0, v1;
        hostapi::knotDomain(s, u0, u1, v0, v1);
        Point low{INFINITY, INFINITY, INFINITY}, high{-INFINITY, -INFINITY, -INFINITY};
        for (const auto& cv : s.cvs)
            for (int c = 0; c < 3; ++c) low[c] = std::min(low[c], cv[c]), high[c] = std::max(high[c], cv[c]);
        for (int k = 0; k < 24; ++k) {
            Point p;
            const double u = uniform(rng, u0, u1), v = uniform(rng, v0, v1);
            if (k < 6) {
                p = hostapi::evaluate(s, u, v);  // on the surface
            } else if (k < 18) {
                for (int c = 0; c < 3; ++c) p[c] = uniform(rng, low[c] - 1.0, high[c] + 1.0);  // around it
            } else {
                for (int c = 0; c < 3; ++c) p[c] = uniform(rng, -30.0, 30.0);  // far away
            }
            const SurfaceHit hit = projector.closestPoint(p);
            const std::string where = name + " point " + std::to_string(p[0]) + " " + std::to_string(p[1]) + " " +
                                      std::to_string(p[2]);
            EXPECT_TRUE(hit.u >= u0 && hit.u <= u1 && hit.v >= v0 && hit.v <= v1) << where;
            EXPECT_EQ(hit.point, hostapi::evaluate(s, hit.u, hit.v)) << where;
            EXPECT_NEAR(hit.distance, distance(hit.point, p), 1e-14) << where;
            const SurfaceHit alone = hostapi::closestPoint(s, p);  // seeded afresh, not shared
            EXPECT_TRUE(alone.u == hit.u && alone.v == hit.v) << where;
            if (k < 6) {
                EXPECT_LT(hit.distance, 1e-9) << where;
            }
            EXPECT_LE(hit.distance, bruteForceDistance(s, p) + 1e-12) << where;
            const double reference = occtDistance(occt, p);
            if (!std::isfinite(reference)) continue;
            ++occtAnswered;
            EXPECT_LE(hit.distance, reference + 1e-9) << where;
        }
    }
    EXPECT_GT(occtAnswered, 100);  // of 216: the comparison is not vacuous
}

INSTANTIATE_TEST_SUITE_P(VariedSurfaces, PatchSearchSeeds, ::testing::Values(21u, 103u, 116u));

TEST(PatchSearch, PointsBesideAPoleAreNotLostOnIt) {
    // The descent stalls on the collapsed edge: moving along it moves nothing. The nearest
    // points lie on the octant's v = 0 and v = 1 edges, just off the pole.
    const NurbsSurfaceGeometry s = sphereOctant(2.0);
    const hostapi::SurfaceProjector projector(s);
    for (const Point& p : {Point{0.031040, -0.839711, 1.553613}, Point{0.025162, -0.941446, 2.117186},
                           Point{-0.759498, 0.073070, 2.693389}, Point{0.004512, -0.181304, 0.941574}}) {
        const SurfaceHit hit = projector.closestPoint(p);
        EXPECT_LE(hit.distance, bruteForceDistance(s, p) + 1e-12) << p[0] << " " << p[1] << " " << p[2];
        EXPECT_LT(hit.u, 1.0) << p[0] << " " << p[1] << " " << p[2];
    }
}

TEST(PatchSearch, HugeAndNonFiniteTargetsStayInTheDomain) {
    std::mt19937_64 rng(4);
    const NurbsSurfaceGeometry s = wavySheet(rng, 3, 2, 9, 6, 0.3, 1.0, true);
    const hostapi::SurfaceProjector projector(s);
    double u0, u1, v0, v1;
    hostapi::knotDomain(s, u0, u1, v0, v1);
    for (const Point& p : {Point{1e300, -1e300, 1e300}, Point{NAN, 0, 0}, Point{INFINITY, 1, 2}}) {
        const SurfaceHit hit = projector.closestPoint(p);
        EXPECT_TRUE(hit.u >= u0 && hit.u <= u1 && hit.v >= v0 && hit.v <= v1) << p[0] << " " << p[1];
    }
}
