#pragma once
// The closest-point search structure of one surface: its Bezier patches cut into nearly flat
// pieces, each bounded by the hull of its control points, in a bounding-volume tree. A query
// visits pieces nearest bound first and solves each with a clamped Newton descent until no
// piece left can hold a closer point.

#include <cstdint>
#include <vector>

#include "nurbs_bezier_patches.h"
#include "nurbs_descent.h"

namespace hostapi::nurbs {

// A box oriented to the mean tangent plane of the surface inside it (the world axes where
// that surface turns too far to have one); the distance to it bounds the distance to the
// surface inside from below.
struct PatchBound {
    double axes[3][3];  // rows: unit axes
    double low[3], high[3];  // extent along each axis

    double distance2(const Vec3& p) const;
};

class PatchTree {
public:
    explicit PatchTree(const PreparedSurface& surface);

    // The parameters of the surface point nearest to target and its squared distance.
    LocalMinimum closest(const Vec3& target) const;

    size_t pieceCount() const { return pieces_.size(); }
    size_t nodeCount() const { return nodes_.size(); }

private:
    struct Piece {
        ParameterRect rect;
        uint32_t patch;
        uint32_t hull;  // its control net in hullPoints_, or kNoHull for nets too large to keep
        // The tangent plane at the centre: a descent starts where it puts the target, so
        // (u, v) = centre + (rowU . (x - origin), rowV . (x - origin)), clamped to the piece.
        double centreU, centreV;
        Vec3 origin, rowU, rowV;
        // The surface at the corners (u0, v0), (u1, v0), (u0, v1), (u1, v1): a descent that
        // ends farther than one of them restarts there.
        Vec3 corners[4];
        // Edges collapsed to a point (a pole), bits u0, u1, v0, v1: a descent stalls on them,
        // since moving along them moves nothing.
        unsigned collapsed;
    };
    static constexpr uint32_t kNoHull = 0xffffffffu;
    struct Node {
        PatchBound bound;
        int32_t piece;       // the piece of a leaf node; -1 for an inner node
        uint32_t firstChild;  // inner node: children at firstChild and firstChild + 1
    };

    BezierPatches patches_;
    size_t netSize_;
    std::vector<Vec3> hullPoints_;
    std::vector<Piece> pieces_;
    std::vector<Node> nodes_;  // nodes_[0] is the root
    double rangeU_, rangeV_, startU_, startV_;
};

}  // namespace hostapi::nurbs
