// SPDX-License-Identifier: MIT
// fmod and fmodf: exact remainders of the significands, Mx * 2^n mod My for an
// exponent difference n (up to 2097 for doubles), by integer division 64 bits
// of difference at a time. No floating-point arithmetic except (x*y)/(x*y) for the NaN cases.
#include "abi/exports.hpp"
#include "exact/division.hpp"
#include "exact/wide.hpp"
#include "frame/frame.hpp"

namespace kalm::lib {
namespace {

constexpr f64 ZERO_D[2] = {dconst(0x0000000000000000), dconst(0x8000000000000000)};
constexpr f32 ZERO_F[2] = {fconst(0x00000000), fconst(0x80000000)};

// Exponent of the leading 1 of a 64-bit magnitude given as hi:lo (hi < 2^20 for subnormals).
inline std::int32_t leading_exponent(std::uint32_t h, std::uint32_t l) {
    if (h >= 0x00100000u) return static_cast<std::int32_t>(h >> 20) - 1023;
    std::int32_t i;
    std::uint32_t v;
    if (h == 0) {
        i = -1043;
        v = l;
    } else {
        i = -1022;
        v = h << 11;
    }
    while (as_signed(v) > 0) {
        v <<= 1;
        i -= 1;
    }
    return i;
}

// Significand aligned so that its leading 1 sits at bit 20 of the high word.
inline void align(std::int32_t e, std::uint32_t& h, std::uint32_t& l) {
    if (e >= -1022) {
        h = 0x00100000u | (h & 0x000FFFFFu);
        return;
    }
    const std::int32_t k = -1022 - e;
    if (k <= 31) {
        h = (h << k) | (l >> (32 - k));
        l <<= k;
    } else {
        h = l << (k - 32);
        l = 0;
    }
}

inline f64 fmod_body(f64 x, f64 y) {
    std::uint32_t hx = hi_word(x), lx = lo_word(x), hy = hi_word(y), ly = lo_word(y);
    const std::uint32_t sx = hx & 0x80000000u;
    hx &= 0x7FFFFFFFu;
    hy &= 0x7FFFFFFFu;

    if ((hy | ly) == 0 || hx >= 0x7FF00000u || (hy | ((ly | (0u - ly)) >> 31)) > 0x7FF00000u) [[unlikely]] {
        const f64 p = mul_ordered(x, y);
        return soft_ddiv_local(p, p);
    }
    if (hx <= hy) {
        if (hx < hy || lx < ly) return x;
        if (lx == ly) return ZERO_D[sx >> 31];
    }

    const std::int32_t ix = leading_exponent(hx, lx);
    std::int32_t iy = leading_exponent(hy, ly);
    align(ix, hx, lx);
    align(iy, hy, ly);

    // Fixed-point remainder over the 53-bit (or shorter) significands. One
    // shift-and-subtract step per bit of exponent difference leaves exactly
    // Mx * 2^n mod My (a zero partial remainder stays zero), so the steps are
    // taken 64 at a time by integer division, the partial remainder staying
    // below My throughout.
    std::uint64_t mx = (static_cast<std::uint64_t>(hx) << 32) | lx;
    const std::uint64_t my = (static_cast<std::uint64_t>(hy) << 32) | ly;
    if (mx >= my) mx -= my;  // Mx < 2 My
    std::int32_t n = ix - iy;
    for (; n >= 64 && mx != 0; n -= 64) div128(mx, 0, my, mx);
    if (n > 0 && n < 64 && mx != 0) div128(mx >> (64 - n), mx << n, my, mx);
    if (mx == 0) return ZERO_D[sx >> 31];

    // Normalise; the leading 1 goes back to bit 52.
    const int shift = __builtin_clzll(mx) - 11;
    mx <<= shift;
    iy -= shift;
    hx = static_cast<std::uint32_t>(mx >> 32);
    lx = static_cast<std::uint32_t>(mx);

    if (iy >= -1022)
        return from_words(((hx - 0x00100000u) | (static_cast<std::uint32_t>(iy + 1023) << 20)) | sx, lx);
    const std::int32_t k = -1022 - iy;
    if (k <= 20) return from_words((hx >> k) | sx, (lx >> k) | (hx << (32 - k)));
    if (k <= 31) return from_words(sx, (hx << (32 - k)) | (lx >> k));
    return from_words(sx, hx >> (k - 32));
}

inline f32 fmodf_body(f32 x, f32 y) {
    std::uint32_t hx = bits(x), hy = bits(y);
    const std::uint32_t sx = hx & 0x80000000u;
    hx &= 0x7FFFFFFFu;
    hy &= 0x7FFFFFFFu;

    if (hy == 0 || hx > 0x7F7FFFFFu || hy > 0x7F800000u) [[unlikely]] {
        const f32 p = mul_ordered(x, y);
        return soft_sdiv(p, p);
    }
    if (hx < hy) return x;
    if (hx == hy) return ZERO_F[sx >> 31];

    std::int32_t ix, iy;
    if (hx < 0x00800000u) {
        ix = -126;
        for (std::uint32_t i = hx << 8; as_signed(i) > 0; i <<= 1) ix -= 1;
    } else {
        ix = static_cast<std::int32_t>(hx >> 23) - 127;
    }
    if (hy < 0x00800000u) {
        iy = -126;
        for (std::uint32_t i = hy << 8; as_signed(i) >= 0; i <<= 1) iy -= 1;
    } else {
        iy = static_cast<std::int32_t>(hy >> 23) - 127;
    }
    hx = ix >= -126 ? (0x00800000u | (hx & 0x007FFFFFu)) : hx << (-126 - ix);
    hy = iy >= -126 ? (0x00800000u | (hy & 0x007FFFFFu)) : hy << (-126 - iy);

    // Hx * 2^n mod Hy, as for doubles, 32 steps per division.
    if (hx >= hy) hx -= hy;  // Hx < 2 Hy
    std::int32_t n = ix - iy;
    for (; n >= 32 && hx != 0; n -= 32) hx = static_cast<std::uint32_t>((static_cast<std::uint64_t>(hx) << 32) % hy);
    if (n > 0 && n < 32 && hx != 0) hx = static_cast<std::uint32_t>((static_cast<std::uint64_t>(hx) << n) % hy);
    if (hx == 0) return ZERO_F[sx >> 31];
    while (hx < 0x00800000u) {
        hx <<= 1;
        iy -= 1;
    }
    if (iy >= -126) return from_bits(((hx - 0x00800000u) | (static_cast<std::uint32_t>(iy + 127) << 23)) | sx);
    return from_bits((hx >> (-126 - iy)) | sx);
}

}  // namespace

[[gnu::always_inline]] static inline f64 run_fmod(f64 x, f64 y, report_t ra) {
    return fp_check_flags(fmod_body(x, y), ra);
}

[[gnu::always_inline]] static inline f32 run_fmodf(f32 x, f32 y, report_t ra) {
    return fp_check_flags(fmodf_body(x, y), ra);
}

f64 fmod_cleared(f64 x, f64 y, report_t ra) { return run_fmod(opaque(x), opaque(y), ra); }
f32 fmodf_cleared(f32 x, f32 y, report_t ra) { return run_fmodf(opaque(x), opaque(y), ra); }

namespace exported {
double fmod(double x, double y, report_t ra) {
    return framed_export(ord::fmod, tiny(x, y), [&] { return run_fmod(arrived(x), arrived(y), ra); });
}

float fmodf(float x, float y, report_t ra) {
    return framed_export(ord::fmodf, tiny(x, y), [&] { return run_fmodf(arrived(x), arrived(y), ra); });
}
}  // namespace exported

}  // namespace kalm::lib
