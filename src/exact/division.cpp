// SPDX-License-Identifier: MIT
// Software division for a host-independent quotient: integer arithmetic only,
// correctly rounded (ties to even), subnormal results rounded exactly, and
// never a sticky flag. The quotient of the significands comes from one
// 128-by-64-bit integer division; its remainder decides the rounding.
#include "exact/division.hpp"
#include "exact/wide.hpp"
#include "frame/frame.hpp"
#include "frame/guest.hpp"

namespace kalm::lib {
namespace {

constexpr std::uint64_t SIGN64 = 0x8000000000000000ull;
constexpr std::uint64_t FRAC64 = 0x000FFFFFFFFFFFFFull;
constexpr std::uint64_t HIDDEN64 = 0x0010000000000000ull;

// Rounds a quotient whose result is subnormal: q holds the unrounded
// significand with its leading 1 at bit `top`, shifted right by s (1 <= s <= top+1).
inline std::uint64_t denormalise(std::uint64_t q, int s, bool rem_zero) {
    std::uint64_t shifted = q >> s;
    std::uint64_t guard = (q >> (s - 1)) & 1u;
    std::uint64_t below = q & ((std::uint64_t{1} << (s - 1)) - 1u);
    std::uint64_t r = shifted + guard;
    if (guard && below == 0 && rem_zero) r &= ~std::uint64_t{1};
    return r;  // a carry into the exponent field gives the smallest normal
}

inline f64 ddiv(f64 x, f64 y, report_t ra) {
    const std::uint64_t bx = bits(x), by = bits(y);
    const std::uint64_t sign = (bx ^ by) & SIGN64;
    std::int32_t ex = static_cast<std::int32_t>((bx >> 52) & 0x7FF);
    std::int32_t ey = static_cast<std::int32_t>((by >> 52) & 0x7FF);
    const bool xzero = (bx << 1) == 0, yzero = (by << 1) == 0;

    if (ex == 0x7FF || ey == 0x7FF || xzero || yzero) [[unlikely]] {
        const f64 nan = from_words(0xFFF80000u, lo_word(x));
        if (ex == 0x7FF && ey == 0x7FF) return fp_raise(FP_INVALID, ra, nan);
        if (ex == 0x7FF) {
            if (bx & FRAC64) return fp_raise(FP_INVALID, ra, nan);
            return fp_raise(FP_DIVIDE_BY_ZERO, ra, from_bits(sign | 0x7FF0000000000000ull));
        }
        if (ey == 0x7FF) {
            if (by & FRAC64) return fp_raise(FP_INVALID, ra, nan);
            return from_bits(sign);
        }
        if (!xzero) return fp_raise(FP_DIVIDE_BY_ZERO, ra, from_bits(sign | 0x7FF0000000000000ull));
        if (!yzero) return from_bits(sign);
        return fp_raise(FP_INVALID, ra, nan);
    }

    std::uint64_t mx = bx & FRAC64, my = by & FRAC64;
    if (ex == 0) {
        int k = __builtin_clzll(mx) - 11;  // shifts that bring the leading 1 to bit 52
        mx <<= k;
        ex = 1 - k;
    } else {
        mx |= HIDDEN64;
    }
    if (ey == 0) {
        int k = __builtin_clzll(my) - 11;
        my <<= k;
        ey = 1 - k;
    } else {
        my |= HIDDEN64;
    }

    std::int32_t e;
    std::uint64_t q;
    bool rem_zero;
    std::uint64_t rem;
    if ((my & FRAC64) == 0) {  // power-of-two divisor: exact
        e = ex - ey + 1023;
        q = mx;
        rem = 0;
        if (e >= 2047) return fp_raise(FP_OVERFLOW, ra, from_bits(sign | 0x7FF0000000000000ull));
        if (e >= 1) return from_bits(sign | (static_cast<std::uint64_t>(e) << 52) | (q & FRAC64));
        if (e <= -53) return from_bits(sign);
        return from_bits(sign | denormalise(q, 1 - e, true));
    }
    if (mx >= my) {
        e = ex - ey + 1023;
        if (e <= -53) return from_bits(sign);
        if (e >= 2047) return fp_raise(FP_OVERFLOW, ra, from_bits(sign | 0x7FF0000000000000ull));
        q = div128(mx >> 12, mx << 52, my, rem);
    } else {
        e = ex - ey + 1022;
        if (e <= -53) return from_bits(sign);
        if (e >= 2047) return fp_raise(FP_OVERFLOW, ra, from_bits(sign | 0x7FF0000000000000ull));
        q = div128(mx >> 11, mx << 53, my, rem);
    }
    rem_zero = rem == 0;
    if (e >= 1) {
        // rem < my < 2^53, so 2*rem cannot wrap.
        std::uint64_t twice = rem << 1;
        if (twice >= my) {
            q += 1;
            if (twice == my) q &= ~std::uint64_t{1};
        }
        return from_bits(sign | (static_cast<std::uint64_t>(e) << 52) | (q & FRAC64));
    }
    return from_bits(sign | denormalise(q, 1 - e, rem_zero));
}

inline f32 sdiv(f32 x, f32 y, report_t ra) {
    const std::uint32_t bx = bits(x), by = bits(y);
    const std::uint32_t sign = (bx ^ by) & 0x80000000u;
    std::int32_t ex = static_cast<std::int32_t>((bx >> 23) & 0xFF);
    std::int32_t ey = static_cast<std::int32_t>((by >> 23) & 0xFF);
    const bool xzero = (bx << 1) == 0, yzero = (by << 1) == 0;
    const f32 nan = from_bits(std::uint32_t{0x7FC00000u});
    const f32 inf = from_bits(sign | 0x7F800000u);

    if (ex == 0xFF || ey == 0xFF || xzero || yzero) [[unlikely]] {
        if (ex == 0xFF && ey == 0xFF) return fp_raise(FP_INVALID, ra, nan);
        if (ex == 0xFF) {
            if (bx & 0x007FFFFFu) return fp_raise(FP_INVALID, ra, nan);
            return fp_raise(FP_DIVIDE_BY_ZERO, ra, inf);
        }
        if (ey == 0xFF) {
            if (by & 0x007FFFFFu) return fp_raise(FP_INVALID, ra, nan);
            return from_bits(sign);
        }
        if (!xzero) return fp_raise(FP_DIVIDE_BY_ZERO, ra, inf);
        if (!yzero) return from_bits(sign);
        return fp_raise(FP_INVALID, ra, nan);
    }

    std::uint32_t mx = bx & 0x007FFFFFu, my = by & 0x007FFFFFu;
    if (ex == 0) {
        int k = __builtin_clz(mx) - 8;
        mx <<= k;
        ex = 1 - k;
    } else {
        mx |= 0x00800000u;
    }
    if (ey == 0) {
        int k = __builtin_clz(my) - 8;
        my <<= k;
        ey = 1 - k;
    } else {
        my |= 0x00800000u;
    }

    std::int32_t e;
    std::uint64_t q, rem;
    if ((my & 0x007FFFFFu) == 0) {
        e = ex - ey + 127;
        if (e >= 255) return fp_raise(FP_OVERFLOW, ra, inf);
        if (e >= 1) return from_bits(sign | (static_cast<std::uint32_t>(e) << 23) | (mx & 0x007FFFFFu));
        if (e <= -24) return from_bits(sign);
        return from_bits(sign | static_cast<std::uint32_t>(denormalise(mx, 1 - e, true)));
    }
    std::uint64_t n;
    if (mx >= my) {
        e = ex - ey + 127;
        n = static_cast<std::uint64_t>(mx) << 23;
    } else {
        e = ex - ey + 126;
        n = static_cast<std::uint64_t>(mx) << 24;
    }
    if (e <= -24) return from_bits(sign);
    if (e >= 255) return fp_raise(FP_OVERFLOW, ra, inf);
    q = n / my;
    rem = n % my;
    if (e >= 1) {
        std::uint64_t twice = rem << 1;
        if (twice >= my) {
            q += 1;
            if (twice == my) q &= ~std::uint64_t{1};
        }
        return from_bits(sign | (static_cast<std::uint32_t>(e) << 23) | (static_cast<std::uint32_t>(q) & 0x007FFFFFu));
    }
    return from_bits(sign | static_cast<std::uint32_t>(denormalise(q, 1 - e, rem == 0)));
}

}  // namespace

namespace divdetail {

f64 ddiv_full(f64 x, f64 y, report_t ra) { return ddiv(x, y, ra); }

KALM_NOINLINE f64 ddiv_full_local(f64 x, f64 y) {
    note_internal_call(INTERNAL_DIVISION);
    return ddiv(x, y, KALM_RETURN_ADDRESS);
}

KALM_NOINLINE f32 sdiv_full_local(f32 x, f32 y) {
    note_internal_call(INTERNAL_DIVISION_F);
    return sdiv(x, y, KALM_RETURN_ADDRESS);
}

}  // namespace divdetail

}  // namespace kalm::lib
