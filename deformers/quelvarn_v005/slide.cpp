// The slide of one point. Every product below is in double unless a step says float;
// the order of operations is fixed and must not be rearranged.

#include "slide.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "curve_kernel.h"
#include "surface_frame.h"

namespace {

constexpr double kNegligible = 1e-5;

KxPoint curvePoint(const CurveData& curve, float s) {
    double result[3];
    evalCurve(reinterpret_cast<const double*>(curve.cvs.data()), curve.knots.data(), curve.degree,
              static_cast<int>(curve.knots.size()), s, result);
    KxPoint point;
    point.x = result[0];
    point.y = result[1];
    point.z = result[2];
    return point;
}

double clampToDomain(double value, const SurfaceDirection& direction) {
    const double start = direction.domainStart;
    const double end = direction.domainEnd;
    return start > value ? start : std::min(end, value);
}

}  // namespace

SlideOutcome slidePoint(const SlideInputs& in, int i, KxPoint& point) {
    const SlideSettings& set = in.settings;
    const std::size_t at = static_cast<std::size_t>(i);
    // Positions and indices that the arrays do not cover leave the point alone.
    if (i < 0 || at >= in.weightCount || at >= in.indexCount || at >= in.cacheCount) return SlideOutcome::Unchanged;

    // 1-2. Weights: rejected before any evaluation.
    if (static_cast<double>(in.weights[at]) < kNegligible) return SlideOutcome::Unchanged;
    const int32_t j = in.indices[at];
    if (j < 0 || static_cast<std::size_t>(j) >= in.weightCount || static_cast<std::size_t>(j) >= in.paramCount) {
        return SlideOutcome::Unchanged;
    }
    const double w = static_cast<double>(set.envelope * in.weights[j]);
    if (w < kNegligible) return SlideOutcome::Unchanged;

    // 3-4. The point's attachment on the rest surface, at the current surface's domains.
    const KxPoint P = point;
    const SurfaceData& surface = *in.surface;
    const double u = surfaceParameterU(surface, in.uparams[j]);
    const double v = surfaceParameterV(surface, in.vparams[j]);
    const KxPoint S0 = evalSurfacePoint(*in.restSurface, static_cast<float>(u), static_cast<float>(v));
    KxPoint offset;
    offset.x = S0.x - P.x;
    offset.y = S0.y - P.y;
    offset.z = S0.z - P.z;

    // 5-6. Position along the window and the profile curves' displacement there.
    const double t = set.paramType == 0 ? v / static_cast<double>(surface.vDirection.domainEnd)
                                        : u / static_cast<double>(surface.uDirection.domainEnd);
    double dx = 0.0, dy = 0.0, dz = 0.0;
    if (t > static_cast<double>(set.startParam) && static_cast<double>(set.endParam) > t) {
        const float width = set.endParam - set.startParam;
        if (!(width > 0.0f)) return SlideOutcome::EmptyWindow;
        const float s = static_cast<float>((t - static_cast<double>(set.startParam)) / static_cast<double>(width));
        const KxPoint c1 = curvePoint(*in.curve, s);
        const KxPoint c0 = curvePoint(*in.curveBase, s);
        dx = c1.x - c0.x;
        dy = c1.y - c0.y;
        dz = c1.z - c0.z;
        if (static_cast<double>(set.lrCenter) > t) dx = -dx;
    }
    // 7. Outside the window, or while the curves coincide, nothing moves.
    if (std::fabs(dx) < kNegligible && std::fabs(dy) < kNegligible && std::fabs(dz) < kNegligible) {
        return SlideOutcome::Unchanged;
    }

    // 8-10. Slide the attachment across and along the window, then clamp to the domain.
    const double mUD = dy > 0.0 ? in.maps[kUMapSlot][at] : in.maps[kDMapSlot][at];
    const double mLR = dx > 0.0 ? in.maps[kLMapSlot][at] : in.maps[kRMapSlot][at];
    const double udStep = mUD * (static_cast<double>(set.udFactor) * dy);
    const double lrStep = mLR * (static_cast<double>(set.lrFactor) * dx);
    double movedU, movedV;
    if (set.paramType != 0) {
        movedV = v - udStep;
        movedU = u - lrStep;
    } else {
        movedU = u - udStep;
        const double vn = v / static_cast<double>(surface.vDirection.domainEnd);
        movedV = static_cast<double>(set.lrCenter) > vn ? v + lrStep : v - lrStep;
    }
    movedU = clampToDomain(movedU, surface.uDirection);
    movedV = clampToDomain(movedV, surface.vDirection);

    // 11-13. The current frame there, pushed along its normal.
    const SurfaceFrame frame = surfaceFrame(surface, movedU, movedV);
    const bool up = dy > 0.0;
    const bool left = dx > 0.0;
    const float inUD = in.maps[up ? kUPushInSlot : kDPushInSlot][at];
    const float outUD = in.maps[up ? kUPushOutSlot : kDPushOutSlot][at];
    const float inLR = in.maps[left ? kLPushInSlot : kRPushInSlot][at];
    const float outLR = in.maps[left ? kLPushOutSlot : kRPushOutSlot][at];
    const double deltaUD = outUD - inUD;
    const double deltaLR = outLR - inLR;
    const double pm = in.maps[kPushMapSlot][at];
    const double push = set.pushCoeff;
    const double ady = std::fabs(dy);
    const double adx = std::fabs(dx);
    const Imath::V3d& n = frame.normal;
    KxPoint Q;
    Q.x = frame.point.x + n.x * ady * deltaUD * push + n.x * adx * deltaLR * push + n.x * dz * push * pm;
    Q.y = frame.point.y + n.y * ady * deltaUD * push + n.y * adx * deltaLR * push + n.y * dz * push * pm;
    Q.z = frame.point.z + n.z * ady * deltaUD * push + n.z * adx * deltaLR * push + n.z * dz * push * pm;

    // 14. Re-attach the point to the moved surface point.
    KxPoint target;
    if (set.slidingMethod == 0) {
        target.x = Q.x - offset.x;
        target.y = Q.y - offset.y;
        target.z = Q.z - offset.z;
    } else {
        const Imath::M44d& inverse = in.restFrameInverses[at];
        const Imath::V3d p(P.x, P.y, P.z);
        // A zero homogeneous weight has no position to carry: leave the point.
        if (p.x * inverse[0][3] + p.y * inverse[1][3] + p.z * inverse[2][3] + inverse[3][3] == 0.0) {
            return SlideOutcome::Unchanged;
        }
        Imath::V3d local;
        inverse.multVecMatrix(p, local);
        SurfaceFrame moved = frame;
        moved.point = Q;
        const Imath::M44d current = frameMatrix(moved);
        if (local.x * current[0][3] + local.y * current[1][3] + local.z * current[2][3] + current[3][3] == 0.0) {
            return SlideOutcome::Unchanged;
        }
        Imath::V3d carried;
        current.multVecMatrix(local, carried);
        target.x = carried.x;
        target.y = carried.y;
        target.z = carried.z;
    }

    // 15. Blend with the old position.
    point.x = (1.0 - w) * P.x + w * target.x;
    point.y = (1.0 - w) * P.y + w * target.y;
    point.z = (1.0 - w) * P.z + w * target.z;
    return SlideOutcome::Moved;
}

