#pragma once
// The wide CPU slide: several points per instruction (lanes = points), with exactly the
// IEEE operations of the plain per-point slide in every lane, so each point's result is
// bit-identical to the plain evaluation. One build per instruction set, chosen at run
// time from the same processor probe as the curve kernel.
//
// No standard headers beyond fixed-width integers: the per-instruction-set builds include
// this file (see curve_kernel_body.inl for why).

#include <stdint.h>

namespace quelvarn::kernels {

// A driving surface in evaluation form, as plain views (the node's SurfaceData).
struct KernelSurface {
    const float* uKnots;  // full knot vectors: cvCount + order entries
    const float* vKnots;
    int32_t uOrder;
    int32_t vOrder;
    int32_t uCvCount;
    int32_t vCvCount;
    float uDomainStart;
    float uDomainEnd;
    float vDomainStart;
    float vDomainEnd;
    const double* cvs;  // v-major, x, y, z per control point
    bool uKnotsNondecreasing;  // lets the span search count instead of scan
    bool vKnotsNondecreasing;
    bool cvsSinglePrecision;   // every coordinate a single-precision value (lets products be exact)
};

// A profile curve (the node's CurveData).
struct KernelCurve {
    const double* cvs;
    const float* knots;
    int32_t degree;
    int32_t knotCount;
    bool knotsNondecreasing;  // lets the span search count instead of scan
};

// True when no knot of values[0 .. count) is below the one before it.
bool isNondecreasing(const float* values, int64_t count);

// True when every one of values[0 .. count) is a single-precision value (no NaN).
bool allSinglePrecision(const double* values, int64_t count);

// Everything one slide pass reads; the same fields and index spaces as the plain slide.
struct KernelSlideInputs {
    const float* weights;
    int64_t weightCount;
    const int32_t* indices;
    int64_t indexCount;
    const float* uparams;
    const float* vparams;
    int64_t paramCount;
    KernelSurface surface;
    KernelSurface restSurface;
    const double* restFrameInverses;  // 16 per point, row-major
    const float* maps[13];            // slide map slots, in the node's order
    int64_t cacheCount;
    KernelCurve curve;
    KernelCurve curveBase;
    bool curvesShareKnots;  // same degree and knot values: one basis serves both
    bool restSurfaceIsCurrent;  // the rest surface has the current one's orders, knots and control points
    float envelope;
    int32_t paramType;
    float startParam;
    float endParam;  // the caller guarantees endParam - startParam > 0 in single precision
    float lrCenter;
    float udFactor;
    float lrFactor;
    float pushCoeff;
    int32_t slidingMethod;
};

enum class SlideBuild : int32_t { plain, avx2, avx512 };

// The build that serves a probe level (see curve_dispatch.h for the levels): the AVX-512
// build from level 4, the AVX2 build at level 3, the plain per-point slide below.
SlideBuild slideBuildForLevel(int level);

// The build for the running processor (probed once per process).
SlideBuild processorSlideBuild();

// Points one step of `build` handles together; 1 for the plain build.
int slideLanes(SlideBuild build);

// Slides the points at positions [begin, end) in place (x, y, z doubles each), exactly as
// the plain slide does; unchanged points are not written. `build` must not be plain and
// must run on this processor.
void slideRange(SlideBuild build, const KernelSlideInputs& inputs, int begin, int end, double* points);

// The inverse rest frames at the stored parameters of points [begin, end) on `surface`,
// 16 doubles per point written from inverses + 16 * begin: the frame (rows u chord, v
// chord, unit normal, point; fourth column ones) and its plain 4 x 4 Gauss-Jordan inverse
// with partial pivoting (the identity for a singular frame), exactly as the plain rest pass.
void restFrameInverses(SlideBuild build, const KernelSurface& surface, const float* uparams, const float* vparams,
                       int begin, int end, double* inverses);

// A refresh evaluation's two passes over points [begin, end) in one: the inverse rest frames
// (as restFrameInverses on inputs.restSurface with inputs.uparams and inputs.vparams) and the
// slide (as slideRange), which takes the frames' points as the attachment of the points
// whose stored parameters are their own. The caller guarantees that the rest surface is
// a copy of the current one, that the rest frames cover every position, and that
// inputs.restFrameInverses is `inverses`. Identical results to the two passes.
void refreshAndSlideRange(SlideBuild build, const KernelSlideInputs& inputs, double* inverses, int begin, int end,
                          double* points);

// Scalar helper the builds share, compiled without wide flags: the unit vector of a
// vector whose squared length is below twice the smallest normal double.
void normalizeTinyVector(double* xyz);

}  // namespace quelvarn::kernels
