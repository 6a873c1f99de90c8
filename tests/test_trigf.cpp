// SPDX-License-Identifier: MIT
// Single trigonometric and inverse trigonometric functions: the reduction's tables
// re-derived from pi, its documented outputs, its exactness at the closest approach to a
// multiple of pi/2 in every huge binade, accuracy against MPFR over a sample of bit
// patterns, odd/even symmetries, and atan2f on random pairs and along the axes.
// KALM_EXHAUSTIVE=1 runs every float through each one-argument function (minutes).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "abi/exports.hpp"
#include "support/mpfr_ref.hpp"
#include "trig/rem_halfpif.hpp"
#include "trig/rem_halfpif_tables.hpp"

using namespace kalm::lib;
using kalmtest::Big;
using kalmtest::MaxUlp;

namespace {

float fv(std::uint32_t b) { return from_bits(b); }

// Per binade 134..254, the mantissa that brings x*2/pi closest to an integer
// (2^-29.9 at best): the deepest cancellation the multi-precision reduction meets.
constexpr std::uint32_t CLOSEST_TO_HALFPI_MULTIPLE[121] = {
    0x437CE5F1,0x43FCE5F1,0x447CE5F1,0x44FCE5F1,0x450BE628,0x458BE628,0x460BE628,0x468BE628,
    0x474D246F,0x47CD246F,0x484D246F,0x4882665E,0x4902665E,0x4982665E,0x4A2562AE,0x4AA562AE,
    0x4B2562AE,0x4BF3B47B,0x4C2332E9,0x4CA332E9,0x4D2332E9,0x4D847661,0x4E13D4A5,0x4E93D4A5,
    0x4F0FFD14,0x4FDBD32F,0x507FD274,0x50A3E87F,0x5123E87F,0x51A3E87F,0x5223E87F,0x52A3E87F,
    0x5323E87F,0x53B146A6,0x543146A6,0x54B146A6,0x553146A6,0x55B146A6,0x56787577,0x56F87577,
    0x57787577,0x57B82989,0x58382989,0x58DC36C9,0x596E3D69,0x59F740B9,0x5A7BC261,0x5AFE0335,
    0x5B7F239F,0x5BFFB3D4,0x5C07BCD0,0x5C87BCD0,0x5D07BCD0,0x5D87BCD0,0x5E07BCD0,0x5E87BCD0,
    0x5F07BCD0,0x5FE4112C,0x6064112C,0x60AB0CE1,0x617C556B,0x61D3B126,0x6253B126,0x62EC1B4A,
    0x636C1B4A,0x63E600C1,0x642E0733,0x64AE0733,0x652E0733,0x65898498,0x66098498,0x66898498,
    0x67098498,0x67898498,0x68098498,0x68898498,0x6946E3BB,0x69C6E3BB,0x6A1976F1,0x6A9976F1,
    0x6B1976F1,0x6B9976F1,0x6C55DA58,0x6CD5DA58,0x6D2063C2,0x6D85A877,0x6E05A877,0x6E85A877,
    0x6F79BE45,0x6FF9BE45,0x7079BE45,0x70F9BE45,0x7179BE45,0x71F9BE45,0x723FA09A,0x72BFA09A,
    0x733FA09A,0x73E61C18,0x7452DE59,0x74D2DE59,0x756FA1DC,0x75949471,0x76507CE8,0x76A426EB,
    0x77584625,0x77D84625,0x78584625,0x78A8B883,0x79407F54,0x79C07F54,0x7A105F7F,0x7AFCCBAB,
    0x7B1675C0,0x7B9675C0,0x7C6C3305,0x7CFF01BD,0x7D7F01BD,0x7DFF01BD,0x7E7F01BD,0x7EBDCDA0,
    0x7F3DCDA0,
};

// x - N*pi/2 with N nearest to x*2/pi, at 256 bits; returns N mod 8.
long reduce_exact(float x, mpfr_t r) {
    Big pi2, q, n;
    mpfr_const_pi(pi2.v, MPFR_RNDN);
    mpfr_div_2ui(pi2.v, pi2.v, 1, MPFR_RNDN);
    mpfr_set_flt(q.v, x, MPFR_RNDN);
    mpfr_div(q.v, q.v, pi2.v, MPFR_RNDN);
    mpfr_round(n.v, q.v);
    mpfr_mul(r, n.v, pi2.v, MPFR_RNDN);
    mpfr_neg(r, r, MPFR_RNDN);
    mpfr_add_d(r, r, static_cast<double>(x), MPFR_RNDN);
    mpfr_fmod_ui(n.v, n.v, 8, MPFR_RNDN);  // sign of N kept: -7..7
    return mpfr_get_si(n.v, MPFR_RNDN);
}

TEST(TrigfReduction, TablesRederivedFromPi) {
    mpfr_t t;
    mpfr_init2(t, 2000);
    for (int k : {0, 1, 7, 60, 131, 190, 197}) {  // byte k = floor(2/pi * 2^(8(k+1))) mod 256
        mpfr_const_pi(t, MPFR_RNDN);
        mpfr_ui_div(t, 2, t, MPFR_RNDN);
        mpfr_mul_2ui(t, t, 8 * (k + 1), MPFR_RNDN);
        mpfr_floor(t, t);
        mpfr_fmod_ui(t, t, 256, MPFR_RNDN);
        EXPECT_EQ(TWO_OVER_PI_8[k], static_cast<std::int32_t>(mpfr_get_si(t, MPFR_RNDN))) << "byte " << k;
    }
    for (int n = 1; n <= 32; ++n) {  // n*pi/2 rounded to single, low 8 bits cleared
        mpfr_const_pi(t, MPFR_RNDN);
        mpfr_mul_ui(t, t, static_cast<unsigned long>(n), MPFR_RNDN);
        mpfr_div_2ui(t, t, 1, MPFR_RNDN);
        EXPECT_EQ(HALFPI_HW_F[n - 1], bits(mpfr_get_flt(t, MPFR_RNDN)) & 0xFFFFFF00u) << "n " << n;
    }
    mpfr_clear(t);
}

TEST(TrigfReduction, DocumentedQuadrantsAndHeads) {
    struct Case { float x; int n; float y0; };
    const Case cases[] = {
        {0.5f, 0, 0.5f},
        {1.0f, 1, -0.5707963109016418f},
        {2.0f, 1, 0.42920365929603577f},
        {fv(0x3FC90FDB), 1, 4.371138828673793e-08f},  // pi/2 rounded: the near-pi/2 branch
        {fv(0x4016CBE4), 2, -0.7853981852531433f},     // 3pi/4 rounded: medium path
        {3.0f, 2, -0.14159265160560608f},
        {100.0f, 64, -0.5309649109840393f},
        {201.0f, 128, -0.06192982941865921f},
        {202.0f, 1, -0.6327261328697205f},  // multi-precision from here on: n modulo 8
        {40000.0f, 1, -0.32846182584762573f},
        {1e10f, 4, -0.5092310905456543f},
        {fv(0x7F7FFFFF), 4, -0.5490493178367615f},
    };
    for (const Case& c : cases) {
        for (float s : {1.0f, -1.0f}) {
            float y[2];
            const int n = rem_halfpif(s * c.x, y);
            EXPECT_EQ(n, s > 0 ? c.n : -c.n) << s * c.x;
            EXPECT_EQ(bits(y[0]), bits(s * c.y0)) << s * c.x;
        }
    }
    float y[2];
    rem_halfpif(0.5f, y);
    EXPECT_EQ(bits(y[1]), 0u);
    rem_halfpif(1.0f, y);
    EXPECT_EQ(y[1], -1.589341991348192e-08f);
    rem_halfpif(fv(0x3FC90FDB), y);
    EXPECT_EQ(y[1], 1.7208456881689926e-15f);
}

// Every huge binade at its deepest cancellation, and a spread of others: the quadrant is
// right and the head is within a unit of the exact remainder (the recompute step runs
// with more chunks of 2/pi each time; its working arrays must hold them).
TEST(TrigfReduction, HugeBinadesExact) {
    std::mt19937 g(7);
    Big r;
    double worst = 0;
    for (std::uint32_t e = 134; e <= 254; ++e) {
        std::uint32_t patterns[6] = {CLOSEST_TO_HALFPI_MULTIPLE[e - 134], e << 23, (e << 23) | 0x7FFFFFu};
        for (int i = 3; i < 6; ++i) patterns[i] = (e << 23) | (g() & 0x7FFFFFu);
        for (std::uint32_t p : patterns) {
            for (std::uint32_t sign : {0u, 0x80000000u}) {
                const float x = fv(p | sign);
                float y[2];
                const int n = rem_halfpif(x, y);
                const long nn = reduce_exact(x, r.v);
                EXPECT_EQ(n & 3, static_cast<int>(nn & 3)) << std::hex << (p | sign);
                if (x > 0.0f && e > 134) {
                    EXPECT_EQ(n, static_cast<int>((nn + 8) % 8)) << std::hex << p;
                }
                const double err = kalmtest::ulp_error_f(y[0], r.v);
                worst = std::max(worst, err);
                EXPECT_LE(err, 2.0) << std::hex << (p | sign);
            }
        }
    }
    std::printf("reduction head error, huge arguments: max %.3f ulp\n", worst);
}

// Medium arguments next to every multiple n*pi/2 up to 201 (the second and third pieces
// of pi/2 take over as the subtraction cancels), and the closest huge ones: exact n,
// head within a unit, and the functions within their measured bounds.
TEST(TrigfReduction, NearMultiplesOfHalfPi) {
    Big r, exact;
    double worst_head = 0, worst_fn = 0;
    std::vector<float> args;
    for (int n = 2; n <= 128; ++n) {
        mpfr_const_pi(r.v, MPFR_RNDN);
        mpfr_mul_ui(r.v, r.v, static_cast<unsigned long>(n), MPFR_RNDN);
        mpfr_div_2ui(r.v, r.v, 1, MPFR_RNDN);
        const std::uint32_t b = bits(mpfr_get_flt(r.v, MPFR_RNDN));
        for (std::uint32_t d : {b - 1, b, b + 1}) args.push_back(fv(d));
    }
    for (std::uint32_t b : CLOSEST_TO_HALFPI_MULTIPLE) args.push_back(fv(b));
    for (float x : args) {
        float y[2];
        const int n = rem_halfpif(x, y);
        const long nn = reduce_exact(x, r.v);
        if (x < 201.0f) {
            EXPECT_EQ(n % 8, static_cast<int>(nn)) << x;
        }
        worst_head = std::max(worst_head, kalmtest::ulp_error_f(y[0], r.v));
        for (int k = 0; k < 3; ++k) {
            const kalmtest::Mpfr1 ref[] = {mpfr_sin, mpfr_cos, mpfr_tan};
            float (*const f[])(float, report_t) = {sinf, cosf, tanf};
            kalmtest::exact1(exact.v, ref[k], static_cast<double>(x));
            worst_fn = std::max(worst_fn, kalmtest::ulp_error_f(f[k](x, 0), exact.v));
        }
    }
    std::printf("near multiples of pi/2: head max %.3f ulp, sinf/cosf/tanf max %.3f ulp\n", worst_head, worst_fn);
    EXPECT_LE(worst_head, 1.0);
    EXPECT_LE(worst_fn, 1.2241);
}

// Function, its MPFR counterpart, the measured maximum error (ulp) over the sample and over
// every float, and its symmetry.
struct OneArg {
    const char* name;
    float (*f)(float, report_t);
    kalmtest::Mpfr1 ref;
    double max_ulp_sampled;
    double max_ulp_all;
    int parity;  // 1 odd, 2 even, 0 none
};
const OneArg ONE_ARG[] = {
    {"sinf", sinf, mpfr_sin, 1.2241, 1.3614, 1},     {"cosf", cosf, mpfr_cos, 1.2239, 2.9053, 2},
    {"tanf", tanf, mpfr_tan, 0.7599, 3.4785, 1},     {"asinf", asinf, mpfr_asin, 0.6970, 0.9254, 1},
    {"acosf", acosf, mpfr_acos, 0.8702, 0.8981, 0},    {"atanf", atanf, mpfr_atan, 0.7219, 0.8522, 1},
};

struct Distribution {
    MaxUlp m;
    long within1 = 0;
    void add(double err, float x) {
        m.add(err, static_cast<double>(x));
        if (err <= 1.0) ++within1;
    }
    void print(const char* name) const {
        std::printf("%-7s %ld args: %.2f%% correctly rounded, %.4f%% within 1 ulp, max %.4f ulp at %a\n", name,
                    m.count, 100.0 * m.correctly_rounded / m.count, 100.0 * within1 / m.count, m.max, m.at_x);
    }
};

// Every 65537th bit pattern of each sign (65536 arguments), against MPFR.
TEST(TrigfAccuracy, SampledAgainstMpfr) {
    for (const OneArg& fn : ONE_ARG) {
        Distribution d;
        Big exact;
        for (std::uint64_t b = 1; b < 0x100000000ull; b += 65537) {
            const float x = fv(static_cast<std::uint32_t>(b));
            const float got = fn.f(x, 0);
            if (std::isnan(x)) {
                EXPECT_TRUE(std::isnan(got)) << fn.name;
                continue;
            }
            kalmtest::exact1(exact.v, fn.ref, static_cast<double>(x));
            const double err = kalmtest::ulp_error_f(got, exact.v);
            d.add(err, x);
            if (fn.parity != 0 && !std::isnan(got)) {
                const float mirrored = fn.f(-x, 0);
                EXPECT_EQ(bits(mirrored), bits(fn.parity == 1 ? -got : got)) << fn.name << " " << x;
            }
        }
        d.print(fn.name);
        EXPECT_LE(d.m.max, fn.max_ulp_sampled) << fn.name << " at " << d.m.at_x;
    }
}

// Random pairs over the whole range, and the axes where the answer is a stored constant.
// An exponent gap above 60 gives the stored angle 0x3FC90FDC, 1.37 ulp above pi/2 by design:
// those pairs are measured apart.
TEST(TrigfAccuracy, Atan2fPairsAndAxes) {
    std::mt19937 g(11);
    Distribution d, extreme;
    Big exact;
    for (int i = 0; i < 60000; ++i) {
        std::uint32_t by = g(), bx = g();
        if (i % 3 == 1) bx = (bx & 0x807FFFFFu) | ((by & 0x7F800000u) + (g() % 16u << 23));  // similar magnitudes
        const float y = fv(by), x = fv(bx);
        if (std::isnan(x) || std::isnan(y) || std::isinf(x) || std::isinf(y)) continue;
        const float got = atan2f(y, x, 0);
        kalmtest::exact2(exact.v, mpfr_atan2, static_cast<double>(y), static_cast<double>(x));
        const double err = kalmtest::ulp_error_f(got, exact.v);
        const int gap = static_cast<int>((by & 0x7FFFFFFFu) >> 23) - static_cast<int>((bx & 0x7FFFFFFFu) >> 23);
        (gap > 60 ? extreme : d).add(err, y);
        EXPECT_EQ(bits(atan2f(-y, x, 0)), bits(got) ^ 0x80000000u);
    }
    d.print("atan2f");
    extreme.print("atan2f, y/x > 2^60");
    EXPECT_LE(d.m.max, 1.4095);  // the quotient's rounding passes through atanf near 0
    EXPECT_LE(extreme.m.max, 1.6334);

    const std::uint32_t PI_BELOW = 0x40490FDAu, HALFPI = 0x3FC90FDBu;
    for (int i = 0; i < 2000; ++i) {
        const float x = std::fabs(fv(g() & 0x7F7FFFFFu)) + 1e-30f;  // finite, positive
        EXPECT_EQ(bits(atan2f(0.0f, x, 0)), 0u);
        EXPECT_EQ(bits(atan2f(-0.0f, x, 0)), 0x80000000u);
        EXPECT_EQ(bits(atan2f(0.0f, -x, 0)), PI_BELOW);
        EXPECT_EQ(bits(atan2f(-0.0f, -x, 0)), PI_BELOW | 0x80000000u);
        EXPECT_EQ(bits(atan2f(x, 0.0f, 0)), HALFPI);
        EXPECT_EQ(bits(atan2f(-x, -0.0f, 0)), HALFPI | 0x80000000u);
        EXPECT_EQ(bits(atan2f(x, INFINITY, 0)), 0u);
        EXPECT_EQ(bits(atan2f(-x, -INFINITY, 0)), PI_BELOW | 0x80000000u);
        EXPECT_EQ(bits(atan2f(INFINITY, -x, 0)), HALFPI);
        if (x != 1.0f) {
            EXPECT_EQ(bits(atan2f(x, 1.0f, 0)), bits(atanf(x, 0)));
        }
    }
}

// Every float through each one-argument function, against the host's double functions
// (their error is far below a single ulp). One thread; minutes per function.
TEST(TrigfAccuracy, Exhaustive) {
    const char* env = std::getenv("KALM_EXHAUSTIVE");
    if (env == nullptr || std::atoi(env) == 0) GTEST_SKIP() << "set KALM_EXHAUSTIVE=1";
    double (*const host[])(double) = {std::sin, std::cos, std::tan, std::asin, std::acos, std::atan};
    for (int k : {3, 4, 5, 0, 1, 2}) {  // the inverse functions first: they are the quick ones
        const OneArg& fn = ONE_ARG[k];
        Distribution d;
        long above[4] = {0, 0, 0, 0};  // errors above 0.5, 0.6, 0.75, 1 ulp
        for (std::uint64_t b = 0; b < 0x100000000ull; ++b) {
            const float x = fv(static_cast<std::uint32_t>(b));
            if (std::isnan(x)) continue;
            const float got = fn.f(x, 0);
            const double ref = host[k](static_cast<double>(x));
            double err;
            if (std::isnan(ref)) {
                err = std::isnan(got) ? 0.0 : INFINITY;
            } else {
                int e;
                std::frexp(ref, &e);
                err = std::fabs(static_cast<double>(got) - ref) / std::ldexp(1.0, std::max(e, -125) - 24);
            }
            d.add(err, x);
            above[0] += err > 0.5;
            above[1] += err > 0.6;
            above[2] += err > 0.75;
            above[3] += err > 1.0;
        }
        d.print(fn.name);
        std::fflush(stdout);
        std::printf("        above 0.5: %ld, 0.6: %ld, 0.75: %ld, 1.0: %ld\n", above[0], above[1], above[2], above[3]);
        std::fflush(stdout);
        EXPECT_LE(d.m.max, fn.max_ulp_all) << fn.name;
    }
}

}  // namespace
