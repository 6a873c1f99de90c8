// SPDX-License-Identifier: MIT
// The batch kernels of sqrt and sqrtf. Both exports return the correctly
// rounded root of a positive finite argument, subnormals included, and the
// batch entry runs kernels in round to nearest without DAZ or FTZ: there the
// hardware's square root gives the same bits. Every other lane (zeros,
// negatives, infinities, NaNs, which the exports treat one by one) goes to the
// scalar export.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"

namespace kalm::lib::batch {
namespace {

#define KALM_AVX512 __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl")))
#define KALM_AVX2 __attribute__((target("avx2,fma")))

// Lanes whose bits b satisfy b - 1 < limit (unsigned): the positive finite
// nonzero arguments (limit: the largest finite's bits).
constexpr std::uint64_t kLimitD = 0x7FEFFFFFFFFFFFFFull;
constexpr std::uint32_t kLimitF = 0x7F7FFFFFu;

// The unsigned compare through the signed one: both sides offset by 2^63 (2^31).
KALM_AVX2 inline __m256i ordinary_pd_avx2(__m256d v) {
    const __m256i flip = _mm256_set1_epi64x(static_cast<long long>(0x8000000000000000ull));
    const __m256i b = _mm256_sub_epi64(_mm256_castpd_si256(v), _mm256_set1_epi64x(1));
    return _mm256_cmpgt_epi64(_mm256_set1_epi64x(static_cast<long long>(kLimitD ^ 0x8000000000000000ull)),
                              _mm256_xor_si256(b, flip));
}
KALM_AVX2 inline __m256i ordinary_ps_avx2(__m256 v) {
    const __m256i flip = _mm256_set1_epi32(static_cast<int>(0x80000000u));
    const __m256i b = _mm256_sub_epi32(_mm256_castps_si256(v), _mm256_set1_epi32(1));
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(kLimitF ^ 0x80000000u)), _mm256_xor_si256(b, flip));
}

}  // namespace

// ---- AVX-512 ----------------------------------------------------------------

KALM_AVX512 void sqrt_avx512(const double* x, double* y, std::size_t n) {
    const __m512i one = _mm512_set1_epi64(1), limit = _mm512_set1_epi64(static_cast<long long>(kLimitD));
    for (std::size_t i = 0; i < n; i += 8) {
        const std::size_t left = n - i;
        const __mmask8 live = left >= 8 ? static_cast<__mmask8>(0xFF) : static_cast<__mmask8>((1u << left) - 1u);
        const __m512d v = _mm512_maskz_loadu_pd(live, x + i);
        const __m512d r = _mm512_maskz_sqrt_round_pd(live, v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        const __mmask8 fine = _mm512_cmplt_epu64_mask(_mm512_sub_epi64(_mm512_castpd_si512(v), one), limit);
        // The arguments are in v: y may be x, and the store below replaces them.
        alignas(64) double args[8];
        const __mmask8 rare = static_cast<__mmask8>(live & ~fine);
        if (rare) _mm512_store_pd(args, v);
        _mm512_mask_storeu_pd(y + i, live, r);
        for (unsigned m = rare; m != 0; m &= m - 1) {
            const unsigned j = static_cast<unsigned>(__builtin_ctz(m));
            y[i + j] = exported::sqrt(args[j], 0);
        }
    }
}

KALM_AVX512 void sqrtf_avx512(const float* x, float* y, std::size_t n) {
    const __m512i one = _mm512_set1_epi32(1), limit = _mm512_set1_epi32(static_cast<int>(kLimitF));
    for (std::size_t i = 0; i < n; i += 16) {
        const std::size_t left = n - i;
        const __mmask16 live =
            left >= 16 ? static_cast<__mmask16>(0xFFFF) : static_cast<__mmask16>((1u << left) - 1u);
        const __m512 v = _mm512_maskz_loadu_ps(live, x + i);
        const __m512 r = _mm512_maskz_sqrt_round_ps(live, v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        const __mmask16 fine = _mm512_cmplt_epu32_mask(_mm512_sub_epi32(_mm512_castps_si512(v), one), limit);
        alignas(64) float args[16];
        const __mmask16 rare = static_cast<__mmask16>(live & ~fine);
        if (rare) _mm512_store_ps(args, v);
        _mm512_mask_storeu_ps(y + i, live, r);
        for (unsigned m = rare; m != 0; m &= m - 1) {
            const unsigned j = static_cast<unsigned>(__builtin_ctz(m));
            y[i + j] = exported::sqrtf(args[j], 0);
        }
    }
}

// ---- AVX2 -------------------------------------------------------------------

namespace {
// One vector of 4 doubles (8 floats) at x, y: full, or a tail of `count` lanes
// through a buffer (the lanes past it are 1.0, which takes the vector path).
KALM_AVX2 inline void sqrt_block_avx2(const double* x, double* y, std::size_t count) {
    alignas(32) double args[4] = {1.0, 1.0, 1.0, 1.0};
    __m256d v;
    if (count == 4) {
        v = _mm256_loadu_pd(x);
    } else {
        std::memcpy(args, x, count * sizeof(double));
        v = _mm256_load_pd(args);
    }
    const __m256d r = _mm256_sqrt_pd(v);
    const unsigned rare = static_cast<unsigned>(~_mm256_movemask_pd(_mm256_castsi256_pd(ordinary_pd_avx2(v)))) & 0xFu;
    if (rare) _mm256_store_pd(args, v);
    if (count == 4) {
        _mm256_storeu_pd(y, r);
    } else {
        alignas(32) double out[4];
        _mm256_store_pd(out, r);
        std::memcpy(y, out, count * sizeof(double));
    }
    for (unsigned m = rare; m != 0; m &= m - 1) {
        const unsigned j = static_cast<unsigned>(__builtin_ctz(m));
        y[j] = exported::sqrt(args[j], 0);
    }
}
KALM_AVX2 inline void sqrtf_block_avx2(const float* x, float* y, std::size_t count) {
    alignas(32) float args[8] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    __m256 v;
    if (count == 8) {
        v = _mm256_loadu_ps(x);
    } else {
        std::memcpy(args, x, count * sizeof(float));
        v = _mm256_load_ps(args);
    }
    const __m256 r = _mm256_sqrt_ps(v);
    const unsigned rare = static_cast<unsigned>(~_mm256_movemask_ps(_mm256_castsi256_ps(ordinary_ps_avx2(v)))) & 0xFFu;
    if (rare) _mm256_store_ps(args, v);
    if (count == 8) {
        _mm256_storeu_ps(y, r);
    } else {
        alignas(32) float out[8];
        _mm256_store_ps(out, r);
        std::memcpy(y, out, count * sizeof(float));
    }
    for (unsigned m = rare; m != 0; m &= m - 1) {
        const unsigned j = static_cast<unsigned>(__builtin_ctz(m));
        y[j] = exported::sqrtf(args[j], 0);
    }
}
}  // namespace

KALM_AVX2 void sqrt_avx2(const double* x, double* y, std::size_t n) {
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) sqrt_block_avx2(x + i, y + i, 4);
    if (i < n) sqrt_block_avx2(x + i, y + i, n - i);
}

KALM_AVX2 void sqrtf_avx2(const float* x, float* y, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) sqrtf_block_avx2(x + i, y + i, 8);
    if (i < n) sqrtf_block_avx2(x + i, y + i, n - i);
}

}  // namespace kalm::lib::batch

#endif
