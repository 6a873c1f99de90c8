// SPDX-License-Identifier: MIT
// Double trigonometric and inverse trigonometric functions: the reduction's
// tables re-derived from pi, its documented outputs and its exactness over many
// huge arguments, kernel corners, accuracy against MPFR, odd/even symmetries and
// the report addresses of inner entries and direct raises.
// KALM_TRIG_COUNT=N scales the random samples (default 10000 per range).
#include <gmp.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "abi/exports.hpp"
#include "frame/frame.hpp"
#include "kalmlib/kalmlib.hpp"
#include "support/mpfr_ref.hpp"
#include "support/raise_recorder.hpp"
#include "trig/rem_halfpi.hpp"
#include "trig/rem_halfpi_tables.hpp"
#include "trig/trig_kernels.hpp"

using namespace kalm::lib;
using kalmtest::Big;
using kalmtest::MaxUlp;

namespace {

constexpr report_t RA = 0x5A5A10;  // an address handed to inner entries

long sample_count() {
    const char* e = std::getenv("KALM_TRIG_COUNT");
    return e ? std::atol(e) : 10000;
}

using kalmtest::RaiseRecorder;

// Random finite double with |x| log-uniform in [2^lo, 2^hi), random sign.
double log_uniform(std::mt19937_64& g, int lo, int hi) {
    std::uint64_t b = g();
    int e = lo + static_cast<int>(g() % static_cast<std::uint64_t>(hi - lo));
    double m = from_bits((b & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);  // [1, 2)
    double x = std::ldexp(m, e);
    return (b >> 63) ? -x : x;
}

double uniform(std::mt19937_64& g, double a, double b) {
    return std::uniform_real_distribution<double>(a, b)(g);
}

// x - N*pi/2 for the nearest integer N, exactly enough for any double.
struct Reduced {
    long n_mod8;
    long n;  // N itself, when it fits
    Big exact;
};
void reduce_exact(double x, Reduced& out) {
    mpfr_t v, pi2, nn;
    mpfr_inits2(1500, v, pi2, nn, static_cast<mpfr_ptr>(nullptr));
    mpfr_const_pi(pi2, MPFR_RNDN);
    mpfr_div_2ui(pi2, pi2, 1, MPFR_RNDN);
    mpfr_set_d(v, x, MPFR_RNDN);
    mpfr_div(v, v, pi2, MPFR_RNDN);
    mpfr_rint(nn, v, MPFR_RNDN);
    mpfr_sub(v, v, nn, MPFR_RNDN);
    mpfr_mul(out.exact.v, v, pi2, MPFR_RNDN);
    mpz_t z;
    mpz_init(z);
    mpfr_get_z(z, nn, MPFR_RNDN);
    out.n_mod8 = static_cast<long>(mpz_fdiv_ui(z, 8));
    out.n = mpz_fits_slong_p(z) ? mpz_get_si(z) : 0;
    mpz_clear(z);
    mpfr_clears(v, pi2, nn, static_cast<mpfr_ptr>(nullptr));
}

// |y0 + y1 - r| / |r|, as a base-2 logarithm.
double log2_rel_error(double y0, double y1, const mpfr_t r) {
    Big d;
    mpfr_set_d(d.v, y0, MPFR_RNDN);
    mpfr_add_d(d.v, d.v, y1, MPFR_RNDN);
    mpfr_sub(d.v, d.v, r, MPFR_RNDN);
    if (mpfr_zero_p(d.v)) return -1000.0;
    mpfr_div(d.v, d.v, r, MPFR_RNDN);
    mpfr_abs(d.v, d.v, MPFR_RNDN);
    mpfr_log2(d.v, d.v, MPFR_RNDN);
    return mpfr_get_d(d.v, MPFR_RNDN);
}

using Fn1 = double (*)(double, report_t);

// Max ulp error of f against the MPFR function over the given arguments.
MaxUlp measure(Fn1 f, kalmtest::Mpfr1 ref, const std::vector<double>& xs) {
    MaxUlp m;
    Big e;
    for (double x : xs) {
        kalmtest::exact1(e.v, ref, x);
        m.add(kalmtest::ulp_error(f(x, 0), e.v), x);
    }
    return m;
}

std::string describe(const MaxUlp& m) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "max %.4f ulp at x = %.17g, %ld samples", m.max, m.at_x, m.count);
    return buf;
}

}  // namespace

