// SPDX-License-Identifier: MIT
// tanf: one kernel for every quadrant, tan(x+y) or -1/tan(x+y), an odd polynomial of degree 27
// split into two chains in x^4, folded towards pi/4 above 0.6744; single arithmetic only,
// every division through the software single division. Unframed.
// Measured over every float: max 3.48 ulp (x = 0x1.921fcp+0, just outside the near-pi/2 window of
// the reduction), 340 arguments above 1 ulp, 98% correctly rounded.
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "exact/division.hpp"
#include "frame/frame.hpp"
#include "host/bits.hpp"
#include "host/convert.hpp"
#include "trig/rem_halfpif.hpp"

namespace kalm::lib {

namespace {

constexpr f32 TAN_T0_F = fconst(0x3EAAAAAB);   //  0.3333333432674408
constexpr f32 TAN_T1_F = fconst(0x3E088889);   //  0.13333334028720856
constexpr f32 TAN_T2_F = fconst(0x3D5D0DD1);   //  0.05396825447678566
constexpr f32 TAN_T3_F = fconst(0x3CB327A4);   //  0.021869488060474396
constexpr f32 TAN_T4_F = fconst(0x3C11371F);   //  0.008863239549100399
constexpr f32 TAN_T5_F = fconst(0x3B6B6916);   //  0.0035920790396630764
constexpr f32 TAN_T6_F = fconst(0x3ABEDE48);   //  0.00145620945841074
constexpr f32 TAN_T7_F = fconst(0x3A1A26C8);   //  0.0005880412645637989
constexpr f32 TAN_T8_F = fconst(0x398137B9);   //  0.0002464631397742778
constexpr f32 TAN_T9_F = fconst(0x38A3F445);   //  7.817944424459711e-05
constexpr f32 TAN_T10_F = fconst(0x3895C07A);  //  7.14072521077469e-05
constexpr f32 TAN_T11_F = fconst(0xB79BAE5F);  // -1.8558637748355977e-05
constexpr f32 TAN_T12_F = fconst(0x37D95384);  //  2.590730582596734e-05

constexpr f32 TAN_PIO4_F = fconst(0x3F490FDA);     // largest single below pi/4
constexpr f32 TAN_PIO4_LO_F = fconst(0x33222168);  // pi/4 - TAN_PIO4_F
constexpr f32 MINUS_ONE = fconst(0xBF800000);

inline f32 clear_low12(f32 v) { return masked(v, 0xFFFFF000u); }

}  // namespace

f32 tan_polyf(f32 x, f32 y, int iy) {
    const std::int32_t hx = as_signed(bits(x));
    const std::uint32_t ix = bits(x) & 0x7FFFFFFFu;
    if (ix < 0x31800000u) {  // |x| < 2^-28; the conversion signals inexact
        if (convert_to_int32(x) == 0) {
            if ((ix | static_cast<std::uint32_t>(iy + 1)) == 0) {
                const f32 a = fabsf_at_export(x);
                return soft_sdiv(ONE_F, a);  // -1/tan(+-0): +inf, divide-by-zero
            }
            if (iy == 1) return x;
            return soft_sdiv(MINUS_ONE, x);
        }
    }
    const bool folded = ix >= 0x3F2CA140u;  // |x| >= 0.6744: work with pi/4 - |x|
    if (folded) {
        if (hx < 0) {
            x = -x;
            y = -y;
        }
        const f32 zf = TAN_PIO4_F - x;
        const f32 wf = TAN_PIO4_LO_F - y;
        x = zf + wf;
        y = ZERO_F;
    }
    note_if_subnormal_ahead(bits(x) & 0x7FFFFFFFu, y);
    f32 z = x * x;
    f32 w = z * z;
    // Odd and even coefficients as two independent chains in x^4.
    f32 r = TAN_T1_F + w * (TAN_T3_F + w * (TAN_T5_F + w * (TAN_T7_F + w * (TAN_T9_F + w * TAN_T11_F))));
    f32 v = z * (TAN_T2_F + w * (TAN_T4_F + w * (TAN_T6_F + w * (TAN_T8_F + w * (TAN_T10_F + w * TAN_T12_F)))));
    f32 s = z * x;
    r = y + z * (s * (r + v) + y);
    r = r + TAN_T0_F * s;
    w = x + r;
    if (folded) {
        // tan(pi/4 - x) = 1 - 2x/(1 + tan x), and -1/tan(pi/4 - x) likewise with v = -1.
        v = static_cast<f32>(iy);
        const f32 q = soft_sdiv(w * w, w + v);
        const f32 d = x - (q - r);
        const f32 e = d + d;
        return static_cast<f32>(1 - ((hx >> 30) & 2)) * (v - e);
    }
    if (iy == 1) return w;
    // -1/(x + r) without the error of a plain quotient: split w and -1/w at 12 bits.
    z = clear_low12(w);
    v = r - (z - x);
    const f32 a = soft_sdiv(MINUS_ONE, w);
    const f32 t = clear_low12(a);
    s = t * z + ONE_F;
    return t + a * (s + t * v);
}

[[gnu::always_inline]] static inline f32 run_tanf(f32 x, [[maybe_unused]] report_t ra) {
    const std::uint32_t ix = bits(x) & 0x7FFFFFFFu;
    if (ix <= 0x3F490FDAu) return tan_polyf(x, ZERO_F, 1);
    if (ix > 0x7F7FFFFFu) return sub_x86(x, x);  // +-inf: invalid, NaN: itself
    f32 y[2];
    const int n = rem_halfpif(x, y);
    return tan_polyf(y[0], y[1], 1 - 2 * (n & 1));
}

f32 tanf(f32 x, report_t ra) { return run_tanf(x, ra); }

namespace exported {
float tanf(float x, report_t ra) {
    return unframed_export<true>(ord::tanf, tiny(x), [&] { return run_tanf(arrived(x), ra); });
}
}  // namespace exported

}  // namespace kalm::lib
