// The AVX build of the curve kernel (this file is compiled with -mavx).
#include "curve_kernel_builds.h"

namespace quelvarn::kernels::avx {
#include "curve_kernel_body.inl"
}  // namespace quelvarn::kernels::avx
