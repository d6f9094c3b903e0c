// Random clamped curves against an independent B-spline implementation. The kernel rounds
// knots, parameters and basis values to single precision, so agreement is to about 1e-6
// of the control-point scale.
#include <gtest/gtest.h>

#include <Geom_BSplineCurve.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColgp_Array1OfPnt.hxx>
#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <vector>

#include "curve_kernel.h"
#include "random_curve.h"

namespace {

Handle(Geom_BSplineCurve) toOracle(const RandomCurve& c)
{
    const int cvCount = static_cast<int>(c.cvs.size() / 3);
    TColgp_Array1OfPnt poles(1, cvCount);
    for (int i = 0; i < cvCount; ++i)
        poles.SetValue(i + 1, gp_Pnt(c.cvs[3 * i], c.cvs[3 * i + 1], c.cvs[3 * i + 2]));

    std::vector<double> distinct;
    std::vector<int> mults;
    for (float k : c.knots) {
        if (!distinct.empty() && distinct.back() == k) {
            ++mults.back();
        } else {
            distinct.push_back(k);
            mults.push_back(1);
        }
    }
    TColStd_Array1OfReal knots(1, static_cast<int>(distinct.size()));
    TColStd_Array1OfInteger multiplicities(1, static_cast<int>(mults.size()));
    for (size_t i = 0; i < distinct.size(); ++i) {
        knots.SetValue(static_cast<int>(i) + 1, distinct[i]);
        multiplicities.SetValue(static_cast<int>(i) + 1, mults[i]);
    }
    return new Geom_BSplineCurve(poles, knots, multiplicities, c.degree);
}

TEST(CurveOracle, MatchesReferenceBSpline)
{
    std::mt19937 rng(424242);
    double worst = 0.0;
    for (int curve = 0; curve < 300; ++curve) {
        const RandomCurve c = makeRandomCurve(rng, true);
        const Handle(Geom_BSplineCurve) oracle = toOracle(c);
        double scale = 0.0;
        for (double v : c.cvs)
            scale = std::max(scale, std::abs(v));

        std::uniform_real_distribution<float> param(c.domainStart(), c.domainEnd());
        for (int s = 0; s < 20; ++s) {
            const float t = s == 0 ? c.domainStart() : s == 1 ? c.domainEnd() : param(rng);
            double got[3];
            evalCurve(c.cvs.data(), c.knots.data(), c.degree, c.knotCount(), t, got);
            const gp_Pnt want = oracle->Value(static_cast<double>(t));
            const double err = std::max({std::abs(got[0] - want.X()), std::abs(got[1] - want.Y()),
                                         std::abs(got[2] - want.Z())}) / scale;
            worst = std::max(worst, err);
            ASSERT_LT(err, 1e-6) << "curve " << curve << " degree " << c.degree << " t " << t;
        }
    }
    std::ostringstream text;
    text << worst;
    RecordProperty("worst_relative_error", text.str());
}

}  // namespace
