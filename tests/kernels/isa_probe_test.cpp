// The processor probe's decision table on synthetic register values, the wide slide's build
// for each probe level, and the dispatch on the running processor.
#include <gtest/gtest.h>

#include <cstring>

#include "curve_dispatch.h"
#include "curve_kernel.h"
#include "slide_kernel.h"

namespace {

using quelvarn::kernels::isaLevelFromRegisters;
using quelvarn::kernels::SlideBuild;
using quelvarn::kernels::slideBuildForLevel;

// Leaf 1 ecx / edx, leaf 7 ebx, and the XCR0 state components.
constexpr uint32_t kSse2 = 1u << 26, kSse41 = 1u << 19, kOsxsave = 1u << 27, kAvx = 1u << 28, kF16c = 1u << 29,
                   kRdrand = 1u << 30;
constexpr uint32_t kAvx2 = 1u << 5, kF = 1u << 16, kDq = 1u << 17, kPf = 1u << 26, kEr = 1u << 27, kCd = 1u << 28,
                   kBw = 1u << 30, kVl = 1u << 31, kAll512 = kDq | kPf | kEr | kCd | kBw | kVl;
constexpr uint64_t kYmm = 0x6, kZmm = 0xE6;
constexpr uint32_t kAvxEcx = kSse41 | kOsxsave | kAvx, kAvx2Ecx = kAvxEcx | kF16c | kRdrand;

TEST(IsaProbe, DecisionTable)
{
    struct Row {
        uint32_t ecx, edx, ebx;
        uint64_t xcr0;
        int level;
    };
    const Row rows[] = {
        {0, kSse2, 0, 0, 0},
        {kSse41, kSse2, 0, 0, 1},
        {kAvxEcx, kSse2, 0, kYmm, 2},
        {kAvx2Ecx, kSse2, kAvx2, kYmm, 3},
        {kAvx2Ecx, kSse2, kAvx2 | kF | kPf | kEr | kCd, kZmm, 4},
        {kAvx2Ecx, kSse2, kAvx2 | kF | kDq | kCd | kBw | kVl, kZmm, 5},
        {kAvx2Ecx, kSse2, 0xFFFFFFFFu, kZmm, 5},  // both AVX-512 families: DQ/BW/VL wins
        // AVX2 without F16C or without RDRAND is plain AVX.
        {kAvx2Ecx & ~kF16c, kSse2, kAvx2, kYmm, 2},
        {kAvx2Ecx & ~kRdrand, kSse2, kAvx2, kYmm, 2},
        // Without OSXSAVE the OS does not save YMM (whatever XCR0 says): SSE4.1 at best;
        // OSXSAVE without AVX too.
        {kAvx2Ecx & ~kOsxsave, kSse2, kAvx2 | kF | kAll512, kZmm, 1},
        {kAvx2Ecx & ~kOsxsave & ~kSse41, kSse2, kAvx2, 0, 0},
        {kOsxsave | kSse41, kSse2, 0, kYmm, 1},
        // XCR0 without YMM state; AVX-512 without opmask/ZMM state drops to AVX2.
        {kAvx2Ecx, kSse2, kAvx2, 0x2, 1},
        {kAvx2Ecx, kSse2, kAvx2, 0x4, 1},
        {kAvx2Ecx, kSse2, kAvx2 | kF | kAll512, kYmm, 3},
        {kAvx2Ecx, kSse2, kAvx2 | kF | kAll512, 0x66, 3},
        // AVX-512F without AVX2, or without a whole subset, is not AVX-512 here.
        {kAvx2Ecx, kSse2, kF | kAll512, kZmm, 2},
        {kAvx2Ecx, kSse2, kAvx2 | kF | kCd | kBw | kVl, kZmm, 3},
        {kAvx2Ecx, kSse2, kAvx2 | kF | kPf | kCd, kZmm, 3},
        // No SSE2: refused.
        {0, 0, 0, 0, -1},
        {0, ~kSse2, 0xFFFFFFFFu, 0, -1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(isaLevelFromRegisters(r.ecx, r.edx, r.ebx, r.xcr0), r.level) << &r - rows;

    // A negative level ends the process rather than running any build.
    const double cv[3] = {1, 2, 3};
    const float knots[2] = {0, 1};
    double out[3];
    EXPECT_DEATH(quelvarn::kernels::evalCurveAtLevel(-1, cv, knots, 0, 2, 0.0f, out), "");
}

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

TEST(IsaProbe, RunningProcessorAndDispatch)
{
    const double cvs[] = {0.1, -2.5, 3.0, 1.7, 4.25, -1.3, 2.2, 0.3, 9.9};
    const float knots[] = {0, 0, 0, 1, 1, 1};
    double viaDispatch[3], direct[3];
    evalCurve(cvs, knots, 2, 6, 0.3f, viaDispatch);  // the first call caches the probe
    const int level = quelvarn::kernels::selectIsaLevel();
    EXPECT_EQ(quelvarn::kernels::currentIsaLevel(), level);
    EXPECT_LT(level, quelvarn::kernels::kIsaLevelCount);
    EXPECT_EQ(level >= 2, __builtin_cpu_supports("avx") != 0);
    quelvarn::kernels::evalCurveAtLevel(level, cvs, knots, 2, 6, 0.3f, direct);
    EXPECT_EQ(std::memcmp(viaDispatch, direct, sizeof direct), 0);
    // The wide slide follows the same probe.
    EXPECT_EQ(quelvarn::kernels::processorIsaLevel(), level);
    EXPECT_EQ(quelvarn::kernels::processorSlideBuild(), slideBuildForLevel(level));
    EXPECT_EQ(quelvarn::kernels::processorSlideBuild() == SlideBuild::avx512,
              __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx2") && level >= 4);
}

}  // namespace
