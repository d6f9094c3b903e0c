#pragma once
// Instruction-set probe and direct access to each kernel build, for tests and benchmarks.

#include <cstdint>

namespace quelvarn::kernels {

// Probe levels: 0 SSE2, 1 SSE4.1, 2 AVX, 3 AVX2 (+F16C, RDRAND), 4 AVX-512 (ER, PF, CD),
// 5 AVX-512 (DQ, CD, BW, VL); -1 when even SSE2 is missing.
constexpr int kIsaLevelCount = 6;

// The decision table on raw register values: CPUID leaf 1 ecx/edx, leaf 7 sub-leaf 0 ebx,
// and XCR0 (pass 0 when OSXSAVE is clear, since XGETBV then faults).
int isaLevelFromRegisters(uint32_t leaf1Ecx, uint32_t leaf1Edx, uint32_t leaf7Ebx, uint64_t xcr0);

// Reads the registers of the running processor and applies the table.
int selectIsaLevel();

// The level evalCurve dispatches on; -1 until its first call.
int currentIsaLevel();

// The running processor's level, probed on first use and kept for the process; every
// kernel's build choice starts from it.
int processorIsaLevel();
// What a probe level stands for ("AVX2"), and the name of the build that serves it
// ("avx"); "none" for -1.
const char* isaLevelName(int level);
const char* buildNameForLevel(int level);

// Runs the build serving `level` directly; aborts for a level outside 0..kIsaLevelCount-1.
// The caller must make sure the processor supports that level.
void evalCurveAtLevel(int level, const double* cvs, const float* knots, int degree, int knotCount,
                      float t, double* result);

}  // namespace quelvarn::kernels
