#pragma once
// Rational tensor-product evaluation with derivatives, on a surface prepared once per query.

#include <array>
#include <vector>

#include "nurbs_geometry.h"

namespace hostapi::nurbs {

using Vec3 = std::array<double, 3>;

// Full knot vectors and the domain of a validated surface; refers to the surface's CVs.
struct PreparedSurface {
    explicit PreparedSurface(const NurbsSurfaceGeometry& surface);

    const NurbsSurfaceGeometry* geometry;
    std::vector<double> knotsU;  // full form: cvCountU + degreeU + 1 knots
    std::vector<double> knotsV;
    double startU, endU, startV, endV;

    double clampU(double u) const { return u > startU ? (u < endU ? u : endU) : startU; }
    double clampV(double v) const { return v > startV ? (v < endV ? v : endV) : startV; }
};

struct SurfaceDerivatives {
    Vec3 point, du, dv, duu, duv, dvv;
};

using Hom = std::array<double, 4>;  // (w x, w y, w z, w)

// Point and derivatives up to second order from the homogeneous ones a[k][l] (k u- and l
// v-derivatives), by the quotient rule.
SurfaceDerivatives rationalDerivatives(const Hom (&a)[3][3]);

// Parameters are clamped to the domain (NaN goes to the domain start).
Vec3 surfacePoint(const PreparedSurface& surface, double u, double v);
SurfaceDerivatives surfaceDerivatives(const PreparedSurface& surface, double u, double v);

// Derivatives from the polynomial pieces of the given knot spans (full-vector indices), so a
// parameter on a knot can take its one-sided derivatives from either neighbouring span.
SurfaceDerivatives surfaceDerivativesInSpans(const PreparedSurface& surface, double u, double v, int spanU,
                                             int spanV);

}  // namespace hostapi::nurbs
