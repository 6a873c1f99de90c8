// SPDX-License-Identifier: MIT
// Y0(x): for x < 2 a rational approximation plus (2/pi)*J0(x)*log(x); for x >= 2 the
// asymptotic form sqrt(2/(pi x))*(P0 cos + Q0 sin), with P0, Q0 rational on four intervals.
// Against MPFR (3*10^4 random x per branch): where |Y0| is at least a quarter of the local
// amplitude (1 below x = 2, sqrt(2/(pi x)) above) at most 4.1 ulp; nearer the zeros the
// absolute error stays below 0.6 * 2^-52 times the amplitude.
#include "abi/exports.hpp"
#include "bessel/bessel.hpp"
#include "exact/constants.hpp"
#include "exact/division.hpp"
#include "frame/frame.hpp"

namespace kalm::lib {

namespace {

constexpr f64 NEG_INFINITY = dconst(0xFFF0000000000000);

}  // namespace

f64 bessel_j0(f64 x, report_t ra) {
    constexpr f64 quarter = dconst(0x3FD0000000000000);
    constexpr f64 J0_R2 = dconst(0x3F8FFFFFFFFFFFFD);
    constexpr f64 J0_R3 = dconst(0xBF28E6A5B61AC6E9);
    constexpr f64 J0_R4 = dconst(0x3EBEB1D10C503919);
    constexpr f64 J0_R5 = dconst(0xBE33D5E773D63FCE);
    constexpr f64 J0_S1 = dconst(0x3F8FFCE882C8C2A4);
    constexpr f64 J0_S2 = dconst(0x3F1EA6D2DD57DBF4);
    constexpr f64 J0_S3 = dconst(0x3EA13B54CE84D5A9);
    constexpr f64 J0_S4 = dconst(0x3E1408BCF4745D8F);

    const std::uint32_t ix = hi_word(x) & 0x7FFFFFFFu;
    const f64 a = from_words(ix, lo_word(x));

    // J0(a) = 1 - a^2/4 below 2^-13; the comparison is what signals inexact.
    if (ix < 0x3F200000u && opaque(HUGE) + a > ONE) return fp_check_flags(ONE - (quarter * a) * a, ra);

    const f64 z = a * a;
    const f64 r = z * (J0_R2 + z * (J0_R3 + z * (J0_R4 + z * J0_R5)));
    const f64 s = ONE + z * (J0_S1 + z * (J0_S2 + z * (J0_S3 + z * J0_S4)));
    if (ix < 0x3FF00000u) {
        const f64 q = soft_ddiv(r, s, ra);
        return fp_check_flags(ONE + z * (q - quarter), ra);
    }
    const f64 u = HALF * a;
    const f64 q = soft_ddiv(r, s, ra);
    return fp_check_flags((ONE + u) * (ONE - u) + z * q, ra);
}

[[gnu::always_inline]] static inline f64 run_y0(f64 x, report_t ra) {
    constexpr f64 Y0_U0 = dconst(0xBFB2E4D699CBD01F);
    constexpr f64 Y0_U1 = dconst(0x3FC69D019DE9E3FC);
    constexpr f64 Y0_U2 = dconst(0xBF8C4CE8B16CFA97);
    constexpr f64 Y0_U3 = dconst(0x3F36C54D20B29B6B);
    constexpr f64 Y0_U4 = dconst(0xBECFFEA773D25CAD);
    constexpr f64 Y0_U5 = dconst(0x3E5500573B4EABD4);
    constexpr f64 Y0_U6 = dconst(0xBDC5E43D693FB3C8);
    constexpr f64 Y0_V1 = dconst(0x3F8A127091C9C71A);
    constexpr f64 Y0_V2 = dconst(0x3F13ECBBF578C6C1);
    constexpr f64 Y0_V3 = dconst(0x3E91642D7FF202FD);
    constexpr f64 Y0_V4 = dconst(0x3DFE50183BD6D9EF);

    const std::uint32_t hx = hi_word(x);
    const std::uint32_t lx = lo_word(x);
    const std::uint32_t ix = hx & 0x7FFFFFFFu;

    if (ix >= 0x7FF00000u) return fp_raise(FP_INVALID, ra, DEFAULT_NAN);
    if ((ix | lx) == 0) return fp_raise(FP_DIVIDE_BY_ZERO, ra, NEG_INFINITY);
    if (as_signed(hx) < 0) return fp_raise(FP_INVALID, ra, DEFAULT_NAN);

    if (ix >= 0x40000000u) {
        const f64 s = sin(x, ra);
        const f64 c = settled(cos(x, ra));
        f64 ss = s - c;
        f64 cc = s + c;
        if (ix < 0x7FE00000u) {
            // cos(2x) = (c - s)(c + s): recover whichever of s - c, s + c cancels.
            const f64 x2 = x + x;
            const f64 z = -settled(cos(x2, ra));
            if (s * c < 0.0)
                cc = soft_ddiv(z, ss, ra);
            else
                ss = soft_ddiv(z, cc, ra);
        }
        f64 num;
        if (ix > 0x48000000u) {
            num = ss * INV_SQRT_PI;
        } else {
            const f64 u = bessel_p0(x, ra);
            const f64 v = bessel_q0(x, ra);
            num = (u * ss + v * cc) * INV_SQRT_PI;
        }
        num = settled(num);
        const f64 root = settled(sqrt(x, ra));
        return fp_check_flags(soft_ddiv(num, root, ra), ra);
    }

    if (ix <= 0x3E400000u) {
        const f64 l = settled(log(x, ra));
        return fp_check_flags(l * TWO_OVER_PI + Y0_U0, ra);
    }

    const f64 z = x * x;
    const f64 u = Y0_U0 + z * (Y0_U1 + z * (Y0_U2 + z * (Y0_U3 + z * (Y0_U4 + z * (Y0_U5 + z * Y0_U6)))));
    const f64 v = ONE + z * (Y0_V1 + z * (Y0_V2 + z * (Y0_V3 + z * Y0_V4)));
    const f64 q = settled(soft_ddiv(u, v, ra));
    const f64 j = settled(bessel_j0(x, ra));
    const f64 l = settled(log(x, ra));
    return fp_check_flags(q + (j * l) * TWO_OVER_PI, ra);
}

f64 _y0_cleared(f64 x, report_t ra) { return run_y0(x, ra); }

namespace exported {
double _y0(double x, report_t ra) {
    return framed_export<true>(ord::y0, tiny(x), [&] { return run_y0(arrived(x), ra); });
}
}  // namespace exported

}  // namespace kalm::lib
