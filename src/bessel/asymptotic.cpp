// SPDX-License-Identifier: MIT
// The amplitude and phase corrections P and Q of the asymptotic formulas of Y0
// and Y1 (x >= 2): P = 1 + r(z)/s(z) and Q = (r(z)/s(z) + c)/x, z = 1/x^2, with
// r, s rational on four intervals of x. Their errors are part of the measured
// errors of _y0 and _y1.
#include "bessel/asymptotic_tables.hpp"
#include "bessel/bessel.hpp"
#include "exact/division.hpp"
#include "exact/constants.hpp"

namespace kalm::lib {

namespace {

using namespace bessel_tables;

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
