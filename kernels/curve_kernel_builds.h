#pragma once
// The per-instruction-set builds of the curve kernel: each is the same body
// (curve_kernel_body.inl) compiled with its own target flags (CMakeLists.txt) in its own
// namespace. This list is the one place that names them; the dispatcher runs, for a probed
// level, the last build whose lowest level it reaches. A new build is one source file,
// its flags, and one line here. No standard headers: the builds include this file.

// BUILD(namespace, lowest probe level it serves), in ascending level order.
#define QUELVARN_CURVE_BUILDS(BUILD) \
    BUILD(sse2, 0)                   \
    BUILD(sse41, 1)                  \
    BUILD(avx, 2)

#define QUELVARN_DECLARE_CURVE_BUILD(isa, lowestLevel)                                        \
    namespace quelvarn::kernels::isa {                                                        \
    void evalCurve(const double* cvs, const float* knots, int degree, int knotCount, float t, \
                   double* result);                                                           \
    }

QUELVARN_CURVE_BUILDS(QUELVARN_DECLARE_CURVE_BUILD)

#undef QUELVARN_DECLARE_CURVE_BUILD
