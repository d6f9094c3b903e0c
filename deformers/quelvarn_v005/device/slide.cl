/* The slide of every point on an OpenCL device: the same steps as the node's CPU pass
 * (slide.cpp), in 32-bit floats. One work item per point position i; items at or past
 * the point count do nothing. Each item writes its point's move (new - old position) to
 * `moves`, exactly 0 for a point the slide leaves unchanged, so the host adds it to the
 * double-precision point and unmoved points keep every bit.
 *
 * Buffer layouts (all written by device_slide.cpp):
 *   surface:  uStart, uEnd, vStart, vEnd, u knots (uCvs + uOrder), v knots (vCvs + vOrder),
 *             control points x, y, z, v-major (point (i, j) at j * uCvs + i)
 *   curves:   curve control points x, y, z, curve knots, then the same for curveBase
 *   shapes:   uOrder, uCvs, vOrder, vCvs of the current surface, then of the rest surface,
 *             degree and knot count of curve, then of curveBase
 *   maps:     the thirteen caches, slot-major (slot * cacheCount + i), in the node's slot
 *             order: push, u, d, l, r, u/d/l/r push-in, u/d/l/r push-out
 *   frames:   sixteen floats per point, the inverse rest frame row by row */

#pragma OPENCL FP_CONTRACT OFF

#include "knot_span.h"

/* MAX_ORDER, the largest surface order the node supports, comes with the build options. */
#define MAX_WEIGHTS (MAX_ORDER * (MAX_ORDER - 1) / 2)
#define CURVE_SCRATCH 8
#define NEGLIGIBLE 1e-5f
#define TANGENT_STEP 0.01f

enum {
    PUSH_MAP, U_MAP, D_MAP, L_MAP, R_MAP,
    U_PUSH_IN, D_PUSH_IN, L_PUSH_IN, R_PUSH_IN,
    U_PUSH_OUT, D_PUSH_OUT, L_PUSH_OUT, R_PUSH_OUT
};

typedef struct {
    __global const float* uKnots;
    __global const float* vKnots;
    __global const float* cvs;
    int uOrder, uCvs, vOrder, vCvs;
    float uStart, uEnd, vStart, vEnd;
} Surface;

Surface readSurface(__global const float* data, __global const int* shape) {
    Surface s;
    s.uOrder = shape[0];
    s.uCvs = shape[1];
    s.vOrder = shape[2];
    s.vCvs = shape[3];
    s.uStart = data[0];
    s.uEnd = data[1];
    s.vStart = data[2];
    s.vEnd = data[3];
    s.uKnots = data + 4;
    s.vKnots = s.uKnots + s.uCvs + s.uOrder;
    s.cvs = s.vKnots + s.vCvs + s.vOrder;
    return s;
}

/* De Boor's levels over the order points Q of a span, in place; the result is Q[0]. */
float3 blendSpan(int order, const float* a, float3* Q) {
    const int p = order - 1;
    int k = 0;
    for (int r = 1; r <= p; ++r) {
        for (int j = 0; j <= p - r; ++j, ++k) Q[j] = a[k] * Q[j] + (1.0f - a[k]) * Q[j + 1];
    }
    return Q[0];
}

/* Tensor-product point, v first then u, as the node evaluates it. */
float3 surfacePoint(const Surface* S, float u, float v) {
    const int su = findKnotSpan(S->uKnots, S->uOrder, S->uCvs, u);
    const int pu = S->uOrder - 1;
    const int sv = findKnotSpan(S->vKnots, S->vOrder, S->vCvs, v);
    const int pv = S->vOrder - 1;
    float a[MAX_WEIGHTS];
    float3 W[MAX_ORDER];
    float3 Q[MAX_ORDER];
    deBoorSpanWeights(S->vKnots, S->vOrder, sv, v, a);
    const int stride = S->uCvs;
    for (int r = 0; r <= pu; ++r) {
        const int column = (su - pu + r) + (sv - pv) * stride;
        for (int k = 0; k <= pv; ++k) Q[k] = vload3(column + k * stride, S->cvs);
        W[r] = blendSpan(S->vOrder, a, Q);
    }
    deBoorSpanWeights(S->uKnots, S->uOrder, su, u, a);
    return blendSpan(S->uOrder, a, W);
}

