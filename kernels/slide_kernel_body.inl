// The wide slide body, included inside one build namespace by each slide_kernel_<isa>.cpp
// after it has defined kLanes, the lane vector types VD (doubles), VF (floats), VI (32-bit
// integers) and VL (64-bit masks), and the helpers anyLane (some lane of a mask set),
// gatherD, gatherF, knotsAt (reads padded knot vectors, see PaddedKnots), sqrtD, widen
// (float lanes to double, exact), narrow (double lanes to float, rounded to nearest),
// coordinateTable / coordinateAt (one coordinate of a curve's control points by index),
// storePoints (x, y, z of the lanes a mask selects, into consecutive points),
// storeMatrices (16 lane vectors as the consecutive 16-double matrices of the first lanes)
// and finishStreamedStores (orders storeMatrices' stores before the range returns).
//
// Lanes are points. Every lane performs the plain slide's operations in the plain slide's
// order (float where it computes in float, double where it computes in double, fused
// multiply-adds only where both products are exact, see fixedBlend), so a lane's result is
// bit-identical to the plain per-point evaluation.
// Lanes that the plain slide would leave early simply compute along and are not written.
// As in curve_kernel_body.inl: no standard headers, templates or inline library functions
// (they would be emitted once per build with vague linkage); helpers are static.

static const int kMaxOrder = 10;              // the surface evaluation's fixed scratch
static const int kMaxWeights = 45;            // de Boor weights of one span of order 10
static const double kNegligible = 1e-5;
static const double kChordStep = 0.01;
static const double kTinyLength2 = 2.0 * 2.2250738585072014e-308;  // twice the smallest normal double

// Small helpers are forced inline so that their scratch stays in registers.
#define QUELVARN_INLINE static inline __attribute__((always_inline))

static VD splatD(double x) {
    VD r;
    for (int l = 0; l < kLanes; ++l) r[l] = x;
    return r;
}
static VF splatF(float x) {
    VF r;
    for (int l = 0; l < kLanes; ++l) r[l] = x;
    return r;
}
static VL splatL(int64_t x) {
    VL r;
    for (int l = 0; l < kLanes; ++l) r[l] = x;
    return r;
}
static VI splatI(int32_t x) {
    VI r;
    for (int l = 0; l < kLanes; ++l) r[l] = x;
    return r;
}
static VL maskOf(VI floatMask) { return __builtin_convertvector(floatMask, VL); }
// |x| by clearing the sign bit, as fabs does (also for zeros and NaNs).
static VD absD(VD x) {
    const VL bits = (VL)x & splatL(0x7FFFFFFFFFFFFFFF);
    return (VD)bits;
}

struct V3 {
    VD x, y, z;
};
static V3 sub(const V3& a, const V3& b) { return V3{a.x - b.x, a.y - b.y, a.z - b.z}; }
static V3 select(VL mask, const V3& a, const V3& b) {
    return V3{mask ? a.x : b.x, mask ? a.y : b.y, mask ? a.z : b.z};
}

// Span of each lane's parameter. With knots that never decrease the plain search stops
// after exactly as many steps as there are knots order .. cvCount - 1 below t, which is
// counted for all lanes at once; otherwise the plain search runs lane by lane.
QUELVARN_INLINE VI surfaceSpans(const float* knots, int order, int cvCount, bool nondecreasing, VF t) {
    VI spans;
    if (nondecreasing) {
        spans = splatI(order - 1);
        for (int k = order; k <= cvCount - 1; ++k) spans -= (VI)(t > splatF(knots[k]));  // true is -1
        return spans;
    }
    for (int l = 0; l < kLanes; ++l) {
        int s = order - 1;
        const float x = t[l];
        while (s < cvCount - 1 && x > knots[s + 1]) ++s;
        spans[l] = s;
    }
    return spans;
}

// The de Boor weights a of every level of each lane's span, in single precision.
static void spanWeights(const float* knots, int order, VI spans, VF t, VF* a) {
    const int p = order - 1;
    const VI first = spans - p;  // index of the span's first control point
    int k = 0;
    for (int r = 1; r <= p; ++r) {
        for (int j = 0; j <= p - r; ++j) {
            const VF right = gatherF(knots + p + 1 + j, first);
            const VF left = gatherF(knots + r + j, first);
            a[k++] = (right - t) / (right - left);
        }
    }
}

// De Boor's levels over the order points of a span, in place; the result is Q[0].
static V3 blendSpan(int order, const VF* a, V3* Q) {
    const int p = order - 1;
    int k = 0;
    for (int r = 1; r <= p; ++r) {
        for (int j = 0; j <= p - r; ++j, ++k) {
            const VD wa = widen(a[k]);
            const VD wb = widen(splatF(1.0f) - a[k]);
            Q[j].x = wa * Q[j].x + wb * Q[j + 1].x;
            Q[j].y = wa * Q[j].y + wb * Q[j + 1].y;
            Q[j].z = wa * Q[j].z + wb * Q[j + 1].z;
        }
    }
    return Q[0];
}

// Pieces of the evaluation with the orders fixed at compile time, so that the scratch
// lives in registers: the common low orders.

// The de Boor weights of span `span` at t (same operations as spanWeights).
// The weights come widened, a and 1 - a (the latter taken in float), as the blends use them.
template <int O>
QUELVARN_INLINE void fixedWeights(const float* knots, int knotCount, VI span, VF t, VD* wa, VD* wb) {
    const int p = O - 1;
    const VI first = span - p;
    VF K[2 * O];  // K[o] = knots[first + o], o = 1 .. 2p: every knot the weights read
#pragma GCC unroll 16
    for (int o = 1; o <= 2 * p; ++o) K[o] = knotsAt(knots, knotCount, o, first);
    int k = 0;
#pragma GCC unroll 16
    for (int r = 1; r <= p; ++r) {
#pragma GCC unroll 16
        for (int j = 0; j <= p - r; ++j) {
            const VF right = K[p + 1 + j];
            const VF left = K[r + j];
            const VF a = (right - t) / (right - left);
            wa[k] = widen(a);
            wb[k] = widen(splatF(1.0f) - a);
            ++k;
        }
    }
}

// De Boor's levels over a copy of the O points of a span (same operations as blendSpan).
// With kSinglePoints the points are single-precision values, as the weights are: both
// products of the first level are then exact in double, so adding the first product to
// the second in one fused multiply-add rounds once, exactly where the plain sum does.
template <int O, bool kSinglePoints = false>
QUELVARN_INLINE V3 fixedBlend(const V3* points, const VD* wa, const VD* wb) {
    V3 Q[O];
#pragma GCC unroll 16
    for (int k = 0; k < O; ++k) Q[k] = points[k];
    int k = 0;
#pragma GCC unroll 16
    for (int r = 1; r < O; ++r) {
#pragma GCC unroll 16
        for (int j = 0; j < O - r; ++j, ++k) {
            if (kSinglePoints && r == 1) {
                Q[j].x = exactProductsSum(wa[k], Q[j].x, wb[k] * Q[j + 1].x);
                Q[j].y = exactProductsSum(wa[k], Q[j].y, wb[k] * Q[j + 1].y);
                Q[j].z = exactProductsSum(wa[k], Q[j].z, wb[k] * Q[j + 1].z);
                continue;
            }
            Q[j].x = wa[k] * Q[j].x + wb[k] * Q[j + 1].x;
            Q[j].y = wa[k] * Q[j].y + wb[k] * Q[j + 1].y;
            Q[j].z = wa[k] * Q[j].z + wb[k] * Q[j + 1].z;
        }
    }
    return Q[0];
}

