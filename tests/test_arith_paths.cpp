// SPDX-License-Identifier: MIT
// The division and square root have two paths on x86-64: the AVX-512
// instructions with embedded rounding and the integer methods. Both must give
// the bit-serial references' bits and raises; the instructions must do so in
// any caller environment without touching MXCSR; and the choice between them,
// made once per process, must be right for the first call and for threads that
// make their first calls together.
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "abi/exports.hpp"
#include "exact/division.hpp"
#include "exact/sae_arith.hpp"
#include "host/cpu_features.hpp"
#include "support/oracles.hpp"
#include "support/raise_recorder.hpp"

using namespace kalm::lib;

namespace {

long sample_count() {
    const char* e = std::getenv("KALM_ORACLE_COUNT");
    return e ? std::atol(e) : 300000;
}

// The path the library takes while it lives: the integer methods, or the
// instructions where this host has them (elsewhere both are the integer ones).
class UsePath {
public:
    explicit UsePath([[maybe_unused]] bool integer) {
#if defined(KALM_SAE_ARITH)
        saved_ = g_sae_state.load();
        if (integer) g_sae_state.store(SAE_ABSENT);
        else sae_find();
#endif
    }
    ~UsePath() {
#if defined(KALM_SAE_ARITH)
        g_sae_state.store(saved_);
#endif
    }
    UsePath(const UsePath&) = delete;
    UsePath& operator=(const UsePath&) = delete;

private:
    [[maybe_unused]] std::uint32_t saved_ = 0;
};

bool host_has_instructions() {
#if defined(KALM_SAE_ARITH)
    return cpu_has(CPU_AVX512);
#else
    return false;
#endif
}

// Operands of every class, weighted towards the places where a quotient
// changes class: near the top of the range, near the smallest normal, subnormal.
double any_double(std::mt19937_64& g) {
    const std::uint64_t b = g(), sign = b & 0x8000000000000000ull, frac = b & 0x000FFFFFFFFFFFFFull;
    switch (g() % 9) {
        case 0: return oracle::dval(frac | sign);                                          // subnormal or zero
        case 1: return oracle::dval(sign | ((0x7F0ull + (g() % 15)) << 52) | frac);        // near overflow
        case 2: return oracle::dval(sign | ((1ull + (g() % 60)) << 52) | frac);            // near the smallest normal
        case 3: return oracle::dval(sign | (b & 0x7FF0000000000000ull));                   // power of two, 0 or inf
        case 4: return oracle::dval(sign | 0x7FF0000000000000ull | (frac | 1u));          // NaN
        case 5: return oracle::dval(sign | ((0x3F0ull + (g() % 32)) << 52) | frac);        // near 1
        case 6: return oracle::dval(sign | (0x3FFull << 52) | (g() % 2 ? 0x000FFFFFFFFFFFFFull : 1u));  // 1 +- ulp
        default: return oracle::dval(b);                                                  // anything
    }
}
float any_float(std::mt19937_64& g) {
    const std::uint32_t b = static_cast<std::uint32_t>(g()), sign = b & 0x80000000u, frac = b & 0x007FFFFFu;
    switch (g() % 9) {
        case 0: return oracle::fval(frac | sign);
        case 1: return oracle::fval(sign | ((0xF0u + static_cast<std::uint32_t>(g() % 15)) << 23) | frac);
        case 2: return oracle::fval(sign | ((1u + static_cast<std::uint32_t>(g() % 30)) << 23) | frac);
        case 3: return oracle::fval(sign | (b & 0x7F800000u));
        case 4: return oracle::fval(sign | 0x7F800000u | (frac | 1u));
        case 5: return oracle::fval(sign | ((0x70u + static_cast<std::uint32_t>(g() % 32)) << 23) | frac);
        case 6: return oracle::fval(sign | 0x3F800000u | (g() % 2 ? 0x007FFFFFu : 1u));
        default: return oracle::fval(b);
    }
}

class ArithPaths : public ::testing::TestWithParam<bool> {};

TEST_P(ArithPaths, DivisionMatchesTheBitSerialReference) {
    UsePath path(GetParam());
    kalmtest::RaiseRecorder rec;
    std::mt19937_64 g(2026);
    const long n = sample_count();
    for (long i = 0; i < n; ++i) {
        const double x = any_double(g), y = any_double(g);
        rec.reset();
        const double q = soft_ddiv(x, y, 42);
        const oracle::Div ref = oracle::ddiv(x, y);
        ASSERT_EQ(oracle::dbits(q), ref.bits) << std::hexfloat << x << " / " << y;
        ASSERT_EQ(rec.code, ref.code) << std::hexfloat << x << " / " << y;
        if (rec.code >= 0) {
            ASSERT_EQ(rec.address, 42u);
        }

        const float fx = any_float(g), fy = any_float(g);
        rec.reset();
        const float fq = soft_sdiv(fx, fy);
        const oracle::Div fref = oracle::sdiv(fx, fy);
        ASSERT_EQ(oracle::fbits(fq), fref.bits) << std::hexfloat << fx << " / " << fy;
        ASSERT_EQ(rec.code, fref.code) << std::hexfloat << fx << " / " << fy;
    }
}

TEST_P(ArithPaths, SquareRootMatchesTheBitSerialReference) {
    UsePath path(GetParam());
    kalmtest::RaiseRecorder rec;
    std::mt19937_64 g(77);
    const long n = sample_count();
    for (long i = 0; i < n; ++i) {
        const double x = any_double(g);
        rec.reset();
        const double r = kalm::lib::sqrt(x, 42);
        if (std::isnan(x) || x < 0 || std::isinf(x)) {  // the special paths: a NaN or +inf, and a raise
            ASSERT_EQ(rec.code, x < 0 && !std::isinf(x) ? 4 : 0) << std::hexfloat << x;
            continue;
        }
        ASSERT_EQ(oracle::dbits(r), x == 0 ? oracle::dbits(x) : oracle::dbits(oracle::sqrt_bits(x))) << std::hexfloat << x;
        ASSERT_EQ(rec.code, -1) << std::hexfloat << x;

        const float fx = any_float(g);
        if (std::isnan(fx) || fx <= 0 || std::isinf(fx)) continue;
        rec.reset();
        ASSERT_EQ(oracle::fbits(kalm::lib::sqrtf(fx, 42)), oracle::fbits(oracle::sqrtf_bits(fx))) << std::hexfloat << fx;
        ASSERT_EQ(rec.code, -1) << std::hexfloat << fx;
    }
}

INSTANTIATE_TEST_SUITE_P(Both, ArithPaths, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "IntegerMethods" : "ThisHost"; });

