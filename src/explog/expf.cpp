// SPDX-License-Identifier: MIT
// expf: x = k·ln2 + r with |r| <= ln2/2, e^r from a degree-5 polynomial in r²
// inside a rational form, k put back into the exponent field. All in single
// precision, no frame: the flags the arithmetic sets are left for the caller.
// Measured over all 2^32 inputs: at most 0.910 ulp (x = -37.776226, 0xC2171ADB).
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "exact/division.hpp"
#include "frame/frame.hpp"
#include "host/convert.hpp"

namespace kalm::lib {

namespace {

constexpr f32 HALF_BY_SIGN[2] = {fconst(0x3F000000), fconst(0xBF000000)};
constexpr f32 LN2_HI_BY_SIGN[2] = {fconst(0x3F317180), fconst(0xBF317180)};
constexpr f32 LN2_LO_BY_SIGN[2] = {fconst(0x3717F7D1), fconst(0xB717F7D1)};
constexpr f32 INV_LN2 = fconst(0x3FB8AA3B);
constexpr f32 LN2_HI = fconst(0x3F317180);
constexpr f32 LN2_LO = fconst(0x3717F7D1);
constexpr f32 TWO_POW_M100 = fconst(0x0D800000);
constexpr f32 INF = fconst(0x7F800000);

// r·(e^r + 1)/(e^r − 1) ≈ 2 + C1·r² + ... + C5·r^10 on [−ln2/2, ln2/2].
constexpr f32 EXP_C1 = fconst(0x3E2AAAAB);
constexpr f32 EXP_C2 = fconst(0xBB360B61);
constexpr f32 EXP_C3 = fconst(0x388AB355);
constexpr f32 EXP_C4 = fconst(0xB5DDEA0E);
constexpr f32 EXP_C5 = fconst(0x3331BB4C);

}  // namespace

[[gnu::always_inline]] static inline f32 run_expf(f32 x, report_t /*ra*/) {
    const std::uint32_t hx = bits(x);
    const std::uint32_t ix = hx & 0x7FFFFFFFu;
    const std::uint32_t s = hx >> 31;

    if (ix > 0x7F800000u) return x + x;  // NaN (invalid only if signalling)
    if (ix == 0x7F800000u) return s ? ZERO_F : x;
    // Out of range: constant answers, deliberately without overflow/underflow flags.
    if (as_signed(hx) > 0x42B17217) return INF;
    if (s && ix > 0x42CFF1B5u) return ZERO_F;

    f32 hi = ZERO_F, lo = ZERO_F;
    std::int32_t k = 0;
    if (ix > 0x3EB17218u) {
        if (ix <= 0x3F851591u) {
            hi = x - LN2_HI_BY_SIGN[s];
            lo = LN2_LO_BY_SIGN[s];
            k = 1 - 2 * static_cast<std::int32_t>(s);
        } else {
            const f32 t = convert_to_int32_and_back(INV_LN2 * x + HALF_BY_SIGN[s], k);
            hi = x - t * LN2_HI;  // exact: LN2_HI has trailing zero bits
            lo = t * LN2_LO;
        }
        x = hi - lo;
    } else if (ix < 0x31800000u) {
        // |x| < 2^-28: 1 + x; the huge addition leaves inexact for x != 0.
        if (opaque(HUGE_F) + x > ONE_F) return ONE_F + x;
    }

    const f32 t = x * x;
    const f32 c = x - t * (EXP_C1 + t * (EXP_C2 + t * (EXP_C3 + t * (EXP_C4 + t * EXP_C5))));
    if (k == 0) return ONE_F - (soft_sdiv(x * c, c - TWO_F) - x);
    const f32 y = ONE_F - ((lo - soft_sdiv(x * c, TWO_F - c)) - hi);
    if (k >= -125) return add_to_exponent(y, k);
    // Subnormal range: scale to a normal first, let one multiplication round.
    const f32 yn = add_to_exponent(y, k + 100);
    return yn * TWO_POW_M100;
}

f32 expf(f32 x, report_t ra) { return run_expf(x, ra); }

namespace exported {
float expf(float x, report_t ra) {
    return unframed_export(ord::expf, tiny(x), [&] { return run_expf(arrived(x), ra); });
}
}  // namespace exported

}  // namespace kalm::lib