quelvarn::kernels::KernelSurface kernelSurface(const SurfaceData& surface) {
    quelvarn::kernels::KernelSurface view;
    view.uKnots = surface.uDirection.knots.data();
    view.vKnots = surface.vDirection.knots.data();
    view.uOrder = surface.uDirection.order;
    view.vOrder = surface.vDirection.order;
    view.uCvCount = surface.uDirection.cvCount;
    view.vCvCount = surface.vDirection.cvCount;
    view.uDomainStart = surface.uDirection.domainStart;
    view.uDomainEnd = surface.uDirection.domainEnd;
    view.vDomainStart = surface.vDirection.domainStart;
    view.vDomainEnd = surface.vDirection.domainEnd;
    view.cvs = reinterpret_cast<const double*>(surface.cvs.data());
    view.uKnotsNondecreasing = quelvarn::kernels::isNondecreasing(view.uKnots, static_cast<int64_t>(surface.uDirection.knots.size()));
    view.vKnotsNondecreasing = quelvarn::kernels::isNondecreasing(view.vKnots, static_cast<int64_t>(surface.vDirection.knots.size()));
    view.cvsSinglePrecision = quelvarn::kernels::allSinglePrecision(view.cvs, 3 * static_cast<int64_t>(surface.cvs.size()));
    return view;
}