// The OU x OV control points of each lane's patch, column by column (C[c * OV + k] is
// column su - pu + c, row sv - pv + k).
template <int OU, int OV>
QUELVARN_INLINE void fixedPatch(const KernelSurface& s, VI su, VI sv, V3* C) {
    const int stride = s.uCvCount;
    const VI base = ((su - (OU - 1)) + (sv - (OV - 1)) * stride) * 3;
#pragma GCC unroll 16
    for (int c = 0; c < OU; ++c) {
#pragma GCC unroll 16
        for (int k = 0; k < OV; ++k) {
            const double* at = s.cvs + 3 * (c + k * stride);
            C[c * OV + k] = V3{gatherD(at, base), gatherD(at + 1, base), gatherD(at + 2, base)};
        }
    }
}

// Every column collapsed along v with the weights av; the columns' points are control
// points, single-precision values (see fixedOrder).
template <int OU, int OV>
QUELVARN_INLINE void fixedColumns(const V3* C, const VD* wa, const VD* wb, V3* W) {
#pragma GCC unroll 16
    for (int c = 0; c < OU; ++c) W[c] = fixedBlend<OV, true>(C + c * OV, wa, wb);
}

static const int kFixedWeights = 6;  // weights of one span of order 4

// The order of the fixed-order evaluation that serves `s`, or 0 for the general one. Where
// a build fuses the first de Boor level (see fixedBlend), the fixed orders also need control
// points in single precision, as the node's surface reader leaves finite ones.
static int fixedOrder(const KernelSurface& s) {
    if ((kFusedFirstLevel && !s.cvsSinglePrecision) || s.uOrder != s.vOrder) return 0;
    return s.uOrder >= 2 && s.uOrder <= 4 ? s.uOrder : 0;
}

// (The v weights come before the gather of the patch: that order measured faster.)
template <int OU, int OV>
static V3 surfacePointFixed(const KernelSurface& s, VI su, VI sv, VF u, VF v) {
    VD va[kFixedWeights], vb[kFixedWeights], ua[kFixedWeights], ub[kFixedWeights];
    V3 C[OU * OV], W[OU];
    fixedWeights<OV>(s.vKnots, s.vCvCount + OV, sv, v, va, vb);
    fixedPatch<OU, OV>(s, su, sv, C);
    fixedColumns<OU, OV>(C, va, vb, W);
    fixedWeights<OU>(s.uKnots, s.uCvCount + OU, su, u, ua, ub);
    return fixedBlend<OU>(W, ua, ub);
}

// Tensor-product point, v first then u, at each lane's (u, v).
static V3 surfacePoint(const KernelSurface& s, VF u, VF v) {
    const int pu = s.uOrder - 1;
    const int pv = s.vOrder - 1;
    const VI su = surfaceSpans(s.uKnots, s.uOrder, s.uCvCount, s.uKnotsNondecreasing, u);
    const VI sv = surfaceSpans(s.vKnots, s.vOrder, s.vCvCount, s.vKnotsNondecreasing, v);
    const int fixed = fixedOrder(s);
    if (fixed == 4) return surfacePointFixed<4, 4>(s, su, sv, u, v);
    if (fixed == 3) return surfacePointFixed<3, 3>(s, su, sv, u, v);
    if (fixed == 2) return surfacePointFixed<2, 2>(s, su, sv, u, v);
    VF a[kMaxWeights];
    V3 Q[kMaxOrder];
    V3 W[kMaxOrder];

    spanWeights(s.vKnots, s.vOrder, sv, v, a);
    const int stride = s.uCvCount;
    const VI base = ((su - pu) + (sv - pv) * stride) * 3;  // first control point of the patch, in doubles
    for (int r = 0; r <= pu; ++r) {
        for (int k = 0; k <= pv; ++k) {
            const double* at = s.cvs + 3 * (r + k * stride);
            Q[k] = V3{gatherD(at, base), gatherD(at + 1, base), gatherD(at + 2, base)};
        }
        W[r] = blendSpan(s.vOrder, a, Q);
    }
    spanWeights(s.uKnots, s.uOrder, su, u, a);
    return blendSpan(s.uOrder, a, W);
}

struct Frame {
    V3 point, tangentU, tangentV, normal;
};

// What a refresh pass leaves for a group's slide: the rest frames' points (the attachment of
// points whose stored parameters are their own), their inverses, as stored, and their
// columns (see fixedFramePoints).
struct FrameColumns;
struct RestFrames {
    V3 point;
    VD inverse[16];
    FrameColumns* columns;
};

// How the lanes' chord spans lie from their points' spans: 0 when every one is the same, 1
// when each is the same or the next, -1 when each is the same or the one before, and
// kOtherSteps otherwise.
static const int kOtherSteps = 2;
static int spanStep(VI difference) {
    const VI moved = difference != splatI(0);
    if (!anyLane(maskOf(moved))) return 0;
    if (!anyLane(maskOf(moved & (difference != splatI(1))))) return 1;
    if (!anyLane(maskOf(moved & (difference != splatI(-1))))) return -1;
    return kOtherSteps;
}

// The columns at span su from the columns K at span ku (rows at sv, collapsed with the v
// weights a, b), where su is ku or kStep over in every lane: K shifted by kStep in the lanes
// that cross, and one gained column (in the other lanes, K's own again).
template <int OU, int OV, int kStep>
QUELVARN_INLINE void columnsOver(const KernelSurface& s, VI ku, VI su, VI sv, const V3* K, const VD* a, const VD* b,
                                 V3* W) {
    const VL over = maskOf(su != ku);
    const int gained = kStep > 0 ? OU - 1 : 0;
    V3 column[OV];
    fixedPatch<1, OV>(s, su - (OU - 1) + gained, sv, column);
#pragma GCC unroll 16
    for (int c = 0; c < OU; ++c) {
        if (c == gained) W[c] = fixedBlend<OV, true>(column, a, b);
        else W[c] = select(over, K[c + kStep], K[c]);
    }
}

template <int OU, int OV>
QUELVARN_INLINE void columnsFrom(const KernelSurface& s, int shift, VI ku, VI su, VI sv, const V3* K, const VD* a,
                                 const VD* b, V3* W) {
    if (shift == 1) return columnsOver<OU, OV, 1>(s, ku, su, sv, K, a, b, W);
    if (shift == -1) return columnsOver<OU, OV, -1>(s, ku, su, sv, K, a, b, W);
#pragma GCC unroll 16
    for (int c = 0; c < OU; ++c) W[c] = K[c];
}

