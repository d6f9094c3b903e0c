// The AVX-512 build of the wide slide (this file is compiled with -mavx512f, foundation
// instructions only): eight points per step.
#include <immintrin.h>

#include "slide_kernel_builds.h"

namespace quelvarn::kernels::avx512 {

static const int kLanes = 8;
typedef double VD __attribute__((vector_size(64)));
typedef float VF __attribute__((vector_size(32)));
typedef int32_t VI __attribute__((vector_size(32)));
typedef int64_t VL __attribute__((vector_size(64)));

// One mask test, not a store and eight loads.
static inline __attribute__((always_inline)) bool anyLane(VL mask) {
    return _mm512_test_epi64_mask((__m512i)mask, (__m512i)mask) != 0;
}

// Masked forms with every lane on: the plain forms leave their pass-through operand undefined.
static VD gatherD(const double* base, VI index) {
    return (VD)_mm512_mask_i32gather_pd(_mm512_setzero_pd(), 0xFF, (__m256i)index, base, 8);
}
static VF gatherF(const float* base, VI index) {
    const __m256 all = _mm256_castsi256_ps(_mm256_set1_epi32(-1));
    return (VF)_mm256_mask_i32gather_ps(_mm256_setzero_ps(), base, (__m256i)index, all, 4);
}
// knots[offset + index] per lane: a permute of the sixteen knots from the offset on when
// the vector is short enough to have been padded (see PaddedKnots), a gather otherwise. The
// index widens to sixteen lanes with zeros (a plain register move); only the low eight
// results are kept.
static inline __attribute__((always_inline)) VF knotsAt(const float* knots, int knotCount, int offset, VI index) {
    if (knotCount <= 16) {
        typedef int32_t VI16 __attribute__((vector_size(64)));
        typedef float VF16 __attribute__((vector_size(64)));
        const __m512 table = _mm512_loadu_ps(knots + offset);
        const VI16 at = __builtin_shufflevector(index, VI{}, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        const VF16 picked = (VF16)_mm512_maskz_permutexvar_ps(0xFFFF, (__m512i)at, table);
        return __builtin_shufflevector(picked, picked, 0, 1, 2, 3, 4, 5, 6, 7);
    }
    return gatherF(knots + offset, index);
}

// One coordinate of up to 8 control points (x, y, z each) held in a register and picked by
// a permute; longer curves are gathered from memory.
struct CoordinateTable {
    const double* first;  // the coordinate of control point 0
    int count;
    __m512d values;
};
static inline __attribute__((always_inline)) CoordinateTable coordinateTable(const double* first, int count) {
    CoordinateTable table{first, count, _mm512_setzero_pd()};
    if (count <= 8) {
        const __m256i strided = _mm256_setr_epi32(0, 3, 6, 9, 12, 15, 18, 21);
        table.values = _mm512_mask_i32gather_pd(_mm512_setzero_pd(), static_cast<__mmask8>((1u << count) - 1u), strided,
                                                first, 8);
    }
    return table;
}
static inline __attribute__((always_inline)) VD coordinateAt(const CoordinateTable& table, VI index) {
    if (table.count <= 8) {
        typedef int64_t VL8 __attribute__((vector_size(64)));
        const VL8 at = __builtin_convertvector(index, VL8);
        return (VD)_mm512_maskz_permutexvar_pd(0xFF, (__m512i)at, table.values);
    }
    return gatherD(table.first, index * 3);
}

static inline __attribute__((always_inline)) void storePoints(double* points, VL mask, VD x, VD y, VD z) {
    const __mmask8 lanes = _mm512_test_epi64_mask((__m512i)mask, (__m512i)mask);
    const __m256i triple = _mm256_setr_epi32(0, 3, 6, 9, 12, 15, 18, 21);
    _mm512_mask_i32scatter_pd(points, lanes, triple, (__m512d)x, 8);
    _mm512_mask_i32scatter_pd(points + 1, lanes, triple, (__m512d)y, 8);
    _mm512_mask_i32scatter_pd(points + 2, lanes, triple, (__m512d)z, 8);
}

// Lane l of m[0 .. 16) becomes matrix l (16 consecutive doubles); a whole group by two 8 x 8
// transposes in registers.
static inline __attribute__((always_inline)) void transpose8(const VD* r, VD* c) {
    VD s[8], q[8];
    for (int a = 0; a < 4; ++a) {
        s[2 * a] = __builtin_shufflevector(r[2 * a], r[2 * a + 1], 0, 8, 2, 10, 4, 12, 6, 14);
        s[2 * a + 1] = __builtin_shufflevector(r[2 * a], r[2 * a + 1], 1, 9, 3, 11, 5, 13, 7, 15);
    }
    for (int b = 0; b < 2; ++b) {  // rows 4b .. 4b + 3
        VD* out = q + 4 * b;
        const VD* in = s + 4 * b;
        out[0] = __builtin_shufflevector(in[0], in[2], 0, 1, 8, 9, 4, 5, 12, 13);  // lanes 0, 4
        out[2] = __builtin_shufflevector(in[0], in[2], 2, 3, 10, 11, 6, 7, 14, 15);  // lanes 2, 6
        out[1] = __builtin_shufflevector(in[1], in[3], 0, 1, 8, 9, 4, 5, 12, 13);  // lanes 1, 5
        out[3] = __builtin_shufflevector(in[1], in[3], 2, 3, 10, 11, 6, 7, 14, 15);  // lanes 3, 7
    }
    for (int l = 0; l < 4; ++l) {
        c[l] = __builtin_shufflevector(q[l], q[4 + l], 0, 1, 2, 3, 8, 9, 10, 11);
        c[l + 4] = __builtin_shufflevector(q[l], q[4 + l], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}
// A whole group on line-aligned storage goes out as streaming stores: sixteen whole lines
// that nothing reads in this pass, written without first reading them into the cache.
static inline __attribute__((always_inline)) void storeMatrices(double* out, const VD* m, int count) {
    if (count == kLanes) {
        VD low[8], high[8];
        transpose8(m, low);
        transpose8(m + 8, high);
        if ((reinterpret_cast<uintptr_t>(out) & 63) == 0) {
            for (int l = 0; l < 8; ++l) {
                _mm512_stream_pd(out + 16 * l, (__m512d)low[l]);
                _mm512_stream_pd(out + 16 * l + 8, (__m512d)high[l]);
            }
            return;
        }
        for (int l = 0; l < 8; ++l) {
            __builtin_memcpy(out + 16 * l, &low[l], sizeof(VD));
            __builtin_memcpy(out + 16 * l + 8, &high[l], sizeof(VD));
        }
        return;
    }
    for (int l = 0; l < count; ++l)
        for (int e = 0; e < 16; ++e) out[16 * l + e] = m[e][l];
}

// Streaming stores are weakly ordered: fence them before the range's work counts as done.
static inline void finishStreamedStores() { _mm_sfence(); }

// One instruction each way (a generic conversion may be split into halves).
static inline __attribute__((always_inline)) VD widen(VF x) { return (VD)_mm512_maskz_cvtps_pd(0xFF, (__m256)x); }
static inline __attribute__((always_inline)) VF narrow(VD x) { return (VF)_mm512_maskz_cvtpd_ps(0xFF, (__m512d)x); }
static VD sqrtD(VD x) { return (VD)_mm512_maskz_sqrt_pd(0xFF, (__m512d)x); }

// a * b + c rounded once: the first de Boor level of a column, whose products are exact.
static const bool kFusedFirstLevel = true;
static inline __attribute__((always_inline)) VD exactProductsSum(VD a, VD b, VD c) {
    return (VD)_mm512_fmadd_pd((__m512d)a, (__m512d)b, (__m512d)c);
}
#include "slide_kernel_body.inl"

}  // namespace quelvarn::kernels::avx512
