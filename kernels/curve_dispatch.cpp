// Chooses the curve-kernel build for this processor once per process and forwards every
// call to it. The builds themselves are listed once, in curve_kernel_builds.h.

#include <cpuid.h>

#include <atomic>
#include <cstdlib>

#include "curve_dispatch.h"
#include "curve_kernel.h"
#include "curve_kernel_builds.h"

namespace quelvarn::kernels {
namespace {

using CurveBuild = void (*)(const double*, const float*, int, int, float, double*);

struct Build {
    CurveBuild run;
    int lowestLevel;
    const char* name;
};

#define QUELVARN_CURVE_BUILD_ENTRY(isa, lowestLevel) Build{isa::evalCurve, lowestLevel, #isa},
constexpr Build kBuilds[] = {QUELVARN_CURVE_BUILDS(QUELVARN_CURVE_BUILD_ENTRY)};
#undef QUELVARN_CURVE_BUILD_ENTRY

// The newest build that a level reaches: levels above AVX run the AVX build until a
// wider one is listed.
constexpr CurveBuild buildFor(int level) {
    CurveBuild chosen = nullptr;
    for (const Build& build : kBuilds) {
        if (build.lowestLevel <= level) chosen = build.run;
    }
    return chosen;
}

// Indexed by probe level, resolved at compile time.
constexpr CurveBuild kBuildForLevel[kIsaLevelCount] = {buildFor(0), buildFor(1), buildFor(2),
                                                        buildFor(3), buildFor(4), buildFor(5)};

// Process-wide, probed on first use. Threads racing on the first call all store the
// same value, so relaxed ordering is enough.
std::atomic<int> isaLevel{-1};

constexpr bool hasAll(uint64_t value, uint64_t mask) { return (value & mask) == mask; }

constexpr uint32_t bit(int n) { return 1u << n; }

uint64_t readXcr0()
{
    uint32_t lo = 0;
    uint32_t hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<uint64_t>(hi) << 32) | lo;
}

void runBuild(int level, const double* cvs, const float* knots, int degree, int knotCount, float t,
              double* result)
{
    if (level < 0 || level >= kIsaLevelCount)
        std::abort();  // no SSE2: nothing here can run
    kBuildForLevel[level](cvs, knots, degree, knotCount, t, result);
}

}  // namespace

int isaLevelFromRegisters(uint32_t leaf1Ecx, uint32_t leaf1Edx, uint32_t leaf7Ebx, uint64_t xcr0)
{
    const uint32_t osxsave = bit(27);
    if (leaf1Ecx & osxsave) {
        // AVX2 and AVX-512F, with the OS saving opmask, ZMM and YMM/XMM state.
        if (hasAll(leaf7Ebx, bit(5) | bit(16)) && hasAll(xcr0, 0xE6)) {
            if (hasAll(leaf7Ebx, 0xD0020000))  // DQ, CD, BW, VL
                return 5;
            if (hasAll(leaf7Ebx, 0x1C000000))  // PF, ER, CD
                return 4;
        }
        if (hasAll(leaf1Ecx, osxsave | bit(28)) && hasAll(xcr0, 0x6)) {
            const bool avx2 = leaf7Ebx & bit(5);
            return avx2 && hasAll(leaf1Ecx, bit(29) | bit(30)) ? 3 : 2;  // F16C, RDRAND
        }
    }
    if (leaf1Ecx & bit(19))  // SSE4.1
        return 1;
    if (leaf1Edx & bit(26))  // SSE2
        return 0;
    return -1;
}

int selectIsaLevel()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return isaLevelFromRegisters(0, 0, 0, 0);
    const uint32_t leaf1Ecx = ecx;
    const uint32_t leaf1Edx = edx;

    uint32_t leaf7Ebx = 0;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        leaf7Ebx = ebx;

    // XGETBV is an invalid opcode unless the OS has enabled XSAVE.
    const uint64_t xcr0 = (leaf1Ecx & bit(27)) ? readXcr0() : 0;
    return isaLevelFromRegisters(leaf1Ecx, leaf1Edx, leaf7Ebx, xcr0);
}

const char* isaLevelName(int level)
{
    constexpr const char* kNames[kIsaLevelCount] = {"SSE2", "SSE4.1", "AVX", "AVX2", "AVX-512 (ER, PF, CD)",
                                                     "AVX-512 (DQ, CD, BW, VL)"};
    return level >= 0 && level < kIsaLevelCount ? kNames[level] : "none";
}

const char* buildNameForLevel(int level)
{
    const char* chosen = "none";
    for (const Build& build : kBuilds) {
        if (build.lowestLevel <= level) chosen = build.name;
    }
    return chosen;
}

int currentIsaLevel() { return isaLevel.load(std::memory_order_relaxed); }

int processorIsaLevel()
{
    int level = isaLevel.load(std::memory_order_relaxed);
    if (level == -1) {
        level = selectIsaLevel();
        isaLevel.store(level, std::memory_order_relaxed);
    }
    return level;
}

void evalCurveAtLevel(int level, const double* cvs, const float* knots, int degree, int knotCount,
                      float t, double* result)
{
    runBuild(level, cvs, knots, degree, knotCount, t, result);
}

}  // namespace quelvarn::kernels

void evalCurve(const double* cvs, const float* knots, int degree, int knotCount, float t, double* result)
{
    using namespace quelvarn::kernels;
    runBuild(processorIsaLevel(), cvs, knots, degree, knotCount, t, result);
}