// ---- The reduction ---------------------------------------------------------

TEST(RemHalfPi, TablesMatchPi) {
    mpfr_t t, u;
    mpfr_inits2(2200, t, u, static_cast<mpfr_ptr>(nullptr));
    mpz_t z;
    mpz_init(z);
    mpfr_const_pi(t, MPFR_RNDN);
    mpfr_ui_div(u, 2, t, MPFR_RNDN);  // 2/pi
    for (int k = 0; k < 66; ++k) {
        mpfr_mul_2ui(t, u, 24 * (k + 1), MPFR_RNDN);
        mpfr_get_z(z, t, MPFR_RNDD);
        EXPECT_EQ(static_cast<unsigned long>(TWO_OVER_PI_24[k]), mpz_fdiv_ui(z, 1ul << 24)) << "chunk " << k;
    }
    mpfr_const_pi(t, MPFR_RNDN);
    for (int n = 1; n <= 32; ++n) {
        mpfr_mul_ui(u, t, n, MPFR_RNDN);
        mpfr_div_2ui(u, u, 1, MPFR_RNDN);
        EXPECT_EQ(HALFPI_HW[n - 1], hi_word(mpfr_get_d(u, MPFR_RNDN))) << "n = " << n;
    }
    mpz_clear(z);
    mpfr_clears(t, u, static_cast<mpfr_ptr>(nullptr));
}

TEST(RemHalfPi, DocumentedValues) {
    struct Case {
        double x;
        int n;
        double y0, y1;  // NaN: not checked
    };
    const double nan = std::nan("");
    const Case cases[] = {
        {0.0, 0, 0.0, 0.0},
        {0.5, 0, 0.5, 0.0},
        {1.5707963267948966, 1, -6.123233995736766e-17, 1.4974857633995285e-33},
        {-1.5707963267948966, -1, 6.123233995736766e-17, -1.4974857633995285e-33},
        {2.356194490192345, 2, -0.7853981633974484, -1.1442377445176544e-17},
        {from_words(0x4002D97B, 0xFFFFFFFF), 1, nan, nan},
        {from_words(0x4002D97C, 0), 1, nan, nan},
        {3.0, 2, -0.14159265358979323, -1.1442377445176544e-17},
        {100.0, 64, -0.5309649148733836, nan},
        {15.707963267948966, 10, -6.123233995736766e-16, nan},
        {1647099.0, 1048576, -0.3291652855174071, nan},
        {1647100.0, 0, 0.6708347144825929, nan},
        {1e22, 3, 0.5506189342358097, -7.985621383201303e-18},
        {1e300, 7, -0.613076157357336, nan},
        {from_bits(std::uint64_t{0x7FEFFFFFFFFFFFFF}), 2, -0.004961975150787273, -3.65643818040935e-19},
        {-1e22, -3, -0.5506189342358097, 7.985621383201303e-18},
        {-1e300, -7, 0.613076157357336, nan},
    };
    for (const Case& c : cases) {
        double y[2] = {-7.0, -7.0};
        const int n = rem_halfpi(c.x, y);
        EXPECT_EQ(n, c.n) << c.x;
        if (!std::isnan(c.y0)) {
            EXPECT_EQ(bits(y[0]), bits(c.y0)) << c.x;
        }
        if (!std::isnan(c.y1)) {
            EXPECT_EQ(bits(y[1]), bits(c.y1)) << c.x;
        }
    }
    double y[2];
    EXPECT_EQ(rem_halfpi(-0.0, y), 0);
    EXPECT_EQ(bits(y[0]), bits(-0.0));
    EXPECT_EQ(bits(y[1]), bits(0.0));
    for (double x : {double(INFINITY), -double(INFINITY), std::nan("")}) {
        EXPECT_EQ(rem_halfpi(x, y), 0);
        EXPECT_TRUE(std::isnan(y[0]) && std::isnan(y[1]));
    }
}

