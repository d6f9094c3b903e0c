// The host's NURBS geometry against OpenCASCADE: rational evaluation, the refusals of
// malformed geometry, and closest-point queries (parameter recovery, exact edge, corner and
// crease answers, a rational sphere with a collapsed pole).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "occt_twin.h"

namespace {

// A rational wavy sheet of degree + 1 to degree + 4 control points a side, its domain moved
// to start anywhere in [-3, 1].
NurbsSurfaceGeometry randomSurface(std::mt19937_64& rng, int degreeU, int degreeV, double shift, double height,
                                   bool clamped = true) {
    const int cvsU = degreeU + 1 + static_cast<int>(rng() % 4), cvsV = degreeV + 1 + static_cast<int>(rng() % 4);
    NurbsSurfaceGeometry s = wavySheet(rng, degreeU, degreeV, cvsU, cvsV, shift, height, true, clamped);
    const double offset = uniform(rng, -3.0, 1.0);
    for (std::vector<double>* knots : {&s.knotsU, &s.knotsV})
        for (double& k : *knots) k += offset;
    return s;
}

// A degree-1 sheet over the given host knots; control points u-major, weights 1.
NurbsSurfaceGeometry sheet(std::vector<double> knotsU, std::vector<double> knotsV, const std::vector<Point>& points) {
    NurbsSurfaceGeometry s;
    s.degreeU = s.degreeV = 1;
    s.cvCountU = static_cast<int>(knotsU.size());
    s.cvCountV = static_cast<int>(knotsV.size());
    s.knotsU = std::move(knotsU);
    s.knotsV = std::move(knotsV);
    for (const Point& q : points) s.cvs.push_back({q[0], q[1], q[2], 1.0});
    return s;
}

}  // namespace

TEST(NurbsEvaluate, MatchesOcctAndClosestPointsGiveBackTheirParameters) {
    std::mt19937_64 rng(7), regularRng(5);
    int compared = 0;
    for (int degreeU = 1; degreeU <= 7; ++degreeU) {
        for (int degreeV = 1; degreeV <= 5; ++degreeV) {
            for (bool clamped : {true, false}) {
                const NurbsSurfaceGeometry s = randomSurface(rng, degreeU, degreeV, 0.4, 2.0, clamped);
                ASSERT_EQ(hostapi::validateGeometry(s), "");
                const auto occt = toOcct(s);
                double u0, u1, v0, v1;
                hostapi::knotDomain(s, u0, u1, v0, v1);
                std::array<double, 4> bounds;
                occt->Bounds(bounds[0], bounds[1], bounds[2], bounds[3]);
                EXPECT_EQ((std::array<double, 4>{u0, u1, v0, v1}), bounds);
                // Interior parameters, every knot and both domain ends.
                std::vector<std::pair<double, double>> params;
                for (int k = 0; k < 20; ++k) params.emplace_back(uniform(rng, u0, u1), uniform(rng, v0, v1));
                for (double ku : s.knotsU)
                    for (double kv : s.knotsV)
                        if (ku >= u0 && ku <= u1 && kv >= v0 && kv <= v1) params.emplace_back(ku, kv);
                for (auto [u, v] : params) {
                    const gp_Pnt ref = occt->Value(u, v);
                    EXPECT_LT(distance(hostapi::evaluate(s, u, v), {ref.X(), ref.Y(), ref.Z()}), 1e-12);
                    ++compared;
                }
                // Out-of-domain parameters are clamped, NaN goes to the start.
                EXPECT_EQ(hostapi::evaluate(s, u1 + 3.0, v0 - 3.0), hostapi::evaluate(s, u1, v0));
                EXPECT_EQ(hostapi::evaluate(s, std::nan(""), v1), hostapi::evaluate(s, u0, v1));

                // Points on a regular parametrisation (a height field over a grid of control
                // points) give back their parameters. Points off the surface are checked against
                // brute force and OpenCASCADE in PatchSearchSeeds.
                if (!clamped || degreeU > 5) continue;
                const NurbsSurfaceGeometry regular = randomSurface(regularRng, degreeU, degreeV, 0.0, 0.8);
                hostapi::knotDomain(regular, u0, u1, v0, v1);
                for (int k = 0; k < 8; ++k) {
                    const double u = uniform(regularRng, u0, u1), v = uniform(regularRng, v0, v1);
                    const SurfaceHit hit = hostapi::closestPoint(regular, hostapi::evaluate(regular, u, v));
                    EXPECT_NEAR(hit.u, u, 1e-7) << degreeU << "x" << degreeV;
                    EXPECT_NEAR(hit.v, v, 1e-7) << degreeU << "x" << degreeV;
                    EXPECT_LT(hit.distance, 1e-12);
                }
            }
        }
    }
    EXPECT_GT(compared, 2000);
}

