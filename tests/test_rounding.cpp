// SPDX-License-Identifier: MIT
// The shortcuts that keep the frame and the integer routines fast must not be
// visible: the rounding functions' single-read frame leaves exactly the flags
// and raises of clear-compute-check whatever was set before the call, and
// fmod's division-based remainder equals the one-bit-per-step remainder.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "abi/exports.hpp"
#include "frame/frame.hpp"
#include "kalmlib/kalmlib.h"
#include "support/oracles.hpp"

using namespace kalm::lib;

namespace {

struct FirstRaise {
    int code = -1;
    static void handler(uint32_t, int fp_code, uintptr_t, void* user) {
        auto* self = static_cast<FirstRaise*>(user);
        if (self->code < 0) self->code = fp_code;
    }
};

// Flags a rounding call must leave: inexact when the result differs, nothing
// otherwise (NaN inputs are left to the vectors).
TEST(FastPaths, RoundingLeavesExactlyItsOwnFlagWhateverWasSetBefore) {
    const double args[] = {2.5, -2.5, 0.5, -0.0, 0.0, 3.0, 0x1p52, 0x1p-1074, -0x1p-1074, 0x1p-1022, 1e300, -0.75};
    const std::uint32_t before[] = {0x00, 0x10, 0x01, 0x04, 0x08, 0x1D, 0x12};
    for (const double x : args) {
        for (const std::uint32_t pre : before) {
            for (const std::uint32_t cw : {std::uint32_t{KALM_MASK_ALL}, 0u}) {
                const float xf = static_cast<float>(x);
                for (int k = 0; k < 4; ++k) {
                    FirstRaise rec;
                    kalm_set_raise_handler(&FirstRaise::handler, &rec);
                    kalm_set_control_word(cw);
                    kalm_set_status(pre);
                    std::uint64_t in, out;
                    switch (k) {
                        case 0: in = oracle::dbits(x), out = oracle::dbits(static_cast<double>(kalm::lib::floor(x, 1))); break;
                        case 1: in = oracle::dbits(x), out = oracle::dbits(static_cast<double>(kalm::lib::ceil(x, 1))); break;
                        case 2: in = oracle::fbits(xf), out = oracle::fbits(static_cast<float>(kalm::lib::floorf(xf, 1))); break;
                        default: in = oracle::fbits(xf), out = oracle::fbits(static_cast<float>(kalm::lib::ceilf(xf, 1))); break;
                    }
                    const std::uint32_t status = kalm_status();
                    kalm_set_raise_handler(nullptr, nullptr);
                    kalm_set_control_word(KALM_MASK_ALL);
                    const bool inexact = in != out;
                    EXPECT_EQ(status & 0x1Du, inexact ? 0x10u : 0u) << x << " pre " << pre << " fn " << k;
                    EXPECT_EQ(status & 0x02u, pre & 0x02u) << "bit 1 is not a sticky flag";
                    EXPECT_EQ(rec.code, inexact && cw == 0 ? FP_INEXACT : -1) << x << " fn " << k;
                }
            }
        }
    }
    kalm_set_status(0);
}

// Remainder of the significands by one shift-and-subtract step per bit of
// exponent difference, with the early exit on a zero partial remainder.
double fmod_stepwise(double x, double y) {
    const std::uint64_t bx = oracle::dbits(x), by = oracle::dbits(y);
    const std::uint64_t sx = bx & 0x8000000000000000ull;
    std::uint64_t ax = bx & ~0x8000000000000000ull, ay = by & ~0x8000000000000000ull;
    if (ax < ay) return x;
    auto split = [](std::uint64_t a, int& e) -> std::uint64_t {
        if (a >> 52) {
            e = static_cast<int>(a >> 52) - 1023;
            return (a & 0x000FFFFFFFFFFFFFull) | 0x0010000000000000ull;
        }
        const int k = __builtin_clzll(a) - 11;
        e = -1022 - k;
        return a << k;
    };
    int ex, ey;
    std::uint64_t mx = split(ax, ex);
    const std::uint64_t my = split(ay, ey);
    for (int n = ex - ey; n > 0; --n) {
        if (mx >= my) {
            mx -= my;
            if (mx == 0) return oracle::dval(sx);
        }
        mx <<= 1;
    }
    if (mx >= my) mx -= my;
    if (mx == 0) return oracle::dval(sx);
    while (mx < 0x0010000000000000ull) {
        mx <<= 1;
        --ey;
    }
    if (ey >= -1022) return oracle::dval(sx | (static_cast<std::uint64_t>(ey + 1023) << 52) | (mx & 0x000FFFFFFFFFFFFFull));
    return oracle::dval(sx | (mx >> (-1022 - ey)));
}

TEST(FastPaths, FmodByDivisionEqualsTheStepwiseRemainder) {
    std::mt19937_64 g(2024);
    for (int i = 0; i < 20000; ++i) {
        // Finite nonzero operands over the whole range: gaps up to 2097 bits.
        std::uint64_t a = g() & 0x7FEFFFFFFFFFFFFFull, b = g() & 0x7FEFFFFFFFFFFFFFull;
        if (i % 4 == 1) b &= 0x000FFFFFFFFFFFFFull;                      // subnormal divisor
        if (i % 4 == 2) b = (b & 0x7FF0000000000000ull) | (g() & 0xFFu);  // few divisor bits: zero remainders
        if ((b << 1) == 0 || (a << 1) == 0) continue;
        if (g() & 1) a |= 0x8000000000000000ull;
        const double x = oracle::dval(a), y = oracle::dval(b);
        ASSERT_EQ(oracle::dbits(static_cast<double>(kalm::lib::fmod(x, y, 1))), oracle::dbits(fmod_stepwise(x, y)))
            << std::hexfloat << x << " " << y;
    }
}

}  // namespace
