#pragma once
// A surface cut into its polynomial pieces: one Bezier patch per pair of non-empty knot
// spans, found once per surface by knot insertion (blossoming). A patch evaluates its point
// and derivatives without knot arithmetic, which is what the closest-point search runs on.

#include <array>
#include <vector>

#include "nurbs_surface_eval.h"

namespace hostapi::nurbs {


// Point and derivatives at local (s, t) in [0, 1]^2 from a patch's coefficients, scaled to
// the surface's parameters by (scaleU, scaleV).
using PatchEvaluator = SurfaceDerivatives (*)(const double* coefficients, double s, double t, double scaleU,
                                              double scaleV);

struct BezierPatch {
    double u0, u1, v0, v1;  // the knot spans it covers
    size_t first;           // its (degreeU + 1) x (degreeV + 1) control points in BezierPatches::cvs, u-major
};

class BezierPatches {
public:
    explicit BezierPatches(const PreparedSurface& surface);

    int degreeU = 0, degreeV = 0;
    bool rational = false;  // some weight differs from 1
    std::vector<BezierPatch> patches;
    std::vector<Hom> cvs;

    const Hom* controlPoints(const BezierPatch& patch) const { return &cvs[patch.first]; }

    // Point, first and second derivatives with respect to the surface's own parameters at
    // (u, v); parameters outside the patch extrapolate its polynomial.
    SurfaceDerivatives derivatives(const BezierPatch& patch, double u, double v) const;

private:
    // Low-degree polynomial surfaces: an unrolled evaluator and each patch's power-basis
    // coefficients, (x, y, z, 0) per term, from 4 * patch.first.
    PatchEvaluator power_ = nullptr;
    std::vector<double> powerCoefficients_;
};

// The control points of the piece [a, b] of a Bezier curve of the given degree over [0, 1]:
// `stride` apart in both `in` and `out`.
void restrictBezier(const Hom* in, int degree, size_t stride, double a, double b, Hom* out);

}  // namespace hostapi::nurbs
