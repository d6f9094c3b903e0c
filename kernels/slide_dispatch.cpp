// Chooses the wide slide build from the processor's probe level and forwards to it.

#include <cfloat>
#include <cstdlib>

#include <Imath/ImathVec.h>

#include "curve_dispatch.h"
#include "slide_kernel.h"
#include "slide_kernel_builds.h"

namespace quelvarn::kernels {

SlideBuild slideBuildForLevel(int level)
{
    if (level >= 4)  // AVX-512 foundation (with AVX2) and the OS saving its state
        return SlideBuild::avx512;
    if (level == 3)  // AVX2
        return SlideBuild::avx2;
    return SlideBuild::plain;
}

SlideBuild processorSlideBuild() { return slideBuildForLevel(processorIsaLevel()); }

int slideLanes(SlideBuild build)
{
    switch (build) {
    case SlideBuild::avx2:
        return 4;
    case SlideBuild::avx512:
        return 8;
    default:
        return 1;
    }
}

void slideRange(SlideBuild build, const KernelSlideInputs& inputs, int begin, int end, double* points)
{
    switch (build) {
    case SlideBuild::avx2:
        return avx2::slideRange(inputs, begin, end, points);
    case SlideBuild::avx512:
        return avx512::slideRange(inputs, begin, end, points);
    default:
        std::abort();  // the plain slide is the caller's own loop
    }
}

void restFrameInverses(SlideBuild build, const KernelSurface& surface, const float* uparams, const float* vparams,
                       int begin, int end, double* inverses)
{
    switch (build) {
    case SlideBuild::avx2:
        return avx2::restFrameInverses(surface, uparams, vparams, begin, end, inverses);
    case SlideBuild::avx512:
        return avx512::restFrameInverses(surface, uparams, vparams, begin, end, inverses);
    default:
        std::abort();
    }
}

void refreshAndSlideRange(SlideBuild build, const KernelSlideInputs& inputs, double* inverses, int begin, int end,
                          double* points)
{
    switch (build) {
    case SlideBuild::avx2:
        return avx2::refreshAndSlideRange(inputs, inverses, begin, end, points);
    case SlideBuild::avx512:
        return avx512::refreshAndSlideRange(inputs, inverses, begin, end, points);
    default:
        std::abort();
    }
}

bool isNondecreasing(const float* values, int64_t count)
{
    for (int64_t k = 1; k < count; ++k) {
        if (!(values[k] >= values[k - 1]))
            return false;
    }
    return true;
}

bool allSinglePrecision(const double* values, int64_t count)
{
    for (int64_t k = 0; k < count; ++k) {
        const double value = values[k];
        // Outside the float range the conversion is undefined: such values are not floats anyway.
        if (!(value >= -FLT_MAX && value <= FLT_MAX) || static_cast<double>(static_cast<float>(value)) != value)
            return false;
    }
    return true;
}

void normalizeTinyVector(double* xyz)
{
    Imath::V3d v(xyz[0], xyz[1], xyz[2]);
    v.normalize();
    xyz[0] = v.x;
    xyz[1] = v.y;
    xyz[2] = v.z;
}

}  // namespace quelvarn::kernels
