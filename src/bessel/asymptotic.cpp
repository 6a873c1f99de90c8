// SPDX-License-Identifier: MIT
// The amplitude and phase corrections P and Q of the asymptotic formulas of Y0
// and Y1 (x >= 2): P = 1 + r(z)/s(z) and Q = (r(z)/s(z) + c)/x, z = 1/x^2, with
// r, s rational on four intervals of x. Their errors are part of the measured
// errors of _y0 and _y1.
#include "bessel/bessel.hpp"
#include "exact/division.hpp"
#include "exact/constants.hpp"

namespace kalm::lib {

namespace {

constexpr f64 P0_NUM_1[6] = {dconst(0x0000000000000000), dconst(0xBFB1FFFFFFFFFD32), dconst(0xC02029D0B44FA779),
                                dconst(0xC07011027B19E863), dconst(0xC0A36A6ECD4DCAFC), dconst(0xC0B4850B36CC643D)};
constexpr f64 P0_DEN_1[5] = {dconst(0x405D223307A96751), dconst(0x40ADF37D50596938), dconst(0x40E3D2BB6EB6B05F),
                                dconst(0x40FC810F8F9FA9BD), dconst(0x40E741774F2C49DC)};
constexpr f64 P0_NUM_2[6] = {dconst(0xBDA918B147E495CC), dconst(0xBFB1FFFFE69AFBC6), dconst(0xC010A370F90C6BBF),
                                dconst(0xC050EB2F5A7D1783), dconst(0xC074B3B36742CC63), dconst(0xC075A6EF28A38BD7)};
constexpr f64 P0_DEN_2[5] = {dconst(0x404E60810C98C5DE), dconst(0x40906D025C7E2864), dconst(0x40B75AF88FBE1D60),
                                dconst(0x40C2CCB8FA76FA38), dconst(0x40A2CC1DC70BE864)};
constexpr f64 P0_NUM_3[6] = {dconst(0xBE25E1036FE1AA86), dconst(0xBFB1FFF6F7C0E24B), dconst(0xC00345B2AEA48074),
                                dconst(0xC035F74A4CB94E14), dconst(0xC04D0A22420A1A45), dconst(0xC03F72ACA892D80F)};
constexpr f64 P0_DEN_3[5] = {dconst(0x4041ED9284077DD3), dconst(0x40769839464A7C0E), dconst(0x4092A66E6D1061D6),
                                dconst(0x40919FFCB8C39B7E), dconst(0x4065B296FC379081)};
constexpr f64 P0_NUM_4[6] = {dconst(0xBE77D316E927026D), dconst(0xBFB1FF62495E1E42), dconst(0xBFF736398A24A843),
                                dconst(0xC01E8AF3EDAFA7F3), dconst(0xC02662E6C5246303), dconst(0xC009DE81AF8FE70F)};
constexpr f64 P0_DEN_4[5] = {dconst(0x40363865908B5959), dconst(0x4061069E0EE8878F), dconst(0x4070E78642EA079B),
                                dconst(0x40633C033AB6FAFF), dconst(0x402D50B344391809)};

constexpr f64 Q0_NUM_1[6] = {dconst(0x0000000000000000), dconst(0x3FB2BFFFFFFFFE2C), dconst(0x402789525BB334D6),
                                dconst(0x40816D6315301825), dconst(0x40C14D993E18F46D), dconst(0x40E212D40E901566)};
constexpr f64 Q0_DEN_1[6] = {dconst(0x406478D5365B39BC), dconst(0x40BFA2584E6B0563), dconst(0x4101665254D38C3F),
                                dconst(0x412883DA83A52B43), dconst(0x4129A66B28DE0B3D), dconst(0xC114FD6D2C9530C5)};
constexpr f64 Q0_NUM_2[6] = {dconst(0x3DB43D8F29CC8CD9), dconst(0x3FB2BFFFD172B04C), dconst(0x401757B0B9953DD3),
                                dconst(0x4060E3920A8788E9), dconst(0x40900CF99DC8C481), dconst(0x409F17E953C6E3A6)};
constexpr f64 Q0_DEN_2[6] = {dconst(0x4054B1B3FB5E1543), dconst(0x40A03BA0DA21C0CE), dconst(0x40D267D27B591E6D),
                                dconst(0x40EBB5E397E02372), dconst(0x40E191181F7A54A0), dconst(0xC0B4EA57BEDBC609)};
constexpr f64 Q0_NUM_3[6] = {dconst(0x3E32CD036ADECB82), dconst(0x3FB2BFEE0E8D0842), dconst(0x400AC0FC61149CF5),
                                dconst(0x40454F98962DAEDD), dconst(0x406559DBE25EFD1F), dconst(0x4064D77C81FA21E0)};
constexpr f64 Q0_DEN_3[6] = {dconst(0x40486122BFE343A6), dconst(0x40862D8386544EB3), dconst(0x40ACF04BE44DFC63),
                                dconst(0x40B93C6CD7C76A28), dconst(0x40A3A8AAD94FB1C0), dconst(0xC062A7EB201CF40F)};
constexpr f64 Q0_NUM_4[6] = {dconst(0x3E84313B54F76BDB), dconst(0x3FB2BEC53E883E34), dconst(0x3FFFF897E727779C),
                                dconst(0x402CFDBFAAF96FE5), dconst(0x403FAA8E29FBDC4A), dconst(0x403040B171814BB4)};
constexpr f64 Q0_DEN_4[6] = {dconst(0x403E5D96F7C07AED), dconst(0x4070D591E4D14B40), dconst(0x408A664522B3BF22),
                                dconst(0x408B977C9C5CC214), dconst(0x406A95530E001365), dconst(0xC0153E6AF8B32931)};

constexpr f64 P1_NUM_1[6] = {dconst(0x0000000000000000), dconst(0x3FBDFFFFFFFFFCCE), dconst(0x402A7A9D357F7FCE),
                                dconst(0x4079C0D4652EA590), dconst(0x40AE457DA3A532CC), dconst(0x40BEEA7AC32782DD)};
constexpr f64 P1_DEN_1[5] = {dconst(0x405C8D458E656CAC), dconst(0x40AC85DC964D274F), dconst(0x40E20B8697C5BB7F),
                                dconst(0x40F7D42CB28F17BB), dconst(0x40DE1511697A0B2D)};
constexpr f64 P1_NUM_2[6] = {dconst(0x3DAD0667DAE1CA7D), dconst(0x3FBDFFFFE2C10043), dconst(0x401B36046E6315E3),
                                dconst(0x405B13B9452602ED), dconst(0x40802D16D052D649), dconst(0x408085B8BB7E0CB7)};
constexpr f64 P1_DEN_2[5] = {dconst(0x404DA3EAA8AF633D), dconst(0x408EFB361B066701), dconst(0x40B4E9445706B6FB),
                                dconst(0x40BEA4B0B8A5BB15), dconst(0x40978030036F5E51)};
constexpr f64 P1_NUM_3[6] = {dconst(0x3E29FC21A7AD9EDD), dconst(0x3FBDFFF55B21D17B), dconst(0x400F76BCE85EAD8A),
                                dconst(0x40418F489DA6D129), dconst(0x4056C3854D2C1837), dconst(0x4048478F8EA83EE5)};
constexpr f64 P1_DEN_3[5] = {dconst(0x40416549A134069C), dconst(0x40750C3307F1A75F), dconst(0x40905B7C5037D523),
                                dconst(0x408BD67DA32E31E9), dconst(0x4059F26D7C2EED53)};
constexpr f64 P1_NUM_4[6] = {dconst(0x3E7CE9D4F65544F4), dconst(0x3FBDFF42BE760D83), dconst(0x4002F2B7F98FAEC0),
                                dconst(0x40287C377F71A964), dconst(0x4031B1A8177F8EE2), dconst(0x40144B49A574C1FE)};
constexpr f64 P1_DEN_4[5] = {dconst(0x40356FBD8AD5ECDC), dconst(0x405F529314F92CD5), dconst(0x406D08D8D5A2DBD9),
                                dconst(0x405D6B7ADA1884A9), dconst(0x4020BAB1F44E5192)};

constexpr f64 Q1_NUM_1[6] = {dconst(0x0000000000000000), dconst(0xBFBA3FFFFFFFFDF3), dconst(0xC0304591A26779F7),
                                dconst(0xC087BCD053E4B576), dconst(0xC0C724E740F87415), dconst(0xC0E7A6D065D09C6A)};
constexpr f64 Q1_DEN_1[6] = {dconst(0x40642CA6DE5BCDE5), dconst(0x40BE9162D0D88419), dconst(0x4100579AB0B75E98),
                                dconst(0x4125F65372869C19), dconst(0x412457D27719AD5C), dconst(0xC111F9690EA5AA18)};
constexpr f64 Q1_NUM_2[6] = {dconst(0xBDB6FA431AA1A098), dconst(0xBFBA3FFFCB597FEF), dconst(0xC0201CE6CA03AD4B),
                                dconst(0xC066F56D6CA7B9B0), dconst(0xC09574C66931734F), dconst(0xC0A468E388FDA79D)};
constexpr f64 Q1_DEN_2[6] = {dconst(0x405451B2FF5A11B2), dconst(0x409F1F31E77BF839), dconst(0x40D10F1F0D64CE29),
                                dconst(0x40E8576DAABAD197), dconst(0x40DB4B04CF7C364B), dconst(0xC0B26F2EFCFFA004)};
constexpr f64 Q1_NUM_3[6] = {dconst(0xBE35CFA9D38FC84F), dconst(0xBFBA3FEB51AEED54), dconst(0xC01270C23302D9FF),
                                dconst(0xC04CEC71C25D16DA), dconst(0xC06C87D34718D55F), dconst(0xC06B66B95F5C1BF6)};
constexpr f64 Q1_DEN_3[6] = {dconst(0x4047D523CCD367E4), dconst(0x40850EEBC031EE3E), dconst(0x40AA684E448E7C9A),
                                dconst(0x40B5ABBAA61D54A6), dconst(0x409DBC7A0DD4DF4B), dconst(0xC060E670290A311F)};
constexpr f64 Q1_NUM_4[6] = {dconst(0xBE87F12644C626D2), dconst(0xBFBA3E8E9148B010), dconst(0xC006048469BB4EDA),
                                dconst(0xC033A9E2C168907F), dconst(0xC04529A3DE104AAA), dconst(0xC0355F3639CF6E52)};
constexpr f64 Q1_DEN_4[6] = {dconst(0x403D888A78AE64FF), dconst(0x406F9F68DB821CBA), dconst(0x4087AC05CE49A0F7),
                                dconst(0x40871B2548D4C029), dconst(0x40637E5E3C3ED8D4), dconst(0xC013D686E71BE86B)};

// The four intervals' numerators (degree 5) and denominators (degree 4 for P,
// 5 for Q, without the leading 1).
struct Tables {
    const f64* num[4];
    const f64* den[4];
};
constexpr Tables P0 = {{P0_NUM_1, P0_NUM_2, P0_NUM_3, P0_NUM_4}, {P0_DEN_1, P0_DEN_2, P0_DEN_3, P0_DEN_4}};
constexpr Tables Q0 = {{Q0_NUM_1, Q0_NUM_2, Q0_NUM_3, Q0_NUM_4}, {Q0_DEN_1, Q0_DEN_2, Q0_DEN_3, Q0_DEN_4}};
constexpr Tables P1 = {{P1_NUM_1, P1_NUM_2, P1_NUM_3, P1_NUM_4}, {P1_DEN_1, P1_DEN_2, P1_DEN_3, P1_DEN_4}};
constexpr Tables Q1 = {{Q1_NUM_1, Q1_NUM_2, Q1_NUM_3, Q1_NUM_4}, {Q1_DEN_1, Q1_DEN_2, Q1_DEN_3, Q1_DEN_4}};

// Interval of the corrections, from 0: x >= 8, from 4.545452117919922, from
// 2.8571414947509766, below.
inline int correction_interval(std::uint32_t ix) {
    if (ix >= 0x40200000u) return 0;
    if (ix >= 0x40122E8Bu) return 1;
    if (ix >= 0x4006DB6Du) return 2;
    return 3;
}

// z = 1/x^2 and the numerator r(z) of x's interval.
struct Numerator {
    const f64* den;
    f64 z, r;
};
[[gnu::always_inline]] inline Numerator numerator(const Tables& t, f64 x, report_t ra) {
    const int i = correction_interval(hi_word(x) & 0x7FFFFFFFu);
    const f64* num = t.num[i];
    const f64 z = soft_ddiv(ONE, x * x, ra);
    const f64 r = num[0] + z * (num[1] + z * (num[2] + z * (num[3] + z * (num[4] + z * num[5]))));
    return {t.den[i], z, r};
}

[[gnu::always_inline]] inline f64 amplitude(const Tables& t, f64 x, report_t ra) {
    const auto [den, z, r] = numerator(t, x, ra);
    const f64 s = ONE + z * (den[0] + z * (den[1] + z * (den[2] + z * (den[3] + z * den[4]))));
    return ONE + soft_ddiv(r, s, ra);
}

// c is -1/8 for Q0 and 3/8 for Q1 (q + c rounds as the difference q - 1/8 would).
[[gnu::always_inline]] inline f64 phase(const Tables& t, f64 c, f64 x, report_t ra) {
    const auto [den, z, r] = numerator(t, x, ra);
    const f64 s = ONE + z * (den[0] + z * (den[1] + z * (den[2] + z * (den[3] + z * (den[4] + z * den[5])))));
    const f64 q = soft_ddiv(r, s, ra);
    return soft_ddiv(q + c, x, ra);
}

}  // namespace

f64 bessel_p0(f64 x, report_t ra) { return amplitude(P0, x, ra); }
f64 bessel_q0(f64 x, report_t ra) { return phase(Q0, dconst(0xBFC0000000000000), x, ra); }
f64 bessel_p1(f64 x, report_t ra) { return amplitude(P1, x, ra); }
f64 bessel_q1(f64 x, report_t ra) { return phase(Q1, dconst(0x3FD8000000000000), x, ra); }

}  // namespace kalm::lib