// On a host with AVX-512 the library's usual path is the instructions (else the
// tests above would test the integer methods twice).
TEST(ArithPath, TheInstructionsAreUsedWhereTheHostHasThem) {
#if defined(KALM_SAE_ARITH)
    EXPECT_EQ(sae_arith(), cpu_has(CPU_AVX512));
#else
    GTEST_SKIP() << "integer methods only in this build";
#endif
}

#if defined(__x86_64__) && !defined(KALM_PORTABLE_FENV)
std::uint32_t get_mxcsr() {
    std::uint32_t m;
    asm volatile("stmxcsr %0" : "=m"(m));
    return m;
}
void set_mxcsr(std::uint32_t m) { asm volatile("ldmxcsr %0" : : "m"(m)); }

// Whatever the calling thread has set (rounding, FTZ, DAZ, traps unmasked, flags
// set or clear), the quotients and roots are those of the default environment
// and the register is exactly as it was: no flag raised, none cleared, no trap.
TEST(ArithPath, QuotientsAndRootsIgnoreTheCallersEnvironment) {
    if (!host_has_instructions()) GTEST_SKIP() << "no AVX-512 on this host";
    UsePath path(false);
    std::mt19937_64 g(5);
    constexpr int kN = 4096;
    std::vector<double> x(kN), y(kN), want_q(kN), want_r(kN), got_q(kN), got_r(kN);
    std::vector<float> fx(kN), fy(kN), want_fq(kN), want_fr(kN), got_fq(kN), got_fr(kN);
    for (int i = 0; i < kN; ++i) {
        x[i] = any_double(g);
        y[i] = any_double(g);
        fx[i] = any_float(g);
        fy[i] = any_float(g);
        // Positive finite values for the roots: their special paths compute x*x + x.
        x[i] = std::isfinite(x[i]) && x[i] != 0 ? x[i] : 0x1p-1074 * (i + 1);
        fx[i] = std::isfinite(fx[i]) && fx[i] != 0 ? fx[i] : 0x1p-149f * static_cast<float>(i + 1);
    }
    auto run = [&](std::vector<double>& q, std::vector<double>& r, std::vector<float>& fq, std::vector<float>& fr) {
        for (int i = 0; i < kN; ++i) {
            q[i] = soft_ddiv(x[i], y[i], 0);
            fq[i] = soft_sdiv(fx[i], fy[i]);
            r[i] = sqrt_cleared(std::fabs(x[i]), 0);
            fr[i] = sqrtf_cleared(std::fabs(fx[i]), 0);
        }
    };
    run(want_q, want_r, want_fq, want_fr);
    // RC up, down, toward zero; FTZ; DAZ; all traps unmasked; all six flags set.
    for (std::uint32_t env : {0x3F80u, 0x5F80u, 0x7F80u, 0x9F80u, 0x1FC0u, 0x0000u, 0xFFFFu & ~0x0040u, 0xFFC0u,
                              0x1FBFu}) {
        const std::uint32_t saved = get_mxcsr();
        set_mxcsr(env);
        for (int i = 0; i < kN; ++i) {
            got_q[i] = soft_ddiv(x[i], y[i], 0);
            got_fq[i] = soft_sdiv(fx[i], fy[i]);
        }
        for (int i = 0; i < kN; ++i) {
            got_r[i] = sqrt_cleared(std::bit_cast<double>(std::bit_cast<std::uint64_t>(x[i]) & ~(1ull << 63)), 0);
            got_fr[i] = sqrtf_cleared(std::bit_cast<float>(std::bit_cast<std::uint32_t>(fx[i]) & 0x7FFFFFFFu), 0);
        }
        const std::uint32_t after = get_mxcsr();
        set_mxcsr(saved);
        ASSERT_EQ(after, env) << std::hex << "MXCSR before " << env;
        for (int i = 0; i < kN; ++i) {
            ASSERT_EQ(oracle::dbits(got_q[i]), oracle::dbits(want_q[i])) << std::hex << env << std::hexfloat << " " << x[i] << " / " << y[i];
            ASSERT_EQ(oracle::fbits(got_fq[i]), oracle::fbits(want_fq[i])) << std::hex << env << std::hexfloat << " " << fx[i] << " / " << fy[i];
            ASSERT_EQ(oracle::dbits(got_r[i]), oracle::dbits(want_r[i])) << std::hex << env << std::hexfloat << " " << x[i];
            ASSERT_EQ(oracle::fbits(got_fr[i]), oracle::fbits(want_fr[i])) << std::hex << env << std::hexfloat << " " << fx[i];
        }
    }
}
#endif

