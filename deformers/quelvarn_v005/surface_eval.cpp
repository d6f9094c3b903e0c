// Point and tangent evaluation of the driving surface record. Knots and parameters are
// single precision; positions are blended in double with weights computed in float, so the
// results are fixed by this arithmetic and must not be rearranged.

#include <algorithm>
#include <cstddef>
#include <vector>

#include "surface_data.h"

namespace {

bool isSupportedDirection(const SurfaceDirection& direction) {
    if (direction.order < 2 || direction.order > kMaxSurfaceOrder) return false;
    // The added end knots come from host knots 1, 2, m - 2 and m - 1: at least three host knots.
    if (direction.knots.size() < 5) return false;
    if (direction.knots.size() != static_cast<std::size_t>(direction.cvCount) + direction.order) return false;
    // The span search starts at order - 1 and gathers order points from there.
    return direction.cvCount >= direction.order;
}

// De Boor's levels over the order points Q of span s, in place; the result is Q[0].
KxPoint blendSpan(const float* knots, int32_t order, int32_t s, float t, KxPoint* Q) {
    const int32_t p = order - 1;
    for (int32_t r = 1; r <= p; ++r) {
        for (int32_t j = 0; j <= p - r; ++j) {
            const float right = knots[s + 1 + j];
            const float a = (right - t) / (right - knots[s - p + r + j]);
            const float b = 1.0f - a;
            const double wa = a;
            const double wb = b;
            Q[j].x = wa * Q[j].x + wb * Q[j + 1].x;
            Q[j].y = wa * Q[j].y + wb * Q[j + 1].y;
            Q[j].z = wa * Q[j].z + wb * Q[j + 1].z;
        }
    }
    return Q[0];
}

KxPoint difference(const KxPoint& a, const KxPoint& b) {
    KxPoint d;
    d.x = a.x - b.x;
    d.y = a.y - b.y;
    d.z = a.z - b.z;
    return d;
}

}  // namespace

bool isSupportedSurface(const SurfaceData& record) {
    if (!isSupportedDirection(record.uDirection) || !isSupportedDirection(record.vDirection)) return false;
    const std::size_t expected =
        static_cast<std::size_t>(record.uDirection.cvCount) * static_cast<std::size_t>(record.vDirection.cvCount);
    return record.cvs.size() == expected;
}

int32_t findSpan(const float* knots, int32_t order, int32_t cvCount, float t) {
    int32_t s = order - 1;
    while (s < cvCount - 1 && t > knots[s + 1]) ++s;
    return s;
}

KxPoint deBoorPoint(const float* knots, int32_t order, int32_t cvCount, int32_t stride, float t,
                    const KxPoint* points) {
    const int32_t p = order - 1;
    const int32_t s = findSpan(knots, order, cvCount, t);

    KxPoint fixed[kMaxSurfaceOrder];
    std::vector<KxPoint> heap;  // only for orders the fixed scratch cannot hold
    KxPoint* Q = fixed;
    if (order > kMaxSurfaceOrder) {
        heap.resize(static_cast<std::size_t>(order));
        Q = heap.data();
    }
    for (int32_t r = 0; r <= p; ++r) Q[r] = points[static_cast<std::ptrdiff_t>(s - p + r) * stride];
    return blendSpan(knots, order, s, t, Q);
}

KxPoint evalSurfacePoint(const SurfaceData& record, float u, float v) {
    const SurfaceDirection& du = record.uDirection;
    const SurfaceDirection& dv = record.vDirection;
    const int32_t su = findSpan(du.knots.data(), du.order, du.cvCount, u);
    const int32_t pu = du.order - 1;
    // Every column shares the v span: search it once rather than once per column.
    const int32_t sv = findSpan(dv.knots.data(), dv.order, dv.cvCount, v);
    const int32_t pv = dv.order - 1;

    KxPoint fixedW[kMaxSurfaceOrder];
    KxPoint fixedQ[kMaxSurfaceOrder];
    std::vector<KxPoint> heap;  // only for orders the fixed scratch cannot hold
    KxPoint* W = fixedW;
    KxPoint* Q = fixedQ;
    const int32_t largest = std::max(du.order, dv.order);
    if (largest > kMaxSurfaceOrder) {
        heap.resize(2 * static_cast<std::size_t>(largest));
        W = heap.data();
        Q = W + largest;
    }

    // Each of the u span's columns collapsed along v; W[r] stands for u control point su - pu + r.
    const std::ptrdiff_t stride = du.cvCount;
    for (int32_t r = 0; r <= pu; ++r) {
        const KxPoint* column = record.cvs.data() + (su - pu + r) + (sv - pv) * stride;
        for (int32_t k = 0; k <= pv; ++k) Q[k] = column[k * stride];
        W[r] = blendSpan(dv.knots.data(), dv.order, sv, v, Q);
    }
    // Along u through the collapsed points; the span search there would find su again.
    return blendSpan(du.knots.data(), du.order, su, u, W);
}

void surfaceTangents(const SurfaceData& record, double u, double v, KxPoint& tangentU, KxPoint& tangentV) {
    const double h = 0.01;
    const float fu = static_cast<float>(u);
    const float fv = static_cast<float>(v);
    const KxPoint P = evalSurfacePoint(record, fu, fv);

    // Near the domain end the forward chord would leave the domain: step back instead.
    if (u > static_cast<double>(record.uDirection.domainEnd) - h)
        tangentU = difference(P, evalSurfacePoint(record, static_cast<float>(u - h), fv));
    else
        tangentU = difference(evalSurfacePoint(record, static_cast<float>(u + h), fv), P);

    if (v > static_cast<double>(record.vDirection.domainEnd) - h)
        tangentV = difference(P, evalSurfacePoint(record, fu, static_cast<float>(v - h)));
    else
        tangentV = difference(evalSurfacePoint(record, fu, static_cast<float>(v + h)), P);
}
