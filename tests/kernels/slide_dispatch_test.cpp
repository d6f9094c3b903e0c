// The wide slide's build choice, from synthetic probe values and on the running processor.
#include <gtest/gtest.h>

#include "curve_dispatch.h"
#include "slide_kernel.h"

namespace {

using quelvarn::kernels::isaLevelFromRegisters;
using quelvarn::kernels::SlideBuild;
using quelvarn::kernels::slideBuildForLevel;

constexpr uint32_t kSse2 = 1u << 26, kSse41 = 1u << 19, kOsxsave = 1u << 27, kAvx = 1u << 28, kF16c = 1u << 29,
                   kRdrand = 1u << 30;
constexpr uint32_t kAvx2 = 1u << 5, kF = 1u << 16, kDq = 1u << 17, kPf = 1u << 26, kEr = 1u << 27, kCd = 1u << 28,
                   kBw = 1u << 30, kVl = 1u << 31;
constexpr uint64_t kYmm = 0x6, kZmm = 0xE6;
constexpr uint32_t kAvxEcx = kSse41 | kOsxsave | kAvx, kAvx2Ecx = kAvxEcx | kF16c | kRdrand;

TEST(SlideDispatch, BuildFromProbeRegisters)
{
    struct Row {
        uint32_t ecx, edx, ebx;
        uint64_t xcr0;
        SlideBuild build;
        int lanes;
    };
    const Row rows[] = {
        {0, kSse2, 0, 0, SlideBuild::plain, 1},
        {kSse41, kSse2, 0, 0, SlideBuild::plain, 1},
        {kAvxEcx, kSse2, 0, kYmm, SlideBuild::plain, 1},
        {kAvx2Ecx & ~kF16c, kSse2, kAvx2, kYmm, SlideBuild::plain, 1},  // AVX2 without F16C probes as AVX
        {kAvx2Ecx, kSse2, kAvx2, kYmm, SlideBuild::avx2, 4},
        {kAvx2Ecx, kSse2, kAvx2 | kF | kDq | kCd | kBw | kVl, kYmm, SlideBuild::avx2, 4},  // ZMM state not saved
        {kAvx2Ecx, kSse2, kAvx2 | kF | kPf | kEr | kCd, kZmm, SlideBuild::avx512, 8},
        {kAvx2Ecx, kSse2, kAvx2 | kF | kDq | kCd | kBw | kVl, kZmm, SlideBuild::avx512, 8},
        {kAvx2Ecx & ~kOsxsave, kSse2, kAvx2 | kF | kDq | kCd | kBw | kVl, kZmm, SlideBuild::plain, 1},
    };
    for (const Row& r : rows) {
        const SlideBuild build = slideBuildForLevel(isaLevelFromRegisters(r.ecx, r.edx, r.ebx, r.xcr0));
        EXPECT_EQ(build, r.build) << &r - rows;
        EXPECT_EQ(quelvarn::kernels::slideLanes(build), r.lanes) << &r - rows;
    }
    EXPECT_EQ(slideBuildForLevel(-1), SlideBuild::plain);
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