// Over every size of argument the quadrant agrees with the exact one modulo 8
// (exactly, below 2^20*pi/2), the head is the rounded sum, and head plus tail
// carry the remainder far beyond double precision. Run under the sanitizer
// build this also shows that the multi-precision work arrays are never overrun.
TEST(RemHalfPi, ExactOverAllSizes) {
    std::mt19937_64 g(20240611);
    std::vector<double> xs;
    const long count = sample_count() / 4;
    for (long i = 0; i < count; ++i) xs.push_back(log_uniform(g, 1, 1024));
    for (long i = 0; i < count / 4; ++i) xs.push_back(log_uniform(g, 19, 22));  // around the medium/large boundary
    // Close to multiples of pi/2: the cancelling cases of both paths.
    for (double n : {1.0, 2.0, 3.0, 10.0, 31.0, 32.0, 33.0, 64.0, 1000.0, 1048576.0, 1048577.0, 123456789.0, 1e15}) {
        const double v = n * 1.5707963267948966;
        xs.push_back(v);
        xs.push_back(-v);
        for (std::uint64_t d = 1; d <= 3; ++d) {
            xs.push_back(from_bits(bits(v) + d));
            xs.push_back(from_bits(bits(v) - d));
        }
    }
    xs.push_back(std::ldexp(6381956970095103.0, 797));  // nearest double to a multiple of pi/2
    xs.push_back(-std::ldexp(6381956970095103.0, 797));
    xs.push_back(from_bits(std::uint64_t{0x7FEFFFFFFFFFFFFF}));

    // Worst relative error of y[0] + y[1] by path: |x| < 3pi/4, medium, multi-precision.
    double worst[3] = {-1000.0, -1000.0, -1000.0}, worst_x[3] = {0.0, 0.0, 0.0};
    for (double x : xs) {
        double y[2];
        const int n = rem_halfpi(x, y);
        Reduced r;
        reduce_exact(x, r);
        const double ax = std::fabs(x);
        if (ax < 1647099.0) {
            EXPECT_EQ(n, r.n) << "quadrant of " << x;  // exact, with the sign of x
        } else {
            EXPECT_EQ(((static_cast<long>(n) - r.n_mod8) % 8 + 8) % 8, 0) << "quadrant of " << x;
        }
        // The head is within an ulp of the sum (the multi-precision path rounds
        // its partial sums, so it is not always the correctly rounded one).
        EXPECT_LE(std::fabs(y[1]), std::fabs(y[0]) * 0x1p-52) << x;
        const int path = ax < 2.356194490192345 ? 0 : ax < 1647100.0 ? 1 : 2;
        const double e = log2_rel_error(y[0], y[1], r.exact.v);
        if (e > worst[path]) {
            worst[path] = e;
            worst_x[path] = x;
        }
    }
    for (int p = 0; p < 3; ++p)
        std::printf("rem_halfpi path %d: worst relative error 2^%.1f at x = %.17g\n", p, worst[p], worst_x[p]);
    // Every path keeps the remainder to about 70 bits: near pi/2 the three-piece
    // pi/2 (116 bits) against a remainder of 2^-54, in the multi-precision
    // path the products of 2/pi dropped beyond the fourth extra chunk.
    EXPECT_LT(worst[0], -66.0) << worst_x[0];
    EXPECT_LT(worst[1], -66.0) << worst_x[1];
    EXPECT_LT(worst[2], -66.0) << worst_x[2];
}

// ---- Kernels -----------------------------------------------------------------

TEST(TrigKernels, TinyArgumentsAndOddQuadrants) {
    EXPECT_EQ(tan_poly(1e-10, 0.0, -1), -1e10);
    EXPECT_EQ(tan_poly(1e-10, 0.0, 1), 1e-10);
    EXPECT_EQ(sin_poly(1e-10, 5e-27, 1), 1e-10);
    EXPECT_EQ(cos_poly(-1e-10, 0.0), 1.0);
    {
        // -1/tan(+-0): the division reports divide-by-zero directly, result +inf.
        RaiseRecorder rec;
        EXPECT_EQ(tan_poly(-0.0, 0.0, -1), INFINITY);
        EXPECT_EQ(rec.code, KALM_FP_DIVBYZERO);
        EXPECT_NE(rec.address, 0u);
    }
}

// ---- Accuracy against MPFR -------------------------------------------------

