// SPDX-License-Identifier: MIT
// _y0, _y1, _yn: accuracy against MPFR branch by branch, the order identities
// (bits and flags), the frame-less cores, and the report address of exceptions
// raised inside the inner entries they call.
// KALM_HB_COUNT=N scales the random samples (default 3000 per range);
// KALM_SLOW_TESTS=1 runs _yn at the largest orders (10-25 s each).
#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <vector>

#include "abi/exports.hpp"
#include "bessel/bessel.hpp"
#include "kalmlib/kalmlib.hpp"
#include "support/mpfr_ref.hpp"
#include "support/sampling.hpp"

using namespace kalm::lib;
using namespace kalmtest;  // the sampling, MPFR and call helpers

namespace {

TEST(ReportAddress, BesselInnerCallsReportAgainstTheCaller) {
    // Raises inside sin, cos, log, sqrt, the cores and the divisions carry the
    // address _y0/_y1/_yn were given (x below 2^19 keeps the reduction by pi/2
    // away from its internal floor call, which reports inside the library).
    for (double x : {1e-12, 0.5, 1.0, 1.9, 2.0, 3.0, 5.0, 9.0, 100.0, 4000.0}) {
        RaiseLog log(KALM_MASK_ALL);
        (void)kalm::lib::_y0(x, RA);
        (void)kalm::lib::_y1(x, RA);
        (void)kalm::lib::_yn(7, x, RA);
        (void)kalm::lib::_yn(-4, x, RA);
        EXPECT_TRUE(log.all_against(RA)) << x;
    }
    for (auto call : {+[] { return kalm::lib::_y0(-1.0, RA); }, +[] { return kalm::lib::_y0(0.0, RA); },
                      +[] { return kalm::lib::_y1(-INFINITY, RA); }, +[] { return kalm::lib::_y1(5e-324, RA); },
                      +[] { return kalm::lib::_yn(2, -1.0, RA); }, +[] { return kalm::lib::_yn(1000, 1e-10, RA); }}) {
        kalm::ScopedUnmask unmask(KALM_MASK_ALL & ~KALM_MASK_INEXACT);
        try {
            (void)call();
            ADD_FAILURE() << "no exception";
        } catch (const kalm::FpException& e) {
            EXPECT_EQ(e.report_address(), RA);
        }
    }
}

TEST(Bessel, CoresCheckWithoutClearing) {
    // bessel_j0/j1 leave through the exit check but do not clear on entry: an
    // overflow flag set before the call is raised against the given address.
    for (auto core : {&bessel_j0, &bessel_j1}) {
        RaiseLog log(KALM_MASK_OVERFLOW);
        kalm::set_status(KALM_FLAG_OVERFLOW);
        (void)core(0.5, RA);
        ASSERT_EQ(log.raises.size(), 1u);
        EXPECT_EQ(log.raises[0].first, KALM_FP_OVERFLOW);
        EXPECT_EQ(log.raises[0].second, RA);
        kalm::clear_flags();
    }
}

// Near a zero of Yn a relative error means nothing. An argument counts as near
// a zero when |Yn| is below a quarter of the local amplitude (1 below x = 2,
// sqrt(2/(pi x)) above); there the absolute error is measured, in units of
// 2^-52 times the amplitude. Elsewhere the error is in ulps.
TEST(Bessel, AccuracyAgainstMpfr) {
    struct Case {
        int n;
        Range r;
        double away_ulp, near_abs;
    };
    // Orders 0 and 1 per branch and correction interval (measured at 3*10^4
    // samples: at most 4.7 ulp and 0.64 amplitude ulps). Higher orders run the
    // forward recurrence, which accumulates error while Yn oscillates.
    const Case cases[] = {
        {0, {1e-300, 0x1p-27, true}, 2, 1.5},     {1, {1e-300, 0x1p-27, true}, 2, 1.5},
        {0, {0x1p-27, 2.0, true}, 4, 1.5},        {1, {0x1p-27, 2.0, true}, 4, 1.5},
        {0, {2.0, 2.8571414947509766, false}, 6, 1.5},  {1, {2.0, 2.8571414947509766, false}, 6, 1.5},
        {0, {2.8571414947509766, 4.545452117919922, false}, 6, 1.5},
        {1, {2.8571414947509766, 4.545452117919922, false}, 6, 1.5},
        {0, {4.545452117919922, 8.0, false}, 6, 1.5},   {1, {4.545452117919922, 8.0, false}, 6, 1.5},
        {0, {8.0, 1e6, true}, 6, 1.5},            {1, {8.0, 1e6, true}, 6, 1.5},
        {0, {1e6, 0x1p129, true}, 6, 1.5},        {1, {1e6, 0x1p129, true}, 6, 1.5},
        {0, {0x1.000001p129, 1e300, true}, 6, 1.5},  {1, {0x1.000001p129, 1e300, true}, 6, 1.5},
        {2, {0.01, 30.0, true}, 12, 3},           {3, {0.01, 30.0, true}, 12, 3},
        {5, {0.1, 40.0, true}, 16, 4},            {10, {0.5, 60.0, true}, 24, 6},
        {20, {1.0, 80.0, true}, 40, 10},          {50, {5.0, 100.0, true}, 80, 20},
        {-7, {0x1p302, 1e300, true}, 5, 1},       {8, {0x1p302, 1e300, true}, 5, 1},
    };
    Big e, a, d;
    for (const Case& c : cases) {
        MaxUlp away, near;
        for (long i = 0; i < sample_count() / 3; ++i) {  // MPFR's Yn is slow for large x
            const double x = draw(c.r.lo, c.r.hi, c.r.log_scale);
            mpfr_set_d(a.v, x, MPFR_RNDN);
            mpfr_yn(e.v, c.n, a.v, MPFR_RNDN);
            const double got = c.n == 0 ? kalm::lib::_y0(x, RA) : c.n == 1 ? kalm::lib::_y1(x, RA) : kalm::lib::_yn(c.n, x, RA);
            const double amp = x < 2.0 ? 1.0 : std::sqrt(2.0 / (std::numbers::pi * x));
            if (std::fabs(mpfr_get_d(e.v, MPFR_RNDN)) >= amp / 4.0) {
                away.add(kalmtest::ulp_error(got, e.v), x);
            } else {
                mpfr_set_d(d.v, got, MPFR_RNDN);
                mpfr_sub(d.v, d.v, e.v, MPFR_RNDN);
                near.add(std::fabs(mpfr_get_d(d.v, MPFR_RNDN)) / (amp * 0x1p-52), x);
            }
        }
        std::printf("  Y%d [%g, %g): %.2f ulp at %.17g; near zeros (%ld) %.2f amplitude ulps at %.17g\n", c.n, c.r.lo,
                    c.r.hi, away.max, away.at_x, near.count, near.max, near.at_x);
        EXPECT_LT(away.max, c.away_ulp) << "order " << c.n << " at " << away.at_x;
        EXPECT_LT(near.max, c.near_abs) << "order " << c.n << " at " << near.at_x;
    }
}

TEST(Bessel, OrderIdentitiesKeepBitsAndFlags) {
    for (long i = 0; i < sample_count() / 4; ++i) {
        const double x = (i & 1) ? draw(1e-310, 1e300, true) : draw(0.01, 100.0, false);
        ASSERT_EQ(run([&] { return kalm::lib::_yn(0, x, RA); }), run([&] { return kalm::lib::_y0(x, RA); })) << x;
        ASSERT_EQ(run([&] { return kalm::lib::_yn(1, x, RA); }), run([&] { return kalm::lib::_y1(x, RA); })) << x;
        for (int n : {2, 3, 4, 5, 17, 100}) {
            Outcome neg = run([&] { return kalm::lib::_yn(-n, x, RA); });
            if (n & 1) neg.bits ^= 0x8000000000000000ull;
            ASSERT_EQ(run([&] { return kalm::lib::_yn(n, x, RA); }), neg) << "n " << n << " x " << x;
        }
    }
}

TEST(Bessel, MostNegativeOrderIsEvenOrderTwoToThe31) {
    // -2^31 has no positive counterpart in 32 bits; it is taken as the even
    // order 2^31. Where the leading asymptotic term applies only n mod 4 matters.
    for (double x : {0x1p302, 1e300, 0x1.fffffffffffffp1023})
        EXPECT_EQ(run([&] { return kalm::lib::_yn(INT_MIN, x, RA); }), run([&] { return kalm::lib::_yn(4, x, RA); }));
    EXPECT_EQ(run([] { return kalm::lib::_yn(INT_MIN, 1e-10, RA); }),
              (Outcome{0xFFF0000000000000ull, KALM_FLAG_OVERFLOW | KALM_FLAG_INEXACT}));  // -inf, no sign change
}

TEST(Bessel, LargestOrdersRunTheFullRecurrence) {
    if (!std::getenv("KALM_SLOW_TESTS")) GTEST_SKIP() << "set KALM_SLOW_TESTS=1 (20-50 s)";
    // For x = 1e80 every step's (2i/x)*b is far below half an ulp of a, so the
    // recurrence has period 4: after 2^31 - 2 steps it must land on Y3 or Y0.
    const auto t0 = std::chrono::steady_clock::now();
    const Outcome top = run([] { return kalm::lib::_yn(INT_MAX, 1e80, RA); });
    const auto t1 = std::chrono::steady_clock::now();
    const Outcome bottom = run([] { return kalm::lib::_yn(INT_MIN, 1e80, RA); });
    const auto t2 = std::chrono::steady_clock::now();
    std::printf("  _yn(2^31 - 1, 1e80): %.2f s; _yn(-2^31, 1e80): %.2f s\n",
                std::chrono::duration<double>(t1 - t0).count(), std::chrono::duration<double>(t2 - t1).count());
    EXPECT_EQ(top, run([] { return kalm::lib::_yn(3, 1e80, RA); }));
    EXPECT_EQ(bottom, run([] { return kalm::lib::_yn(4, 1e80, RA); }));
}

}  // namespace
