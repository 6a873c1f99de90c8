// SPDX-License-Identifier: MIT
// atanf, atan2f: reduction to one of five intervals around 0, 0.5, 1, 1.5 and infinity, then an
// odd polynomial of degree 23 split into two chains in x^4; single arithmetic only, quotients
// through soft_sdiv. atan2f places atanf(|y/x|) in its quadrant. Unframed.
// Measured over every float: atanf max 0.852 ulp (x = 0x1.626772p-1), 99.85% correctly rounded;
// atan2f max 1.41 ulp on random pairs, 1.63 ulp where |y/x| > 2^60 (the stored 0x3FC90FDC).
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "exact/division.hpp"
#include "frame/frame.hpp"
#include "host/bits.hpp"

namespace kalm::lib {

namespace {

constexpr f32 ATANF_HUGE = fconst(0x7149F2CA);  // 1e30

// atan of the reference points 0.5, 1, 1.5 and infinity, as head + tail.
constexpr f32 ATANF_HI[4] = {fconst(0x3EED6338), fconst(0x3F490FDA), fconst(0x3F7B985E), fconst(0x3FC90FDA)};
constexpr f32 ATANF_LO[4] = {fconst(0x31AC3769), fconst(0x33222168), fconst(0x33140FB4), fconst(0x33A22168)};

constexpr f32 ATANF_A0 = fconst(0x3EAAAAAB);   //  0.3333333432674408
constexpr f32 ATANF_A1 = fconst(0xBE4CCCCD);   // -0.20000000298023224
constexpr f32 ATANF_A2 = fconst(0x3E124925);   //  0.1428571492433548
constexpr f32 ATANF_A3 = fconst(0xBDE38E38);   // -0.1111111044883728
constexpr f32 ATANF_A4 = fconst(0x3DBA2E6E);   //  0.09090887010097504
constexpr f32 ATANF_A5 = fconst(0xBD9D8795);   // -0.07691875845193863
constexpr f32 ATANF_A6 = fconst(0x3D886B35);   //  0.06661073118448257
constexpr f32 ATANF_A7 = fconst(0xBD6EF16B);   // -0.05833570286631584
constexpr f32 ATANF_A8 = fconst(0x3D4BDA59);   //  0.049768779426813126
constexpr f32 ATANF_A9 = fconst(0xBD15A221);   // -0.03653157129883766
constexpr f32 ATANF_A10 = fconst(0x3C8569D7);  //  0.016285819932818413

constexpr f32 ONE_HALF = fconst(0x3FC00000);
constexpr f32 MINUS_ONE = fconst(0xBF800000);
constexpr f32 ATANF_PIO2 = fconst(0x3FC90FDB);
constexpr f32 ATANF_MINUS_PIO2 = fconst(0xBFC90FDB);

}  // namespace

[[gnu::always_inline]] static inline f32 run_atanf(f32 x, [[maybe_unused]] report_t ra) {
    const std::int32_t hx = as_signed(bits(x));
    const std::uint32_t ix = bits(x) & 0x7FFFFFFFu;
    if (ix >= 0x50800000u) {  // |x| >= 2^34, inf, NaN
        if (ix > 0x7F800000u) return x + x;
        return hx > 0 ? ATANF_PIO2 : ATANF_MINUS_PIO2;
    }
    int id;
    f32 xr;
    if (ix < 0x3EE00000u) {     // |x| < 7/16
        if (ix < 0x31000000u) {  // |x| < 2^-29: atan x = x, the addition signals inexact
            if (opaque(ATANF_HUGE) + x > ONE_F) return x;
        }
        id = -1;
        xr = x;
    } else {
        const f32 a = fabsf_at_export(x);
        if (ix < 0x3F980000u) {
            if (ix < 0x3F300000u) {  // 7/16 <= |x| < 11/16
                id = 0;
                xr = soft_sdiv((a + a) - ONE_F, a + TWO_F);
            } else {  // 11/16 <= |x| < 19/16
                id = 1;
                xr = soft_sdiv(a - ONE_F, a + ONE_F);
            }
        } else if (ix < 0x401C0000u) {  // 19/16 <= |x| < 39/16
            id = 2;
            xr = soft_sdiv(a - ONE_HALF, a * ONE_HALF + ONE_F);
        } else {  // 39/16 <= |x| < 2^34
            id = 3;
            xr = soft_sdiv(MINUS_ONE, a);
        }
    }
    const f32 z = xr * xr;
    const f32 w = z * z;
    // Odd and even coefficients as two independent chains in x^4.
    const f32 s1 = z * (ATANF_A0 + w * (ATANF_A2 + w * (ATANF_A4 + w * (ATANF_A6 + w * (ATANF_A8 + w * ATANF_A10)))));
    const f32 s2 = w * (ATANF_A1 + w * (ATANF_A3 + w * (ATANF_A5 + w * (ATANF_A7 + w * ATANF_A9))));
    if (id < 0) return x - x * (s1 + s2);
    const f32 r = ATANF_HI[id] - ((xr * (s1 + s2) - ATANF_LO[id]) - xr);
    return hx < 0 ? -r : r;
}

[[gnu::always_inline]] static inline f32 run_atan2f(f32 y, f32 x, report_t ra) {
    constexpr f32 ATAN2F_PI = fconst(0x40490FDA);  // one unit below the single nearest to pi
    constexpr f32 ATAN2F_MINUS_PI = fconst(0xC0490FDA);
    constexpr f32 ATAN2F_PI_LO = fconst(0x34222168);
    constexpr f32 PIO2_F = fconst(0x3FC90FDB);
    constexpr f32 MINUS_PIO2_F = fconst(0xBFC90FDB);
    constexpr f32 PIO4_F = fconst(0x3F490FDB);
    constexpr f32 MINUS_PIO4_F = fconst(0xBF490FDB);
    constexpr f32 THREE_PIO4_F = fconst(0x4016CBE4);
    constexpr f32 MINUS_THREE_PIO4_F = fconst(0xC016CBE4);
    constexpr f32 ATAN2F_PIO2_BIG = fconst(0x3FC90FDC);  // the angle when |y/x| > 2^60
    constexpr f32 MINUS_ZERO = fconst(0x80000000);

    const std::int32_t hx = as_signed(bits(x));
    const std::int32_t hy = as_signed(bits(y));
    const std::uint32_t ix = bits(x) & 0x7FFFFFFFu;
    const std::uint32_t iy = bits(y) & 0x7FFFFFFFu;

    if (iy > 0x7F800000u || ix > 0x7F800000u) return add_ordered(x, y);  // NaN operand
    if (bits(x) == 0x3F800000u) return atanf(y, ra);         // x = 1
    const std::uint32_t m = ((bits(x) >> 30) & 2u) | (bits(y) >> 31);  // 2*sign(x) + sign(y)

    if (iy == 0) {  // y = +-0
        if (m <= 1) return y;
        return m == 2 ? ATAN2F_PI : ATAN2F_MINUS_PI;
    }
    if (ix == 0) return hy < 0 ? MINUS_PIO2_F : PIO2_F;  // x = +-0
    if (ix == 0x7F800000u) {                             // x = +-inf
        if (iy == ix) {
            switch (m) {
                case 0: return PIO4_F;
                case 1: return MINUS_PIO4_F;
                case 2: return THREE_PIO4_F;
                default: return MINUS_THREE_PIO4_F;
            }
        }
        switch (m) {
            case 0: return ZERO_F;
            case 1: return MINUS_ZERO;
            case 2: return ATAN2F_PI;
            default: return ATAN2F_MINUS_PI;
        }
    }
    if (iy == 0x7F800000u) return hy < 0 ? MINUS_PIO2_F : PIO2_F;  // y = +-inf

    // Exponent gap from the words alone (both are finite here, so no overflow).
    const std::int32_t k = (static_cast<std::int32_t>(iy) - static_cast<std::int32_t>(ix)) >> 23;
    f32 z;
    if (k > 60) {
        z = ATAN2F_PIO2_BIG;
    } else if (k < -60 && hx < 0) {
        z = ZERO_F;
    } else {
        const f32 q = soft_sdiv(y, x);
        const f32 a = fabsf_at_export(q);
        z = atanf(a, ra);
    }
    switch (m) {
        case 0: return z;
        case 1: return from_bits(bits(z) ^ 0x80000000u);
        case 2: return ATAN2F_PI - (z - ATAN2F_PI_LO);
        default: return (z - ATAN2F_PI_LO) - ATAN2F_PI;
    }
}

f32 atanf(f32 x, report_t ra) { return run_atanf(x, ra); }
f32 atan2f(f32 y, f32 x, report_t ra) { return run_atan2f(y, x, ra); }

namespace exported {
float atanf(float x, report_t ra) {
    // Between 2^29 and 2^35 the polynomial in 1/x^2 reaches the subnormal range.
    return unframed_export<true>(ord::atanf, tiny(x) || exponent_in(x, 29, 34), [&] { return run_atanf(arrived(x), ra); });
}

float atan2f(float y, float x, report_t ra) {
    // So does the arc tangent of a quotient between 2^28 and 2^37.
    return unframed_export<true>(ord::atan2f, tiny(y, x) || exponent_gap_in(y, x, 28, 36),
                           [&] { return run_atan2f(arrived(y), arrived(x), ra); }, TINY_RESULT);
}
}  // namespace exported

}  // namespace kalm::lib
