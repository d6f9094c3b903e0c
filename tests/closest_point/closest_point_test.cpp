// Closest-point queries: parameter recovery, OpenCASCADE as the distance oracle, exact edge,
// corner and crease answers, a rational sphere with a collapsed pole, and a timing.

#include <GeomAPI_ProjectPointOnSurf.hxx>
#include <Standard_Failure.hxx>
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>

#include "surface_fixtures.h"

using hostapi::NurbsSurfaceGeometry;
using hostapi::SurfaceHit;
using Point = std::array<double, 3>;

namespace {

double distance(const Point& a, const Point& b) { return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]); }

void expectConsistent(const NurbsSurfaceGeometry& s, const Point& p, const SurfaceHit& hit) {
    double u0, u1, v0, v1;
    hostapi::knotDomain(s, u0, u1, v0, v1);
    EXPECT_TRUE(hit.u >= u0 && hit.u <= u1 && hit.v >= v0 && hit.v <= v1);
    EXPECT_EQ(hit.point, hostapi::evaluate(s, hit.u, hit.v));
    EXPECT_NEAR(hit.distance, distance(hit.point, p), 1e-14);
}

}  // namespace

TEST(ClosestPoint, PointsOnTheSurfaceGiveBackTheirParameters) {
    std::mt19937_64 rng(11);
    for (int degreeU = 1; degreeU <= 5; ++degreeU) {
        for (int degreeV = 1; degreeV <= 5; ++degreeV) {
            // Regular parametrisation: a height field over a grid of control points.
            const NurbsSurfaceGeometry s = fixtures::randomSurface(rng, degreeU, degreeV, 0.0, 0.8);
            double u0, u1, v0, v1;
            hostapi::knotDomain(s, u0, u1, v0, v1);
            for (int k = 0; k < 8; ++k) {
                const double u = fixtures::uniform(rng, u0, u1), v = fixtures::uniform(rng, v0, v1);
                const Point p = hostapi::evaluate(s, u, v);
                const SurfaceHit hit = hostapi::closestPoint(s, p);
                EXPECT_NEAR(hit.u, u, 1e-7) << degreeU << "x" << degreeV;
                EXPECT_NEAR(hit.v, v, 1e-7) << degreeU << "x" << degreeV;
                EXPECT_LT(hit.distance, 1e-12);
            }
        }
    }
}

TEST(ClosestPoint, NeverFartherThanOcct) {
    std::mt19937_64 rng(5);
    int occtAnswered = 0, strictlyCloser = 0;
    for (int degreeU = 1; degreeU <= 5; ++degreeU) {
        for (int degreeV = 1; degreeV <= 5; ++degreeV) {
            NurbsSurfaceGeometry s = fixtures::randomSurface(rng, degreeU, degreeV, 0.35, 1.5);
            if (degreeU == 3) {
                // A u domain a millionth wide at a million: u has only ~1e4 representable values
                // there, so Newton must keep improving v once u can no longer move.
                for (double& k : s.knotsU) k = 1e6 + k * 1e-6;
            }
            const auto occt = fixtures::toOcct(s);
            const double sizeU = s.cvCountU - 1, sizeV = s.cvCountV - 1;
            for (int k = 0; k < 12; ++k) {
                Point p;
                if (k < 5) {  // near: over the sheet and just beyond its edges
                    p = {fixtures::uniform(rng, -0.5, sizeU + 0.5), fixtures::uniform(rng, -0.5, sizeV + 0.5),
                         fixtures::uniform(rng, -2, 2)};
                } else if (k < 9) {  // far, in any direction
                    p = {fixtures::uniform(rng, -20, 20), fixtures::uniform(rng, -20, 20),
                         fixtures::uniform(rng, -20, 20)};
                } else {  // behind a corner
                    const double cu = (k % 2) ? sizeU : 0.0, cv = (k == 11) ? sizeV : 0.0;
                    p = {cu + (cu > 0 ? 1 : -1) * fixtures::uniform(rng, 0.5, 5),
                         cv + (cv > 0 ? 1 : -1) * fixtures::uniform(rng, 0.5, 5), fixtures::uniform(rng, -3, 3)};
                }
                const SurfaceHit hit = hostapi::closestPoint(s, p);
                expectConsistent(s, p, hit);

                // OCCT only reports orthogonal projections and can find none (say behind a
                // corner); those points keep only the consistency checks.
                double reference = INFINITY;
                try {
                    GeomAPI_ProjectPointOnSurf projection(gp_Pnt(p[0], p[1], p[2]), occt);
                    if (projection.NbPoints() > 0) reference = projection.LowerDistance();
                } catch (const Standard_Failure&) {
                }
                if (!std::isfinite(reference)) continue;
                ++occtAnswered;
                if (hit.distance < reference - 1e-9) ++strictlyCloser;
                EXPECT_LE(hit.distance, reference + 1e-9)
                    << degreeU << "x" << degreeV << " point " << p[0] << " " << p[1] << " " << p[2];
            }
        }
    }
    std::cout << "OCCT answered " << occtAnswered << " of 300 (ours strictly closer on " << strictlyCloser << ")\n";
    EXPECT_GT(occtAnswered, 150);
}

