#pragma once
// Starting points for the closest-point search: the surface sampled on a dense parameter grid.

#include <vector>

#include "nurbs_descent.h"
#include "nurbs_surface_eval.h"

namespace hostapi::nurbs {

struct Seed {
    double d2, u, v;
};

struct Box {
    Vec3 low, high;
};

// The grid holds every knot, several steps in each knot span and several between neighbouring
// Greville abscissae, so that its density follows the control polygon even where one long
// span carries many control points.
class SeedGrid {
public:
    SeedGrid(const PreparedSurface& surface, const SmoothPieces& piecesU, const SmoothPieces& piecesV);

    // Up to maxCount grid points that are local minima of the distance to target, closest
    // first; never empty. Minima farther than the closest grid point plus the grid's cell
    // size are left out: the basin of the closest surface point always has a grid point
    // within that reach.
    std::vector<Seed> seeds(const Vec3& target, size_t maxCount) const;

    size_t size() const { return points_.size(); }

private:
    // Grid points are grouped into blocks, and blocks into groups, each with a bounding box:
    // a query visits them nearest first and stops where none can hold a seed it still needs.
    struct Block {
        size_t i0, i1, j0, j1;  // points [i0, i1) x [j0, j1)
        Box box;
    };
    struct Group {
        size_t first, last;  // blocks [first, last)
        Box box;
    };

    std::vector<double> samplesU_, samplesV_;
    std::vector<char> creaseU_, creaseV_;  // per sample: lies on an interior piece break
    std::vector<Vec3> points_;             // u-major: index i * samplesV_.size() + j
    std::vector<Block> blocks_;            // group by group
    std::vector<Group> groups_;
    double cellSize_ = 0.0;  // longest edge or diagonal of any grid cell
};

}  // namespace hostapi::nurbs
