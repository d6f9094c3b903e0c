// Random host surfaces read and evaluated by the node, against an independent B-spline
// evaluator fed the same single-precision knots and control points.

#include <algorithm>
#include <cmath>
#include <random>

#include <Geom_BSplineSurface.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColgp_Array2OfPnt.hxx>
#include <gtest/gtest.h>

#include "surface_fixtures.h"

using hostapi::NurbsSurfaceGeometry;
using surface_fixtures::roundedToFloat;

namespace {

// Sorted random interior knots on (start, end), some of them doubled when the degree allows.
std::vector<double> randomHostKnots(std::mt19937& rng, int degree, int cvCount, double start, double end) {
    std::uniform_real_distribution<double> inside(start, end);
    const int interiorCount = cvCount - degree - 1;
    std::vector<double> interior;
    while (static_cast<int>(interior.size()) < interiorCount) {
        const double k = inside(rng);
        interior.push_back(k);
        if (degree >= 2 && static_cast<int>(interior.size()) < interiorCount && rng() % 4 == 0) interior.push_back(k);
    }
    std::sort(interior.begin(), interior.end());
    return surface_fixtures::clampedHostKnots(degree, start, end, interior);
}

// The textbook surface over the host's knots rounded to float, ends clamped.
void addKnots(const std::vector<double>& hostKnots, TColStd_Array1OfReal*& values, TColStd_Array1OfInteger*& mults,
              int degree) {
    std::vector<float> distinct;
    std::vector<int> counts;
    for (double k : hostKnots) {
        const float f = static_cast<float>(k);
        if (!distinct.empty() && distinct.back() == f) {
            ++counts.back();
        } else {
            distinct.push_back(f);
            counts.push_back(1);
        }
    }
    counts.front() = counts.back() = degree + 1;
    values = new TColStd_Array1OfReal(1, static_cast<int>(distinct.size()));
    mults = new TColStd_Array1OfInteger(1, static_cast<int>(distinct.size()));
    for (size_t k = 0; k < distinct.size(); ++k) {
        values->SetValue(static_cast<int>(k) + 1, distinct[k]);
        mults->SetValue(static_cast<int>(k) + 1, counts[k]);
    }
}

Handle(Geom_BSplineSurface) oracleSurface(const NurbsSurfaceGeometry& g) {
    TColgp_Array2OfPnt poles(1, g.cvCountU, 1, g.cvCountV);
    for (int i = 0; i < g.cvCountU; ++i) {
        for (int j = 0; j < g.cvCountV; ++j) {
            const auto& cv = g.cvs[static_cast<size_t>(i) * g.cvCountV + j];
            poles.SetValue(i + 1, j + 1, gp_Pnt(roundedToFloat(cv[0]), roundedToFloat(cv[1]), roundedToFloat(cv[2])));
        }
    }
    TColStd_Array1OfReal *uKnots = nullptr, *vKnots = nullptr;
    TColStd_Array1OfInteger *uMults = nullptr, *vMults = nullptr;
    addKnots(g.knotsU, uKnots, uMults, g.degreeU);
    addKnots(g.knotsV, vKnots, vMults, g.degreeV);
    Handle(Geom_BSplineSurface) surface =
        new Geom_BSplineSurface(poles, *uKnots, *vKnots, *uMults, *vMults, g.degreeU, g.degreeV);
    delete uKnots;
    delete vKnots;
    delete uMults;
    delete vMults;
    return surface;
}

NurbsSurfaceGeometry randomSurface(std::mt19937& rng, int degreeU, int degreeV) {
    std::uniform_int_distribution<int> extra(1, 6);
    std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
    std::uniform_real_distribution<double> weight(0.5, 2.0);
    std::uniform_real_distribution<double> offset(-1.0, 1.0);
    NurbsSurfaceGeometry g;
    g.degreeU = degreeU;
    g.degreeV = degreeV;
    g.cvCountU = degreeU + extra(rng);
    g.cvCountV = degreeV + extra(rng);
    const double startU = offset(rng);
    const double startV = offset(rng);
    g.knotsU = randomHostKnots(rng, degreeU, g.cvCountU, startU, startU + 0.5 + 2.0 * std::abs(offset(rng)));
    g.knotsV = randomHostKnots(rng, degreeV, g.cvCountV, startV, startV + 0.5 + 2.0 * std::abs(offset(rng)));
    for (int k = 0; k < g.cvCountU * g.cvCountV; ++k)
        g.cvs.push_back({coordinate(rng), coordinate(rng), coordinate(rng), weight(rng)});  // weights are dropped
    return g;
}

// Parameters to probe: both domain ends, every distinct knot, and random ones.
std::vector<float> probes(std::mt19937& rng, const SurfaceDirection& d) {
    std::vector<float> t{d.domainStart, d.domainEnd};
    for (int k = d.order - 1; k <= d.cvCount; ++k) t.push_back(d.knots[k]);
    std::uniform_real_distribution<float> inside(d.domainStart, d.domainEnd);
    for (int k = 0; k < 5; ++k) t.push_back(inside(rng));
    return t;
}

}  // namespace

