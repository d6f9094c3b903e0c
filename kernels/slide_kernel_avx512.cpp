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

// Masked forms with every lane on: the plain forms leave their pass-through operand undefined.
static VD gatherD(const double* base, VI index) {
    return (VD)_mm512_mask_i32gather_pd(_mm512_setzero_pd(), 0xFF, (__m256i)index, base, 8);
}
static VF gatherF(const float* base, VI index) {
    const __m256 all = _mm256_castsi256_ps(_mm256_set1_epi32(-1));
    return (VF)_mm256_mask_i32gather_ps(_mm256_setzero_ps(), base, (__m256i)index, all, 4);
}
static VD sqrtD(VD x) { return (VD)_mm512_maskz_sqrt_pd(0xFF, (__m512d)x); }

#include "slide_kernel_body.inl"

}  // namespace quelvarn::kernels::avx512
