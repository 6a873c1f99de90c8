// Y0(x): for x < 2 a rational approximation plus (2/pi)*J0(x)*log(x); for x >= 2 the
// asymptotic form sqrt(2/(pi x))*(P0 cos + Q0 sin), with P0, Q0 rational on four intervals.
// Against MPFR (3*10^4 random x per branch): where |Y0| is at least a quarter of the local
// amplitude (1 below x = 2, sqrt(2/(pi x)) above) at most 4.1 ulp; nearer the zeros the
// absolute error stays below 0.6 * 2^-52 times the amplitude.
#include "abi/exports.hpp"
#include "bessel/bessel.hpp"
#include "exact/division.hpp"
#include "frame/frame.hpp"

namespace kalm::lib {

namespace {

constexpr double one = dconst(0x3FF0000000000000);
constexpr double HUGE = dconst(0x7E37E43C8800759C);
constexpr double INV_SQRT_PI = dconst(0x3FE20DD750429B6D);
constexpr double TWO_OVER_PI = dconst(0x3FE45F306DC9C883);
constexpr double NEG_INFINITY = dconst(0xFFF0000000000000);
constexpr double DEFAULT_NAN = dconst(0xFFF8000000000000);

constexpr double P0_NUM_1[6] = {dconst(0x0000000000000000), dconst(0xBFB1FFFFFFFFFD32), dconst(0xC02029D0B44FA779),
                                dconst(0xC07011027B19E863), dconst(0xC0A36A6ECD4DCAFC), dconst(0xC0B4850B36CC643D)};
constexpr double P0_DEN_1[5] = {dconst(0x405D223307A96751), dconst(0x40ADF37D50596938), dconst(0x40E3D2BB6EB6B05F),
                                dconst(0x40FC810F8F9FA9BD), dconst(0x40E741774F2C49DC)};
constexpr double P0_NUM_2[6] = {dconst(0xBDA918B147E495CC), dconst(0xBFB1FFFFE69AFBC6), dconst(0xC010A370F90C6BBF),
                                dconst(0xC050EB2F5A7D1783), dconst(0xC074B3B36742CC63), dconst(0xC075A6EF28A38BD7)};
constexpr double P0_DEN_2[5] = {dconst(0x404E60810C98C5DE), dconst(0x40906D025C7E2864), dconst(0x40B75AF88FBE1D60),
                                dconst(0x40C2CCB8FA76FA38), dconst(0x40A2CC1DC70BE864)};
constexpr double P0_NUM_3[6] = {dconst(0xBE25E1036FE1AA86), dconst(0xBFB1FFF6F7C0E24B), dconst(0xC00345B2AEA48074),
                                dconst(0xC035F74A4CB94E14), dconst(0xC04D0A22420A1A45), dconst(0xC03F72ACA892D80F)};
constexpr double P0_DEN_3[5] = {dconst(0x4041ED9284077DD3), dconst(0x40769839464A7C0E), dconst(0x4092A66E6D1061D6),
                                dconst(0x40919FFCB8C39B7E), dconst(0x4065B296FC379081)};
constexpr double P0_NUM_4[6] = {dconst(0xBE77D316E927026D), dconst(0xBFB1FF62495E1E42), dconst(0xBFF736398A24A843),
                                dconst(0xC01E8AF3EDAFA7F3), dconst(0xC02662E6C5246303), dconst(0xC009DE81AF8FE70F)};
constexpr double P0_DEN_4[5] = {dconst(0x40363865908B5959), dconst(0x4061069E0EE8878F), dconst(0x4070E78642EA079B),
                                dconst(0x40633C033AB6FAFF), dconst(0x402D50B344391809)};

constexpr double Q0_NUM_1[6] = {dconst(0x0000000000000000), dconst(0x3FB2BFFFFFFFFE2C), dconst(0x402789525BB334D6),
                                dconst(0x40816D6315301825), dconst(0x40C14D993E18F46D), dconst(0x40E212D40E901566)};
constexpr double Q0_DEN_1[6] = {dconst(0x406478D5365B39BC), dconst(0x40BFA2584E6B0563), dconst(0x4101665254D38C3F),
                                dconst(0x412883DA83A52B43), dconst(0x4129A66B28DE0B3D), dconst(0xC114FD6D2C9530C5)};
constexpr double Q0_NUM_2[6] = {dconst(0x3DB43D8F29CC8CD9), dconst(0x3FB2BFFFD172B04C), dconst(0x401757B0B9953DD3),
                                dconst(0x4060E3920A8788E9), dconst(0x40900CF99DC8C481), dconst(0x409F17E953C6E3A6)};
constexpr double Q0_DEN_2[6] = {dconst(0x4054B1B3FB5E1543), dconst(0x40A03BA0DA21C0CE), dconst(0x40D267D27B591E6D),
                                dconst(0x40EBB5E397E02372), dconst(0x40E191181F7A54A0), dconst(0xC0B4EA57BEDBC609)};
constexpr double Q0_NUM_3[6] = {dconst(0x3E32CD036ADECB82), dconst(0x3FB2BFEE0E8D0842), dconst(0x400AC0FC61149CF5),
                                dconst(0x40454F98962DAEDD), dconst(0x406559DBE25EFD1F), dconst(0x4064D77C81FA21E0)};
constexpr double Q0_DEN_3[6] = {dconst(0x40486122BFE343A6), dconst(0x40862D8386544EB3), dconst(0x40ACF04BE44DFC63),
                                dconst(0x40B93C6CD7C76A28), dconst(0x40A3A8AAD94FB1C0), dconst(0xC062A7EB201CF40F)};
constexpr double Q0_NUM_4[6] = {dconst(0x3E84313B54F76BDB), dconst(0x3FB2BEC53E883E34), dconst(0x3FFFF897E727779C),
                                dconst(0x402CFDBFAAF96FE5), dconst(0x403FAA8E29FBDC4A), dconst(0x403040B171814BB4)};
constexpr double Q0_DEN_4[6] = {dconst(0x403E5D96F7C07AED), dconst(0x4070D591E4D14B40), dconst(0x408A664522B3BF22),
                                dconst(0x408B977C9C5CC214), dconst(0x406A95530E001365), dconst(0xC0153E6AF8B32931)};

// Interval of the asymptotic corrections: 1 for x >= 8, 2 from 4.545452117919922,
// 3 from 2.8571414947509766, 4 below.
inline int correction_interval(std::uint32_t ix) {
    if (ix >= 0x40200000u) return 1;
    if (ix >= 0x40122E8Bu) return 2;
    if (ix >= 0x4006DB6Du) return 3;
    return 4;
}

}  // namespace

double bessel_j0(double x, report_t ra) {
    constexpr double quarter = dconst(0x3FD0000000000000);
    constexpr double half = dconst(0x3FE0000000000000);
    constexpr double J0_R2 = dconst(0x3F8FFFFFFFFFFFFD);
    constexpr double J0_R3 = dconst(0xBF28E6A5B61AC6E9);
    constexpr double J0_R4 = dconst(0x3EBEB1D10C503919);
    constexpr double J0_R5 = dconst(0xBE33D5E773D63FCE);
    constexpr double J0_S1 = dconst(0x3F8FFCE882C8C2A4);
    constexpr double J0_S2 = dconst(0x3F1EA6D2DD57DBF4);
    constexpr double J0_S3 = dconst(0x3EA13B54CE84D5A9);
    constexpr double J0_S4 = dconst(0x3E1408BCF4745D8F);

    const std::uint32_t ix = hi_word(x) & 0x7FFFFFFFu;
    const double a = from_words(ix, lo_word(x));

    // J0(a) = 1 - a^2/4 below 2^-13; the comparison is what signals inexact.
    if (ix < 0x3F200000u && opaque(HUGE) + a > one) return fp_check_flags(one - (quarter * a) * a, ra);

    const double z = a * a;
    const double r = z * (J0_R2 + z * (J0_R3 + z * (J0_R4 + z * J0_R5)));
    const double s = one + z * (J0_S1 + z * (J0_S2 + z * (J0_S3 + z * J0_S4)));
    if (ix < 0x3FF00000u) {
        const double q = soft_ddiv(r, s, ra);
        return fp_check_flags(one + z * (q - quarter), ra);
    }
    const double u = half * a;
    const double q = soft_ddiv(r, s, ra);
    return fp_check_flags((one + u) * (one - u) + z * q, ra);
}

double bessel_p0(double x, report_t ra) {
    const double* num;
    const double* den;
    switch (correction_interval(hi_word(x) & 0x7FFFFFFFu)) {
        case 1: num = P0_NUM_1; den = P0_DEN_1; break;
        case 2: num = P0_NUM_2; den = P0_DEN_2; break;
        case 3: num = P0_NUM_3; den = P0_DEN_3; break;
        default: num = P0_NUM_4; den = P0_DEN_4; break;
    }
    const double z = soft_ddiv(one, x * x, ra);
    const double r = num[0] + z * (num[1] + z * (num[2] + z * (num[3] + z * (num[4] + z * num[5]))));
    const double s = one + z * (den[0] + z * (den[1] + z * (den[2] + z * (den[3] + z * den[4]))));
    return one + soft_ddiv(r, s, ra);
}

double bessel_q0(double x, report_t ra) {
    constexpr double eighth = dconst(0x3FC0000000000000);
    const double* num;
    const double* den;
    switch (correction_interval(hi_word(x) & 0x7FFFFFFFu)) {
        case 1: num = Q0_NUM_1; den = Q0_DEN_1; break;
        case 2: num = Q0_NUM_2; den = Q0_DEN_2; break;
        case 3: num = Q0_NUM_3; den = Q0_DEN_3; break;
        default: num = Q0_NUM_4; den = Q0_DEN_4; break;
    }
    const double z = soft_ddiv(one, x * x, ra);
    const double r = num[0] + z * (num[1] + z * (num[2] + z * (num[3] + z * (num[4] + z * num[5]))));
    const double s = one + z * (den[0] + z * (den[1] + z * (den[2] + z * (den[3] + z * (den[4] + z * den[5])))));
    const double q = soft_ddiv(r, s, ra);
    return soft_ddiv(q - eighth, x, ra);
}

[[gnu::always_inline]] static inline double run_y0(double x, report_t ra) {
    constexpr double Y0_U0 = dconst(0xBFB2E4D699CBD01F);
    constexpr double Y0_U1 = dconst(0x3FC69D019DE9E3FC);
    constexpr double Y0_U2 = dconst(0xBF8C4CE8B16CFA97);
    constexpr double Y0_U3 = dconst(0x3F36C54D20B29B6B);
    constexpr double Y0_U4 = dconst(0xBECFFEA773D25CAD);
    constexpr double Y0_U5 = dconst(0x3E5500573B4EABD4);
    constexpr double Y0_U6 = dconst(0xBDC5E43D693FB3C8);
    constexpr double Y0_V1 = dconst(0x3F8A127091C9C71A);
    constexpr double Y0_V2 = dconst(0x3F13ECBBF578C6C1);
    constexpr double Y0_V3 = dconst(0x3E91642D7FF202FD);
    constexpr double Y0_V4 = dconst(0x3DFE50183BD6D9EF);

    const std::uint32_t hx = hi_word(x);
    const std::uint32_t lx = lo_word(x);
    const std::uint32_t ix = hx & 0x7FFFFFFFu;

    if (ix >= 0x7FF00000u) return fp_raise(FP_INVALID, ra, DEFAULT_NAN);
    if ((ix | lx) == 0) return fp_raise(FP_DIVIDE_BY_ZERO, ra, NEG_INFINITY);
    if (as_signed(hx) < 0) return fp_raise(FP_INVALID, ra, DEFAULT_NAN);

    if (ix >= 0x40000000u) {
        const double s = sin(x, ra);
        const double c = settled(cos(x, ra));
        double ss = s - c;
        double cc = s + c;
        if (ix < 0x7FE00000u) {
            // cos(2x) = (c - s)(c + s): recover whichever of s - c, s + c cancels.
            const double x2 = x + x;
            const double z = -settled(cos(x2, ra));
            if (s * c < 0.0)
                cc = soft_ddiv(z, ss, ra);
            else
                ss = soft_ddiv(z, cc, ra);
        }
        double num;
        if (ix > 0x48000000u) {
            num = ss * INV_SQRT_PI;
        } else {
            const double u = bessel_p0(x, ra);
            const double v = bessel_q0(x, ra);
            num = (u * ss + v * cc) * INV_SQRT_PI;
        }
        num = settled(num);
        const double root = settled(sqrt(x, ra));
        return fp_check_flags(soft_ddiv(num, root, ra), ra);
    }

    if (ix <= 0x3E400000u) {
        const double l = settled(log(x, ra));
        return fp_check_flags(l * TWO_OVER_PI + Y0_U0, ra);
    }

    const double z = x * x;
    const double u = Y0_U0 + z * (Y0_U1 + z * (Y0_U2 + z * (Y0_U3 + z * (Y0_U4 + z * (Y0_U5 + z * Y0_U6)))));
    const double v = one + z * (Y0_V1 + z * (Y0_V2 + z * (Y0_V3 + z * Y0_V4)));
    const double q = settled(soft_ddiv(u, v, ra));
    const double j = settled(bessel_j0(x, ra));
    const double l = settled(log(x, ra));
    return fp_check_flags(q + (j * l) * TWO_OVER_PI, ra);
}

double _y0_cleared(double x, report_t ra) { return run_y0(x, ra); }

namespace exported {
double _y0(double x, report_t ra) {
    return framed_export<true>(ord::y0, tiny(x), [&] { return run_y0(arrived(x), ra); });
}
}  // namespace exported

}  // namespace kalm::lib
