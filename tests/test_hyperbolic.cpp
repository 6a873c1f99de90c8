// SPDX-License-Identifier: MIT
// sinh, cosh, tanh: accuracy against MPFR branch by branch, the symmetries
// (bits and flags), the frame-less expm1 core, and the report address of
// exceptions raised inside the inner entries they call.
// KALM_HB_COUNT=N scales the random samples (default 3000 per range).
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
#include "kalmlib/kalmlib.hpp"
#include "support/mpfr_ref.hpp"
#include "support/sampling.hpp"

namespace kalm::lib {
double expm1_core(double x);  // internal to the hyperbolic family
}

using namespace kalm::lib;
using namespace kalmtest;  // the sampling, MPFR and call helpers

namespace {

TEST(Hyperbolic, AccuracyAgainstMpfr) {
    // Bounds per branch, from 2*10^5-sample runs with a margin. The top branch
    // of sinh/cosh squares exp(|x|/2), doubling its error (2.5 ulp measured);
    // tanh below 1 amplifies the error of expm1_core(-2|x|) (2.15 ulp measured).
    struct Branch {
        const char* name;
        double (*f)(double, report_t);
        kalmtest::Mpfr1 ref;
        Range r;
        double bound;
    };
    const Branch branches[] = {
        {"sinh", &kalm::lib::sinh, &mpfr_sinh, {1e-12, 0x1p-28, true}, 0.5},
        {"sinh", &kalm::lib::sinh, &mpfr_sinh, {0x1p-28, 1.0, true}, 2.0},
        {"sinh", &kalm::lib::sinh, &mpfr_sinh, {1.0, 22.0, false}, 1.6},
        {"sinh", &kalm::lib::sinh, &mpfr_sinh, {22.0, 709.78, false}, 1.0},
        {"sinh", &kalm::lib::sinh, &mpfr_sinh, {709.79, 710.47, false}, 3.0},
        {"cosh", &kalm::lib::cosh, &mpfr_cosh, {1e-12, 0.3465, true}, 1.0},
        {"cosh", &kalm::lib::cosh, &mpfr_cosh, {0.3466, 22.0, false}, 1.6},
        {"cosh", &kalm::lib::cosh, &mpfr_cosh, {22.0, 709.78, false}, 1.0},
        {"cosh", &kalm::lib::cosh, &mpfr_cosh, {709.79, 710.47, false}, 3.0},
        {"tanh", &kalm::lib::tanh, &mpfr_tanh, {1e-20, 0x1p-55, true}, 0.5},
        {"tanh", &kalm::lib::tanh, &mpfr_tanh, {0x1p-55, 1.0, true}, 2.5},
        {"tanh", &kalm::lib::tanh, &mpfr_tanh, {1.0, 22.0, false}, 1.0},
    };
    Big e;
    for (const Branch& b : branches) {
        MaxUlp m;
        for (long i = 0; i < sample_count(); ++i) {
            const double x = (i & 1) ? -draw(b.r.lo, b.r.hi, b.r.log_scale) : draw(b.r.lo, b.r.hi, b.r.log_scale);
            kalmtest::exact1(e.v, b.ref, x);
            m.add(kalmtest::ulp_error(b.f(x, RA), e.v), x);
        }
        std::printf("  %s [%g, %g): max %.3f ulp at %.17g\n", b.name, b.r.lo, b.r.hi, m.max, m.at_x);
        EXPECT_LT(m.max, b.bound) << b.name << " at " << m.at_x;
    }
}

TEST(Hyperbolic, Expm1CoreWithinAnUlpAndFrameless) {
    Big e;
    MaxUlp m;
    for (long i = 0; i < sample_count(); ++i) {
        const double x = draw(-2.0, 44.0, false);
        kalmtest::exact1(e.v, &mpfr_expm1, x);
        m.add(kalmtest::ulp_error(expm1_core(x), e.v), x);
    }
    EXPECT_LT(m.max, 1.0) << m.at_x;
    EXPECT_EQ(expm1_core(1.0), 1.718281828459045);
    EXPECT_EQ(expm1_core(-0.5), -0.3934693402873666);
    EXPECT_EQ(expm1_core(40.0), 2.3538526683701997e+17);

    // No frame: flags raised before the call survive it, and nothing is raised.
    kalm::ScopedUnmask unmask(KALM_MASK_OVERFLOW | KALM_MASK_INEXACT);
    kalm::set_status(KALM_FLAG_OVERFLOW);
    (void)expm1_core(0.5);
    EXPECT_EQ(kalm::status() & 0x1Du, KALM_FLAG_OVERFLOW | KALM_FLAG_INEXACT);
    kalm::clear_flags();
}

TEST(Hyperbolic, SymmetriesKeepBitsAndFlags) {
    constexpr std::uint64_t SIGN = 0x8000000000000000ull;
    for (long i = 0; i < sample_count(); ++i) {
        const double x = (i & 1) ? draw(1e-300, 1.0, true) : draw(0.25, 720.0, false);
        Outcome sn = run([&] { return kalm::lib::sinh(-x, RA); }), tn = run([&] { return kalm::lib::tanh(-x, RA); });
        sn.bits ^= SIGN;
        tn.bits ^= SIGN;
        ASSERT_EQ(run([&] { return kalm::lib::sinh(x, RA); }), sn) << x;
        ASSERT_EQ(run([&] { return kalm::lib::tanh(x, RA); }), tn) << x;
        ASSERT_EQ(run([&] { return kalm::lib::cosh(x, RA); }), run([&] { return kalm::lib::cosh(-x, RA); })) << x;
    }
}

TEST(ReportAddress, HyperbolicOverflowAndExpInnerEntry) {
    {
        kalm::ScopedUnmask unmask(KALM_MASK_OVERFLOW);
        try {
            (void)kalm::lib::cosh(710.5, RA);
            ADD_FAILURE() << "cosh(710.5) raised nothing";
        } catch (const kalm::FpException& e) {
            EXPECT_EQ(e.status_code(), KALM_STATUS_FLOAT_OVERFLOW);
            EXPECT_EQ(e.report_address(), RA);
        }
    }
    // cosh(30) raises inexact at the exit of the exp inner entry and again at
    // its own exit, both against the caller; cosh(0.25) calls no exp: one raise.
    {
        RaiseLog log(KALM_MASK_INEXACT);
        (void)kalm::lib::cosh(30.0, RA);
        EXPECT_EQ(log.raises.size(), 2u);
        (void)kalm::lib::cosh(0.25, RA);
        EXPECT_EQ(log.raises.size(), 3u);
        EXPECT_TRUE(log.all_against(RA));
    }
    // tanh(NaN): the division reports against its own call site in the library.
    {
        RaiseLog log(KALM_MASK_INVALID);
        (void)kalm::lib::tanh(std::nan(""), RA);
        ASSERT_EQ(log.raises.size(), 1u);
        EXPECT_NE(log.raises[0].second, RA);
    }
}

}  // namespace