// The u chord point where each lane's chord span su2 is its point's su or kStep over: that
// patch's columns are the point's collapsed columns W, shifted by kStep in the lanes that cross,
// and one gained column (see columnsOver).
template <int OU, int OV, int kStep>
QUELVARN_INLINE V3 chordOverU(const KernelSurface& s, VI su, VI su2, VI sv, VF fu2, const V3* W, const VD* va,
                              const VD* vb) {
    V3 shifted[OU];
    columnsOver<OU, OV, kStep>(s, su, su2, sv, W, va, vb, shifted);
    VD a[kFixedWeights], b[kFixedWeights];
    fixedWeights<OU>(s.uKnots, s.uCvCount + OU, su2, fu2, a, b);
    return fixedBlend<OU>(shifted, a, b);
}

// The v chord point likewise: the point's control points C shifted by kStep rows in the
// lanes that cross, and one gained row; collapsed at the chord's v (into W, with the v
// weights a, b), blended with the point's u weights.
template <int OU, int OV, int kStep>
QUELVARN_INLINE V3 chordOverV(const KernelSurface& s, VI su, VI sv, VI sv2, VF fv2, const V3* C, const VD* ua,
                              const VD* ub, V3* W, VD* a, VD* b) {
    const VL over = maskOf(sv2 != sv);
    const int gained = kStep > 0 ? OV - 1 : 0;
    V3 row[OU], shifted[OU * OV];
    fixedPatch<OU, 1>(s, su, sv2 - (OV - 1) + gained, row);
#pragma GCC unroll 16
    for (int c = 0; c < OU; ++c) {
#pragma GCC unroll 16
        for (int k = 0; k < OV; ++k) {
            if (k == gained) shifted[c * OV + k] = row[c];
            else shifted[c * OV + k] = select(over, C[c * OV + k + kStep], C[c * OV + k]);
        }
    }
    fixedWeights<OV>(s.vKnots, s.vCvCount + OV, sv2, fv2, a, b);
    fixedColumns<OU, OV>(shifted, a, b, W);
    return fixedBlend<OU>(W, ua, ub);
}

// The point at fu2 (span su2) whose columns are W, collapsed at span su with the v weights
// va, vb (or one span over, see chordOverU), or else evaluated anew at fv: a u chord point,
// or an attachment at the columns' v.
template <int OU, int OV>
QUELVARN_INLINE V3 pointFromColumns(const KernelSurface& s, VI su, VI su2, VI sv, VF fu2, VF fv, const V3* W, const VD* va,
                               const VD* vb) {
    const int stepU = spanStep(su2 - su);
    if (stepU == 0) {
        VD a[kFixedWeights], b[kFixedWeights];
        fixedWeights<OU>(s.uKnots, s.uCvCount + OU, su, fu2, a, b);
        return fixedBlend<OU>(W, a, b);
    }
    if (stepU == 1) return chordOverU<OU, OV, 1>(s, su, su2, sv, fu2, W, va, vb);
    if (stepU == -1) return chordOverU<OU, OV, -1>(s, su, su2, sv, fu2, W, va, vb);
    return surfacePointFixed<OU, OV>(s, su2, sv, fu2, fv);
}

// What a frame keeps for a later frame of the same surface (see fixedFramePoints): its v,
// its u span, its v chord's v span, and both sets of columns with their v weights.
struct FrameColumns {
    bool kept;
    VD v;
    VI su, sv2;
    V3 W[4], W2[4];
    VD va[kFixedWeights], vb[kFixedWeights], va2[kFixedWeights], vb2[kFixedWeights];
};

// A point of the frame's surface wanted beside the frame: its parameters, and where it goes.
struct Attachment {
    VF u, v;
    V3* point;
};

// The frame's three points with fixed orders. The chord points lie one step away in u or
// in v; where that step stays in the point's span (in every lane), the u chord point
// shares the point's collapsed columns and the v chord point its control points, and where
// it crosses into the next span (or the one before) they share all but one column or row.
// An attachment takes the frame point's control points the same way: where it lies in that
// patch in every lane, all of them, and where it lies one span over in u or in v (in some
// lanes, the same way in all of them), all but one column or row. At the point's own v (in
// every lane: a slide along u alone) it takes the point's collapsed columns as the u chord
// point does. Elsewhere it is evaluated first, on its own.
//
// With kHandOver a frame may keep its collapsed columns for a later frame of the same surface
// (`keep`), or take those of an earlier one (`given`): at the same v in every lane (the same
// bits), the columns at v and at the v chord's v are the earlier frame's, shifted by one
// column (and one gained) where the span is one over in u.
template <int OU, int OV, bool kHandOver>
static void fixedFramePoints(const KernelSurface& s, VD v, VF fu, VF fv, VF fu2, VF fv2, V3& point, V3& atU,
                             V3& atV, const Attachment* attach, const FrameColumns* given, FrameColumns* keep) {
    const VI su = surfaceSpans(s.uKnots, OU, s.uCvCount, s.uKnotsNondecreasing, fu);
    const VI sv = surfaceSpans(s.vKnots, OV, s.vCvCount, s.vKnotsNondecreasing, fv);
    const VI su2 = surfaceSpans(s.uKnots, OU, s.uCvCount, s.uKnotsNondecreasing, fu2);
    const VI sv2 = surfaceSpans(s.vKnots, OV, s.vCvCount, s.vKnotsNondecreasing, fv2);
    const int uKnotCount = s.uCvCount + OU, vKnotCount = s.vCvCount + OV;
    VD va[kFixedWeights], vb[kFixedWeights], ua[kFixedWeights], ub[kFixedWeights];
    VD a2[kFixedWeights], b2[kFixedWeights];
    V3 C[OU * OV], W[OU];
    if (kHandOver && given && given->kept && !attach && !anyLane((VL)v != (VL)given->v)) {
        const int shift = spanStep(su - given->su);
        if (shift != kOtherSteps) {
            V3 W2[OU];
            columnsFrom<OU, OV>(s, shift, given->su, su, sv, given->W, given->va, given->vb, W);
            columnsFrom<OU, OV>(s, shift, given->su, su, given->sv2, given->W2, given->va2, given->vb2, W2);
            fixedWeights<OU>(s.uKnots, uKnotCount, su, fu, ua, ub);
            point = fixedBlend<OU>(W, ua, ub);
            atU = pointFromColumns<OU, OV>(s, su, su2, sv, fu2, fv, W, given->va, given->vb);
            atV = fixedBlend<OU>(W2, ua, ub);
            return;
        }
    }
    // How the attachment's patch lies from the point's: in u (attachU) with the same v span,
    // or in v (attachV) with the same u span; kOtherSteps in both when it is evaluated alone.
    int attachU = kOtherSteps, attachV = kOtherSteps;
    bool attachColumns = false;  // at the point's v in every lane (the same bits)
    VI ru, rv;
    if (attach) {
        ru = surfaceSpans(s.uKnots, OU, s.uCvCount, s.uKnotsNondecreasing, attach->u);
        rv = surfaceSpans(s.vKnots, OV, s.vCvCount, s.vKnotsNondecreasing, attach->v);
        const int stepU = spanStep(ru - su), stepV = spanStep(rv - sv);
        if (stepV == 0 && stepU != kOtherSteps) {
            attachU = stepU;
            attachColumns = !anyLane(maskOf((VI)attach->v != (VI)fv));
        } else if (stepU == 0 && stepV != kOtherSteps) attachV = stepV;
        else *attach->point = surfacePointFixed<OU, OV>(s, ru, rv, attach->u, attach->v);
    }
    if (attachU != kOtherSteps && !attachColumns) {
        fixedWeights<OV>(s.vKnots, vKnotCount, sv, attach->v, a2, b2);
        fixedWeights<OV>(s.vKnots, vKnotCount, sv, fv, va, vb);
        fixedPatch<OU, OV>(s, su, sv, C);
        fixedColumns<OU, OV>(C, a2, b2, W);
        *attach->point = pointFromColumns<OU, OV>(s, su, ru, sv, attach->u, attach->v, W, a2, b2);
    } else {
        fixedWeights<OV>(s.vKnots, vKnotCount, sv, fv, va, vb);
        fixedPatch<OU, OV>(s, su, sv, C);
        if (attachV != kOtherSteps) {
            fixedWeights<OU>(s.uKnots, uKnotCount, su, attach->u, a2, b2);
            VD a[kFixedWeights], b[kFixedWeights];
            *attach->point = attachV > 0 ? chordOverV<OU, OV, 1>(s, su, sv, rv, attach->v, C, a2, b2, W, a, b)
                                         : chordOverV<OU, OV, -1>(s, su, sv, rv, attach->v, C, a2, b2, W, a, b);
        }
    }
    fixedColumns<OU, OV>(C, va, vb, W);
    if (attachColumns) *attach->point = pointFromColumns<OU, OV>(s, su, ru, sv, attach->u, fv, W, va, vb);
    fixedWeights<OU>(s.uKnots, uKnotCount, su, fu, ua, ub);
    point = fixedBlend<OU>(W, ua, ub);
    // A chord point one span over (in some lanes) needs one more column or row of control
    // points there; the rest of its patch is the point's. Other steps evaluate it anew.
    atU = pointFromColumns<OU, OV>(s, su, su2, sv, fu2, fv, W, va, vb);
    if (kHandOver && keep) {
        keep->v = v;
        keep->su = su;
        keep->sv2 = sv2;
#pragma GCC unroll 16
        for (int c = 0; c < OU; ++c) keep->W[c] = W[c];
#pragma GCC unroll 16
        for (int k = 0; k < OV * (OV - 1) / 2; ++k) {
            keep->va[k] = va[k];
            keep->vb[k] = vb[k];
        }
    }
    const int stepV = spanStep(sv2 - sv);
    if (stepV == 0) {
        fixedWeights<OV>(s.vKnots, vKnotCount, sv, fv2, a2, b2);
        fixedColumns<OU, OV>(C, a2, b2, W);
        atV = fixedBlend<OU>(W, ua, ub);
    } else if (stepV == 1) {
        atV = chordOverV<OU, OV, 1>(s, su, sv, sv2, fv2, C, ua, ub, W, a2, b2);
    } else if (stepV == -1) {
        atV = chordOverV<OU, OV, -1>(s, su, sv, sv2, fv2, C, ua, ub, W, a2, b2);
    } else {
        atV = surfacePointFixed<OU, OV>(s, su, sv2, fu, fv2);
        if (kHandOver && keep) keep->kept = false;
        return;
    }
    if (kHandOver && keep) {
        keep->kept = true;
#pragma GCC unroll 16
        for (int c = 0; c < OU; ++c) keep->W2[c] = W[c];
#pragma GCC unroll 16
        for (int k = 0; k < OV * (OV - 1) / 2; ++k) {
            keep->va2[k] = a2[k];
            keep->vb2[k] = b2[k];
        }
    }
}

