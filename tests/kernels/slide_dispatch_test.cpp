// The wide slide's build for each probe level (the probe's own table is in isa_probe_test),
// and on the running processor.
#include <gtest/gtest.h>

#include "curve_dispatch.h"
#include "slide_kernel.h"

namespace {

using quelvarn::kernels::SlideBuild;
using quelvarn::kernels::slideBuildForLevel;

TEST(SlideDispatch, BuildForEachProbeLevel)
{
    struct Row {
        int level;
        SlideBuild build;
        int lanes;
    };
    // Refused, SSE2, SSE4.1 and AVX run the plain slide; AVX2 four lanes; both AVX-512 families eight.
    const Row rows[] = {{-1, SlideBuild::plain, 1}, {0, SlideBuild::plain, 1},  {1, SlideBuild::plain, 1},
                        {2, SlideBuild::plain, 1},  {3, SlideBuild::avx2, 4},   {4, SlideBuild::avx512, 8},
                        {5, SlideBuild::avx512, 8}};
    for (const Row& r : rows) {
        EXPECT_EQ(slideBuildForLevel(r.level), r.build) << r.level;
        EXPECT_EQ(quelvarn::kernels::slideLanes(r.build), r.lanes) << r.level;
    }
}

TEST(SlideDispatch, RunningProcessorUsesItsProbeLevel)
{
    const int level = quelvarn::kernels::processorIsaLevel();
    EXPECT_EQ(level, quelvarn::kernels::selectIsaLevel());
    EXPECT_EQ(quelvarn::kernels::processorSlideBuild(), slideBuildForLevel(level));
    EXPECT_EQ(quelvarn::kernels::processorSlideBuild() == SlideBuild::avx512,
              __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx2") && level >= 4);
}

}  // namespace
