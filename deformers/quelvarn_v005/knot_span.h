/* The knot-side steps of de Boor's algorithm, written once in the subset of C that both
 * the node's C++ evaluation and the device kernel compile, so the two cannot drift
 * apart: the span search and the blend weights of every level, in single precision.
 * Knot arrays live in device global memory inside the kernel, hence KNOT_SPAN_GLOBAL. */
#ifndef QUELVARN_KNOT_SPAN_H
#define QUELVARN_KNOT_SPAN_H

#ifdef __OPENCL_C_VERSION__
#define KNOT_SPAN_GLOBAL __global
#define KNOT_SPAN_INLINE inline
#else
#define KNOT_SPAN_GLOBAL
#define KNOT_SPAN_INLINE static inline
#endif

/* Span index s with order - 1 <= s <= cvCount - 1: the last span whose start knot is not
 * above t, by strict single-precision comparisons. */
KNOT_SPAN_INLINE int findKnotSpan(KNOT_SPAN_GLOBAL const float* knots, int order, int cvCount, float t) {
    int s = order - 1;
    while (s < cvCount - 1 && t > knots[s + 1]) ++s;
    return s;
}

/* The blend weights a of every de Boor level of span s at t, level by level: point j of
 * level r becomes a * Q[j] + (1 - a) * Q[j + 1]. They depend only on the knots and t, so
 * one set serves every column of a surface. */
KNOT_SPAN_INLINE void deBoorSpanWeights(KNOT_SPAN_GLOBAL const float* knots, int order, int s, float t, float* a) {
    const int p = order - 1;
    int k = 0;
    for (int r = 1; r <= p; ++r) {
        for (int j = 0; j <= p - r; ++j) {
            const float right = knots[s + 1 + j];
            a[k++] = (right - t) / (right - knots[s - p + r + j]);
        }
    }
}

#endif