TEST(SurfaceOracle, RandomSurfacesMatchIndependentEvaluator) {
    std::mt19937 rng(20240611u);
    double worstPoint = 0.0;
    double worstChord = 0.0;
    std::vector<std::pair<int, int>> degrees;
    for (int du = 1; du <= 5; ++du)
        for (int dv = 1; dv <= 5; ++dv) degrees.emplace_back(du, dv);
    degrees.emplace_back(9, 4);    // the largest order taken
    degrees.emplace_back(10, 2);   // order 11: refused, but the heap path must still be right

    SurfaceData record;
    for (int round = 0; round < 3; ++round) {
        for (const auto& [du, dv] : degrees) {
            const NurbsSurfaceGeometry g = randomSurface(rng, du, dv);
            readSurfaceData(hostapi::makeNurbsSurface(g), record);
            // Refused: order 11, and degree 1 with two control points (two host knots); both
            // still evaluate correctly.
            EXPECT_EQ(isSupportedSurface(record),
                      du + 1 <= kMaxSurfaceOrder && g.knotsU.size() >= 3 && g.knotsV.size() >= 3);
            const Handle(Geom_BSplineSurface) oracle = oracleSurface(g);
            // The control net is within [-10, 10]: errors are measured against that scale.
            const double scale = 10.0;
            for (float u : probes(rng, record.uDirection)) {
                for (float v : probes(rng, record.vDirection)) {
                    const KxPoint p = evalSurfacePoint(record, u, v);
                    const gp_Pnt q = oracle->Value(u, v);
                    const double error =
                        std::max({std::abs(p.x - q.X()), std::abs(p.y - q.Y()), std::abs(p.z - q.Z())}) / scale;
                    worstPoint = std::max(worstPoint, error);
                    ASSERT_LE(error, 1e-6) << "degrees " << du << "," << dv << " at " << u << "," << v;
                }
            }
            // Interior chords: forward differences of the oracle at the same rounded parameters.
            const double h = 0.01;
            const double u = 0.5 * (record.uDirection.domainStart + record.uDirection.domainEnd);
            const double v = 0.3 * record.vDirection.domainStart + 0.7 * record.vDirection.domainEnd;
            KxPoint tu;
            KxPoint tv;
            surfaceTangents(record, u, v, tu, tv);
            const gp_Pnt p0 = oracle->Value(static_cast<float>(u), static_cast<float>(v));
            const gp_Pnt pu = oracle->Value(static_cast<float>(u + h), static_cast<float>(v));
            const gp_Pnt pv = oracle->Value(static_cast<float>(u), static_cast<float>(v + h));
            worstChord = std::max({worstChord, std::abs(tu.x - (pu.X() - p0.X())) / scale,
                                   std::abs(tv.z - (pv.Z() - p0.Z())) / scale});
            EXPECT_LE(worstChord, 2e-6) << "degrees " << du << "," << dv;
        }
    }
    std::printf("worst point error %.3g, worst chord error %.3g (relative to the net's extent)\n", worstPoint,
                worstChord);
}
