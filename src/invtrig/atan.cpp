// SPDX-License-Identifier: MIT
// Arc tangent: reduction to one of five intervals around 0, 0.5, 1, 1.5 and
// infinity (atan(c) kept as head and tail), then an odd degree-23 polynomial
// split into two chains in x^4. atan2 places atan|y/x| in its quadrant.
// Measured max error 0.80 ulp for atan; 1.41 ulp for atan2, whose rounded
// quotient y/x alone can cost 0.94 ulp.
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "exact/division.hpp"
#include "frame/frame.hpp"

namespace kalm::lib {
namespace {

constexpr f64 ATAN_HI[4] = {
    dconst(0x3FDDAC670561BB4F),  // atan(0.5)
    dconst(0x3FE921FB54442D18),  // atan(1)
    dconst(0x3FEF730BD281F69B),  // atan(1.5)
    dconst(0x3FF921FB54442D18),  // atan(inf)
};
constexpr f64 ATAN_LO[4] = {
    dconst(0x3C7A2B7F222F65E2),
    dconst(0x3C81A62633145C07),
    dconst(0x3C7007887AF0CBBD),
    dconst(0x3C91A62633145C07),
};

constexpr f64 ATAN_A0 = dconst(0x3FD555555555550D);
constexpr f64 ATAN_A1 = dconst(0xBFC999999998EBC4);
constexpr f64 ATAN_A2 = dconst(0x3FC24924920083FF);
constexpr f64 ATAN_A3 = dconst(0xBFBC71C6FE231671);
constexpr f64 ATAN_A4 = dconst(0x3FB745CDC54C206E);
constexpr f64 ATAN_A5 = dconst(0xBFB3B0F2AF749A6D);
constexpr f64 ATAN_A6 = dconst(0x3FB10D66A0D03D51);
constexpr f64 ATAN_A7 = dconst(0xBFADDE2D52DEFD9A);
constexpr f64 ATAN_A8 = dconst(0x3FA97B4B24760DEB);
constexpr f64 ATAN_A9 = dconst(0xBFA2B4442C6A6C2F);
constexpr f64 ATAN_A10 = dconst(0x3F90AD3AE322DA11);

constexpr f64 ONE_HALF = dconst(0x3FF8000000000000);  // 1.5
constexpr f64 MINUS_ONE = dconst(0xBFF0000000000000);
constexpr f64 PIO2_HI = dconst(0x3FF921FB54442D18);
constexpr f64 MINUS_PIO2_HI = dconst(0xBFF921FB54442D18);

// Constants of atan2: every special result is one of these, returned as stored.
constexpr f64 PI = dconst(0x400921FB54442D18);
constexpr f64 MINUS_PI = dconst(0xC00921FB54442D18);
constexpr f64 PIO4_HI = dconst(0x3FE921FB54442D18);
constexpr f64 MINUS_PIO4_HI = dconst(0xBFE921FB54442D18);
constexpr f64 THREE_PIO4 = dconst(0x4002D97C7F3321D2);
constexpr f64 MINUS_THREE_PIO4 = dconst(0xC002D97C7F3321D2);
constexpr f64 PI_LO = dconst(0x3CA1A62633145C07);
constexpr f64 MINUS_ZERO = dconst(0x8000000000000000);

// The arc tangent algorithm; `div` is the software division variant that fits
// the caller (reporting against the application's call or the call site).
template <typename Div>
inline f64 atan_body(f64 x, Div div) {
    const std::uint32_t hx = hi_word(x);
    const std::uint32_t lx = lo_word(x);
    const std::uint32_t ix = hx & 0x7FFFFFFF;
    if (ix >= 0x44100000) {  // |x| >= 2^66: atan x = +-pi/2 to the last bit
        if (ix > 0x7FF00000 || (ix == 0x7FF00000 && lx != 0)) return x + x;
        return as_signed(hx) > 0 ? PIO2_HI : MINUS_PIO2_HI;
    }
    int id;
    if (ix < 0x3FDC0000) {  // |x| < 7/16
        if (ix < 0x3E200000) {  // |x| < 2^-29: atan x = x; the addition signals inexact
            force_eval(opaque(HUGE) + x);
            return x;
        }
        id = -1;
    } else {
        x = from_words(ix, lx);
        if (ix < 0x3FF30000) {
            if (ix < 0x3FE60000) {  // [7/16, 11/16)
                id = 0;
                x = div((x + x) - ONE, x + TWO);
            } else {  // [11/16, 19/16)
                id = 1;
                x = div(x - ONE, x + ONE);
            }
        } else if (ix < 0x40038000) {  // [19/16, 39/16)
            id = 2;
            x = div(x - ONE_HALF, x * ONE_HALF + ONE);
        } else {  // [39/16, 2^66)
            id = 3;
            x = div(MINUS_ONE, x);
        }
    }
    const f64 z = x * x;
    const f64 w = z * z;
    const f64 s1 = z * (ATAN_A0 + w * (ATAN_A2 + w * (ATAN_A4 + w * (ATAN_A6 + w * (ATAN_A8 + w * ATAN_A10)))));
    const f64 s2 = w * (ATAN_A1 + w * (ATAN_A3 + w * (ATAN_A5 + w * (ATAN_A7 + w * ATAN_A9))));
    if (id < 0) return x - x * (s1 + s2);
    const f64 r = ATAN_HI[id] - ((x * (s1 + s2) - ATAN_LO[id]) - x);
    return as_signed(hx) >= 0 ? r : -r;
}

// Frameless arc tangent for atan2: its flags are left for atan2's exit check.
f64 atan_core(f64 x) { return atan_body(x, [](f64 a, f64 b) { return soft_ddiv_local(a, b); }); }

inline bool is_nan_words(std::uint32_t ix, std::uint32_t lx) {
    return (ix | ((lx | (0u - lx)) >> 31)) > 0x7FF00000;
}

}  // namespace

[[gnu::always_inline]] static inline f64 run_atan(f64 x, report_t ra) {
    const f64 r = atan_body(x, [ra](f64 a, f64 b) { return soft_ddiv(a, b, ra); });
    return fp_check_flags(r, ra);
}

[[gnu::always_inline]] static inline f64 run_atan2(f64 y, f64 x, report_t ra) {
    const std::uint32_t hx = hi_word(x);
    const std::uint32_t lx = lo_word(x);
    const std::uint32_t ix = hx & 0x7FFFFFFF;
    const std::uint32_t hy = hi_word(y);
    const std::uint32_t ly = lo_word(y);
    const std::uint32_t iy = hy & 0x7FFFFFFF;

    // NaN operands, quiet ones included, are reported at once; the low word of
    // the NaN is y's high word.
    if (is_nan_words(ix, lx) || is_nan_words(iy, ly)) return fp_raise(FP_INVALID, ra, from_words(0xFFF80000, hy));
    if (((hx - 0x3FF00000) | lx) == 0) return atan(y, ra);  // x = 1: atan(y), in its own frame

    const unsigned m = ((hy >> 31) & 1) | ((hx >> 30) & 2);  // 2*sign(x) + sign(y)
    f64 z;
    if ((iy | ly) == 0) {
        const f64 by_m[4] = {y, y, PI, MINUS_PI};
        z = by_m[m];
        return fp_check_flags(z, ra);
    }
    if ((ix | lx) == 0) return fp_check_flags(as_signed(hy) < 0 ? MINUS_PIO2_HI : PIO2_HI, ra);
    if (ix == 0x7FF00000) {
        if (iy == 0x7FF00000) {
            const f64 by_m[4] = {PIO4_HI, MINUS_PIO4_HI, THREE_PIO4, MINUS_THREE_PIO4};
            return fp_check_flags(by_m[m], ra);
        }
        const f64 by_m[4] = {ZERO, MINUS_ZERO, PI, MINUS_PI};
        return fp_check_flags(by_m[m], ra);
    }
    if (iy == 0x7FF00000) return fp_check_flags(as_signed(hy) < 0 ? MINUS_PIO2_HI : PIO2_HI, ra);

    const std::int32_t k = (as_signed(iy) - as_signed(ix)) >> 20;  // exponent gap
    if (k > 60) {
        z = PIO2_HI;  // |y/x| > 2^60
    } else if (k < -60 && as_signed(hx) < 0) {
        z = ZERO;  // |y/x| < 2^-60 behind the y axis: the result is +-pi
    } else {
        const f64 q = soft_ddiv_local(y, x);
        z = atan_core(from_bits(bits(q) & 0x7FFFFFFFFFFFFFFFull));
    }
    switch (m) {
        case 0: break;
        case 1: z = from_bits(bits(z) ^ 0x8000000000000000ull); break;
        case 2: z = PI - (z - PI_LO); break;
        default: z = (z - PI_LO) - PI; break;
    }
    return fp_check_flags(z, ra);
}

f64 atan_cleared(f64 x, report_t ra) { return run_atan(x, ra); }
f64 atan2_cleared(f64 y, f64 x, report_t ra) { return run_atan2(y, x, ra); }

namespace exported {
double atan(double x, report_t ra) {
    return framed_export(ord::atan, tiny(x), [&] { return run_atan(arrived(x), ra); });
}

double atan2(double y, double x, report_t ra) {
    return framed_export(ord::atan2, tiny(y, x), [&] { return run_atan2(arrived(y), arrived(x), ra); }, TINY_RESULT);
}
}  // namespace exported

}  // namespace kalm::lib
