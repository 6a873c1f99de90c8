// SPDX-License-Identifier: MIT
// The error of a result in ulps, the one measure of the accuracy command and
// the accuracy tests: |got - exact| in units in the last place of the exact
// value in the result's format. An exact value in [2^(E-1), 2^E) has the unit
// 2^(E-p); below the normal range the unit is the subnormal spacing, and
// beyond the largest finite value it stays that of the largest binade (the
// format has no wider spacing).
//
// Special cases: NaN against NaN is 0 and NaN against anything else is
// infinite; an infinity is 0 against an exact infinity of its sign, or against
// an exact value that rounds to it (beyond the largest finite value by half a
// unit or more), and otherwise counts as the first value past the largest
// finite one (2^128, 2^1024); a finite result against an exact infinity is
// infinite.
//
// Header-only; uses MPFR.
#pragma once

#include <mpfr.h>

#include <cmath>
#include <limits>

namespace kalm::ulp {

struct Format {
    long precision;  // bits of the significand, the leading one included
    long min_exp;    // the subnormal spacing is 2^min_exp
    long max_exp;    // the finite values are below 2^max_exp
};
inline constexpr Format binary64{53, -1074, 1024};
inline constexpr Format binary32{24, -149, 128};

// The exponent of the unit of a value in [2^(e-1), 2^e).
constexpr long unit_exp(long e, Format f) {
    long u = e - f.precision;
    if (u < f.min_exp) u = f.min_exp;
    if (u > f.max_exp - f.precision) u = f.max_exp - f.precision;
    return u;
}

namespace detail {
// |x| >= 2^max_exp - 2^(max_exp - p - 1): what rounds to an infinity.
inline bool rounds_to_infinity(mpfr_srcptr x, Format f, mpfr_ptr scratch) {
    mpfr_set_ui_2exp(scratch, 1, f.max_exp, MPFR_RNDN);
    mpfr_sub_d(scratch, scratch, std::ldexp(1.0, static_cast<int>(f.max_exp - f.precision - 1)), MPFR_RNDN);
    return mpfr_cmpabs(x, scratch) >= 0;
}
}  // namespace detail

// `got` is the result (a float result converted to double); `scratch` is a
// variable of at least the exact value's precision plus 64 bits, to work in.
inline double error(double got, mpfr_srcptr exact, Format f, mpfr_ptr scratch) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    if (mpfr_nan_p(exact)) return std::isnan(got) ? 0.0 : inf;
    if (std::isnan(got)) return inf;
    if (mpfr_inf_p(exact)) return std::isinf(got) && (got > 0) == (mpfr_sgn(exact) > 0) ? 0.0 : inf;
    if (std::isinf(got)) {
        if ((got > 0) == (mpfr_sgn(exact) > 0) && detail::rounds_to_infinity(exact, f, scratch)) return 0.0;
        mpfr_set_ui_2exp(scratch, 1, f.max_exp, MPFR_RNDN);
        if (got < 0) mpfr_neg(scratch, scratch, MPFR_RNDN);
    } else {
        mpfr_set_d(scratch, got, MPFR_RNDN);  // exact
    }
    mpfr_sub(scratch, scratch, exact, MPFR_RNDN);
    mpfr_abs(scratch, scratch, MPFR_RNDN);
    const long e = mpfr_zero_p(exact) ? f.min_exp + f.precision : static_cast<long>(mpfr_get_exp(exact));
    mpfr_mul_2si(scratch, scratch, -unit_exp(e, f), MPFR_RNDN);
    return mpfr_get_d(scratch, MPFR_RNDN);
}

// The same with a scratch variable of its own (256 bits; enough for exact
// values of up to 192 bits).
inline double error(double got, mpfr_srcptr exact, Format f) {
    mpfr_t scratch;
    mpfr_init2(scratch, 256);
    const double e = error(got, exact, f, scratch);
    mpfr_clear(scratch);
    return e;
}

// Against a finite double that stands for the exact value of a single
// precision result (a double is 2^29 times finer: exact enough except within
// about 1e-7 ulp of a rounding boundary, where the caller asks MPFR).
inline double error_against_double(float got, double ref) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    if (std::isnan(ref)) return std::isnan(got) ? 0.0 : inf;
    if (std::isnan(got)) return inf;
    int e = 0;
    std::frexp(ref, &e);  // ref in [2^(e-1), 2^e); 0 for a zero
    if (ref == 0) e = static_cast<int>(binary32.min_exp + binary32.precision);
    const double g = std::isinf(got) ? std::copysign(0x1p128, static_cast<double>(got)) : static_cast<double>(got);
    return std::fabs(g - ref) / std::ldexp(1.0, static_cast<int>(unit_exp(e, binary32)));
}

}  // namespace kalm::ulp
