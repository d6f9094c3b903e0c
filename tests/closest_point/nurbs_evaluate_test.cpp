// Rational evaluation against OpenCASCADE, and the refusals of malformed geometry.

#include <gtest/gtest.h>

#include <cmath>

#include "surface_fixtures.h"

using hostapi::NurbsSurfaceGeometry;

TEST(NurbsEvaluate, MatchesOcctOnRandomRationalSurfaces) {
    std::mt19937_64 rng(7);
    int compared = 0;
    for (int degreeU = 1; degreeU <= 7; ++degreeU) {
        for (int degreeV = 1; degreeV <= 5; ++degreeV) {
            for (bool clamped : {true, false}) {
                const NurbsSurfaceGeometry s = fixtures::randomSurface(rng, degreeU, degreeV, 0.4, 2.0, clamped);
                ASSERT_EQ(hostapi::validateGeometry(s), "");
                const auto occt = fixtures::toOcct(s);
                double u0, u1, v0, v1;
                hostapi::knotDomain(s, u0, u1, v0, v1);
                double o0, o1, p0, p1;
                occt->Bounds(o0, o1, p0, p1);
                EXPECT_EQ(u0, o0);
                EXPECT_EQ(u1, o1);
                EXPECT_EQ(v0, p0);
                EXPECT_EQ(v1, p1);
                // Interior parameters, every knot and both domain ends.
                std::vector<std::pair<double, double>> params;
                for (int k = 0; k < 20; ++k)
                    params.emplace_back(fixtures::uniform(rng, u0, u1), fixtures::uniform(rng, v0, v1));
                for (double ku : s.knotsU)
                    for (double kv : s.knotsV)
                        if (ku >= u0 && ku <= u1 && kv >= v0 && kv <= v1) params.emplace_back(ku, kv);
                for (auto [u, v] : params) {
                    const auto ours = hostapi::evaluate(s, u, v);
                    const gp_Pnt ref = occt->Value(u, v);
                    EXPECT_NEAR(ours[0], ref.X(), 1e-12);
                    EXPECT_NEAR(ours[1], ref.Y(), 1e-12);
                    EXPECT_NEAR(ours[2], ref.Z(), 1e-12);
                    ++compared;
                }
                // Out-of-domain parameters are clamped, NaN goes to the start.
                const auto outside = hostapi::evaluate(s, u1 + 3.0, v0 - 3.0);
                const auto corner = hostapi::evaluate(s, u1, v0);
                EXPECT_EQ(outside, corner);
                EXPECT_EQ(hostapi::evaluate(s, std::nan(""), v1), hostapi::evaluate(s, u0, v1));
            }
        }
    }
    EXPECT_GT(compared, 2000);
}

TEST(NurbsEvaluate, ValidationNamesTheFirstProblem) {
    std::mt19937_64 rng(3);
    const NurbsSurfaceGeometry good = fixtures::randomSurface(rng, 3, 2, 0.0, 1.0);
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
    NurbsSurfaceGeometry flat = good;
    flat.cvCountU = 4;
    flat.knotsU = {0, 1, 2, 2, 3, 4};
    flat.cvs.resize(4 * flat.cvCountV);
    EXPECT_EQ(hostapi::validateGeometry(flat), "knot domain in U is empty");

    // Malformed geometry never reads out of bounds.
    NurbsSurfaceGeometry empty;
    double a, b, c, d;
    hostapi::knotDomain(empty, a, b, c, d);
    EXPECT_EQ(a + b + c + d, 0.0);
    EXPECT_TRUE(std::isnan(hostapi::evaluate(empty, 0, 0)[0]));
    const hostapi::SurfaceHit hit = hostapi::closestPoint(empty, {0, 0, 0});
    EXPECT_TRUE(std::isinf(hit.distance));
}
