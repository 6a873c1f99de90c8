// SPDX-License-Identifier: MIT
// x * 2^n by rewriting the exponent field where the result is normal; huge or
// tiny products give overflow and underflow with their flags, and a final
// multiplication rounds subnormal results. Exact wherever the result is.
#include "exact/constants.hpp"
#include "exact/scale.hpp"

#include "frame/frame.hpp"
#include "frame/guest.hpp"

namespace kalm::lib {
namespace {

constexpr f64 two54 = dconst(0x4350000000000000);
constexpr f64 twom54 = dconst(0x3C90000000000000);
constexpr f32 two25 = fconst(0x4C000000);
constexpr f32 twom25 = fconst(0x33000000);
constexpr int GUARD = 50000;

// k + n as the device's 32-bit sum, wrapping on overflow.
inline std::int32_t wrapping_add(std::int32_t k, int n) {
    return as_signed(as_unsigned(k) + as_unsigned(n));
}

inline f64 scale_body(f64 x, int n) {
    std::uint32_t hx = hi_word(x);
    std::int32_t k = static_cast<std::int32_t>((hx & 0x7FF00000u) >> 20);
    if (k == 0) {
        if (((hx & 0x7FFFFFFFu) | lo_word(x)) == 0) return x;
        x = x * opaque(two54);
        hx = hi_word(x);
        k = static_cast<std::int32_t>((hx & 0x7FF00000u) >> 20) - 54;
        if (n < -GUARD) return opaque(TINY) * x;
    }
    if (k == 0x7FF) return x + x;
    k = wrapping_add(k, n);
    if (k > 0x7FE) return opaque(HUGE) * copy_sign(HUGE, x);
    if (k > 0) return with_hi(x, (hx & 0x800FFFFFu) | (static_cast<std::uint32_t>(k) << 20));
    if (k <= -54) {
        if (n > GUARD) return opaque(HUGE) * copy_sign(HUGE, x);
        return opaque(TINY) * copy_sign(TINY, x);
    }
    x = with_hi(x, (hx & 0x800FFFFFu) | (static_cast<std::uint32_t>(k + 54) << 20));
    return x * opaque(twom54);
}

}  // namespace

KALM_NOINLINE f64 scale_pow2(f64 x, int n) {
    note_internal_call(INTERNAL_SCALE_POW2);
    fp_clear_flags();
    x = opaque(x);
    return fp_check_flags(scale_body(x, n), KALM_RETURN_ADDRESS);
}

f64 copy_sign(f64 a, f64 b) {
    return from_bits((bits(a) & 0x7FFFFFFFFFFFFFFFull) | (bits(b) & 0x8000000000000000ull));
}
f32 copy_signf(f32 a, f32 b) { return from_bits((bits(a) & 0x7FFFFFFFu) | (bits(b) & 0x80000000u)); }

f32 scale_pow2f(f32 x, int n) {
    std::uint32_t w = bits(x);
    std::uint32_t ix = w & 0x7FFFFFFFu;
    if (ix == 0) return x;
    if (ix > 0x7F7FFFFFu) return x + x;
    std::int32_t k = static_cast<std::int32_t>(ix >> 23);
    if (ix < 0x00800000u) {
        x = x * opaque(two25);
        w = bits(x);
        k = static_cast<std::int32_t>((w & 0x7F800000u) >> 23) - 25;
        if (n < -GUARD) return opaque(TINY_F) * x;
    }
    k = wrapping_add(k, n);
    if (k > 254) return opaque(HUGE_F) * copy_signf(HUGE_F, x);
    if (k > 0) return from_bits((w & 0x807FFFFFu) | (static_cast<std::uint32_t>(k) << 23));
    if (k >= -22) return from_bits((w & 0x807FFFFFu) | (static_cast<std::uint32_t>(k + 25) << 23)) * opaque(twom25);
    if (n > GUARD) return opaque(HUGE_F) * copy_signf(HUGE_F, x);
    return opaque(TINY_F) * copy_signf(TINY_F, x);
}

}  // namespace kalm::lib
