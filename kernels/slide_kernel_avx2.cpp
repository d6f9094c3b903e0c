// The AVX2 build of the wide slide (this file is compiled with -mavx2): four points per step.
#include <immintrin.h>

#include "slide_kernel_builds.h"

namespace quelvarn::kernels::avx2 {

static const int kLanes = 4;
typedef double VD __attribute__((vector_size(32)));
typedef float VF __attribute__((vector_size(16)));
typedef int32_t VI __attribute__((vector_size(16)));
typedef int64_t VL __attribute__((vector_size(32)));

// Masked forms with every lane on: the plain forms leave their pass-through operand undefined.
static VD gatherD(const double* base, VI index) {
    const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    return (VD)_mm256_mask_i32gather_pd(_mm256_setzero_pd(), base, (__m128i)index, all, 8);
}
static VF gatherF(const float* base, VI index) {
    const __m128 all = _mm_castsi128_ps(_mm_set1_epi32(-1));
    return (VF)_mm_mask_i32gather_ps(_mm_setzero_ps(), base, (__m128i)index, all, 4);
}
static VD sqrtD(VD x) { return (VD)_mm256_sqrt_pd((__m256d)x); }

#include "slide_kernel_body.inl"

}  // namespace quelvarn::kernels::avx2
