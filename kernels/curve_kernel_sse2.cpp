// The SSE2 build of the curve kernel (this file is compiled with -msse2).
#include "curve_kernel_builds.h"

namespace quelvarn::kernels::sse2 {
#include "curve_kernel_body.inl"
}  // namespace quelvarn::kernels::sse2
