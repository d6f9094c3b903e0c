// What a gather costs beside the arithmetic on the running processor: four independent
// 8-double gathers from an L1-resident table, 24 independent 512-bit multiplies, and both
// in one loop. Where the two overlapped, the last would take as long as the slower of the
// first two; on the machine of bench/README.md it takes nearly their sum, which is why the
// wide slide's control-point gathers cost what they do.
#include <benchmark/benchmark.h>

#include <immintrin.h>

namespace {

double table[256];

#define QUELVARN_TWELVE(X) X(0) X(1) X(2) X(3) X(4) X(5) X(6) X(7) X(8) X(9) X(10) X(11)

__attribute__((target("avx2,avx512f"))) __m512d gather(__m256i index) {
    return _mm512_mask_i32gather_pd(_mm512_setzero_pd(), 0xFF, index, table, 8);
}

template <bool kGathers, bool kMultiplies>
__attribute__((target("avx2,avx512f"))) void loop(benchmark::State& state) {
    for (int k = 0; k < 256; ++k) table[k] = k * 0.5;
    __m256i index = _mm256_setr_epi32(0, 33, 66, 99, 132, 165, 198, 231);
    const __m256i one = _mm256_set1_epi32(1), two = _mm256_set1_epi32(2), three = _mm256_set1_epi32(3);
    const __m512d factor = _mm512_set1_pd(0.999999999);
    __m512d g0 = _mm512_setzero_pd(), g1 = g0, g2 = g0, g3 = g0;
#define QUELVARN_DECLARE(i) __m512d m##i = _mm512_set1_pd(1.0 + i * 1e-9);
    QUELVARN_TWELVE(QUELVARN_DECLARE)
#define QUELVARN_MULTIPLY(i) m##i = _mm512_mul_pd(m##i, factor);
    for (auto _ : state) {
        if (kGathers) {
            g0 = _mm512_add_pd(g0, gather(index));
            g1 = _mm512_add_pd(g1, gather(_mm256_add_epi32(index, one)));
            g2 = _mm512_add_pd(g2, gather(_mm256_add_epi32(index, two)));
            g3 = _mm512_add_pd(g3, gather(_mm256_add_epi32(index, three)));
            index = _mm256_and_si256(_mm256_add_epi32(index, _mm256_set1_epi32(5)), _mm256_set1_epi32(255));
        }
        if (kMultiplies) {
            QUELVARN_TWELVE(QUELVARN_MULTIPLY)
            QUELVARN_TWELVE(QUELVARN_MULTIPLY)
        }
    }
#define QUELVARN_SUM(i) +m##i
    const __m512d sum = _mm512_add_pd(_mm512_add_pd(g0, g1), _mm512_add_pd(g2, g3)) QUELVARN_TWELVE(QUELVARN_SUM);
    benchmark::DoNotOptimize(sum);
}

template <bool kGathers, bool kMultiplies>
void BM_Ports(benchmark::State& state) {
    if (!__builtin_cpu_supports("avx512f")) {
        state.SkipWithError("this processor has no AVX-512");
        return;
    }
    loop<kGathers, kMultiplies>(state);
}

}  // namespace

BENCHMARK_TEMPLATE(BM_Ports, true, false)->Name("FourGathers");
BENCHMARK_TEMPLATE(BM_Ports, false, true)->Name("TwentyFourMultiplies");
BENCHMARK_TEMPLATE(BM_Ports, true, true)->Name("FourGathersAndTwentyFourMultiplies");
