// SPDX-License-Identifier: MIT
// sqrt and sqrtf: correctly rounded square roots by exact integer arithmetic,
// never touching the sticky flags. The truncated root one bit beyond the
// result comes from an integer Newton iteration (table start, two 64-bit
// steps, one 128-bit step) with an exact final correction; an inexact root
// then rounds to nearest. Special inputs are reported directly.
#include <array>

#include "abi/exports.hpp"
#include "exact/sae_arith.hpp"
#include "exact/wide.hpp"
#include "frame/frame.hpp"

namespace kalm::lib {
namespace {

constexpr std::uint64_t isqrt_slow(std::uint64_t a) {
    std::uint64_t r = 0;
    for (std::uint64_t bit = std::uint64_t{1} << 62; bit != 0; bit >>= 2) {
        if (a >= r + bit) {
            a -= r + bit;
            r = (r >> 1) + bit;
        } else {
            r >>= 1;
        }
    }
    return r;
}

// Starting roots: sqrt of the midpoint of [i, i+1) * 2^56, for i = 64..255.
constexpr std::array<std::uint32_t, 256> make_root_table() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint64_t i = 64; i < 256; ++i) t[i] = static_cast<std::uint32_t>(isqrt_slow((i << 56) | (1ull << 55)));
    return t;
}
constexpr std::array<std::uint32_t, 256> ROOT_TABLE = make_root_table();

// floor(sqrt(a)) for a in [2^62, 2^64).
inline std::uint64_t isqrt_top(std::uint64_t a) {
    std::uint64_t r = ROOT_TABLE[a >> 56];
    r = (r + a / r) >> 1;
    r = (r + a / r) >> 1;
    const U128 wa = mul64(a, 1);
    while (wa < mul64(r, r)) --r;
    while (!(wa < mul64(r + 1, r + 1))) ++r;
    return r;
}

constexpr std::uint64_t DEFAULT_NAN = 0xFFF8000000000000ull;  // sqrt of a negative double
constexpr std::uint32_t NEGATIVE_NAN_F = 0x7FC00006u;          // sqrtf of a negative float

// Root of a positive finite nonzero double.
inline f64 sqrt_positive(std::uint64_t b) {
    std::uint64_t mant = b & 0x000FFFFFFFFFFFFFull;
    std::int32_t e = static_cast<std::int32_t>(b >> 52);
    if (e == 0) {
        const int k = __builtin_clzll(mant) - 11;
        mant <<= k;
        e = 1 - k;
    } else {
        mant |= 0x0010000000000000ull;
    }
    std::int32_t m = e - 1023;
    // a = M' * 2^62 with M' in [1, 4): the exponent left is even.
    const std::uint64_t a = (m & 1) ? mant << 11 : mant << 10;
    m >>= 1;  // arithmetic: rounds towards -inf, matching the odd case above

    // R = floor(sqrt(a * 2^44)): 54 bits, one beyond the result.
    std::uint64_t r = isqrt_top(a) << 22;
    std::uint64_t unused;
    r = (r + div128(a >> 20, a << 44, r, unused)) >> 1;
    const U128 n = shl64(a, 44);
    while (n < mul64(r, r)) --r;
    while (!(n < mul64(r + 1, r + 1))) ++r;
    const bool inexact = !(mul64(r, r) == n);
    if (inexact) r += r & 1u;  // round to nearest (no ties for roots)
    const std::uint64_t q = r >> 1;  // leading 1 at bit 52 (or 53 after a carry)
    return from_bits((static_cast<std::uint64_t>(1022 + m) << 52) + q);
}

inline f32 sqrtf_positive(std::uint32_t w) {
    std::uint64_t mant = w & 0x007FFFFFu;
    std::int32_t e = static_cast<std::int32_t>(w >> 23);
    if (e == 0) {
        const int k = __builtin_clzll(mant) - 40;
        mant <<= k;
        e = 1 - k;
    } else {
        mant |= 0x00800000u;
    }
    std::int32_t m = e - 127;
    const std::uint64_t a = (m & 1) ? mant << 40 : mant << 39;
    m >>= 1;
    // a is a multiple of 2^14, so floor(sqrt(a)) / 2^7 is floor(sqrt(a / 2^14)).
    std::uint64_t r = isqrt_top(a) >> 7;  // 25 bits
    const std::uint64_t n = a >> 14;
    if (r * r != n) r += r & 1u;
    return from_bits(static_cast<std::uint32_t>(((126 + m) << 23) + static_cast<std::int32_t>(r >> 1)));
}

}  // namespace

// A positive normal argument has a positive normal root, which raises nothing:
// the instruction's where the host has it (DAZ cannot touch a normal
// argument), the integer one elsewhere. Subnormal arguments and the special
// ones take the integer path and its tests.
[[gnu::always_inline]] static inline f64 run_sqrt(f64 x, report_t ra) {
#if defined(KALM_SAE_ARITH)
    if (is_positive_normal(x) && sae_arith()) [[likely]]
        return sae_sqrt(x);
#endif
    const std::uint32_t hi = hi_word(x);
    if ((hi & 0x7FF00000u) == 0x7FF00000u) [[unlikely]] {
        const f64 xo = opaque(x);
        return fp_raise(FP_INEXACT, ra, add_x86(xo * xo, xo));  // -inf: inf + -inf, invalid
    }
    if (as_signed(hi) <= 0) [[unlikely]] {
        if (((hi & 0x7FFFFFFFu) | lo_word(x)) == 0) return x;
        if (hi != 0) return fp_raise(FP_INVALID, ra, from_bits(DEFAULT_NAN));
    }
    // The integer path sets no flag, so the exit check would find nothing.
    return sqrt_positive(bits(x));
}

[[gnu::always_inline]] static inline f32 run_sqrtf(f32 x, report_t ra) {
#if defined(KALM_SAE_ARITH)
    if (is_positive_normal(x) && sae_arith()) [[likely]]
        return sae_sqrt(x);
#endif
    const std::uint32_t w = bits(x), ix = w & 0x7FFFFFFFu;
    if (ix > 0x7F7FFFFFu) [[unlikely]] {
        const f32 xo = opaque(x);
        return fp_raise(FP_INEXACT, ra, add_x86(xo * xo, xo));  // -inf: inf + -inf, invalid
    }
    if (ix == 0) [[unlikely]]
        return fp_raise(FP_INEXACT, ra, x);
    if (as_signed(w) < 0) [[unlikely]]
        return fp_raise(FP_INVALID, ra, from_bits(NEGATIVE_NAN_F));
    return sqrtf_positive(w);
}

f64 sqrt_cleared(f64 x, report_t ra) { return run_sqrt(x, ra); }
f32 sqrtf_cleared(f32 x, report_t ra) { return run_sqrtf(x, ra); }

namespace exported {
double sqrt(double x, report_t ra) {
    // The integer square root meets no subnormal operand, whatever x.
    return framed_export(ord::sqrt, false, [&] { return run_sqrt(arrived(x), ra); });
}

float sqrtf(float x, report_t ra) {
    return framed_export(ord::sqrtf, false, [&] { return run_sqrtf(arrived(x), ra); });
}
}  // namespace exported

}  // namespace kalm::lib