TEST(NurbsEvaluate, ValidationNamesTheFirstProblem) {
    std::mt19937_64 rng(3);
    const NurbsSurfaceGeometry good = randomSurface(rng, 3, 2, 0.0, 1.0);
    ASSERT_EQ(hostapi::validateGeometry(good), "");

    auto broken = [&](auto edit) {
        NurbsSurfaceGeometry s = good;
        edit(s);
        return hostapi::validateGeometry(s);
    };
    EXPECT_EQ(broken([](auto& s) { s.degreeU = 0; }), "degreeU 0 is outside 1..15");
    EXPECT_EQ(broken([](auto& s) { s.degreeV = 16; }), "degreeV 16 is outside 1..15");
    EXPECT_EQ(broken([](auto& s) { s.cvCountV = 2; }), "cvCountV 2 is below degree + 1 (3)");
    EXPECT_NE(broken([](auto& s) { s.knotsU.pop_back(); }).find("knotsU has"), std::string::npos);
    EXPECT_EQ(broken([](auto& s) { s.knotsU[3] = s.knotsU[4] + 1.0; }), "knotsU decrease at index 4");
    EXPECT_EQ(broken([](auto& s) { s.knotsV[1] = NAN; }), "knotsV[1] is not finite");
    // Degree 2 in v: a third copy of the start knot leaves the first span empty.
    EXPECT_EQ(broken([](auto& s) { s.knotsV[2] = s.knotsV[1]; }), "knotsV repeat a value more than 2 times at index 2");
    EXPECT_EQ(broken([](auto& s) { s.cvs.pop_back(); }).find("cvs has"), 0u);
    EXPECT_EQ(broken([](auto& s) { s.cvs[5][3] = 0.0; }), "cv 5 has a weight that is not positive");
    EXPECT_EQ(broken([](auto& s) { s.cvs[2][1] = INFINITY; }), "cv 2 is not finite");

    // Unclamped cubic with four CVs: the domain [k2, k3] collapses on a double knot.
    EXPECT_EQ(broken([](auto& s) { s.cvCountU = 4, s.knotsU = {0, 1, 2, 2, 3, 4}, s.cvs.resize(4 * s.cvCountV); }),
              "knot domain in U is empty");

    // Malformed geometry never reads out of bounds.
    NurbsSurfaceGeometry empty;
    double a, b, c, d;
    hostapi::knotDomain(empty, a, b, c, d);
    EXPECT_EQ(a + b + c + d, 0.0);
    EXPECT_TRUE(std::isnan(hostapi::evaluate(empty, 0, 0)[0]));
    const hostapi::SurfaceHit hit = hostapi::closestPoint(empty, {0, 0, 0});
    EXPECT_TRUE(std::isinf(hit.distance));
}

