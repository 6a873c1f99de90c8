// SPDX-License-Identifier: MIT
// MPFR as the accuracy oracle: exact values at high precision, correctly
// rounded references, and the error of a result in ulps of the reference.
#pragma once

#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "ulp.hpp"

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

// The error of a result in ulps of the exact value, the measure the accuracy
// command uses too (tools/vectors/ulp.hpp).
inline double ulp_error(double got, const mpfr_t exact) {
    Big d;
    return kalm::ulp::error(got, exact, kalm::ulp::binary64, d.v);
}
inline double ulp_error_f(float got, const mpfr_t exact) {
    Big d;
    return kalm::ulp::error(static_cast<double>(got), exact, kalm::ulp::binary32, d.v);
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
