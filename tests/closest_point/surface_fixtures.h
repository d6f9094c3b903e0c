#pragma once
// Random host surfaces and their OpenCASCADE twins, the independent oracle of these tests.

#include <Geom_BSplineSurface.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColStd_Array2OfReal.hxx>
#include <TColgp_Array2OfPnt.hxx>

#include <random>

#include "nurbs_geometry.h"

namespace fixtures {

using hostapi::NurbsSurfaceGeometry;

inline double uniform(std::mt19937_64& rng, double a, double b) {
    return std::uniform_real_distribution<double>(a, b)(rng);
}

// Host-form knots over [start, start + length] with uneven spans; clamped ends, or all
// distinct (an unclamped vector whose domain is the middle of the list).
inline std::vector<double> randomKnots(std::mt19937_64& rng, int degree, int cvCount, bool clamped) {
    const int count = cvCount + degree - 1;
    const double start = uniform(rng, -2.0, 2.0);
    const double length = uniform(rng, 0.5, 5.0);
    std::vector<double> knots;
    if (clamped) {
        knots.assign(degree, 0.0);
        double t = 0.0;
        for (int k = 0; k < count - 2 * degree + 1; ++k) knots.push_back(t += uniform(rng, 0.3, 1.7));
        knots.insert(knots.end(), degree - 1, t);
    } else {
        double t = 0.0;
        for (int k = 0; k < count; ++k) knots.push_back(t += uniform(rng, 0.3, 1.7));
    }
    // Map the domain (host entries degree - 1 .. cvCount - 1) onto [start, start + length].
    const double a = knots[degree - 1], b = knots[cvCount - 1];
    for (double& k : knots) k = start + (k - a) * (length / (b - a));
    return knots;
}

// A wavy sheet over a grid of control points: `shift` moves CVs sideways (0 keeps the
// parametrisation regular), `height` is the z amplitude, weights in [0.5, 2]. CV counts of 0
// pick degree + 1 to degree + 4.
inline NurbsSurfaceGeometry randomSurface(std::mt19937_64& rng, int degreeU, int degreeV, double shift,
                                          double height, bool clamped = true, int cvCountU = 0,
                                          int cvCountV = 0) {
    NurbsSurfaceGeometry s;
    s.degreeU = degreeU;
    s.degreeV = degreeV;
    s.cvCountU = cvCountU ? cvCountU : degreeU + 1 + static_cast<int>(rng() % 4);
    s.cvCountV = cvCountV ? cvCountV : degreeV + 1 + static_cast<int>(rng() % 4);
    s.knotsU = randomKnots(rng, degreeU, s.cvCountU, clamped);
    s.knotsV = randomKnots(rng, degreeV, s.cvCountV, clamped);
    for (int i = 0; i < s.cvCountU; ++i)
        for (int j = 0; j < s.cvCountV; ++j)
            s.cvs.push_back({i + shift * uniform(rng, -1, 1), j + shift * uniform(rng, -1, 1),
                             height * uniform(rng, -1, 1), uniform(rng, 0.5, 2.0)});
    return s;
}

// Distinct values and multiplicities of the full knot vector (host form plus one more copy of
// each end knot).
inline void occtKnots(const std::vector<double>& host, Handle(TColStd_HArray1OfReal) & values,
                      Handle(TColStd_HArray1OfInteger) & mults) {
    std::vector<double> full{host.front()};
    full.insert(full.end(), host.begin(), host.end());
    full.push_back(host.back());
    std::vector<double> distinct;
    std::vector<int> count;
    for (double k : full) {
        if (!distinct.empty() && distinct.back() == k) ++count.back();
        else distinct.push_back(k), count.push_back(1);
    }
    values = new TColStd_HArray1OfReal(1, static_cast<int>(distinct.size()));
    mults = new TColStd_HArray1OfInteger(1, static_cast<int>(distinct.size()));
    for (size_t k = 0; k < distinct.size(); ++k) {
        values->SetValue(static_cast<int>(k) + 1, distinct[k]);
        mults->SetValue(static_cast<int>(k) + 1, count[k]);
    }
}

inline Handle(Geom_BSplineSurface) toOcct(const NurbsSurfaceGeometry& s) {
    TColgp_Array2OfPnt poles(1, s.cvCountU, 1, s.cvCountV);
    TColStd_Array2OfReal weights(1, s.cvCountU, 1, s.cvCountV);
    for (int i = 0; i < s.cvCountU; ++i)
        for (int j = 0; j < s.cvCountV; ++j) {
            const auto& cv = s.cvs[static_cast<size_t>(i) * s.cvCountV + j];
            poles.SetValue(i + 1, j + 1, gp_Pnt(cv[0], cv[1], cv[2]));
            weights.SetValue(i + 1, j + 1, cv[3]);
        }
    Handle(TColStd_HArray1OfReal) uk, vk;
    Handle(TColStd_HArray1OfInteger) um, vm;
    occtKnots(s.knotsU, uk, um);
    occtKnots(s.knotsV, vk, vm);
    return new Geom_BSplineSurface(poles, weights, uk->Array1(), vk->Array1(), um->Array1(), vm->Array1(),
                                   s.degreeU, s.degreeV);
}

}  // namespace fixtures