TEST(ClosestPoint, EdgesCornersAndTheMiddleOfAFlatPatch) {
    // Bilinear rectangle 4 x 3 in z = 0, u over [0, 2], v over [-1, 3].
    NurbsSurfaceGeometry s;
    s.degreeU = s.degreeV = 1;
    s.cvCountU = s.cvCountV = 2;
    s.knotsU = {0.0, 2.0};
    s.knotsV = {-1.0, 3.0};
    s.cvs = {{0, 0, 0, 1}, {0, 3, 0, 1}, {4, 0, 0, 1}, {4, 3, 0, 1}};

    SurfaceHit hit = hostapi::closestPoint(s, {5, 4, 1});  // beyond the far corner
    EXPECT_EQ(hit.u, 2.0);
    EXPECT_EQ(hit.v, 3.0);
    EXPECT_EQ(hit.point, (Point{4, 3, 0}));
    EXPECT_NEAR(hit.distance, std::sqrt(3.0), 1e-15);

    hit = hostapi::closestPoint(s, {-2, -7, -1});  // beyond the first corner
    EXPECT_EQ(hit.u, 0.0);
    EXPECT_EQ(hit.v, -1.0);

    hit = hostapi::closestPoint(s, {3, -1, 0.5});  // behind the v = -1 edge
    EXPECT_NEAR(hit.u, 1.5, 1e-15);
    EXPECT_EQ(hit.v, -1.0);
    EXPECT_NEAR(hit.distance, std::sqrt(1.25), 1e-15);

    hit = hostapi::closestPoint(s, {2, 1.5, 7});  // above the middle
    EXPECT_NEAR(hit.u, 1.0, 1e-15);
    EXPECT_NEAR(hit.v, 1.0, 1e-15);
    EXPECT_NEAR(hit.distance, 7.0, 1e-15);

    // Same patch lifted to a rational bicubic with uneven weights: still flat, so the distance
    // to a point above it is its height whatever the parametrisation does.
    std::mt19937_64 rng(2);
    NurbsSurfaceGeometry cubic = fixtures::randomSurface(rng, 3, 3, 0.0, 0.0);
    for (int k = 0; k < 20; ++k) {
        const Point p{fixtures::uniform(rng, 0.2, cubic.cvCountU - 1.2),
                      fixtures::uniform(rng, 0.2, cubic.cvCountV - 1.2), fixtures::uniform(rng, -3, 3)};
        hit = hostapi::closestPoint(cubic, p);
        EXPECT_NEAR(hit.distance, std::abs(p[2]), 1e-12);
        EXPECT_NEAR(hit.point[0], p[0], 1e-12);
        EXPECT_NEAR(hit.point[1], p[1], 1e-12);
    }
}