// The frame at (u, v): the point once, the chords from it (backward within one step of
// the domain end), and the unit normal of their cross product. `given` and `keep` hand
// collapsed columns between frames (see fixedFramePoints); frames that hand none over are
// compiled apart, so that the others' tests cost them nothing.
template <bool kHandOver>
__attribute__((noinline)) static Frame surfaceFrameOf(const KernelSurface& s, VD u, VD v, const Attachment* attach,
                                                      const FrameColumns* given, FrameColumns* keep) {
    Frame f;
    const VF fu = narrow(u);
    const VF fv = narrow(v);
    const VL backU = u > splatD(static_cast<double>(s.uDomainEnd) - kChordStep);
    const VL backV = v > splatD(static_cast<double>(s.vDomainEnd) - kChordStep);
    const VF fu2 = narrow(backU ? u - kChordStep : u + kChordStep);
    const VF fv2 = narrow(backV ? v - kChordStep : v + kChordStep);
    V3 atU, atV;
    const int fixed = fixedOrder(s);
    if (fixed == 4) {
        fixedFramePoints<4, 4, kHandOver>(s, v, fu, fv, fu2, fv2, f.point, atU, atV, attach, given, keep);
    } else if (fixed == 3) {
        fixedFramePoints<3, 3, kHandOver>(s, v, fu, fv, fu2, fv2, f.point, atU, atV, attach, given, keep);
    } else if (fixed == 2) {
        fixedFramePoints<2, 2, kHandOver>(s, v, fu, fv, fu2, fv2, f.point, atU, atV, attach, given, keep);
    } else {
        if (kHandOver && keep) keep->kept = false;
        if (attach) *attach->point = surfacePoint(s, attach->u, attach->v);
        f.point = surfacePoint(s, fu, fv);
        atU = surfacePoint(s, fu2, fv);
        atV = surfacePoint(s, fu, fv2);
    }
    f.tangentU = select(backU, sub(f.point, atU), sub(atU, f.point));
    f.tangentV = select(backV, sub(f.point, atV), sub(atV, f.point));

    const V3& a = f.tangentU;
    const V3& b = f.tangentV;
    V3 n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    const VD length2 = n.x * n.x + n.y * n.y + n.z * n.z;
    const VD length = sqrtD(length2);
    const VL nonZero = length != splatD(0.0);
    V3 unit = select(nonZero, V3{n.x / length, n.y / length, n.z / length}, n);
    const VL tiny = length2 < splatD(kTinyLength2);
    if (anyLane(tiny)) {
        for (int l = 0; l < kLanes; ++l) {
            if (!tiny[l]) continue;
            double xyz[3] = {n.x[l], n.y[l], n.z[l]};
            normalizeTinyVector(xyz);
            unit.x[l] = xyz[0];
            unit.y[l] = xyz[1];
            unit.z[l] = xyz[2];
        }
    }
    f.normal = unit;
    return f;
}

static Frame surfaceFrame(const KernelSurface& s, VD u, VD v, const Attachment* attach = nullptr,
                          const FrameColumns* given = nullptr, FrameColumns* keep = nullptr) {
    if (given || keep) return surfaceFrameOf<true>(s, u, v, attach, given, keep);
    return surfaceFrameOf<false>(s, u, v, attach, nullptr, nullptr);
}

