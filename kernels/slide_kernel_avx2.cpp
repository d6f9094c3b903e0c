// The AVX2 build of the wide slide (this file is compiled with -mavx2): four points per step.
#include <immintrin.h>

#include "slide_kernel_builds.h"

namespace quelvarn::kernels::avx2 {

static const int kLanes = 4;
typedef double VD __attribute__((vector_size(32)));
typedef float VF __attribute__((vector_size(16)));
typedef int32_t VI __attribute__((vector_size(16)));
typedef int64_t VL __attribute__((vector_size(32)));

// One mask test, not a store and four loads.
static inline __attribute__((always_inline)) bool anyLane(VL mask) {
    return !_mm256_testz_si256((__m256i)mask, (__m256i)mask);
}

// Masked forms with every lane on: the plain forms leave their pass-through operand undefined.
static VD gatherD(const double* base, VI index) {
    const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    return (VD)_mm256_mask_i32gather_pd(_mm256_setzero_pd(), base, (__m128i)index, all, 8);
}
static VF gatherF(const float* base, VI index) {
    const __m128 all = _mm_castsi128_ps(_mm_set1_epi32(-1));
    return (VF)_mm_mask_i32gather_ps(_mm_setzero_ps(), base, (__m128i)index, all, 4);
}
// knots[offset + index] per lane: a permute of a register holding all knots when they fit
// in one (at most 8), a gather otherwise.
static inline __attribute__((always_inline)) VF knotsAt(const float* knots, int knotCount, int offset, VI index) {
    if (knotCount <= 8) {
        const __m256i live = _mm256_cmpgt_epi32(_mm256_set1_epi32(knotCount), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        const __m256 table = _mm256_maskload_ps(knots, live);
        const __m256i at = _mm256_zextsi128_si256((__m128i)(index + offset));
        return (VF)_mm256_castps256_ps128(_mm256_permutevar8x32_ps(table, at));
    }
    return gatherF(knots + offset, index);
}
// One coordinate of a curve's control points (x, y, z each), gathered by index.
struct CoordinateTable {
    const double* first;  // the coordinate of control point 0
};
static inline __attribute__((always_inline)) CoordinateTable coordinateTable(const double* first, int) {
    return CoordinateTable{first};
}
static inline __attribute__((always_inline)) VD coordinateAt(const CoordinateTable& table, VI index) {
    return gatherD(table.first, index * 3);
}

static inline __attribute__((always_inline)) void storePoints(double* points, VL mask, VD x, VD y, VD z) {
    for (int l = 0; l < kLanes; ++l) {
        if (!mask[l]) continue;
        points[3 * l] = x[l];
        points[3 * l + 1] = y[l];
        points[3 * l + 2] = z[l];
    }
}

static inline __attribute__((always_inline)) void storeMatrices(double* out, const VD* m, int count) {
    for (int l = 0; l < count; ++l)
        for (int e = 0; e < 16; ++e) out[16 * l + e] = m[e][l];
}

static inline void finishStreamedStores() {}  // storeMatrices streams nothing here

static inline __attribute__((always_inline)) VD widen(VF x) { return (VD)_mm256_cvtps_pd((__m128)x); }
static inline __attribute__((always_inline)) VF narrow(VD x) { return (VF)_mm256_cvtpd_ps((__m256d)x); }
static VD sqrtD(VD x) { return (VD)_mm256_sqrt_pd((__m256d)x); }

// This build leaves the first de Boor level unfused (AVX2 alone does not promise FMA).
static const bool kFusedFirstLevel = false;
static inline __attribute__((always_inline)) VD exactProductsSum(VD a, VD b, VD c) { return a * b + c; }
#include "slide_kernel_body.inl"

}  // namespace quelvarn::kernels::avx2
