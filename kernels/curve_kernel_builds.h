#pragma once
// Entry points of the per-instruction-set builds of the curve kernel. Each is the same
// body (curve_kernel_body.inl) compiled with different target flags; only the
// dispatcher calls them. No standard headers here: the builds include this file.

#define QUELVARN_DECLARE_CURVE_BUILD(isa)                                                        \
    namespace quelvarn::kernels::isa {                                                            \
    void evalCurve(const double* cvs, const float* knots, int degree, int knotCount, float t,     \
                   double* result);                                                               \
    }

QUELVARN_DECLARE_CURVE_BUILD(sse2)
QUELVARN_DECLARE_CURVE_BUILD(sse41)
QUELVARN_DECLARE_CURVE_BUILD(avx)

#undef QUELVARN_DECLARE_CURVE_BUILD
