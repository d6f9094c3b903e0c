#pragma once
// Local minimisation of the squared distance to a point over one rectangle of a Bezier patch.

#include "nurbs_bezier_patches.h"

namespace hostapi::nurbs {

struct ParameterRect {
    double u0, u1, v0, v1;
};

struct LocalMinimum {
    double u, v, d2;
    Vec3 point;  // S(u, v)
};

// Bound-constrained Newton descent from (u, v) inside `rect` (a part of `patch`) to a local
// minimum of |S(u, v) - target|^2. A bound holds its parameter exactly, which gives a 1-D
// Newton along edges and exact corners. rangeU and rangeV, the surface's domain sizes, set
// the convergence threshold.
LocalMinimum descend(const BezierPatches& patches, const BezierPatch& patch, const ParameterRect& rect,
                     double rangeU, double rangeV, const Vec3& target, double u, double v);

}  // namespace hostapi::nurbs