TEST(ClosestPoint, CreasesOfAPiecewiseLinearSheet) {
    // Linear in both directions, with a crease along v = 1 where the sheet folds by 90 degrees:
    // x = u on [0, 1], y = v - 1 on [0, 2], z = fold * |y|.
    auto folded = [](double fold) {
        NurbsSurfaceGeometry s;
        s.degreeU = s.degreeV = 1;
        s.cvCountU = 2;
        s.cvCountV = 3;
        s.knotsU = {0, 1};
        s.knotsV = {0, 1, 2};
        for (double x : {0.0, 1.0})
            for (double y : {-1.0, 0.0, 1.0}) s.cvs.push_back({x, y, fold * std::abs(y), 1});
        return s;
    };
    // Above a ridge: the answer is the crease itself.
    SurfaceHit hit = hostapi::closestPoint(folded(-1), {0.5, 0, 1});
    EXPECT_NEAR(hit.u, 0.5, 1e-15);
    EXPECT_EQ(hit.v, 1.0);
    EXPECT_NEAR(hit.distance, 1.0, 1e-15);

    // In a valley, just left of the crease: the sampled distance is lowest on the crease, and
    // the nearer flank is the left one, at 0.04 / sqrt(2), not the right one at 0.08 / sqrt(2).
    hit = hostapi::closestPoint(folded(1), {0.5, -0.02, 0.06});
    EXPECT_NEAR(hit.u, 0.5, 1e-15);
    EXPECT_NEAR(hit.v, 0.96, 1e-15);
    EXPECT_NEAR(hit.distance, 0.04 / std::sqrt(2.0), 1e-15);
}

TEST(ClosestPoint, RationalSphereOctantWithACollapsedPole) {
    // Quarter circle from the equator to the pole, revolved through a quarter turn; the u = 1
    // edge collapses onto the pole.
    const double radius = 2.5, h = std::sqrt(0.5);
    const double profile[3][3] = {{radius, 0, 1}, {radius, radius, h}, {0, radius, 1}};  // r, z, w
    const double arc[3][3] = {{1, 0, 1}, {1, 1, h}, {0, 1, 1}};                          // x, y, w
    NurbsSurfaceGeometry s;
    s.degreeU = s.degreeV = 2;
    s.cvCountU = s.cvCountV = 3;
    s.knotsU = s.knotsV = {0, 0, 1, 1};
    for (auto& pr : profile)
        for (auto& ar : arc) s.cvs.push_back({pr[0] * ar[0], pr[0] * ar[1], pr[1], pr[2] * ar[2]});
    ASSERT_EQ(hostapi::validateGeometry(s), "");

    std::mt19937_64 rng(9);
    for (int k = 0; k < 60; ++k) {
        Point direction{fixtures::uniform(rng, 0.01, 1), fixtures::uniform(rng, 0.01, 1),
                        fixtures::uniform(rng, 0.01, 1)};
        const double norm = std::hypot(direction[0], direction[1], direction[2]);
        for (double& c : direction) c /= norm;
        const double rho = radius * fixtures::uniform(rng, 0.2, 3.0);
        const Point p{rho * direction[0], rho * direction[1], rho * direction[2]};
        const SurfaceHit hit = hostapi::closestPoint(s, p);
        EXPECT_NEAR(hit.distance, std::abs(rho - radius), 1e-12);
        EXPECT_LT(distance(hit.point, {radius * direction[0], radius * direction[1], radius * direction[2]}), 1e-9);
    }
    // Straight above the pole: the whole collapsed edge is the answer; any v will do.
    const SurfaceHit pole = hostapi::closestPoint(s, {0, 0, 4});
    EXPECT_EQ(pole.u, 1.0);
    EXPECT_NEAR(pole.distance, 4 - radius, 1e-14);
}

TEST(ClosestPoint, SharedProjectorAnswersLikeSingleQueries) {
    std::mt19937_64 rng(4);
    const NurbsSurfaceGeometry s = fixtures::randomSurface(rng, 3, 3, 0.3, 1.5, true, 10, 10);
    const hostapi::SurfaceProjector projector(s);
    for (int k = 0; k < 500; ++k) {
        const Point p{fixtures::uniform(rng, -1, 10), fixtures::uniform(rng, -1, 10), fixtures::uniform(rng, -3, 3)};
        const SurfaceHit single = hostapi::closestPoint(s, p);
        const SurfaceHit shared = projector.closestPoint(p);
        EXPECT_EQ(single.u, shared.u);
        EXPECT_EQ(single.v, shared.v);
    }
}