// The curve kernel's span rule. With knots that never decrease, the first knot above t
// comes right after the knots 1 .. m - 1 that are not above it, so the span is their
// count; otherwise the rule runs lane by lane.
static VI curveSpans(const float* knots, unsigned p, unsigned m, bool nondecreasing, VF t) {
    VI spans;
    if (nondecreasing && m >= 2) {
        spans = splatI(0);
        for (unsigned k = 1; k < m; ++k) spans -= (VI)~(splatF(knots[k]) > t);
        const VI floor = splatI(static_cast<int32_t>(p));
        return spans > floor ? spans : floor;  // counts stay small: signed equals unsigned here
    }
    for (int l = 0; l < kLanes; ++l) {
        unsigned span = p;
        if (m >= 2) {
            span = m - 1;
            for (unsigned k = 1; k < m; ++k) {
                if (knots[k] > t[l]) {
                    span = k - 1;
                    break;
                }
            }
        }
        spans[l] = static_cast<int32_t>(span > p ? span : p);
    }
    return spans;
}

// The curve kernel's basis at each lane's t, for B groups at once: the triangular
// recurrence with its float roundings, into N[b][0 .. p]. *first[b] gets span - p, the first
// control point the basis weighs. The recurrence is one long chain of divisions and
// conversions; running the B groups' chains side by side, operation by operation, lets them
// overlap.
// D fixes the degree at compile time (0: the curve's own), so that the common low degrees
// keep their scratch in registers.
template <unsigned D, int B>
QUELVARN_INLINE void curveBasesOf(const KernelCurve& c, const VF* t, VF* const* N, VI* const* first) {
    const unsigned p = D ? D : static_cast<unsigned>(c.degree);
    const unsigned m = static_cast<unsigned>(c.knotCount) - p - 1u;
    VD left[B][8];
    VD right[B][8];
#pragma GCC unroll 8
    for (int b = 0; b < B; ++b) {
        *first[b] = curveSpans(c.knots, p, m, c.knotsNondecreasing, t[b]) - static_cast<int32_t>(p);
        N[b][0] = splatF(1.0f);
    }
#pragma GCC unroll 8
    for (unsigned j = 1; j <= p; ++j) {
        VF saved[B];
#pragma GCC unroll 8
        for (int b = 0; b < B; ++b) {
            left[b][j] = widen(t[b] - knotsAt(c.knots, c.knotCount, static_cast<int>(p + 1 - j), *first[b]));
            right[b][j] = widen(knotsAt(c.knots, c.knotCount, static_cast<int>(p + j), *first[b]) - t[b]);
            saved[b] = splatF(0.0f);
        }
#pragma GCC unroll 8
        for (unsigned r = 0; r < j; ++r) {
#pragma GCC unroll 8
            for (int b = 0; b < B; ++b) {
                const VF temp = narrow(widen(N[b][r]) / (right[b][r + 1] + left[b][j - r]));
                N[b][r] = narrow(widen(saved[b]) + right[b][r + 1] * widen(temp));
                saved[b] = narrow(left[b][j - r] * widen(temp));
            }
        }
#pragma GCC unroll 8
        for (int b = 0; b < B; ++b) N[b][j] = saved[b];
    }
}

template <int B>
static void curveBases(const KernelCurve& c, const VF* t, VF* const* N, VI* const* first) {
    switch (c.degree) {
    case 1:
        return curveBasesOf<1, B>(c, t, N, first);
    case 2:
        return curveBasesOf<2, B>(c, t, N, first);
    case 3:
        return curveBasesOf<3, B>(c, t, N, first);
    default:
        return curveBasesOf<0, B>(c, t, N, first);
    }
}

// The curve point: the sum in double, in basis order, from zero.
template <unsigned D>
QUELVARN_INLINE V3 curveSumOf(const KernelCurve& c, VI first, const VF* N) {
    const unsigned p = D ? D : static_cast<unsigned>(c.degree);
    const int count = static_cast<int>(static_cast<unsigned>(c.knotCount) - p - 1u);
    const CoordinateTable xs = coordinateTable(c.cvs, count), ys = coordinateTable(c.cvs + 1, count),
                          zs = coordinateTable(c.cvs + 2, count);
    V3 sum{splatD(0.0), splatD(0.0), splatD(0.0)};
#pragma GCC unroll 8
    for (unsigned r = 0; r <= p; ++r) {
        const VD w = widen(N[r]);
        const VI at = first + static_cast<int32_t>(r);
        sum.x += w * coordinateAt(xs, at);
        sum.y += w * coordinateAt(ys, at);
        sum.z += w * coordinateAt(zs, at);
    }
    return sum;
}

static V3 curveSum(const KernelCurve& c, VI first, const VF* N) {
    switch (c.degree) {
    case 1:
        return curveSumOf<1>(c, first, N);
    case 2:
        return curveSumOf<2>(c, first, N);
    case 3:
        return curveSumOf<3>(c, first, N);
    default:
        return curveSumOf<0>(c, first, N);
    }
}

// Per-position floats of lanes [0, count), zero past it.
QUELVARN_INLINE VF loadFloats(const float* values, int count) {
    VF r = splatF(0.0f);
    if (count == kLanes) {
        __builtin_memcpy(&r, values, sizeof r);
    } else {
        for (int l = 0; l < count; ++l) r[l] = values[l];
    }
    return r;
}

static VD clampToDomain(VD value, float start, float end) {
    const VD s = splatD(start);
    const VD e = splatD(end);
    return s > value ? s : (value < e ? value : e);
}

// One group of up to kLanes consecutive positions starting at `first`.
// The weight tests and inputs of a whole group whose positions and indices all lie inside
// the arrays, for all lanes at once; false (nothing set) when some lane falls outside.
static bool wholeGroupInputs(const KernelSlideInputs& in, int first, VL& active, VF& uparam, VF& vparam, VD& w,
                             V3& P, const double* points) {
    const int64_t end = first + kLanes;
    if (end > in.weightCount || end > in.indexCount || end > in.cacheCount) return false;
    VI j;
    __builtin_memcpy(&j, in.indices + first, sizeof j);
    const int64_t limit = in.weightCount < in.paramCount ? in.weightCount : in.paramCount;
    const VI bound = splatI(limit < 0x7FFFFFFF ? static_cast<int32_t>(limit) : 0x7FFFFFFF);
    const VI outside = (j < splatI(0)) | (j >= bound);
    for (int l = 0; l < kLanes; ++l)
        if (outside[l]) return false;
    const VF weight = splatF(in.envelope) * gatherF(in.weights, j);
    const VD small = splatD(kNegligible);
    active = ~(widen(loadFloats(in.weights + first, kLanes)) < small) & ~(widen(weight) < small);
    const VI activeF = __builtin_convertvector(active, VI);
    uparam = activeF ? gatherF(in.uparams, j) : splatF(0.0f);
    vparam = activeF ? gatherF(in.vparams, j) : splatF(0.0f);
    w = active ? widen(weight) : splatD(0.0);
    VI triple;
    for (int l = 0; l < kLanes; ++l) triple[l] = 3 * l;
    const double* at = points + 3 * static_cast<int64_t>(first);
    P = V3{gatherD(at, triple), gatherD(at + 1, triple), gatherD(at + 2, triple)};
    return true;
}

// True when every active lane reads its own stored parameters (index = position).
static bool ownParameters(const KernelSlideInputs& in, int first, VL active) {
    for (int l = 0; l < kLanes; ++l)
        if (active[l] && in.indices[first + l] != first + l) return false;
    return true;
}

