#pragma once
// The driving surface in the node's own evaluation form. The node copies the host
// surface into this record once per use and evaluates it from many threads at once.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "KxTypes.h"

class MObject;

// Knot data of one parametric direction.
struct SurfaceDirection {
    float domainEnd = 0.0f;    // knots[cvCount]
    float domainStart = 0.0f;  // knots[order - 1]
    int32_t order = 0;         // degree + 1
    int32_t cvCount = 0;
    std::vector<float> knots;  // host knots with one added at each end: cvCount + order entries
};

struct SurfaceData {
    SurfaceDirection uDirection;
    SurfaceDirection vDirection;
    std::vector<KxPoint> cvs;  // v-major: (i, j) is cvs[j * uDirection.cvCount + i]
};

// Orders the fixed evaluation scratch supports.
constexpr int32_t kMaxSurfaceOrder = 10;

// Copies a host NURBS surface into `record`, reusing its storage.
void readSurfaceData(const MObject& surface, SurfaceData& record);

// One direction the evaluation supports: order in [2, kMaxSurfaceOrder], at least as many
// control points as the order, and cvCount + order - 2 host knots, at least three of them
// (the added end knots are extrapolated from host knots 1, 2, m - 2 and m - 1).
bool isSupportedDirection(int32_t order, int32_t cvCount, std::size_t hostKnotCount);

// True when both directions are supported and the record's arrays have the sizes the
// evaluation reads.
bool isSupportedSurface(const SurfaceData& record);

// Span index s with order - 1 <= s <= cvCount - 1; strict single-precision comparisons.
int32_t findSpan(const float* knots, int32_t order, int32_t cvCount, float t);

// One B-spline curve through every stride-th point of `points`, by de Boor.
KxPoint deBoorPoint(const float* knots, int32_t order, int32_t cvCount, int32_t stride, float t,
                    const KxPoint* points);

// Tensor-product point, v first then u.
KxPoint evalSurfacePoint(const SurfaceData& record, float u, float v);

// Finite-difference chords with step 0.01 (not divided by the step, not normalised).
void surfaceTangents(const SurfaceData& record, double u, double v, KxPoint& tangentU, KxPoint& tangentV);
