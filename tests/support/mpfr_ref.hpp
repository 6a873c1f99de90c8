// MPFR as the accuracy oracle: exact values at high precision, correctly
// rounded references, and the error of a result in ulps of the reference.
#pragma once

#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace kalmtest {

using Mpfr1 = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
using Mpfr2 = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t);

// A scoped mpfr_t at 256 bits (ample for every function here).
struct Big {
    mpfr_t v;
    Big() { mpfr_init2(v, 256); }
    ~Big() { mpfr_clear(v); }
    Big(const Big&) = delete;
    Big& operator=(const Big&) = delete;
};

// ulp of the double nearest to the exact value e (subnormal spacing below 2^-1022).
inline double ulp_error(double got, const mpfr_t exact) {
    if (mpfr_nan_p(exact)) return std::isnan(got) ? 0.0 : std::numeric_limits<double>::infinity();
    if (std::isnan(got)) return std::numeric_limits<double>::infinity();
    if (mpfr_inf_p(exact)) {
        if (std::isinf(got) && (got > 0) == (mpfr_sgn(exact) > 0)) return 0.0;
        return std::numeric_limits<double>::infinity();
    }
    Big d;
    mpfr_set_d(d.v, got, MPFR_RNDN);  // exact
    if (std::isinf(got)) {            // measure against 2^1024 for overflow that should not be
        mpfr_set_ui_2exp(d.v, 1, 1024, MPFR_RNDN);
        if (got < 0) mpfr_neg(d.v, d.v, MPFR_RNDN);
    }
    mpfr_sub(d.v, d.v, exact, MPFR_RNDN);
    mpfr_abs(d.v, d.v, MPFR_RNDN);
    long e = mpfr_zero_p(exact) ? -1074 : mpfr_get_exp(exact) - 53;  // exact in [2^(E-1), 2^E)
    if (e < -1074) e = -1074;
    mpfr_mul_2si(d.v, d.v, -e, MPFR_RNDN);
    return mpfr_get_d(d.v, MPFR_RNDN);
}

inline double ulp_error_f(float got, const mpfr_t exact) {
    if (mpfr_nan_p(exact)) return std::isnan(got) ? 0.0 : std::numeric_limits<double>::infinity();
    if (std::isnan(got)) return std::numeric_limits<double>::infinity();
    if (mpfr_inf_p(exact)) {
        if (std::isinf(got) && (got > 0) == (mpfr_sgn(exact) > 0)) return 0.0;
        return std::numeric_limits<double>::infinity();
    }
    Big d;
    mpfr_set_d(d.v, static_cast<double>(got), MPFR_RNDN);
    if (std::isinf(got)) {
        mpfr_set_ui_2exp(d.v, 1, 128, MPFR_RNDN);
        if (got < 0) mpfr_neg(d.v, d.v, MPFR_RNDN);
    }
    mpfr_sub(d.v, d.v, exact, MPFR_RNDN);
    mpfr_abs(d.v, d.v, MPFR_RNDN);
    long e = mpfr_zero_p(exact) ? -149 : mpfr_get_exp(exact) - 24;
    if (e < -149) e = -149;
    mpfr_mul_2si(d.v, d.v, -e, MPFR_RNDN);
    return mpfr_get_d(d.v, MPFR_RNDN);
}

// Exact (256-bit) value of f(x) / f(x, y).
inline void exact1(mpfr_t out, Mpfr1 f, double x) {
    Big a;
    mpfr_set_d(a.v, x, MPFR_RNDN);
    f(out, a.v, MPFR_RNDN);
}
inline void exact2(mpfr_t out, Mpfr2 f, double x, double y) {
    Big a, b;
    mpfr_set_d(a.v, x, MPFR_RNDN);
    mpfr_set_d(b.v, y, MPFR_RNDN);
    f(out, a.v, b.v, MPFR_RNDN);
}

// Correctly rounded double / float of an exact value (MPFR rounds straight
// to the subnormal spacing).
inline double round_d(const mpfr_t e) { return mpfr_get_d(e, MPFR_RNDN); }
inline float round_f(const mpfr_t e) { return mpfr_get_flt(e, MPFR_RNDN); }

// Running maximum of ulp errors with the input that reached it.
struct MaxUlp {
    double max = 0.0;
    double at_x = 0.0, at_y = 0.0;
    long count = 0, correctly_rounded = 0;
    void add(double err, double x, double y = 0.0) {
        ++count;
        if (err <= 0.5) ++correctly_rounded;
        if (err > max) {
            max = err;
            at_x = x;
            at_y = y;
        }
    }
};

}  // namespace kalmtest