/* Normalised like the node's frames: tiny vectors are rescaled first, zero stays zero. */
float3 normalised(float3 n) {
    float length2 = dot(n, n);
    if (length2 < 2.0f * FLT_MIN) {
        const float largest = fmax(fabs(n.x), fmax(fabs(n.y), fabs(n.z)));
        if (largest == 0.0f) return n;
        n = n / largest;
        length2 = dot(n, n);
    }
    return n / sqrt(length2);
}

typedef struct {
    float3 point, tangentU, tangentV, normal;
} Frame;

/* Point, finite-difference chords (stepping back near the domain end) and unit normal. */
Frame surfaceFrame(const Surface* S, float u, float v) {
    Frame f;
    f.point = surfacePoint(S, u, v);
    if (u > S->uEnd - TANGENT_STEP)
        f.tangentU = f.point - surfacePoint(S, u - TANGENT_STEP, v);
    else
        f.tangentU = surfacePoint(S, u + TANGENT_STEP, v) - f.point;
    if (v > S->vEnd - TANGENT_STEP)
        f.tangentV = f.point - surfacePoint(S, u, v - TANGENT_STEP);
    else
        f.tangentV = surfacePoint(S, u, v + TANGENT_STEP) - f.point;
    f.normal = normalised(cross(f.tangentU, f.tangentV));
    return f;
}

/* First span whose end knot exceeds t, kept within [p, m - 1] (parameters outside the
 * domain extrapolate the end spans), as the curve kernel finds it. */
uint curveSpan(__global const float* knots, uint p, uint m, float t) {
    uint span = p;
    if (m >= 2) {
        span = m - 1;
        for (uint k = 1; k < m; ++k) {
            if (knots[k] > t) {
                span = k - 1;
                break;
            }
        }
    }
    return span > p ? span : p;
}

/* A non-rational B-spline curve point by the triangular basis recurrence. */
float3 curvePoint(__global const float* cvs, __global const float* knots, int degree, int knotCount, float t) {
    const uint p = (uint)degree;
    const uint m = (uint)knotCount - p - 1u;
    const uint span = curveSpan(knots, p, m, t);
    float N[CURVE_SCRATCH], left[CURVE_SCRATCH], right[CURVE_SCRATCH];
    N[0] = 1.0f;
    for (uint j = 1; j <= p; ++j) {
        left[j] = t - knots[span + 1 - j];
        right[j] = knots[span + j] - t;
        float saved = 0.0f;
        for (uint r = 0; r < j; ++r) {
            const float temp = N[r] / (right[r + 1] + left[j - r]);
            N[r] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        N[j] = saved;
    }
    float3 sum = (float3)(0.0f);
    for (uint r = 0; r <= p; ++r) sum += N[r] * vload3(span - p + r, cvs);
    return sum;
}

float clampToDomain(float value, float start, float end) { return start > value ? start : fmin(end, value); }

/* Row vector (p, 1) times a row-major 4 x 4 matrix, with the homogeneous divide; false
 * for a zero weight, which has no position to carry. */
bool carry(float3 p, __global const float* m, float3* result) {
    const float w = p.x * m[3] + p.y * m[7] + p.z * m[11] + m[15];
    if (w == 0.0f) return false;
    *result = (float3)(p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12], p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
                       p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]) / w;
    return true;
}

