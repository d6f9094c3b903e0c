// Closest point on a NURBS surface: a tree of nearly flat Bezier pieces, built once per
// surface, is searched nearest bound first; each piece that may still hold a closer point is
// solved by a clamped Newton descent to full precision.

#include <cmath>
#include <limits>

#include "nurbs_geometry.h"
#include "nurbs_patch_tree.h"
#include "nurbs_surface_eval.h"

namespace hostapi {

using nurbs::Vec3;

namespace {

// Everything a query needs that depends on the surface alone.
struct Projection {
    explicit Projection(const NurbsSurfaceGeometry& surface) : prepared(surface), tree(prepared) {}

    SurfaceHit closestPoint(const Vec3& point) const {
        const nurbs::LocalMinimum best = tree.closest(point);
        SurfaceHit hit;
        hit.u = best.u;
        hit.v = best.v;
        hit.point = nurbs::surfacePoint(prepared, best.u, best.v);
        hit.distance = std::hypot(hit.point[0] - point[0], hit.point[1] - point[1], hit.point[2] - point[2]);
        return hit;
    }

    nurbs::PreparedSurface prepared;
    nurbs::PatchTree tree;
};

SurfaceHit malformedHit() {
    SurfaceHit hit;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    hit.point = {nan, nan, nan};
    hit.distance = std::numeric_limits<double>::infinity();
    return hit;
}

}  // namespace

struct SurfaceProjector::Impl : Projection {
    using Projection::Projection;
};

SurfaceProjector::SurfaceProjector(const NurbsSurfaceGeometry& surface) : surface_(surface) {
    if (validateGeometry(surface_).empty()) impl_ = std::make_unique<Impl>(surface_);
}

SurfaceProjector::~SurfaceProjector() = default;

SurfaceHit SurfaceProjector::closestPoint(const std::array<double, 3>& point) const {
    return impl_ ? impl_->closestPoint(point) : malformedHit();
}

// A one-off query. Callers with many points against one surface keep a SurfaceProjector
// (the host's surface objects each keep one), so the search tree is built once.
SurfaceHit closestPoint(const NurbsSurfaceGeometry& surface, const std::array<double, 3>& point) {
    return SurfaceProjector(surface).closestPoint(point);
}

}  // namespace hostapi
