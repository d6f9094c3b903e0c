#pragma once
// The per-instruction-set builds of the wide slide: the same body (slide_kernel_body.inl)
// compiled with each file's target flags (CMakeLists.txt) in its own namespace. The
// dispatcher (slide_dispatch.cpp) is the one place that decides which build runs.

#include "slide_kernel.h"

#define QUELVARN_DECLARE_SLIDE_BUILD(isa)                                                              \
    namespace quelvarn::kernels::isa {                                                                 \
    void slideRange(const KernelSlideInputs& inputs, int begin, int end, double* points);              \
    void restFrameInverses(const KernelSurface& surface, const float* uparams, const float* vparams,   \
                           int begin, int end, double* inverses);                                      \
    void refreshAndSlideRange(const KernelSlideInputs& inputs, double* inverses, int begin, int end,    \
                              double* points);                                                         \
    }

QUELVARN_DECLARE_SLIDE_BUILD(avx2)
QUELVARN_DECLARE_SLIDE_BUILD(avx512)

#undef QUELVARN_DECLARE_SLIDE_BUILD
