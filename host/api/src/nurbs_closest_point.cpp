// Closest point on a NURBS surface: the best few local minima of the distance sampled on a
// dense grid seed a bound-constrained Newton descent, which refines each to full precision.

#include <algorithm>
#include <cmath>
#include <limits>

#include "nurbs_descent.h"
#include "nurbs_geometry.h"
#include "nurbs_seed_grid.h"
#include "nurbs_surface_eval.h"

namespace hostapi {

using nurbs::Vec3;

namespace {

// Grid minima refined per query; the grid has thousands of points but few minima that matter.
constexpr size_t kSeedCount = 6;

// Everything a query needs that depends on the surface alone.
struct Projection {
    explicit Projection(const NurbsSurfaceGeometry& surface)
        : prepared(surface),
          piecesU(nurbs::smoothPieces(prepared.knotsU, surface.degreeU, surface.cvCountU)),
          piecesV(nurbs::smoothPieces(prepared.knotsV, surface.degreeV, surface.cvCountV)),
          grid(prepared, piecesU, piecesV) {}

    SurfaceHit closestPoint(const Vec3& point) const;

    nurbs::PreparedSurface prepared;
    nurbs::SmoothPieces piecesU, piecesV;
    nurbs::SeedGrid grid;
};

SurfaceHit Projection::closestPoint(const Vec3& point) const {
    const std::vector<nurbs::Seed> seeds = grid.seeds(point, kSeedCount);
    nurbs::LocalMinimum best{seeds[0].u, seeds[0].v, seeds[0].d2};
    for (const nurbs::Seed& seed : seeds) {
        // A seed on a crease starts in each piece that meets there: either side may hold its
        // own minimum right behind the crease.
        const int ku = piecesU.pieceOf(seed.u), kv = piecesV.pieceOf(seed.v);
        const bool creaseU = ku > 0 && seed.u == piecesU.breaks[ku];
        const bool creaseV = kv > 0 && seed.v == piecesV.breaks[kv];
        for (int a = creaseU ? ku - 1 : ku; a <= ku; ++a) {
            for (int b = creaseV ? kv - 1 : kv; b <= kv; ++b) {
                const nurbs::LocalMinimum m = nurbs::descend(prepared, piecesU, piecesV, point, seed.u, seed.v, a, b);
                if (m.d2 < best.d2) best = m;
            }
        }
    }

    SurfaceHit hit;
    hit.u = best.u;
    hit.v = best.v;
    hit.point = nurbs::surfacePoint(prepared, best.u, best.v);
    hit.distance = std::hypot(hit.point[0] - point[0], hit.point[1] - point[1], hit.point[2] - point[2]);
    return hit;
}

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
// (the host's surface objects each keep one), so the seeding grid is built once.
SurfaceHit closestPoint(const NurbsSurfaceGeometry& surface, const std::array<double, 3>& point) {
    return SurfaceProjector(surface).closestPoint(point);
}

}  // namespace hostapi