TEST(TrigAccuracy, SinCosTan) {
    std::mt19937_64 g(7);
    const long count = sample_count();
    struct Range {
        const char* name;
        std::vector<double> xs;
    };
    std::vector<Range> ranges(4);
    ranges[0].name = "[-pi/4, pi/4]";
    ranges[1].name = "[-100, 100]";
    ranges[2].name = "|x| < 2^20*pi/2";
    ranges[3].name = "log-uniform to the largest double";
    for (long i = 0; i < count; ++i) {
        ranges[0].xs.push_back(uniform(g, -0.7853981633974483, 0.7853981633974483));
        ranges[1].xs.push_back(uniform(g, -100.0, 100.0));
        ranges[2].xs.push_back(uniform(g, -1647099.3, 1647099.3));
        ranges[3].xs.push_back(log_uniform(g, -30, 1024));
    }
    struct Fn {
        const char* name;
        Fn1 f;
        kalmtest::Mpfr1 ref;
        double bound;
    };
    const Fn fns[] = {{"sin", &kalm::lib::sin, &mpfr_sin, 1.0},
                      {"cos", &kalm::lib::cos, &mpfr_cos, 1.0},
                      {"tan", &kalm::lib::tan, &mpfr_tan, 1.5}};
    for (const Fn& fn : fns)
        for (const Range& r : ranges) {
            const MaxUlp m = measure(fn.f, fn.ref, r.xs);
            std::printf("%s on %s: %s\n", fn.name, r.name, describe(m).c_str());
            EXPECT_LE(m.max, fn.bound) << fn.name << " on " << r.name;
        }
}

// tan has its largest errors next to odd multiples of pi/2, where the result is
// huge and comes from the corrected reciprocal.
TEST(TrigAccuracy, TanNearPoles) {
    std::vector<double> xs;
    for (int k = 0; k < 400; ++k) {
        const double pole = (2 * k + 1) * 1.5707963267948966;
        double lo = pole, hi = pole;
        for (int d = 0; d < 40; ++d) {
            xs.push_back(lo);
            xs.push_back(hi);
            lo = std::nextafter(lo, 0.0);
            hi = std::nextafter(hi, 1e300);
        }
    }
    const MaxUlp m = measure(&kalm::lib::tan, &mpfr_tan, xs);
    std::printf("tan near poles: %s\n", describe(m).c_str());
    EXPECT_LE(m.max, 1.5);
}

TEST(TrigAccuracy, InverseFunctions) {
    std::mt19937_64 g(11);
    const long count = sample_count();
    std::vector<double> unit, wide;
    for (long i = 0; i < count; ++i) {
        unit.push_back(uniform(g, -1.0, 1.0));
        unit.push_back(log_uniform(g, -60, 0));  // toward zero
        const double t = std::ldexp(uniform(g, 0.0, 1.0), -static_cast<int>(g() % 50));
        unit.push_back((g() & 1) ? 1.0 - t : t - 1.0);  // toward +-1
        wide.push_back(uniform(g, -3.0, 3.0));
        wide.push_back(log_uniform(g, -1074 + 52, 1024));
    }
    const MaxUlp as = measure(&kalm::lib::asin, &mpfr_asin, unit);
    const MaxUlp ac = measure(&kalm::lib::acos, &mpfr_acos, unit);
    const MaxUlp at = measure(&kalm::lib::atan, &mpfr_atan, wide);
    std::printf("asin: %s\nacos: %s\natan: %s\n", describe(as).c_str(), describe(ac).c_str(), describe(at).c_str());
    EXPECT_LE(as.max, 1.0);
    EXPECT_LE(ac.max, 1.0);
    EXPECT_LE(at.max, 1.0);
}