namespace {

quelvarn::kernels::KernelCurve kernelCurve(const CurveData& curve) {
    quelvarn::kernels::KernelCurve view;
    view.cvs = reinterpret_cast<const double*>(curve.cvs.data());
    view.knots = curve.knots.data();
    view.degree = curve.degree;
    view.knotCount = static_cast<int32_t>(curve.knots.size());
    view.knotsNondecreasing = quelvarn::kernels::isNondecreasing(view.knots, static_cast<int64_t>(curve.knots.size()));
    return view;
}

// Byte for byte the same evaluation form, so that every point of one is that point of the other.
bool sameDirection(const SurfaceDirection& a, const SurfaceDirection& b) {
    return a.order == b.order && a.cvCount == b.cvCount && a.domainStart == b.domainStart &&
           a.domainEnd == b.domainEnd && a.knots.size() == b.knots.size() &&
           (a.knots.empty() || std::memcmp(a.knots.data(), b.knots.data(), a.knots.size() * sizeof(float)) == 0);
}
bool sameSurface(const SurfaceData& a, const SurfaceData& b) {
    return sameDirection(a.uDirection, b.uDirection) && sameDirection(a.vDirection, b.vDirection) &&
           a.cvs.size() == b.cvs.size() &&
           (a.cvs.empty() || std::memcmp(a.cvs.data(), b.cvs.data(), a.cvs.size() * sizeof(KxPoint)) == 0);
}

}  // namespace

quelvarn::kernels::KernelSlideInputs kernelSlideInputs(const SlideInputs& in) {
    quelvarn::kernels::KernelSlideInputs view;
    view.weights = in.weights;
    view.weightCount = static_cast<int64_t>(in.weightCount);
    view.indices = in.indices;
    view.indexCount = static_cast<int64_t>(in.indexCount);
    view.uparams = in.uparams;
    view.vparams = in.vparams;
    view.paramCount = static_cast<int64_t>(in.paramCount);
    view.surface = kernelSurface(*in.surface);
    view.restSurface = kernelSurface(*in.restSurface);
    view.restFrameInverses = reinterpret_cast<const double*>(in.restFrameInverses);
    for (int slot = 0; slot < kMapSlotCount; ++slot) view.maps[slot] = in.maps[slot];
    view.cacheCount = static_cast<int64_t>(in.cacheCount);
    view.curve = kernelCurve(*in.curve);
    view.curveBase = kernelCurve(*in.curveBase);
    view.curvesShareKnots = in.curve->degree == in.curveBase->degree && in.curve->knots == in.curveBase->knots;
    view.restSurfaceIsCurrent = sameSurface(*in.surface, *in.restSurface);
    const SlideSettings& set = in.settings;
    view.envelope = set.envelope;
    view.paramType = set.paramType;
    view.startParam = set.startParam;
    view.endParam = set.endParam;
    view.lrCenter = set.lrCenter;
    view.udFactor = set.udFactor;
    view.lrFactor = set.lrFactor;
    view.pushCoeff = set.pushCoeff;
    view.slidingMethod = set.slidingMethod;
    return view;
}
