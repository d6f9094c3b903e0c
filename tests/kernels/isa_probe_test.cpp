// The processor probe's decision table, driven by synthetic register values.
#include <gtest/gtest.h>

#include "curve_dispatch.h"

namespace {

using quelvarn::kernels::isaLevelFromRegisters;

constexpr uint32_t bit(int n) { return 1u << n; }

// Leaf 1 ecx / edx feature bits.
constexpr uint32_t kSse41 = bit(19);
constexpr uint32_t kOsxsave = bit(27);
constexpr uint32_t kAvx = bit(28);
constexpr uint32_t kF16c = bit(29);
constexpr uint32_t kRdrand = bit(30);
constexpr uint32_t kSse2 = bit(26);
// Leaf 7 ebx feature bits.
constexpr uint32_t kAvx2 = bit(5);
constexpr uint32_t kAvx512f = bit(16);
constexpr uint32_t kDq = bit(17);
constexpr uint32_t kPf = bit(26);
constexpr uint32_t kEr = bit(27);
constexpr uint32_t kCd = bit(28);
constexpr uint32_t kBw = bit(30);
constexpr uint32_t kVl = bit(31);
// XCR0 state components.
constexpr uint64_t kXmmYmm = 0x6;
constexpr uint64_t kZmmState = 0xE6;

constexpr uint32_t kAvxEcx = kSse41 | kOsxsave | kAvx;
constexpr uint32_t kAvx2Ecx = kAvxEcx | kF16c | kRdrand;

TEST(IsaProbe, DecisionTable)
{
    EXPECT_EQ(isaLevelFromRegisters(0, kSse2, 0, 0), 0);
    EXPECT_EQ(isaLevelFromRegisters(kSse41, kSse2, 0, 0), 1);
    EXPECT_EQ(isaLevelFromRegisters(kAvxEcx, kSse2, 0, kXmmYmm), 2);
    EXPECT_EQ(isaLevelFromRegisters(kAvx2Ecx, kSse2, kAvx2, kXmmYmm), 3);
    EXPECT_EQ(isaLevelFromRegisters(kAvx2Ecx, kSse2, kAvx2 | kAvx512f | kPf | kEr | kCd, kZmmState), 4);
    EXPECT_EQ(isaLevelFromRegisters(kAvx2Ecx, kSse2, kAvx2 | kAvx512f | kDq | kCd | kBw | kVl, kZmmState), 5);
    // Both AVX-512 families present: the DQ/BW/VL one wins.
    EXPECT_EQ(isaLevelFromRegisters(kAvx2Ecx, kSse2, 0xFFFFFFFFu, kZmmState), 5);
}

TEST(IsaProbe, MissingFeaturesFallBack)
{
    // AVX2 without F16C or without RDRAND is plain AVX.
    EXPECT_EQ(isaLevelFromRegisters(kAvx2Ecx & ~kF16c, kSse2, kAvx2, kXmmYmm), 2);
    EXPECT_EQ(isaLevelFromRegisters(kAvx2Ecx & ~kRdrand, kSse2, kAvx2, kXmmYmm), 2);
    // AVX bits without OSXSAVE: the OS does not save YMM, so SSE4.1 at best.
    EXPECT_EQ(isaLevelFromRegisters(kAvx2Ecx & ~kOsxsave, kSse2, kAvx2 | kAvx512f | 0xD0020000u, 0), 1);
    EXPECT_EQ(isaLevelFromRegisters((kAvx2Ecx & ~kOsxsave) & ~kSse41, kSse2, kAvx2, 0), 0);
    // XCR0 without YMM state.
    EXPECT_EQ(isaLevelFromRegisters(kAvx2Ecx, kSse2, kAvx2, 0x2), 1);
    EXPECT_EQ(isaLevelFromRegisters(kAvx2Ecx, kSse2, kAvx2, 0x4), 1);
    // AVX-512 without opmask/ZMM state in XCR0 drops to AVX2.
    EXPECT_EQ(isaLevelFromRegisters(kAvx2Ecx, kSse2, kAvx2 | kAvx512f | 0xD0020000u, kXmmYmm), 3);
    EXPECT_EQ(isaLevelFromRegisters(kAvx2Ecx, kSse2, kAvx2 | kAvx512f | 0xD0020000u, 0x66), 3);
    // AVX-512F without AVX2, or without either subset, is not AVX-512 here.
    EXPECT_EQ(isaLevelFromRegisters(kAvx2Ecx, kSse2, kAvx512f | 0xD0020000u, kZmmState), 2);
    EXPECT_EQ(isaLevelFromRegisters(kAvx2Ecx, kSse2, kAvx2 | kAvx512f | kCd | kBw | kVl, kZmmState), 3);
    EXPECT_EQ(isaLevelFromRegisters(kAvx2Ecx, kSse2, kAvx2 | kAvx512f | kPf | kCd, kZmmState), 3);
    // OSXSAVE alone, without the AVX bit.
    EXPECT_EQ(isaLevelFromRegisters(kOsxsave | kSse41, kSse2, 0, kXmmYmm), 1);
}

TEST(IsaProbe, NoSse2IsRefused)
{
    EXPECT_EQ(isaLevelFromRegisters(0, 0, 0, 0), -1);
    EXPECT_EQ(isaLevelFromRegisters(0, ~kSse2, 0xFFFFFFFFu, 0), -1);
    // A negative level ends the process rather than running any build.
    double cv[3] = {1, 2, 3};
    const float knots[2] = {0, 1};
    double out[3];
    EXPECT_DEATH(quelvarn::kernels::evalCurveAtLevel(-1, cv, knots, 0, 2, 0.0f, out), "");
}

TEST(IsaProbe, RunningProcessor)
{
    // Every x86-64 processor has SSE2, and the first evalCurve caches the probe.
    const int level = quelvarn::kernels::selectIsaLevel();
    EXPECT_GE(level, 0);
    EXPECT_LT(level, quelvarn::kernels::kIsaLevelCount);
    EXPECT_EQ(level >= 2, __builtin_cpu_supports("avx") != 0);
}

}  // namespace
