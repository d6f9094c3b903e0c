// Random host surfaces read and evaluated by the node, against OpenCASCADE fed the same
// single-precision knots and control points.

#include <algorithm>
#include <cmath>
#include <random>

#include <BSplCLib.hxx>
#include <Geom_BSplineSurface.hxx>
#include <TColStd_HArray1OfInteger.hxx>
#include <TColStd_HArray1OfReal.hxx>
#include <TColgp_Array2OfPnt.hxx>
#include <gtest/gtest.h>

#include "hostapi/objects.h"
#include "nurbs_geometry.h"
#include "surface_data.h"

using hostapi::NurbsSurfaceGeometry;

namespace {

// Out of line: GCC 12 has folded the float round trip away where it vectorised neighbouring conversions.
[[gnu::noinline]] double roundedToFloat(double x) { return static_cast<double>(static_cast<float>(x)); }

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

// The textbook surface over the host's knots and points rounded to float, ends clamped,
// weights left out.
Handle(Geom_BSplineSurface) oracleSurface(const NurbsSurfaceGeometry& g) {
    TColgp_Array2OfPnt poles(1, g.cvCountU, 1, g.cvCountV);
    for (int i = 0; i < g.cvCountU; ++i)
        for (int j = 0; j < g.cvCountV; ++j) {
            const auto& cv = g.cvs[static_cast<size_t>(i) * g.cvCountV + j];
            poles.SetValue(i + 1, j + 1, gp_Pnt(roundedToFloat(cv[0]), roundedToFloat(cv[1]), roundedToFloat(cv[2])));
        }
    Handle(TColStd_HArray1OfReal) knots[2];
    Handle(TColStd_HArray1OfInteger) mults[2];
    for (int d = 0; d < 2; ++d) {
        const std::vector<double>& host = d == 0 ? g.knotsU : g.knotsV;
        const int n = static_cast<int>(host.size());
        TColStd_Array1OfReal sequence(1, n + 2);  // one more copy of each end knot
        for (int k = 0; k < n + 2; ++k) sequence(k + 1) = roundedToFloat(host[std::clamp(k - 1, 0, n - 1)]);
        knots[d] = new TColStd_HArray1OfReal(1, BSplCLib::KnotsLength(sequence));
        mults[d] = new TColStd_HArray1OfInteger(1, knots[d]->Length());
        BSplCLib::Knots(sequence, knots[d]->ChangeArray1(), mults[d]->ChangeArray1());
    }
    return new Geom_BSplineSurface(poles, knots[0]->Array1(), knots[1]->Array1(), mults[0]->Array1(),
                                   mults[1]->Array1(), g.degreeU, g.degreeV);
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
            SurfaceData record;
            readSurfaceData(hostapi::makeNurbsSurface(g), record);
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
