// SPDX-License-Identifier: MIT
// Yn(x), integer n: orders 0, 1 from _y0/_y1; else the leading asymptotic term for x >= 2^302 and
// the forward recurrence Y(k+1) = (2k/x) Y(k) - Y(k-1), stopped at -inf. Against MPFR, away from
// zeros: 9 ulp (n = 2), 13 (n = 10), 49 (n = 50), 3.6 asymptotic; near zeros the absolute error
// grows to 13 * 2^-52 times the amplitude for n = 50 (the recurrence accumulates it).
#include "abi/exports.hpp"
#include "bessel/bessel.hpp"
#include "exact/constants.hpp"
#include "exact/division.hpp"
#include "frame/frame.hpp"

namespace kalm::lib {

[[gnu::always_inline]] static inline f64 run_yn(int n, f64 x, report_t ra) {
    constexpr f64 NEG_INFINITY = dconst(0xFFF0000000000000);

    const std::uint32_t hx = hi_word(x);
    const std::uint32_t lx = lo_word(x);
    const std::uint32_t ix = hx & 0x7FFFFFFFu;

    if ((ix | ((lx | (0u - lx)) >> 31)) > 0x7FF00000u) return fp_check_flags(x + x, ra);  // NaN
    if ((ix | lx) == 0) return fp_raise(FP_DIVIDE_BY_ZERO, ra, n == 0 ? NEG_INFINITY : DEFAULT_NAN);
    if (as_signed(hx) < 0) return fp_check_flags(soft_ddiv(ZERO, ZERO, ra), ra);

    // The order as an unsigned magnitude: -2^31 becomes 2^31, an even order, so
    // Y(-2^31) = Y(2^31) without overflowing the negation.
    std::uint32_t m = static_cast<std::uint32_t>(n);
    int sign = 1;
    if (n < 0) {
        m = 0u - m;
        sign = 1 - 2 * static_cast<int>(m & 1u);
    }

    if (m == 0) return _y0(x, ra);
    if (m == 1) {
        const f64 y = settled(_y1(x, ra));
        return fp_check_flags(static_cast<f64>(sign) * y, ra);
    }
    if (ix == 0x7FF00000u) return fp_check_flags(ZERO, ra);

    f64 b;
    if (ix >= 0x52D00000u) {
        f64 t;
        if ((m & 3u) == 2u) {
            const f64 c = cos(x, ra);
            const f64 s = settled(sin(x, ra));
            t = c - s;
        } else {
            const f64 s = sin(x, ra);
            const f64 c = settled(cos(x, ra));
            switch (m & 3u) {
                case 0: t = s - c; break;
                case 1: t = -s - c; break;
                default: t = s + c; break;
            }
        }
        const f64 num = settled(t * INV_SQRT_PI);
        const f64 root = settled(sqrt(x, ra));
        b = soft_ddiv(num, root, ra);
    } else {
        f64 a = _y0(x, ra);
        b = settled(_y1(x, ra));
        // At most m - 1 steps; the counter and 2i stay exact in 32 and 64 bits.
        for (std::uint32_t i = 1; hi_word(b) != 0xFFF00000u && i < m; ++i) {
            const f64 t = b;
            const f64 two_i = static_cast<f64>(2u * static_cast<std::uint64_t>(i));
            b = soft_ddiv(two_i, x, ra) * b - a;
            a = t;
        }
    }
    return fp_check_flags(sign > 0 ? b : -b, ra);
}

f64 _yn_cleared(int n, f64 x, report_t ra) { return run_yn(n, x, ra); }

namespace exported {
double _yn(int n, double x, report_t ra) {
    return framed_export<true>(ord::yn, tiny(x), [&] { return _yn_cleared(n, opaque(x), ra); });
}
}  // namespace exported

}  // namespace kalm::lib