TEST(ClosestPoint, ExactAnswersAtEdgesCornersAndCreases) {
    // A rectangle 4 x 3 in z = 0 over u in [0, 2], v in [-1, 3]; and sheets x = u on [0, 1],
    // y = v - 1 on [0, 2], z = -|y| or |y|, folded by 90 degrees along v = 1.
    const NurbsSurfaceGeometry flat = sheet({0, 2}, {-1, 3}, {{0, 0, 0}, {0, 3, 0}, {4, 0, 0}, {4, 3, 0}});
    const NurbsSurfaceGeometry ridge =
        sheet({0, 1}, {0, 1, 2}, {{0, -1, -1}, {0, 0, 0}, {0, 1, -1}, {1, -1, -1}, {1, 0, 0}, {1, 1, -1}});
    const NurbsSurfaceGeometry valley =
        sheet({0, 1}, {0, 1, 2}, {{0, -1, 1}, {0, 0, 0}, {0, 1, 1}, {1, -1, 1}, {1, 0, 0}, {1, 1, 1}});
    const NurbsSurfaceGeometry valleyAlongU =  // the same valley with u and v swapped
        sheet({0, 1, 2}, {0, 1}, {{0, -1, 1}, {1, -1, 1}, {0, 0, 0}, {1, 0, 0}, {0, 1, 1}, {1, 1, 1}});
    // A tolerance of 0: the parameter must be exact (on the boundary or the crease).
    const struct {
        const NurbsSurfaceGeometry& s;
        Point p;
        double u, uTolerance, v, vTolerance, distance;
    } cases[] = {
        {flat, {5, 4, 1}, 2.0, 0, 3.0, 0, std::sqrt(3.0)},                // beyond the far corner
        {flat, {-2, -7, -1}, 0.0, 0, -1.0, 0, std::sqrt(54.0)},           // beyond the first corner
        {flat, {3, -1, 0.5}, 1.5, 1e-15, -1.0, 0, std::sqrt(1.25)},       // behind the v = -1 edge
        {flat, {2, 1.5, 7}, 1.0, 1e-15, 1.0, 1e-15, 7.0},                 // above the middle
        {ridge, {0.5, 0, 1}, 0.5, 1e-15, 1.0, 0, 1.0},                    // above a ridge: its crease
        // In a valley just left of the crease: the sampled distance is lowest on the crease, but
        // the nearer flank is the left one, at 0.04 / sqrt(2), not the right one at 0.08 / sqrt(2).
        {valley, {0.5, -0.02, 0.06}, 0.5, 1e-15, 0.96, 1e-15, 0.04 / std::sqrt(2.0)},
        {valleyAlongU, {0.5, -0.02, 0.06}, 0.96, 1e-15, 0.5, 1e-15, 0.04 / std::sqrt(2.0)},
    };
    for (const auto& c : cases) {
        const SurfaceHit hit = hostapi::closestPoint(c.s, c.p);
        EXPECT_NEAR(hit.u, c.u, c.uTolerance) << c.p[0] << " " << c.p[1] << " " << c.p[2];
        EXPECT_NEAR(hit.v, c.v, c.vTolerance) << c.p[0] << " " << c.p[1] << " " << c.p[2];
        EXPECT_NEAR(hit.distance, c.distance, 1e-15) << c.p[0] << " " << c.p[1] << " " << c.p[2];
    }
}

TEST(ClosestPoint, RationalSphereOctantWithACollapsedPole) {
    const double radius = 2.5;
    const NurbsSurfaceGeometry s = sphereOctant(radius);
    ASSERT_EQ(hostapi::validateGeometry(s), "");

    // Points inside and outside the sphere, over the octant, below the equator (the foot is on
    // the u = 0 edge) or behind the y = 0 plane (on the v = 0 edge): the foot is the point's
    // direction with its negative component dropped, at the radius.
    std::mt19937_64 rng(9);
    for (int k = 0; k < 90; ++k) {
        Point p{uniform(rng, 0.01, 1), uniform(rng, 0.01, 1), uniform(rng, 0.01, 1)};
        const double rho = radius * uniform(rng, 0.2, 3.0) / std::hypot(p[0], p[1], p[2]);
        for (double& c : p) c *= rho;
        if (k % 3) p[k % 3 == 1 ? 2 : 1] *= -1.0;
        const Point q{std::max(p[0], 0.0), std::max(p[1], 0.0), std::max(p[2], 0.0)};
        const double scale = radius / std::hypot(q[0], q[1], q[2]);
        const Point foot{q[0] * scale, q[1] * scale, q[2] * scale};
        const SurfaceHit hit = hostapi::closestPoint(s, p);
        EXPECT_NEAR(hit.distance, distance(p, foot), 1e-12) << k;
        EXPECT_LT(distance(hit.point, foot), 1e-9) << k;
        EXPECT_TRUE(k % 3 != 1 || hit.u == 0.0) << k;  // exactly on the edge
        EXPECT_TRUE(k % 3 != 2 || hit.v == 0.0) << k;
    }
    // Straight above the pole: the whole collapsed edge is the answer; any v will do.
    const SurfaceHit pole = hostapi::closestPoint(s, {0, 0, 4});
    EXPECT_EQ(pole.u, 1.0);
    EXPECT_NEAR(pole.distance, 4 - radius, 1e-14);
}