// What the first stages of a group's slide leave for the last: its inputs, where the curves
// are read, their bases there, the displacement and the slid parameters.
struct GroupFront {
    int first, count;
    bool any;    // false: no lane passed the weight tests
    bool moves;  // false: the group leaves every point
    VL active, inWindow, moving, up, left;
    VF uf, vf, s;
    VD t, w, adx, ady, dz, movedU, movedV;
    V3 P;
    VI firstCv, firstBase;  // the curves' first weighed control points
    VF N[8], baseN[8];      // the curves' bases at s
};

// Steps 1-5 for the group at `first`: the weight tests, the inputs, the position along the
// window and the curve parameter s there.
static void slideInputs(const KernelSlideInputs& in, int first, int count, const double* points, GroupFront& g) {
    g.first = first;
    g.count = count;
    g.moves = false;
    g.s = splatF(0.0f);
    // 1-3. Weight tests and the lanes' inputs; rejected lanes get harmless inputs (the spans
    // their parameters select are always inside the arrays). Groups at the arrays' ends go
    // lane by lane.
    VL active;
    VF uparam = splatF(0.0f), vparam = splatF(0.0f);
    VD w = splatD(0.0);
    V3 P{splatD(0.0), splatD(0.0), splatD(0.0)};
    bool any = false;
    if (count == kLanes && wholeGroupInputs(in, first, active, uparam, vparam, w, P, points)) any = anyLane(active);
    else for (int l = 0; l < kLanes; ++l) {
        active[l] = 0;
        if (l >= count) continue;
        const int64_t i = first + l;
        if (i >= in.weightCount || i >= in.indexCount || i >= in.cacheCount) continue;
        if (static_cast<double>(in.weights[i]) < kNegligible) continue;
        const int32_t j = in.indices[i];
        if (j < 0 || j >= in.weightCount || j >= in.paramCount) continue;
        const float weight = in.envelope * in.weights[j];
        if (static_cast<double>(weight) < kNegligible) continue;
        active[l] = -1;
        any = true;
        uparam[l] = in.uparams[j];
        vparam[l] = in.vparams[j];
        w[l] = static_cast<double>(weight);
        P.x[l] = points[3 * i];
        P.y[l] = points[3 * i + 1];
        P.z[l] = points[3 * i + 2];
    }
    g.any = any;
    if (!any) return;

    // 3-4. The parameters on the current surface's domains.
    const KernelSurface& surface = in.surface;
    const VF uf = uparam * surface.uDomainEnd + surface.uDomainStart;
    const VF vf = vparam * surface.vDomainEnd + surface.vDomainStart;
    const VD u = widen(uf);
    const VD v = widen(vf);

    // 5-6. Position along the window, and where the curves are read inside it.
    const VD t = in.paramType == 0 ? v / static_cast<double>(surface.vDomainEnd)
                                   : u / static_cast<double>(surface.uDomainEnd);
    g.inWindow = active & (t > splatD(in.startParam)) & (splatD(in.endParam) > t);
    if (anyLane(g.inWindow)) {
        const float width = in.endParam - in.startParam;
        g.s = narrow((t - static_cast<double>(in.startParam)) / static_cast<double>(width));
    }
    g.active = active;
    g.uf = uf;
    g.vf = vf;
    g.t = t;
    g.w = w;
    g.P = P;
}

// The curves' bases at s of groups [0, n) of a batch (see curveBasesOf), into the groups;
// the batch's missing groups compute into scratch.
template <int B>
static void batchBases(const KernelSlideInputs& in, GroupFront* g, int n) {
    VF s[B], spareN[B][8];
    VI spareFirst[B];
    VF* N[B];
    VI* first[B];
    for (int b = 0; b < B; ++b) {
        s[b] = b < n ? g[b].s : splatF(0.0f);
        N[b] = b < n ? g[b].N : spareN[b];
        first[b] = b < n ? &g[b].firstCv : &spareFirst[b];
    }
    curveBases<B>(in.curve, s, N, first);
    // Curves on the same knots share the basis at s.
    if (in.curvesShareKnots) return;
    for (int b = 0; b < n; ++b) {
        N[b] = g[b].baseN;
        first[b] = &g[b].firstBase;
    }
    curveBases<B>(in.curveBase, s, N, first);
}

// Steps 6-10 once the bases are known: the curves' displacement, and the slide.
static void slideAlong(const KernelSlideInputs& in, GroupFront& g) {
    if (!g.any) return;
    const int first = g.first, count = g.count;
    const KernelSurface& surface = in.surface;
    const VL active = g.active, inWindow = g.inWindow;
    const VD u = widen(g.uf), v = widen(g.vf), t = g.t;
    V3 d{splatD(0.0), splatD(0.0), splatD(0.0)};
    if (anyLane(inWindow)) {
        const V3 c1 = curveSum(in.curve, g.firstCv, g.N);
        const V3 c0 = in.curvesShareKnots ? curveSum(in.curveBase, g.firstCv, g.N)
                                          : curveSum(in.curveBase, g.firstBase, g.baseN);
        d = select(inWindow, sub(c1, c0), d);
        d.x = (inWindow & (splatD(in.lrCenter) > t)) ? -d.x : d.x;
    }
    // 7. Negligible displacements leave the point.
    const VD adx = absD(d.x), ady = absD(d.y), adz = absD(d.z);
    const VD small = splatD(kNegligible);
    const VL moving = active & ~((adx < small) & (ady < small) & (adz < small));
    if (!anyLane(moving)) return;

    // 8-10. Slide across and along the window, clamped to the domain.
    const float* const* maps = in.maps;
    // Map and rest-frame loads stop at the caches' end (lanes past it are never active).
    const int64_t cached = in.cacheCount - first;
    const int lanes = cached < count ? static_cast<int>(cached) : count;
    const VL up = d.y > splatD(0.0);
    const VL left = d.x > splatD(0.0);
    const VD mUD = up ? widen(loadFloats(maps[1] + first, lanes)) : widen(loadFloats(maps[2] + first, lanes));
    const VD mLR = left ? widen(loadFloats(maps[3] + first, lanes)) : widen(loadFloats(maps[4] + first, lanes));
    const VD udStep = mUD * (static_cast<double>(in.udFactor) * d.y);
    const VD lrStep = mLR * (static_cast<double>(in.lrFactor) * d.x);
    VD movedU, movedV;
    if (in.paramType != 0) {
        movedV = v - udStep;
        movedU = u - lrStep;
    } else {
        movedU = u - udStep;
        const VD vn = v / static_cast<double>(surface.vDomainEnd);
        movedV = splatD(in.lrCenter) > vn ? v + lrStep : v - lrStep;
    }
    g.movedU = clampToDomain(movedU, surface.uDomainStart, surface.uDomainEnd);
    g.movedV = clampToDomain(movedV, surface.vDomainStart, surface.vDomainEnd);
    g.moves = true;
    g.moving = moving;
    g.up = up;
    g.left = left;
    g.adx = adx;
    g.ady = ady;
    g.dz = d.z;
}