// The first calls of a process may come from several threads at once: each
// finds the path unknown and looks it up; all must compute right, and the
// path found must be the host's.
TEST(Threads, TheArithmeticPathIsFoundOnceFromManyThreads) {
    constexpr int kThreads = 8, kCalls = 4000;
    for (int round = 0; round < 10; ++round) {
#if defined(KALM_SAE_ARITH)
        g_sae_state.store(SAE_UNKNOWN);
#endif
        std::atomic<int> ready{0};
        std::atomic<long> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                std::mt19937_64 g(static_cast<std::uint64_t>(round * kThreads + t));
                ready.fetch_add(1);
                while (ready.load() < kThreads) std::this_thread::yield();
                for (int i = 0; i < kCalls; ++i) {
                    const double x = any_double(g), y = any_double(g);
                    if (oracle::dbits(soft_ddiv_local(x, y)) != oracle::ddiv(x, y).bits) wrong.fetch_add(1);
                }
            });
        }
        for (auto& th : threads) th.join();
        ASSERT_EQ(wrong.load(), 0) << "round " << round;
#if defined(KALM_SAE_ARITH)
        ASSERT_EQ(g_sae_state.load(), host_has_instructions() ? SAE_PRESENT : SAE_ABSENT);
#endif
    }
}

// Every float through both square roots (KALM_EXHAUSTIVE=1; a minute or two).
TEST(ArithPath, EveryFloatHasTheSameRootOnBothPaths) {
    if (!std::getenv("KALM_EXHAUSTIVE")) GTEST_SKIP() << "set KALM_EXHAUSTIVE=1";
    if (!host_has_instructions()) GTEST_SKIP() << "no AVX-512 on this host";
    std::vector<std::uint32_t> roots(1u << 20);
    for (std::uint32_t hi = 0; hi < 4096; ++hi) {
        {
            UsePath p(true);
            for (std::uint32_t lo = 0; lo < (1u << 20); ++lo)
                roots[lo] = oracle::fbits(sqrtf_cleared(oracle::fval((hi << 20) | lo), 0));
        }
        UsePath p(false);
        for (std::uint32_t lo = 0; lo < (1u << 20); ++lo) {
            const std::uint32_t b = (hi << 20) | lo;
            if (oracle::fbits(sqrtf_cleared(oracle::fval(b), 0)) != roots[lo]) FAIL() << std::hex << b;
        }
    }
}

}  // namespace