__kernel void slidePoints(__global const float* points, __global float* moves, __global const float* weights,
                          __global const int* indices, __global const float* uparams, __global const float* vparams,
                          __global const float* maps, __global const float* frames, __global const float* surfaceData,
                          __global const float* restSurfaceData, __global const float* curves,
                          __global const int* shapes, int pointCount, int weightCount, int indexCount, int paramCount,
                          int cacheCount, float envelope, int paramType, float startParam, float endParam,
                          float lrCenter, float udFactor, float lrFactor, float pushCoeff, int slidingMethod) {
    const int i = (int)get_global_id(0);
    if (i >= pointCount) return;
    vstore3((float3)(0.0f), i, moves);
    if (i >= weightCount || i >= indexCount || i >= cacheCount) return;

    /* 1-2. Weights: rejected before any evaluation. */
    if (weights[i] <= NEGLIGIBLE) return;  /* the float nearest 1e-5 is below 1e-5 itself */
    const int j = indices[i];
    if (j < 0 || j >= weightCount || j >= paramCount) return;
    const float w = envelope * weights[j];
    if (w <= NEGLIGIBLE) return;

    /* 3-4. The point's attachment on the rest surface, at the current surface's domains. */
    const Surface surface = readSurface(surfaceData, shapes);
    const Surface rest = readSurface(restSurfaceData, shapes + 4);
    const float3 P = vload3(i, points);
    const float u = uparams[j] * surface.uEnd + surface.uStart;
    const float v = vparams[j] * surface.vEnd + surface.vStart;
    const float3 offset = surfacePoint(&rest, u, v) - P;

    /* 5-6. Position along the window and the profile curves' displacement there. */
    const float t = paramType == 0 ? v / surface.vEnd : u / surface.uEnd;
    float3 d = (float3)(0.0f);
    if (t > startParam && endParam > t) {
        const float width = endParam - startParam;
        if (!(width > 0.0f)) return;
        const float s = (t - startParam) / width;
        const int curveCvs = shapes[9] - shapes[8] - 1;
        __global const float* curveKnots = curves + 3 * curveCvs;
        __global const float* base = curveKnots + shapes[9];
        const int baseCvs = shapes[11] - shapes[10] - 1;
        d = curvePoint(curves, curveKnots, shapes[8], shapes[9], s) -
            curvePoint(base, base + 3 * baseCvs, shapes[10], shapes[11], s);
        if (lrCenter > t) d.x = -d.x;
    }
    /* 7. Outside the window, or while the curves coincide, nothing moves. */
    if (fabs(d.x) < NEGLIGIBLE && fabs(d.y) < NEGLIGIBLE && fabs(d.z) < NEGLIGIBLE) return;

    /* 8-10. Slide the attachment across and along the window, then clamp to the domain. */
    const bool up = d.y > 0.0f;
    const bool left = d.x > 0.0f;
    __global const float* map = maps + i;
    const float mUD = map[(up ? U_MAP : D_MAP) * cacheCount];
    const float mLR = map[(left ? L_MAP : R_MAP) * cacheCount];
    const float udStep = mUD * (udFactor * d.y);
    const float lrStep = mLR * (lrFactor * d.x);
    float movedU, movedV;
    if (paramType != 0) {
        movedV = v - udStep;
        movedU = u - lrStep;
    } else {
        movedU = u - udStep;
        movedV = lrCenter > v / surface.vEnd ? v + lrStep : v - lrStep;
    }
    movedU = clampToDomain(movedU, surface.uStart, surface.uEnd);
    movedV = clampToDomain(movedV, surface.vStart, surface.vEnd);

    /* 11-13. The current frame there, pushed along its normal. */
    const Frame frame = surfaceFrame(&surface, movedU, movedV);
    const float deltaUD = map[(up ? U_PUSH_OUT : D_PUSH_OUT) * cacheCount] - map[(up ? U_PUSH_IN : D_PUSH_IN) * cacheCount];
    const float deltaLR =
        map[(left ? L_PUSH_OUT : R_PUSH_OUT) * cacheCount] - map[(left ? L_PUSH_IN : R_PUSH_IN) * cacheCount];
    const float pm = map[PUSH_MAP * cacheCount];
    const float3 n = frame.normal;
    const float3 Q = frame.point + n * fabs(d.y) * deltaUD * pushCoeff + n * fabs(d.x) * deltaLR * pushCoeff +
                     n * d.z * pushCoeff * pm;

    /* 14. Re-attach the point to the moved surface point. */
    float3 target;
    if (slidingMethod == 0) {
        target = Q - offset;
    } else {
        float3 l;  /* the point in rest-frame coordinates */
        if (!carry(P, frames + 16 * i, &l)) return;
        const float weight = l.x + l.y + l.z + 1.0f;
        if (weight == 0.0f) return;
        target = (l.x * frame.tangentU + l.y * frame.tangentV + l.z * n + Q) / weight;
    }

    /* 15. Blend with the old position: the move is w * (target - P). */
    vstore3(w * (target - P), i, moves);
}
