// Point and tangent evaluation of the driving surface record. Knots and parameters are
// single precision; positions are blended in double with weights computed in float, so the
// results are fixed by this arithmetic and must not be rearranged.

#include <algorithm>
#include <cstddef>
#include <vector>

#include "knot_span.h"
#include "surface_data.h"

namespace {

// The record holds the host knots plus the two added end knots.
bool isSupportedRecordDirection(const SurfaceDirection& direction) {
    return direction.knots.size() >= 2 &&
           isSupportedDirection(direction.order, direction.cvCount, direction.knots.size() - 2);
}

// Number of de Boor blend weights of one span: one per point of every level.
constexpr int32_t weightCount(int32_t order) { return order * (order - 1) / 2; }

// A scratch point: no member initialisers, so the fixed scratch is not zeroed on every call.
struct ScratchPoint {
    double x;
    double y;
    double z;
};

void load(ScratchPoint& to, const KxPoint& from) {
    to.x = from.x;
    to.y = from.y;
    to.z = from.z;
}

// De Boor's levels over the order points Q of a span, in place; the result is Q[0].
KxPoint blendSpan(int32_t order, const float* a, ScratchPoint* Q) {
    const int32_t p = order - 1;
    int32_t k = 0;
    for (int32_t r = 1; r <= p; ++r) {
        for (int32_t j = 0; j <= p - r; ++j, ++k) {
            const double wa = a[k];
            const double wb = 1.0f - a[k];  // b is taken in float, then widened
            Q[j].x = wa * Q[j].x + wb * Q[j + 1].x;
            Q[j].y = wa * Q[j].y + wb * Q[j + 1].y;
            Q[j].z = wa * Q[j].z + wb * Q[j + 1].z;
        }
    }
    KxPoint result;
    result.x = Q[0].x;
    result.y = Q[0].y;
    result.z = Q[0].z;
    return result;
}

// Fixed scratch for the points and weights of one evaluation; the heap only past kMaxSurfaceOrder.
class EvalScratch {
public:
    explicit EvalScratch(int32_t largestOrder) {
        if (largestOrder > kMaxSurfaceOrder) {
            heapPoints_.resize(2 * static_cast<std::size_t>(largestOrder));
            heapWeights_.resize(static_cast<std::size_t>(weightCount(largestOrder)));
            first_ = heapPoints_.data();
            second_ = first_ + largestOrder;
            weights_ = heapWeights_.data();
        }
    }
    ScratchPoint* first() { return first_; }
    ScratchPoint* second() { return second_; }
    float* weights() { return weights_; }

private:
    ScratchPoint fixedFirst_[kMaxSurfaceOrder];
    ScratchPoint fixedSecond_[kMaxSurfaceOrder];
    float fixedWeights_[weightCount(kMaxSurfaceOrder)];
    std::vector<ScratchPoint> heapPoints_;
    std::vector<float> heapWeights_;
    ScratchPoint* first_ = fixedFirst_;
    ScratchPoint* second_ = fixedSecond_;
    float* weights_ = fixedWeights_;
};

KxPoint difference(const KxPoint& a, const KxPoint& b) {
    KxPoint d;
    d.x = a.x - b.x;
    d.y = a.y - b.y;
    d.z = a.z - b.z;
    return d;
}

}  // namespace

bool isSupportedDirection(int32_t order, int32_t cvCount, std::size_t hostKnotCount) {
    return order >= 2 && order <= kMaxSurfaceOrder && cvCount >= order && hostKnotCount >= 3 &&
           hostKnotCount == static_cast<std::size_t>(cvCount) + static_cast<std::size_t>(order) - 2;
}

bool isSupportedSurface(const SurfaceData& record) {
    if (!isSupportedRecordDirection(record.uDirection) || !isSupportedRecordDirection(record.vDirection)) return false;
    const std::size_t expected =
        static_cast<std::size_t>(record.uDirection.cvCount) * static_cast<std::size_t>(record.vDirection.cvCount);
    return record.cvs.size() == expected;
}

int32_t findSpan(const float* knots, int32_t order, int32_t cvCount, float t) {
    return findKnotSpan(knots, order, cvCount, t);
}

KxPoint deBoorPoint(const float* knots, int32_t order, int32_t cvCount, int32_t stride, float t,
                    const KxPoint* points) {
    const int32_t p = order - 1;
    const int32_t s = findSpan(knots, order, cvCount, t);
    EvalScratch scratch(order);
    ScratchPoint* Q = scratch.first();
    for (int32_t r = 0; r <= p; ++r) load(Q[r], points[static_cast<std::ptrdiff_t>(s - p + r) * stride]);
    deBoorSpanWeights(knots, order, s, t, scratch.weights());
    return blendSpan(order, scratch.weights(), Q);
}

// The same arithmetic as a de Boor pass along v per column and one along u through the
// results, with the v span and its weights found once for all columns.
KxPoint evalSurfacePoint(const SurfaceData& record, float u, float v) {
    const SurfaceDirection& du = record.uDirection;
    const SurfaceDirection& dv = record.vDirection;
    const int32_t su = findSpan(du.knots.data(), du.order, du.cvCount, u);
    const int32_t pu = du.order - 1;
    const int32_t sv = findSpan(dv.knots.data(), dv.order, dv.cvCount, v);
    const int32_t pv = dv.order - 1;

    EvalScratch scratch(std::max(du.order, dv.order));
    ScratchPoint* W = scratch.first();
    ScratchPoint* Q = scratch.second();
    float* a = scratch.weights();

    // W[r] is column su - pu + r collapsed along v.
    deBoorSpanWeights(dv.knots.data(), dv.order, sv, v, a);
    const std::ptrdiff_t stride = du.cvCount;
    for (int32_t r = 0; r <= pu; ++r) {
        const KxPoint* column = record.cvs.data() + (su - pu + r) + (sv - pv) * stride;
        for (int32_t k = 0; k <= pv; ++k) load(Q[k], column[k * stride]);
        load(W[r], blendSpan(dv.order, a, Q));
    }
    deBoorSpanWeights(du.knots.data(), du.order, su, u, a);
    return blendSpan(du.order, a, W);
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