TEST(TrigAccuracy, Atan2PairsAndAxes) {
    std::mt19937_64 g(13);
    const long count = sample_count();
    MaxUlp m;
    Big e;
    auto check = [&](double y, double x) {
        kalmtest::exact2(e.v, &mpfr_atan2, y, x);
        m.add(kalmtest::ulp_error(kalm::lib::atan2(y, x, 0), e.v), y, x);
    };
    for (long i = 0; i < count; ++i) {
        check(log_uniform(g, -40, 40), log_uniform(g, -40, 40));   // every ratio, both signs
        check(uniform(g, -4.0, 4.0), uniform(g, -4.0, 4.0));
        check(log_uniform(g, -1000, 1000), log_uniform(g, -1000, 1000));
    }
    for (long i = 0; i < count / 20; ++i) {  // on the axes
        const double v = log_uniform(g, -1074 + 52, 1024);
        check(0.0, v);
        check(-0.0, v);
        check(v, 0.0);
        check(v, -0.0);
        check(v, INFINITY);
        check(v, -INFINITY);
    }
    std::printf("atan2: max %.4f ulp at (%.17g, %.17g), %ld samples\n", m.max, m.at_x, m.at_y, m.count);
    // The quotient y/x is rounded before the arc tangent: where |y/x| sits just
    // above a power of two and the angle just below one, that rounding alone is
    // worth up to ~0.94 ulp of the result (1.41 ulp seen at (-0.185239, 0.734202)).
    EXPECT_LE(m.max, 1.5);
}

// ---- Symmetries --------------------------------------------------------------

TEST(TrigSymmetry, OddEvenAndAtan2OnOne) {
    std::mt19937_64 g(17);
    const long count = sample_count();
    for (long i = 0; i < count; ++i) {
        const double x = std::fabs(log_uniform(g, -40, 1024));
        const double u = std::fabs(uniform(g, -1.0, 1.0));
        ASSERT_EQ(bits(kalm::lib::sin(-x, 0)), bits(-kalm::lib::sin(x, 0))) << x;
        ASSERT_EQ(bits(kalm::lib::cos(-x, 0)), bits(kalm::lib::cos(x, 0))) << x;
        ASSERT_EQ(bits(kalm::lib::tan(-x, 0)), bits(-kalm::lib::tan(x, 0))) << x;
        ASSERT_EQ(bits(kalm::lib::atan(-x, 0)), bits(-kalm::lib::atan(x, 0))) << x;
        ASSERT_EQ(bits(kalm::lib::asin(-u, 0)), bits(-kalm::lib::asin(u, 0))) << u;
        const double y = log_uniform(g, -1074 + 52, 1024);
        const double a = kalm::lib::atan(y, 0);
        const std::uint32_t fa = read_sticky();
        const double b = kalm::lib::atan2(y, 1.0, 0);
        ASSERT_EQ(bits(a), bits(b)) << y;
        ASSERT_EQ(fa, read_sticky()) << y;
        const double x2 = log_uniform(g, -40, 40);
        ASSERT_EQ(bits(kalm::lib::atan2(-y, x2, 0)), bits(-kalm::lib::atan2(y, x2, 0))) << y << ", " << x2;
    }
}

// ---- Report addresses --------------------------------------------------------

TEST(TrigReports, InnerEntriesAndDirectRaises) {
    RaiseRecorder rec;
    // Inner entries report their own exit check against the handed-down address.
    kalm::lib::sin(INFINITY, RA);
    EXPECT_EQ(rec.code, KALM_FP_INVALID);
    EXPECT_EQ(rec.address, RA);
    rec.reset();
    kalm::lib::cos(1.0, RA);
    EXPECT_EQ(rec.code, KALM_FP_INEXACT);
    EXPECT_EQ(rec.address, RA);
    // The multi-precision reduction calls floor at its export entry: the
    // inexact of a fractional floor argument is raised inside the library.
    rec.reset();
    kalm::lib::sin(1e300, RA);
    EXPECT_EQ(rec.code, KALM_FP_INEXACT);
    EXPECT_NE(rec.address, RA);
    // asin/acos out of domain: invalid straight from the division, at RA.
    rec.reset();
    kalm::lib::acos(-2.0, RA);
    EXPECT_EQ(rec.code, KALM_FP_INVALID);
    EXPECT_EQ(rec.address, RA);
    // atan2 with a NaN: direct invalid at RA, NaN = 0xFFF80000 : high word of y.
    rec.reset();
    const double r = kalm::lib::atan2(-2.5, std::nan(""), RA);
    EXPECT_EQ(rec.code, KALM_FP_INVALID);
    EXPECT_EQ(rec.address, RA);
    EXPECT_EQ(bits(r), 0xFFF80000C0040000ull);
    // x = 1 continues in atan with the same address.
    rec.reset();
    kalm::lib::atan2(0.5, 1.0, RA);
    EXPECT_EQ(rec.code, KALM_FP_INEXACT);
    EXPECT_EQ(rec.address, RA);
}