// Steps 4 and 11-15 for a group that slideAlong left moving: the attachment, the current
// frame at the slid parameters, the pushes, the re-attachment and the blend.
// `rest`, when given, holds the group's rest frames from the refresh pass.
static void slideBack(const KernelSlideInputs& in, const GroupFront& g, double* points, const RestFrames* rest) {
    const int first = g.first, count = g.count;
    const KernelSurface& surface = in.surface;
    const V3& P = g.P;
    const VD w = g.w, adx = g.adx, ady = g.ady;
    const VL up = g.up, left = g.left;
    VL moving = g.moving;
    const float* const* maps = in.maps;
    const int64_t cached = in.cacheCount - first;
    const int lanes = cached < count ? static_cast<int>(cached) : count;
    // The attachment on the rest surface, needed only by the "vector" re-attachment: the
    // refresh pass's frame point where that is it, else evaluated; on a rest surface equal
    // to the current one, beside the frame (see fixedFramePoints).
    const bool vector = in.slidingMethod == 0;
    const bool fromRest = vector && rest && ownParameters(in, first, g.active);
    const bool withFrame = vector && !fromRest && in.restSurfaceIsCurrent;
    V3 S0{};
    if (fromRest) S0 = rest->point;
    else if (vector && !withFrame) S0 = surfacePoint(in.restSurface, g.uf, g.vf);
    const VD movedU = g.movedU, movedV = g.movedV, dz = g.dz;

    // 11-13. The current frame there, pushed along its normal.
    Attachment attachment{g.uf, g.vf, &S0};
    // A refresh's rest frame lies on the same surface, often at the same v.
    const FrameColumns* restColumns = rest && in.restSurfaceIsCurrent ? rest->columns : nullptr;
    const Frame frame = surfaceFrame(surface, movedU, movedV, withFrame ? &attachment : nullptr, restColumns);
    const V3 offset = sub(S0, P);
    const VI upF = __builtin_convertvector(up, VI);
    const VI leftF = __builtin_convertvector(left, VI);
    const VF inUD = upF ? loadFloats(maps[5] + first, lanes) : loadFloats(maps[6] + first, lanes);
    const VF outUD = upF ? loadFloats(maps[9] + first, lanes) : loadFloats(maps[10] + first, lanes);
    const VF inLR = leftF ? loadFloats(maps[7] + first, lanes) : loadFloats(maps[8] + first, lanes);
    const VF outLR = leftF ? loadFloats(maps[11] + first, lanes) : loadFloats(maps[12] + first, lanes);
    const VD deltaUD = widen(outUD - inUD);
    const VD deltaLR = widen(outLR - inLR);
    const VD pm = widen(loadFloats(maps[0] + first, lanes));
    const double push = in.pushCoeff;
    const V3& n = frame.normal;
    V3 Q;
    Q.x = frame.point.x + n.x * ady * deltaUD * push + n.x * adx * deltaLR * push + n.x * dz * push * pm;
    Q.y = frame.point.y + n.y * ady * deltaUD * push + n.y * adx * deltaLR * push + n.y * dz * push * pm;
    Q.z = frame.point.z + n.z * ady * deltaUD * push + n.z * adx * deltaLR * push + n.z * dz * push * pm;

    // 14. Re-attach.
    V3 target;
    if (in.slidingMethod == 0) {
        target = sub(Q, offset);
    } else {
        // The rest frame inverses of the lanes, row-major (lanes past the group hold
        // whatever they computed or read; they are never written).
        VD inv[16];
        if (rest) {
            for (int e = 0; e < 16; ++e) inv[e] = rest->inverse[e];
        } else {
            // Lanes past the group read the first lane's.
            VI row;
            for (int l = 0; l < kLanes; ++l) row[l] = (l < lanes ? l : 0) * 16;
            const double* m = in.restFrameInverses + 16 * static_cast<int64_t>(first);
            // The inverses are the widest stream (128 bytes a point): ask for those of the
            // group eight ahead, so that this sweep does not wait on memory for them.
            if (first + 9 * kLanes <= in.cacheCount)
                for (int k = 0; k < 16 * kLanes; k += 8) __builtin_prefetch(m + 16 * 8 * kLanes + k);
            for (int e = 0; e < 16; ++e) inv[e] = gatherD(m + e, row);
        }
        const VD w1 = P.x * inv[3] + P.y * inv[7] + P.z * inv[11] + inv[15];
        const VD a = P.x * inv[0] + P.y * inv[4] + P.z * inv[8] + inv[12];
        const VD b = P.x * inv[1] + P.y * inv[5] + P.z * inv[9] + inv[13];
        const VD c = P.x * inv[2] + P.y * inv[6] + P.z * inv[10] + inv[14];
        // A zero homogeneous weight has no position to carry: leave the point.
        moving &= w1 != splatD(0.0);
        const V3 local{a / w1, b / w1, c / w1};
        const VD one = splatD(1.0);
        const VD w2 = local.x * one + local.y * one + local.z * one + one;
        moving &= w2 != splatD(0.0);
        const V3& tu = frame.tangentU;
        const V3& tv = frame.tangentV;
        target.x = (local.x * tu.x + local.y * tv.x + local.z * n.x + Q.x) / w2;
        target.y = (local.x * tu.y + local.y * tv.y + local.z * n.y + Q.y) / w2;
        target.z = (local.x * tu.z + local.y * tv.z + local.z * n.z + Q.z) / w2;
    }

    // 15. Blend, and write the lanes that moved.
    const VD keep = splatD(1.0) - w;
    const V3 result{keep * P.x + w * target.x, keep * P.y + w * target.y, keep * P.z + w * target.z};
    storePoints(points + 3 * static_cast<int64_t>(first), moving, result.x, result.y, result.z);
}

// Knot vectors of at most kPaddedKnots knots are copied, once per range, with as many
// zeros after them: knotsAt can then read kPaddedKnots knots from any offset in the
// vector without a mask (the offsets never pass the vector's own length).
static const int kPaddedKnots = 16;
struct PaddedKnots {
    float values[2 * kPaddedKnots];
};
static const float* padKnots(const float* knots, int count, PaddedKnots& copy) {
    if (count > kPaddedKnots) return knots;
    for (int k = 0; k < 2 * kPaddedKnots; ++k) copy.values[k] = k < count ? knots[k] : 0.0f;
    return copy.values;
}
static KernelSurface padSurface(const KernelSurface& surface, PaddedKnots* copies) {
    KernelSurface padded = surface;
    padded.uKnots = padKnots(surface.uKnots, surface.uCvCount + surface.uOrder, copies[0]);
    padded.vKnots = padKnots(surface.vKnots, surface.vCvCount + surface.vOrder, copies[1]);
    return padded;
}
struct PaddedInputs {
    KernelSlideInputs inputs;
    PaddedKnots copies[6];
    explicit PaddedInputs(const KernelSlideInputs& original) : inputs(original) {
        inputs.surface = padSurface(original.surface, copies);
        inputs.restSurface = padSurface(original.restSurface, copies + 2);
        inputs.curve.knots = padKnots(original.curve.knots, original.curve.knotCount, copies[4]);
        inputs.curveBase.knots = padKnots(original.curveBase.knots, original.curveBase.knotCount, copies[5]);
    }
};

static int groupCount(int first, int end) { return end - first < kLanes ? end - first : kLanes; }

