// The SSE4.1 build of the curve kernel (this file is compiled with -msse4.1).
#include "curve_kernel_builds.h"

namespace quelvarn::kernels::sse41 {
#include "curve_kernel_body.inl"
}  // namespace quelvarn::kernels::sse41
