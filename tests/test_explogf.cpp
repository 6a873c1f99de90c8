// SPDX-License-Identifier: MIT
// Single exponential, logarithms, power and hyperbolic functions: what the
// vector files cannot show (flags carried across the unframed calls, the
// internal expm1f core) and accuracy against MPFR.
//
// Opt-in: KALM_EXHAUSTIVE=1 runs every one-argument function over all 2^32
// inputs (KALM_THREADS threads, default 1) and a large powf sample, and prints
// the maximum ulp error and the count of correctly rounded results (inputs
// whose exact result is a NaN are not counted). KALM_EXHAUSTIVE=logf,powf runs
// only the listed functions. About 3 minutes of CPU per function.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string_view>
#include <thread>
#include <vector>

#include "abi/exports.hpp"
#include "frame/frame.hpp"
#include "hyperbolic/hyperbolicf.hpp"
#include "kalmlib/kalmlib.h"
#include "support/mpfr_ref.hpp"

using namespace kalm::lib;

namespace {

constexpr report_t RA = 0;

// ---- Flags across unframed calls ---------------------------------------------

TEST(ExplogfFlags, UnframedFunctionsKeepEarlierFlags) {
    // expf, logf, log10f and powf never clear the sticky flags: an overflow flag
    // from before the call is still there, next to the call's own inexact.
    struct Case {
        const char* name;
        float (*call)();
    } cases[] = {
        {"expf", [] { return expf(1.0f, RA); }},
        {"logf", [] { return logf(3.0f, RA); }},
        {"log10f", [] { return log10f(3.0f, RA); }},
        {"powf", [] { return powf(3.0f, 1.7f, RA); }},
        {"sinhf tiny", [] { return sinhf(1e-20f, RA); }},  // returns before any fabsf call
    };
    for (const auto& c : cases) {
        kalm_clear_flags();
        kalm_set_status(KALM_FLAG_OVERFLOW);
        c.call();
        EXPECT_EQ(kalm_status() & 0x1Du, KALM_FLAG_OVERFLOW | KALM_FLAG_INEXACT) << c.name;
    }
}

TEST(ExplogfFlags, FramedCalleesClearEarlierFlags) {
    // |x| is taken with the framed fabsf, and y = 0.5 continues in sqrtf's frame:
    // the flag set before the call is gone, only what follows is left.
    struct Case {
        const char* name;
        float (*call)();
        std::uint32_t after;
    } cases[] = {
        {"coshf", [] { return coshf(1.0f, RA); }, KALM_FLAG_INEXACT},
        {"sinhf", [] { return sinhf(1.0f, RA); }, KALM_FLAG_INEXACT},
        {"tanhf", [] { return tanhf(0.5f, RA); }, KALM_FLAG_INEXACT},
        {"coshf(0)", [] { return coshf(0.0f, RA); }, 0},
        {"powf(2, 0.5)", [] { return powf(2.0f, 0.5f, RA); }, 0},
    };
    for (const auto& c : cases) {
        kalm_clear_flags();
        kalm_set_status(KALM_FLAG_OVERFLOW);
        c.call();
        EXPECT_EQ(kalm_status() & 0x1Du, c.after) << c.name;
    }
}

// ---- expm1f core -----------------------------------------------------------------

TEST(Expm1fCore, ReferenceValuesAndAccuracy) {
    EXPECT_EQ(expm1f_core(1.0f), 1.7182817459106445f);
    EXPECT_EQ(expm1f_core(-0.3f), -0.25918179750442505f);
    EXPECT_EQ(expm1f_core(40.0f), 2.353852703404196e+17f);
    // Every branch of the reconstruction (k = -3 ... 63) over the callers' range.
    kalmtest::MaxUlp m;
    kalmtest::Big e;
    for (float x = -2.0f; x < 44.0f; x = std::nextafter(x + 0.00137f, 50.0f)) {
        kalmtest::exact1(e.v, mpfr_expm1, static_cast<double>(x));
        m.add(kalmtest::ulp_error_f(expm1f_core(x), e.v), static_cast<double>(x));
    }
    EXPECT_LE(m.max, 1.0) << "at " << m.at_x;
}

// ---- Accuracy against MPFR ---------------------------------------------------------

struct Fn1 {
    const char* name;
    float (*f)(float, report_t);
    kalmtest::Mpfr1 ref;
    double (*host)(double);  // host libm, a fast filter for the exhaustive run
    double bound;  // measured maximum, ulp (exhaustive run), rounded up
};

const Fn1 kFns[] = {
    {"expf", expf, mpfr_exp, [](double v) { return std::exp(v); }, 0.92},
    {"logf", logf, mpfr_log, [](double v) { return std::log(v); }, 0.89},
    {"log10f", log10f, mpfr_log10, [](double v) { return std::log10(v); }, 2.10},
    {"sinhf", sinhf, mpfr_sinh, [](double v) { return std::sinh(v); }, 2.51},  // (h·w)·w near the overflow end
    {"coshf", coshf, mpfr_cosh, [](double v) { return std::cosh(v); }, 2.51},
    {"tanhf", tanhf, mpfr_tanh, [](double v) { return std::tanh(v); }, 2.19},
};

// Correctly rounded float of e. round_f needs |e| >= 2^-149 (the smallest
// subnormal); below that the rounding is decided here.
float round_float(const mpfr_t e) {
    if (!mpfr_regular_p(e) || mpfr_get_exp(e) >= -148) return kalmtest::round_f(e);
    const bool neg = mpfr_sgn(e) < 0;
    bool up = false;
    if (mpfr_get_exp(e) == -149) {  // 2^-150 <= |e| < 2^-149: up unless the exact tie
        kalmtest::Big a;
        mpfr_abs(a.v, e, MPFR_RNDN);
        up = mpfr_cmp_ui_2exp(a.v, 1, -150) != 0;
    }
    const float r = up ? std::bit_cast<float>(1u) : 0.0f;
    return neg ? -r : r;
}

// Error of one result in ulps, 0 where the correctly rounded float (overflow to
// infinity, underflow to zero included) is returned; -1 for an expected NaN.
double error_at(const Fn1& fn, float x, kalmtest::Big& e) {
    const float got = fn.f(x, RA);
    kalmtest::exact1(e.v, fn.ref, static_cast<double>(x));
    if (mpfr_nan_p(e.v)) return std::isnan(got) ? -1.0 : INFINITY;
    const float cr = round_float(e.v);
    if (std::bit_cast<std::uint32_t>(cr) == std::bit_cast<std::uint32_t>(got)) return 0.0;
    return kalmtest::ulp_error_f(got, e.v);
}

TEST(ExplogfAccuracy, SampledOneArgument) {
    for (const auto& fn : kFns) {
        kalmtest::MaxUlp m;
        kalmtest::Big e;
        // A prime stride visits every exponent with varied low bits.
        for (std::uint64_t b = 7; b < (1ull << 32); b += 65521) {
            const float x = std::bit_cast<float>(static_cast<std::uint32_t>(b));
            const double err = error_at(fn, x, e);
            if (err >= 0.0) m.add(err, static_cast<double>(x));
        }
        std::printf("%-7s sampled max %.3f ulp at %.9g, %ld of %ld correctly rounded\n", fn.name, m.max, m.at_x,
                    m.correctly_rounded, m.count);
        EXPECT_LE(m.max, fn.bound) << fn.name << " at " << m.at_x;
    }
}

// Random powf arguments with a finite, nonzero result: x over the whole positive
// range, y scaled so that |y·log2 x| stays below 150.
template <typename Gen>
void sample_pow(Gen& g, long count, kalmtest::MaxUlp& m, bool integer_y) {
    kalmtest::Big e;
    std::uniform_int_distribution<std::uint32_t> xb(1, 0x7F7FFFFF);
    std::uniform_real_distribution<double> zd(-149.0, 127.9);
    std::uniform_int_distribution<int> yi(-40, 40);
    for (long n = 0; n < count;) {
        float x = std::bit_cast<float>(xb(g));
        if (x == 1.0f) continue;
        float y;
        if (integer_y) {
            x = std::bit_cast<float>(0x3E000000u + (xb(g) & 0x03FFFFFFu));  // |log2 x| < 4
            y = static_cast<float>(yi(g));
        } else {
            y = static_cast<float>(zd(g) / std::log2(static_cast<double>(x)));
        }
        const float got = powf(x, y, RA);
        kalmtest::exact2(e.v, mpfr_pow, static_cast<double>(x), static_cast<double>(y));
        const float cr = round_float(e.v);
        if (cr == 0.0f || std::isinf(cr)) continue;
        ++n;
        const bool same = std::bit_cast<std::uint32_t>(cr) == std::bit_cast<std::uint32_t>(got);
        m.add(same ? 0.0 : kalmtest::ulp_error_f(got, e.v), static_cast<double>(x), static_cast<double>(y));
    }
}

TEST(ExplogfAccuracy, PowfRandomPairs) {
    std::mt19937 g(20240611);
    kalmtest::MaxUlp m;
    sample_pow(g, 20000, m, false);
    std::printf("powf random pairs: max %.3f ulp at x=%.9g y=%.9g\n", m.max, m.at_x, m.at_y);
    // Large by design for large |y| (x near 1, |y·log2 x| near 100 and beyond): the
    // leading part of the pivot sum keeps its low bits and 2/(3·ln 2) is split
    // short. 116.4 ulp is the maximum over 2·10^6 such pairs.
    EXPECT_LE(m.max, 116.4) << "at x=" << m.at_x << " y=" << m.at_y;
}

TEST(ExplogfAccuracy, PowfIntegerExponents) {
    std::mt19937 g(7);
    kalmtest::MaxUlp m;
    sample_pow(g, 20000, m, true);
    std::printf("powf integer y: max %.3f ulp at x=%.9g y=%.9g\n", m.max, m.at_x, m.at_y);
    EXPECT_LE(m.max, 12.03) << "at x=" << m.at_x << " y=" << m.at_y;  // max over 2·10^6 pairs
}

// ---- Opt-in exhaustive run ---------------------------------------------------------

// KALM_EXHAUSTIVE=1 runs everything; a list such as "logf,powf" only those.
bool exhaustive_enabled(const char* name) {
    const char* e = std::getenv("KALM_EXHAUSTIVE");
    if (!e || !*e || *e == '0') return false;
    const std::string_view list(e), n(name);
    if (list == "1") return true;
    for (std::size_t pos = 0; pos <= list.size();) {
        const std::size_t end = std::min(list.find(',', pos), list.size());
        if (list.substr(pos, end - pos) == n) return true;
        pos = end + 1;
    }
    return false;
}

unsigned thread_count() {
    const char* e = std::getenv("KALM_THREADS");
    const long n = e ? std::atol(e) : 1;
    return n < 1 ? 1u : static_cast<unsigned>(n);
}

struct Tally {
    double max = 0.0;
    std::uint32_t at = 0;
    std::uint64_t count = 0, correct = 0;
};

void exhaustive_range(const Fn1& fn, std::uint64_t lo, std::uint64_t hi, Tally& t) {
    kalmtest::Big e;
    for (std::uint64_t b = lo; b < hi; ++b) {
        const std::uint32_t w = static_cast<std::uint32_t>(b);
        const float x = std::bit_cast<float>(w);
        if (std::isnan(x)) continue;
        const float got = fn.f(x, RA);
        // The host's double result is within a few double ulps (~1e-7 float ulp):
        // exact enough for the error; undecidable roundings go to MPFR.
        const double ref = fn.host(static_cast<double>(x));
        if (std::isnan(ref)) {  // not counted: a NaN is no rounding question
            if (!std::isnan(got)) {
                t.max = INFINITY;
                t.at = w;
            }
            continue;
        }
        double err;
        if (std::isinf(got) || std::fabs(ref) >= 0x1p128) {
            // Beyond the float range: right when both overflow clearly the same way.
            const bool same_inf = std::isinf(got) && (got > 0) == (ref > 0) && std::fabs(ref) >= 0x1.000002p128;
            err = same_inf ? 0.0 : error_at(fn, x, e);
        } else {
            err = kalm::ulp::error_against_double(got, ref);
            if (std::fabs(err - 0.5) < 1e-6) err = error_at(fn, x, e);
        }
        ++t.count;
        if (err <= 0.5) ++t.correct;
        if (err > t.max) {
            t.max = err;
            t.at = w;
        }
    }
}

TEST(ExplogfExhaustive, AllFloatsOneArgument) {
    if (!exhaustive_enabled("expf") && !exhaustive_enabled("logf") && !exhaustive_enabled("log10f") &&
        !exhaustive_enabled("sinhf") && !exhaustive_enabled("coshf") && !exhaustive_enabled("tanhf"))
        GTEST_SKIP() << "set KALM_EXHAUSTIVE=1 (or a list of functions)";
    const unsigned nt = thread_count();
    for (const auto& fn : kFns) {
        if (!exhaustive_enabled(fn.name)) continue;
        std::vector<Tally> parts(nt);
        std::vector<std::thread> threads;
        const std::uint64_t step = (1ull << 32) / nt;
        for (unsigned i = 0; i < nt; ++i)
            threads.emplace_back([&, i] {
                kalm_set_control_word(KALM_MASK_ALL);
                exhaustive_range(fn, i * step, i + 1 == nt ? (1ull << 32) : (i + 1) * step, parts[i]);
            });
        for (auto& th : threads) th.join();
        Tally all;
        for (const auto& p : parts) {
            all.count += p.count;
            all.correct += p.correct;
            if (p.max > all.max) {
                all.max = p.max;
                all.at = p.at;
            }
        }
        std::printf("%-7s max %.3f ulp at 0x%08X (%.9g); correctly rounded %llu of %llu (%.4f%%)\n", fn.name, all.max,
                    all.at, static_cast<double>(std::bit_cast<float>(all.at)),
                    static_cast<unsigned long long>(all.correct), static_cast<unsigned long long>(all.count),
                    100.0 * static_cast<double>(all.correct) / static_cast<double>(all.count));
        EXPECT_LE(all.max, fn.bound) << fn.name;
    }
}

TEST(ExplogfExhaustive, PowfLargeSample) {
    if (!exhaustive_enabled("powf")) GTEST_SKIP() << "set KALM_EXHAUSTIVE=1 (or a list with powf)";
    for (int integer_y = 0; integer_y < 2; ++integer_y) {
        std::mt19937 g(99 + integer_y);
        kalmtest::MaxUlp m;
        sample_pow(g, 2000000, m, integer_y != 0);
        std::printf("powf %s: max %.3f ulp at x=%.9g y=%.9g; correctly rounded %ld of %ld\n",
                    integer_y ? "integer y" : "random pairs", m.max, m.at_x, m.at_y, m.correctly_rounded, m.count);
    }
}

}  // namespace
