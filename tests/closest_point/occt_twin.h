// What the closest-point and surface tests share: random draws and sheets, distances, and a
// host surface's OpenCASCADE twin.
#pragma once

#include <BSplCLib.hxx>
#include <GeomAPI_ProjectPointOnSurf.hxx>
#include <Standard_Failure.hxx>
#include <Geom_BSplineSurface.hxx>
#include <TColStd_Array2OfReal.hxx>
#include <TColStd_HArray1OfInteger.hxx>
#include <TColStd_HArray1OfReal.hxx>
#include <TColgp_Array2OfPnt.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "nurbs_geometry.h"

using hostapi::NurbsSurfaceGeometry;
using hostapi::SurfaceHit;
using Point = std::array<double, 3>;

inline double uniform(std::mt19937_64& rng, double a, double b) {
    return std::uniform_real_distribution<double>(a, b)(rng);
}

inline double distance(const Point& a, const Point& b) { return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]); }

// Host-form knots from 0 in uneven steps: clamped ends, or all distinct (an unclamped vector
// whose domain is the middle of the list).
inline std::vector<double> knotsFor(std::mt19937_64& rng, int degree, int cvCount, bool clamped) {
    std::vector<double> knots{0.0};
    while (static_cast<int>(knots.size()) < cvCount + degree - 1) knots.push_back(knots.back() + uniform(rng, 0.4, 1.6));
    if (clamped) {
        std::fill(knots.begin(), knots.begin() + degree, knots[degree - 1]);
        std::fill(knots.begin() + cvCount, knots.end(), knots[cvCount - 1]);
    }
    return knots;
}

// A wavy sheet: control points on a grid, displaced sideways by `shift` (0 keeps the
// parametrisation regular), heights up to `height`, weights in [0.4, 2.5] when rational.
inline NurbsSurfaceGeometry wavySheet(std::mt19937_64& rng, int degreeU, int degreeV, int cvsU, int cvsV,
                                      double shift, double height, bool rational, bool clamped = true) {
    NurbsSurfaceGeometry s;
    s.degreeU = degreeU;
    s.degreeV = degreeV;
    s.cvCountU = cvsU;
    s.cvCountV = cvsV;
    s.knotsU = knotsFor(rng, degreeU, cvsU, clamped);
    s.knotsV = knotsFor(rng, degreeV, cvsV, clamped);
    for (int i = 0; i < cvsU; ++i)
        for (int j = 0; j < cvsV; ++j)
            s.cvs.push_back({i + shift * uniform(rng, -1, 1), j + shift * uniform(rng, -1, 1),
                             height * uniform(rng, -1, 1), rational ? uniform(rng, 0.4, 2.5) : 1.0});
    return s;
}

// The rational quarter sphere of `radius`: a quarter circle from the equator to the pole,
// revolved through a quarter turn; the u = 1 edge collapses onto the pole.
inline NurbsSurfaceGeometry sphereOctant(double radius) {
    const double h = std::sqrt(0.5);
    const double profile[3][3] = {{radius, 0, 1}, {radius, radius, h}, {0, radius, 1}};  // r, z, w
    const double arc[3][3] = {{1, 0, 1}, {1, 1, h}, {0, 1, 1}};                          // x, y, w
    NurbsSurfaceGeometry s;
    s.degreeU = s.degreeV = 2;
    s.cvCountU = s.cvCountV = 3;
    s.knotsU = s.knotsV = {0, 0, 1, 1};
    for (auto& pr : profile)
        for (auto& ar : arc) s.cvs.push_back({pr[0] * ar[0], pr[0] * ar[1], pr[1], pr[2] * ar[2]});
    return s;
}

// OpenCASCADE's twin; its full knot vectors are the host's plus one more copy of each end knot.
inline Handle(Geom_BSplineSurface) toOcct(const NurbsSurfaceGeometry& s) {
    TColgp_Array2OfPnt poles(1, s.cvCountU, 1, s.cvCountV);
    TColStd_Array2OfReal weights(1, s.cvCountU, 1, s.cvCountV);
    for (int i = 0; i < s.cvCountU; ++i)
        for (int j = 0; j < s.cvCountV; ++j) {
            const auto& cv = s.cvs[static_cast<size_t>(i) * s.cvCountV + j];
            poles.SetValue(i + 1, j + 1, gp_Pnt(cv[0], cv[1], cv[2]));
            weights.SetValue(i + 1, j + 1, cv[3]);
        }
    Handle(TColStd_HArray1OfReal) knots[2];
    Handle(TColStd_HArray1OfInteger) mults[2];
    for (int d = 0; d < 2; ++d) {
        const std::vector<double>& host = d == 0 ? s.knotsU : s.knotsV;
        const int n = static_cast<int>(host.size());
        TColStd_Array1OfReal sequence(1, n + 2);
        for (int k = 0; k < n + 2; ++k) sequence(k + 1) = host[std::clamp(k - 1, 0, n - 1)];
        knots[d] = new TColStd_HArray1OfReal(1, BSplCLib::KnotsLength(sequence));
        mults[d] = new TColStd_HArray1OfInteger(1, knots[d]->Length());
        BSplCLib::Knots(sequence, knots[d]->ChangeArray1(), mults[d]->ChangeArray1());
    }
    return new Geom_BSplineSurface(poles, weights, knots[0]->Array1(), knots[1]->Array1(), mults[0]->Array1(),
                                   mults[1]->Array1(), s.degreeU, s.degreeV);
}

// OpenCASCADE's nearest orthogonal projection; infinite where it finds none (say behind a
// corner) or gives up.
inline double occtDistance(const Handle(Geom_BSplineSurface)& occt, const Point& p) {
    try {
        GeomAPI_ProjectPointOnSurf projection(gp_Pnt(p[0], p[1], p[2]), occt);
        if (projection.NbPoints() > 0) return projection.LowerDistance();
    } catch (const Standard_Failure&) {
    }
    return INFINITY;
}