// The Gauss-Jordan inverse of each lane's matrix m (row-major), with partial pivoting:
// the operations of the plain 4 x 4 inverse, pivot choices and row swaps made per lane.
// A singular lane gets the identity.
QUELVARN_INLINE void invertFrames(VD* m) {
    VD t[16], s[16];
#pragma GCC unroll 16
    for (int e = 0; e < 16; ++e) {
        t[e] = m[e];
        s[e] = splatD(e % 5 == 0 ? 1.0 : 0.0);
    }
    const VD zero = splatD(0.0);
    VL singular = splatL(0);
#pragma GCC unroll 16
    for (int i = 0; i < 3; ++i) {
        VL pivot = splatL(i);
        VD pivotSize = absD(t[4 * i + i]);
#pragma GCC unroll 16
        for (int j = i + 1; j < 4; ++j) {
            const VD size = absD(t[4 * j + i]);
            const VL larger = size > pivotSize;
            pivot = larger ? splatL(j) : pivot;
            pivotSize = larger ? size : pivotSize;
        }
        singular |= pivotSize == zero;
#pragma GCC unroll 16
        for (int j = i + 1; j < 4; ++j) {
            const VL swap = pivot == splatL(j);
            if (!anyLane(swap)) continue;
#pragma GCC unroll 16
            for (int k = 0; k < 4; ++k) {
                const VD ti = t[4 * i + k], tj = t[4 * j + k];
                t[4 * i + k] = swap ? tj : ti;
                t[4 * j + k] = swap ? ti : tj;
                const VD si = s[4 * i + k], sj = s[4 * j + k];
                s[4 * i + k] = swap ? sj : si;
                s[4 * j + k] = swap ? si : sj;
            }
        }
#pragma GCC unroll 16
        for (int j = i + 1; j < 4; ++j) {
            const VD f = t[4 * j + i] / t[4 * i + i];
#pragma GCC unroll 16
            for (int k = 0; k < 4; ++k) {
                t[4 * j + k] = t[4 * j + k] - f * t[4 * i + k];
                s[4 * j + k] = s[4 * j + k] - f * s[4 * i + k];
            }
        }
    }
    // Back substitution. Entries t[j][k] with k >= i are never read again after step i, so
    // only the columns left of the pivot are kept up to date; s gets every operation.
#pragma GCC unroll 16
    for (int i = 3; i >= 0; --i) {
        const VD f = t[4 * i + i];
        singular |= f == zero;
#pragma GCC unroll 16
        for (int j = 0; j < i; ++j) t[4 * i + j] = t[4 * i + j] / f;
#pragma GCC unroll 16
        for (int j = 0; j < 4; ++j) s[4 * i + j] = s[4 * i + j] / f;
#pragma GCC unroll 16
        for (int j = 0; j < i; ++j) {
            const VD g = t[4 * j + i];
#pragma GCC unroll 16
            for (int k = 0; k < i; ++k) t[4 * j + k] = t[4 * j + k] - g * t[4 * i + k];
#pragma GCC unroll 16
            for (int k = 0; k < 4; ++k) s[4 * j + k] = s[4 * j + k] - g * s[4 * i + k];
        }
    }
#pragma GCC unroll 16
    for (int e = 0; e < 16; ++e) m[e] = singular ? splatD(e % 5 == 0 ? 1.0 : 0.0) : s[e];
}

// The inverse rest frames of positions [first, first + count), stored and left in `rest`
// with the frames' points.
static void restFrameGroup(const KernelSurface& surface, const float* uparams, const float* vparams, int first,
                           int count, double* inverses, RestFrames& rest, FrameColumns* keep) {
    const VF uf = loadFloats(uparams + first, count) * surface.uDomainEnd + surface.uDomainStart;
    const VF vf = loadFloats(vparams + first, count) * surface.vDomainEnd + surface.vDomainStart;
    const Frame f = surfaceFrame(surface, widen(uf), widen(vf), nullptr, nullptr, keep);
    const V3* rows[4] = {&f.tangentU, &f.tangentV, &f.normal, &f.point};
    VD* m = rest.inverse;
    for (int r = 0; r < 4; ++r) {
        m[4 * r] = rows[r]->x;
        m[4 * r + 1] = rows[r]->y;
        m[4 * r + 2] = rows[r]->z;
        m[4 * r + 3] = splatD(1.0);
    }
    invertFrames(m);
    storeMatrices(inverses + 16 * static_cast<int64_t>(first), m, count);
    rest.point = f.point;
}

void restFrameInverses(const KernelSurface& original, const float* uparams, const float* vparams, int begin, int end,
                       double* inverses) {
    PaddedKnots copies[2];
    const KernelSurface surface = padSurface(original, copies);
    RestFrames rest;
    for (int first = begin; first < end; first += kLanes)
        restFrameGroup(surface, uparams, vparams, first, groupCount(first, end), inverses, rest, nullptr);
    finishStreamedStores();
}

// The range loop both passes share, a batch of kBatch groups at a time: the inputs of every
// group of the batch, their curve bases side by side, every group's slide along the window,
// then each group's frame and re-attachment (whose branches on spans then find the slid
// parameters long computed). With
// `kRefresh` each group's inverse rest frames come first, and the slide takes their points
// as the attachment and the inverses from registers rather than back from memory (where a
// build streams whole groups past the caches, see storeMatrices).
static const int kBatch = 4;
template <bool kRefresh>
static void slideGroups(const KernelSlideInputs& original, double* inverses, int begin, int end, double* points) {
    if (begin >= end) return;
    const PaddedInputs padded(original);
    const KernelSlideInputs& inputs = padded.inputs;
    GroupFront groups[kBatch];
    for (int batch = begin; batch < end; batch += kBatch * kLanes) {
        int n = 0;
        for (int first = batch; first < end && n < kBatch; first += kLanes, ++n)
            slideInputs(inputs, first, groupCount(first, end), points, groups[n]);
        batchBases<kBatch>(inputs, groups, n);
        RestFrames rest[kRefresh ? kBatch : 1];
        FrameColumns columns[kRefresh ? kBatch : 1];
        if (kRefresh)
            for (int b = 0; b < n; ++b) {
                rest[b].columns = &columns[b];
                restFrameGroup(inputs.restSurface, inputs.uparams, inputs.vparams, groups[b].first, groups[b].count,
                               inverses, rest[b], &columns[b]);
            }
        for (int b = 0; b < n; ++b) slideAlong(inputs, groups[b]);
        for (int b = 0; b < n; ++b)
            if (groups[b].moves) slideBack(inputs, groups[b], points, kRefresh ? &rest[b] : nullptr);
    }
}

void slideRange(const KernelSlideInputs& inputs, int begin, int end, double* points) {
    slideGroups<false>(inputs, nullptr, begin, end, points);
}

// The frame point at a position's own stored parameters on the rest surface is the point's
// attachment: with the rest surface a copy of the current one, and the same single-precision
// parameters, both come out of the same de Boor evaluation.
void refreshAndSlideRange(const KernelSlideInputs& inputs, double* inverses, int begin, int end, double* points) {
    slideGroups<true>(inputs, inverses, begin, end, points);
    finishStreamedStores();
}
