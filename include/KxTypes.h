#pragma once
// Plain records that the framework hands to every deformer.

#include <cstdint>
#include <vector>

// A point as the framework stores it: three 64-bit floats, no w.
struct KxPoint {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};
static_assert(sizeof(KxPoint) == 3 * sizeof(double), "points are packed x, y, z doubles");

// A profile curve in evaluation form, already filled by the framework.
// Empty (treated as missing) when it has no control points, no knots, or degree 0.
struct CurveData {
    std::vector<KxPoint> cvs;  // control points, in curve order
    std::vector<float> knots;  // full knot vector: cvs.size() + degree + 1 entries
    int32_t degree = 0;        // 1 to 7

    bool empty() const { return cvs.empty() || knots.empty() || degree == 0; }
};
