#pragma once
// Local minimisation of the squared distance to a point over a NURBS surface domain.

#include <vector>

#include "nurbs_surface_eval.h"

namespace hostapi::nurbs {

// A parameter direction cut at its creases (interior knots of multiplicity = degree, where
// the surface is only C0). The distance is smooth inside each piece, so Newton works there.
struct SmoothPieces {
    std::vector<double> breaks;  // domain start, creases, domain end
    std::vector<int> firstSpan;  // per piece: the non-empty knot spans it covers
    std::vector<int> lastSpan;

    int count() const { return static_cast<int>(firstSpan.size()); }
    // The piece that holds t; the right-hand one when t is on a crease.
    int pieceOf(double t) const;
};

SmoothPieces smoothPieces(const std::vector<double>& fullKnots, int degree, int cvCount);

struct LocalMinimum {
    double u, v, d2;
};

// Bound-constrained Newton descent from (u, v), which lies in pieces pieceU and pieceV, to a
// local minimum of |S(u, v) - target|^2. A crease that the distance keeps falling across is
// crossed into the next piece; a domain edge holds the parameter, which gives a 1-D Newton
// along edges and exact corners.
LocalMinimum descend(const PreparedSurface& surface, const SmoothPieces& piecesU, const SmoothPieces& piecesV,
                     const Vec3& target, double u, double v, int pieceU, int pieceV);

}  // namespace hostapi::nurbs
