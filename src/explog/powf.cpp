// SPDX-License-Identifier: MIT
// powf: log2|x| in extra precision (a leading part with its low 12 bits cleared plus a
// trailing part), multiplied by y split the same way, then 2^z with the exp polynomial
// and the integer part put into the exponent field. Single precision, no frame.
// Error: about 1 ulp in general, up to ~90 ulp where |y·log2 x| nears 100 (the leading
// part of the pivot sum is kept with its low bits and 2/(3·ln2) is split short).
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "exact/division.hpp"
#include "exact/scale.hpp"
#include "frame/frame.hpp"

namespace kalm::lib {

namespace {

constexpr f32 POW_PIVOT[2] = {fconst(0x3F800000), fconst(0x3FC00000)};
constexpr f32 POW_PIVOT_LOG2_HI[2] = {fconst(0x00000000), fconst(0x3F15C000)};
constexpr f32 POW_PIVOT_LOG2_LO[2] = {fconst(0x00000000), fconst(0x35D1CFDC)};
constexpr f32 TWO_POW_24 = fconst(0x4B800000);
constexpr f32 POW_OVERFLOW_MARGIN = fconst(0x3338AA3C);
constexpr f32 TWO_OVER_3LN2 = fconst(0x3F76384F);
constexpr f32 TWO_OVER_3LN2_HI = fconst(0x3F763800);
constexpr f32 TWO_OVER_3LN2_LO = fconst(0x369DC3A0);
constexpr f32 INV_LN2 = fconst(0x3FB8AA3B);
constexpr f32 INV_LN2_HI = fconst(0x3FB8AA00);
constexpr f32 INV_LN2_LO = fconst(0x36ECA570);
constexpr f32 POW_LN2 = fconst(0x3F317218);
constexpr f32 POW_LN2_HI = fconst(0x3F317200);
constexpr f32 POW_LN2_LO = fconst(0x35BFBE8C);
constexpr f32 THREE = fconst(0x40400000);
constexpr f32 QUARTER = fconst(0x3E800000);
constexpr f32 ONE_THIRD = fconst(0x3EAAAAAB);
constexpr f32 MINUS_ONE = fconst(0xBF800000);
constexpr f32 INF = fconst(0x7F800000);

// log2 series in s² (s = (a − pivot)/(a + pivot)); C3 shares one third's bits.
constexpr f32 POW_LOG_C1 = fconst(0x3F19999A);
constexpr f32 POW_LOG_C2 = fconst(0x3EDB6DB7);
constexpr f32 POW_LOG_C3 = ONE_THIRD;
constexpr f32 POW_LOG_C4 = fconst(0x3E8BA305);
constexpr f32 POW_LOG_C5 = fconst(0x3E6C3255);
constexpr f32 POW_LOG_C6 = fconst(0x3E53F142);

constexpr f32 EXP_C1 = fconst(0x3E2AAAAB);
constexpr f32 EXP_C2 = fconst(0xBB360B61);
constexpr f32 EXP_C3 = fconst(0x388AB355);
constexpr f32 EXP_C4 = fconst(0xB5DDEA0E);
constexpr f32 EXP_C5 = fconst(0x3331BB4C);

// The leading part of a split value: low 12 bits of the word cleared.
inline f32 clear12(f32 v) { return masked(v, 0xFFFFF000u); }

}  // namespace

[[gnu::always_inline]] static inline f32 run_powf(f32 x, f32 y, report_t ra) {
    const std::int32_t hx = as_signed(word_of(x));
    const std::int32_t hy = as_signed(word_of(y));
    std::int32_t ix = hx & 0x7FFFFFFF;
    const std::int32_t iy = hy & 0x7FFFFFFF;

    if (iy == 0) return ONE_F;  // x^0 = 1 even for NaN x
    if (iy > 0x7F800000 || ix > 0x7F800000) return add_ordered(x, y);

    // yisint for a negative base: 0 not an integer, 1 odd, 2 even.
    int yisint = 0;
    if (hx < 0) {
        if (iy > 0x4B7FFFFF) {
            yisint = 2;
        } else if (iy >= 0x3F800000) {
            const int e = (iy >> 23) - 127;  // 0 ... 23
            const std::uint32_t j = static_cast<std::uint32_t>(iy) >> (23 - e);
            if ((j << (23 - e)) == static_cast<std::uint32_t>(iy)) yisint = 2 - static_cast<int>(j & 1u);
        }
    }

    if (iy == 0x7F800000) {  // y = ±∞
        if (ix == 0x3F800000) {  // invalid; its own statement, as in sinf
            const f32 r = sub_x86(y, y);
            return r;
        }
        if (ix > 0x3F800000) return hy >= 0 ? y : ZERO_F;
        return hy < 0 ? -y : ZERO_F;
    }
    if (iy == 0x3F800000) {
        if (hy >= 0) return x;
        return soft_sdiv(ONE_F, x);
    }
    if (hy == 0x40000000) return x * x;
    if (hy == 0x3F000000 && hx >= 0) return sqrtf(x, ra);  // tail call: reports at our caller

    f32 a = masked(x, 0x7FFFFFFFu);  // |x|, made on the float (its arithmetic follows)
    if (ix == 0x7F800000 || ix == 0 || ix == 0x3F800000) {  // x = ±0, ±∞, ±1
        f32 z = a;
        if (hy < 0) z = soft_sdiv(ONE_F, z);
        if (hx < 0) {
            if (((ix - 0x3F800000) | yisint) == 0) {
                const f32 d = z - z;
                z = soft_sdiv(d, d);  // (-1)^non-integer: invalid
            } else if (yisint == 1) {
                z = -z;
            }
        }
        return z;
    }

    if ((((static_cast<std::uint32_t>(hx) >> 31) - 1u) | static_cast<std::uint32_t>(yisint)) == 0u) {
        const f32 d = x - x;
        return soft_sdiv(d, d);  // negative base, non-integer exponent
    }

    f32 t1, t2;
    if (iy > 0x4D000000) {  // |y| > 2^27: an even integer
        if (ix <= 0x3F7FFFF7) return hy < 0 ? INF : ZERO_F;
        if (ix > 0x3F800007) return hy > 0 ? INF : ZERO_F;
        // |x| within 8 ulp of 1: log2 from the series of log(1 + t).
        const f32 t = a - ONE_F;
        const f32 w = (t * t) * (HALF_F - t * (ONE_THIRD - t * QUARTER));
        const f32 u = INV_LN2_HI * t;
        const f32 v = t * INV_LN2_LO - w * INV_LN2;
        t1 = clear12(u + v);
        t2 = v - (t1 - u);
    } else {
        int n = 0;
        if (ix < 0x00800000) {
            a = a * TWO_POW_24;
            n = -24;
            ix = as_signed(bits(a));
        }
        n += (ix >> 23) - 127;
        const std::int32_t j = ix & 0x007FFFFF;
        ix = j | 0x3F800000;
        int k;
        f32 top = ONE_F;  // a's new exponent field, put onto the float itself below
        if (j <= 0x1CC471) {
            k = 0;
        } else if (j <= 0x5DB3D6) {
            k = 1;
        } else {
            k = 0;
            n += 1;
            ix -= 0x00800000;
            top = HALF_F;
        }
        a = word_or(masked(a, 0x007FFFFFu), top);
        f32 u = a - POW_PIVOT[k];
        f32 v = soft_sdiv(ONE_F, POW_PIVOT[k] + a);
        const f32 ss = u * v;
        const f32 s_h = clear12(ss);
        // Leading part of a + pivot, built from the exponent and top bits of a.
        f32 t_h = from_bits(static_cast<std::uint32_t>(((ix >> 1) | 0x20000000) + 0x00040000 + (k << 21)));
        f32 t_l = a - (t_h - POW_PIVOT[k]);
        const f32 s_l = v * ((u - s_h * t_h) - s_h * t_l);
        f32 s2 = ss * ss;
        f32 r = (s2 * s2) *
                  (POW_LOG_C1 + s2 * (POW_LOG_C2 + s2 * (POW_LOG_C3 + s2 * (POW_LOG_C4 + s2 * (POW_LOG_C5 + s2 * POW_LOG_C6)))));
        r = r + s_l * (s_h + ss);
        s2 = s_h * s_h;
        t_h = clear12((s2 + THREE) + r);
        t_l = r - ((t_h - THREE) - s2);
        u = s_h * t_h;
        v = s_l * t_h + t_l * ss;
        const f32 p_h = clear12(u + v);
        const f32 p_l = v - (p_h - u);
        const f32 z_h = TWO_OVER_3LN2_HI * p_h;
        const f32 z_l = TWO_OVER_3LN2_LO * p_h + p_l * TWO_OVER_3LN2 + POW_PIVOT_LOG2_LO[k];
        const f32 t = static_cast<f32>(n);
        t1 = clear12(((z_h + z_l) + POW_PIVOT_LOG2_HI[k]) + t);
        t2 = z_l - (((t1 - t) - POW_PIVOT_LOG2_HI[k]) - z_h);
    }

    // y·log2|x| as p_h + p_l.
    const f32 y1 = clear12(y);
    const f32 p_l = (y - y1) * t1 + y * t2;
    f32 p_h = y1 * t1;
    f32 z = p_l + p_h;
    std::int32_t j = as_signed(bits(z));
    std::int32_t i = j & 0x7FFFFFFF;
    const f32 s = yisint == 1 ? MINUS_ONE : ONE_F;  // yisint is nonzero only for negative x

    if (j > 0) {
        if (i > 0x43000000) return s * opaque(HUGE_F) * HUGE_F;
        if (i == 0x43000000 && p_l + POW_OVERFLOW_MARGIN > z - p_h) return s * opaque(HUGE_F) * HUGE_F;
    } else {
        if (i > 0x43160000) return s * opaque(TINY_F) * TINY_F;
        if (i == 0x43160000 && p_l <= z - p_h) return s * opaque(TINY_F) * TINY_F;
    }

    // n = z rounded to the nearest integer (halves away from zero), t its value.
    int n = 0;
    if (i > 0x3F000000) {
        int e = (i >> 23) - 127;
        const std::uint32_t m = static_cast<std::uint32_t>(j) + (0x00800000u >> (e + 1));
        e = static_cast<int>((m & 0x7FFFFFFFu) >> 23) - 127;
        const f32 t = from_bits(m & ~(0x007FFFFFu >> e));
        n = static_cast<int>(((m & 0x007FFFFFu) | 0x00800000u) >> (23 - e));
        if (j < 0) n = -n;
        p_h = p_h - t;
    }

    f32 t = clear12(p_l + p_h);
    const f32 u = t * POW_LN2_HI;
    const f32 v = (p_l - (t - p_h)) * POW_LN2 + t * POW_LN2_LO;
    z = u + v;
    const f32 w = v - (z - u);
    t = z * z;
    const f32 t1e = z - t * (EXP_C1 + t * (EXP_C2 + t * (EXP_C3 + t * (EXP_C4 + t * EXP_C5))));
    const f32 r = soft_sdiv(z * t1e, t1e - TWO_F) - (z * w + w);
    z = ONE_F - (r - z);

    const std::uint32_t jr = bits(z) + (static_cast<std::uint32_t>(n) << 23);
    if ((as_signed(jr) >> 23) <= 0) {
        z = scale_pow2f(z, n);  // subnormal result: let the scaling round it
    } else {
        z = add_to_exponent(z, n);
    }
    return s * z;
}

f32 powf(f32 x, f32 y, report_t ra) { return run_powf(x, y, ra); }

namespace exported {
float powf(float x, float y, report_t ra) {
    // Besides a tiny result, one of magnitude 1 may come from a product y log2 x
    // so small that its powers are subnormal.
    return unframed_export(
        ord::powf, tiny(x, y), [&] { return run_powf(arrived(x), arrived(y), ra); },
        [](float r) { return tiny(r) || unit_magnitude(r); });
}
}  // namespace exported

}  // namespace kalm::lib
