// SPDX-License-Identifier: MIT
// Y1(x): for x < 2 a rational approximation times x plus (2/pi)*(J1(x)*log(x) - 1/x); for
// x >= 2 the asymptotic form sqrt(2/(pi x))*(P1 cos + Q1 sin), P1, Q1 rational on four intervals.
// Against MPFR (3*10^4 random x per branch): where |Y1| is at least a quarter of the local
// amplitude (1 below x = 2, sqrt(2/(pi x)) above) at most 4.7 ulp; nearer the zeros the
// absolute error stays below 0.7 * 2^-52 times the amplitude.
#include "abi/exports.hpp"
#include "bessel/bessel.hpp"
#include "exact/constants.hpp"
#include "exact/division.hpp"
#include "frame/frame.hpp"

namespace kalm::lib {

namespace {

constexpr f64 NEG_TWO_OVER_PI = dconst(0xBFE45F306DC9C883);

}  // namespace

f64 bessel_j1(f64 x, report_t ra) {
    constexpr f64 J1_R0 = dconst(0xBFB0000000000000);
    constexpr f64 J1_R1 = dconst(0x3F570D9F98472C61);
    constexpr f64 J1_R2 = dconst(0xBEF0C5C6BA169668);
    constexpr f64 J1_R3 = dconst(0x3E6AAAFA46CA0BD9);
    constexpr f64 J1_S1 = dconst(0x3F939D0B12637E53);
    constexpr f64 J1_S2 = dconst(0x3F285F56B9CDF664);
    constexpr f64 J1_S3 = dconst(0x3EB3BFF8333F8498);
    constexpr f64 J1_S4 = dconst(0x3E35AC88C97DFF2C);
    constexpr f64 J1_S5 = dconst(0x3DAB2ACFCFB97ED8);

    const std::uint32_t ix = hi_word(x) & 0x7FFFFFFFu;

    // J1(x) = x/2 below 2^-27; the comparison is what signals inexact.
    if (ix < 0x3E400000u && opaque(HUGE) + x > ONE) return fp_check_flags(x * HALF, ra);

    const f64 z = x * x;
    f64 r = z * (J1_R0 + z * (J1_R1 + z * (J1_R2 + z * J1_R3)));
    const f64 s = ONE + z * (J1_S1 + z * (J1_S2 + z * (J1_S3 + z * (J1_S4 + z * J1_S5))));
    r = r * x;
    const f64 hx = x * HALF;
    return fp_check_flags(hx + soft_ddiv(r, s, ra), ra);
}

[[gnu::always_inline]] static inline f64 run_y1(f64 x, report_t ra) {
    constexpr f64 Y1_U0 = dconst(0xBFC91866143CBC8A);
    constexpr f64 Y1_U1 = dconst(0x3FA9D3C776292CD1);
    constexpr f64 Y1_U2 = dconst(0xBF5F55E54844F50F);
    constexpr f64 Y1_U3 = dconst(0x3EF8AB038FA6B88E);
    constexpr f64 Y1_U4 = dconst(0xBE78AC00569105B8);
    constexpr f64 Y1_V1 = dconst(0x3F94650D3F4DA9F0);
    constexpr f64 Y1_V2 = dconst(0x3F2A8C896C257764);
    constexpr f64 Y1_V3 = dconst(0x3EB6C05A894E8CA6);
    constexpr f64 Y1_V4 = dconst(0x3E3ABF1D5BA69A86);
    constexpr f64 Y1_V5 = dconst(0x3DB25039DACA772A);

    const std::uint32_t hx = hi_word(x);
    const std::uint32_t lx = lo_word(x);
    const std::uint32_t ix = hx & 0x7FFFFFFFu;

    // +inf gives +0; -inf and NaN make the division report invalid.
    if (ix >= 0x7FF00000u) {
        const f64 d = add_x86(x * x, x);
        return fp_check_flags(soft_ddiv(ONE, d, ra), ra);
    }
    if ((ix | lx) == 0) return fp_raise(FP_DIVIDE_BY_ZERO, ra, DEFAULT_NAN);
    if (as_signed(hx) < 0) return fp_raise(FP_INVALID, ra, DEFAULT_NAN);

    if (ix >= 0x40000000u) {
        const f64 s = sin(x, ra);
        const f64 c = settled(cos(x, ra));
        f64 ss = -s - c;
        f64 cc = s - c;
        if (ix < 0x7FE00000u) {
            // cos(2x) = (c - s)(c + s): recover whichever of -s - c, s - c cancels.
            const f64 x2 = x + x;
            const f64 z = settled(cos(x2, ra));
            if (s * c > 0.0)
                cc = soft_ddiv(z, ss, ra);
            else
                ss = soft_ddiv(z, cc, ra);
        }
        f64 num;
        if (ix > 0x48000000u) {
            num = ss * INV_SQRT_PI;
        } else {
            const f64 u = bessel_p1(x, ra);
            const f64 v = bessel_q1(x, ra);
            num = (u * ss + v * cc) * INV_SQRT_PI;
        }
        num = settled(num);
        const f64 root = settled(sqrt(x, ra));
        return fp_check_flags(soft_ddiv(num, root, ra), ra);
    }

    if (ix <= 0x3C900000u) return fp_check_flags(soft_ddiv(NEG_TWO_OVER_PI, x, ra), ra);

    const f64 z = x * x;
    const f64 u = Y1_U0 + z * (Y1_U1 + z * (Y1_U2 + z * (Y1_U3 + z * Y1_U4)));
    const f64 v = ONE + z * (Y1_V1 + z * (Y1_V2 + z * (Y1_V3 + z * (Y1_V4 + z * Y1_V5))));
    const f64 w = settled(soft_ddiv(u, v, ra) * x);
    const f64 j = settled(bessel_j1(x, ra));
    const f64 l = settled(log(x, ra));
    const f64 t = soft_ddiv(ONE, x, ra);
    return fp_check_flags(w + (j * l - t) * TWO_OVER_PI, ra);
}

f64 _y1_cleared(f64 x, report_t ra) { return run_y1(x, ra); }

namespace exported {
double _y1(double x, report_t ra) {
    return framed_export<true>(ord::y1, tiny(x), [&] { return run_y1(arrived(x), ra); });
}
}  // namespace exported

}  // namespace kalm::lib
