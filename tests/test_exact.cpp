// SPDX-License-Identifier: MIT
// Division, square root and scaling against their bit-serial references and
// the host's correctly rounded arithmetic, their listed edge values and flags.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "abi/exports.hpp"
#include "exact/division.hpp"
#include "exact/scale.hpp"
#include "frame/frame.hpp"
#include "kalmlib/kalmlib.hpp"
#include "support/oracles.hpp"
#include "support/raise_recorder.hpp"

using namespace kalm::lib;

namespace {

long oracle_count() {
    const char* e = std::getenv("KALM_ORACLE_COUNT");
    return e ? std::atol(e) : 300000;
}

using kalmtest::RaiseRecorder;

// Operand generators: normal, subnormal, near the ends of the range, powers of two.
double random_double(std::mt19937_64& g, int kind) {
    std::uint64_t b = g();
    switch (kind) {
        case 0: return oracle::dval(b & 0x7FFFFFFFFFFFFFFFull) * ((b >> 63) ? -1 : 1);
        case 1: return oracle::dval(b & 0x800FFFFFFFFFFFFFull);                           // subnormal
        case 2: return oracle::dval((b & 0x800FFFFFFFFFFFFFull) | (0x7F0ull << 52) | ((g() & 15) << 52));  // near overflow
        case 3: return oracle::dval((b & 0xFFF0000000000000ull));                         // power of two (or 0/inf)
        default: return oracle::dval((b & 0x800FFFFFFFFFFFFFull) | ((0x3F0 + (g() & 31)) << 52));  // near 1
    }
}

TEST(SoftDivision, MatchesBitSerialReferenceAndHost) {
    std::mt19937_64 g(12345);
    RaiseRecorder rec;
    const long n = oracle_count();
    long host_checked = 0;
    for (long i = 0; i < n; ++i) {
        const double x = random_double(g, static_cast<int>(g() % 5));
        const double y = random_double(g, static_cast<int>(g() % 5));
        rec.reset();
        const double q = static_cast<double>(soft_ddiv(x, y, 42));
        const oracle::Div ref = oracle::ddiv(x, y);
        ASSERT_EQ(oracle::dbits(q), ref.bits) << std::hexfloat << x << " / " << y;
        ASSERT_EQ(rec.code, ref.code) << std::hexfloat << x << " / " << y;
        if (std::isfinite(x) && std::isfinite(y) && y != 0 && std::isfinite(q) && !std::isnan(x / y)) {
            ASSERT_EQ(oracle::dbits(q), oracle::dbits(x / y)) << std::hexfloat << x << " / " << y;
            ++host_checked;
        }
    }
    EXPECT_GT(host_checked, n / 2);
}

TEST(SoftDivision, SingleMatchesBitSerialReferenceAndHost) {
    std::mt19937_64 g(777);
    RaiseRecorder rec;
    const long n = oracle_count();
    for (long i = 0; i < n; ++i) {
        std::uint32_t a = static_cast<std::uint32_t>(g()), b = static_cast<std::uint32_t>(g());
        switch (g() % 4) {
            case 1: a &= 0x807FFFFFu; break;      // subnormal dividend
            case 2: b &= 0x807FFFFFu; break;      // subnormal divisor
            case 3: b &= 0xFF800000u; break;      // power-of-two divisor
            default: break;
        }
        const float x = oracle::fval(a), y = oracle::fval(b);
        rec.reset();
        const float q = static_cast<float>(soft_sdiv(x, y));
        const oracle::Div ref = oracle::sdiv(x, y);
        ASSERT_EQ(oracle::fbits(q), ref.bits) << std::hexfloat << x << " / " << y;
        ASSERT_EQ(rec.code, ref.code);
        if (std::isfinite(x) && std::isfinite(y) && y != 0 && std::isfinite(q)) {
            ASSERT_EQ(oracle::fbits(q), oracle::fbits(x / y)) << std::hexfloat << x << " / " << y;
        }
    }
}

struct DivCase {
    std::uint64_t x, y, q;
    int code;
};

TEST(SoftDivision, ListedEdgeValues) {
    const DivCase cases[] = {
        {0x3FF0000000000000, 0x4008000000000000, 0x3FD5555555555555, -1},  // 1/3 rounds down
        {0x4000000000000000, 0x4008000000000000, 0x3FE5555555555555, -1},  // 2/3
        {0x0000000000000001, 0x4000000000000000, 0x0000000000000000, -1},  // tie to even: +0
        {0x0000000000000003, 0x4000000000000000, 0x0000000000000002, -1},  // 3*2^-1074 / 2
        {0x0010000000000000, 0x4000000000000000, 0x0008000000000000, -1},  // 2^-1022 / 2 exact
        {0x0000000000000001, 0x4330000000000000, 0x0000000000000000, -1},  // tiny / 2^52
        {0x8000000000000001, 0x4330000000000000, 0x8000000000000000, -1},  // negative: -0
        {0x8018000000000000, 0x4270000000000000, 0x8000000000001800, -1},  // -1.5*2^-1022 / 2^40
        {0x7FEFFFFFFFFFFFFF, 0x3FE0000000000000, 0x7FF0000000000000, 2},   // largest / 0.5
        {0x7FEFFFFFFFFFFFFF, 0x4000000000000000, 0x7FDFFFFFFFFFFFFF, -1},  // largest / 2 exact
        {0x3FF0000000000000, 0x0000000000000000, 0x7FF0000000000000, 3},   // 1/0
        {0xBFF0000000000000, 0x0000000000000000, 0xFFF0000000000000, 3},   // -1/+0
        {0x3FF0000000000000, 0x8000000000000000, 0xFFF0000000000000, 3},   // 1/-0
        {0x7FF0000000000000, 0x4000000000000000, 0x7FF0000000000000, 3},   // inf/2
        {0x4000000000000000, 0x7FF0000000000000, 0x0000000000000000, -1},  // 2/inf
        {0x8000000000000000, 0x4014000000000000, 0x8000000000000000, -1},  // -0/5
        {0x0000000000000000, 0x0000000000000000, 0xFFF8000000000000, 4},   // 0/0
        {0x7FF0000000000000, 0x7FF0000000000000, 0xFFF8000000000000, 4},   // inf/inf
        {0x7FF8000000000000, 0x3FF0000000000000, 0xFFF8000000000000, 4},   // NaN/1
        {0x3FF0000000000000, 0x7FF8000000000000, 0xFFF8000000000000, 4},   // 1/NaN
        {0x3FF00000DEADBEEF, 0x7FF8000000000000, 0xFFF80000DEADBEEF, 4},   // NaN keeps x's low word
        {0x0000000000000001, 0x0000000000000001, 0x3FF0000000000000, -1},  // subnormal / subnormal
    };
    RaiseRecorder rec;
    for (const auto& c : cases) {
        rec.reset();
        EXPECT_EQ(oracle::dbits(static_cast<double>(soft_ddiv(oracle::dval(c.x), oracle::dval(c.y), 7))), c.q) << std::hex << c.x << " " << c.y;
        EXPECT_EQ(rec.code, c.code) << std::hex << c.x << " " << c.y;
        if (c.code >= 0) {
            EXPECT_EQ(rec.address, 7u);
        }
    }
    struct FCase { std::uint32_t x, y, q; int code; };
    const FCase fcases[] = {
        {0x3F800000, 0x40400000, 0x3EAAAAAB, -1},  // 1/3 rounds up
        {0x7F7FFFFF, 0x3F000000, 0x7F800000, 2},   // largest / 0.5f
        {0x00000001, 0x40000000, 0x00000000, -1},  // 2^-149 / 2: tie to even
        {0x00000003, 0x40000000, 0x00000002, -1},
        {0x00000000, 0x00000000, 0x7FC00000, 4},
        {0x7F800000, 0x7F800000, 0x7FC00000, 4},
        {0xBF800000, 0x00000000, 0xFF800000, 3},
        {0x7FC00001, 0x3F800000, 0x7FC00000, 4},
    };
    for (const auto& c : fcases) {
        rec.reset();
        EXPECT_EQ(oracle::fbits(static_cast<float>(soft_sdiv(oracle::fval(c.x), oracle::fval(c.y)))), c.q) << std::hex << c.x;
        EXPECT_EQ(rec.code, c.code) << std::hex << c.x;
    }
}

TEST(SoftDivision, NeverTouchesStickyFlags) {
    clear_sticky();
    (void)soft_ddiv(1.0, 3.0, 0);
    (void)soft_ddiv(0x1p-1074, 3.0, 0);
    (void)soft_ddiv(0x1p1023, 0x1p-3, 0);
    (void)soft_sdiv(1.0f, 3.0f);
    (void)soft_sdiv(0x1p-149f, 3.0f);
    EXPECT_EQ(read_sticky(), 0u);
    write_sticky(0x1D);
    (void)soft_ddiv(1.0, 3.0, 0);
    EXPECT_EQ(read_sticky(), 0x1Du);
    clear_sticky();
}

TEST(SquareRoot, MatchesBitSerialReferenceAndHost) {
    std::mt19937_64 g(99);
    const long n = oracle_count();
    for (long i = 0; i < n; ++i) {
        std::uint64_t b = g() & 0x7FFFFFFFFFFFFFFFull;
        if (i % 4 == 0) b >>= (g() % 64);  // every binade, subnormals included
        if (b == 0 || b >= 0x7FF0000000000000ull) continue;
        const double x = oracle::dval(b);
        const double r = static_cast<double>(kalm::lib::sqrt(x, 0));
        ASSERT_EQ(oracle::dbits(r), oracle::dbits(oracle::sqrt_bits(x))) << std::hexfloat << x;
        ASSERT_EQ(oracle::dbits(r), oracle::dbits(std::sqrt(x))) << std::hexfloat << x;
    }
    for (int k = 0; k < 52; ++k) {  // each subnormal binade, its ends
        for (std::uint64_t b : {1ull << k, (2ull << k) - 1}) {
            const double x = oracle::dval(b);
            ASSERT_EQ(oracle::dbits(static_cast<double>(kalm::lib::sqrt(x, 0))), oracle::dbits(std::sqrt(x))) << b;
            ASSERT_EQ(oracle::dbits(static_cast<double>(kalm::lib::sqrt(x, 0))), oracle::dbits(oracle::sqrt_bits(x))) << b;
        }
    }
}

TEST(SquareRoot, SingleMatchesReferenceOnEveryBinade) {
    std::mt19937_64 g(5);
    const long n = oracle_count();
    for (long i = 0; i < n; ++i) {
        std::uint32_t b = static_cast<std::uint32_t>(g()) & 0x7FFFFFFFu;
        if (i % 4 == 0) b >>= (g() % 32);
        if (b == 0 || b >= 0x7F800000u) continue;
        const float x = oracle::fval(b);
        const float r = static_cast<float>(kalm::lib::sqrtf(x, 0));
        ASSERT_EQ(oracle::fbits(r), oracle::fbits(oracle::sqrtf_bits(x))) << std::hexfloat << x;
        ASSERT_EQ(oracle::fbits(r), oracle::fbits(std::sqrt(x))) << std::hexfloat << x;
    }
}

TEST(SquareRoot, NormalPathLeavesFlagsClearAndRaisesNothing) {
    kalm::ScopedUnmask all(KALM_MASK_ALL);
    write_sticky(0x1D);
    EXPECT_EQ(oracle::dbits(static_cast<double>(kalm::lib::sqrt(2.0, 0))), 0x3FF6A09E667F3BCDull);
    EXPECT_EQ(read_sticky(), 0u);
    EXPECT_EQ(oracle::fbits(static_cast<float>(kalm::lib::sqrtf(2.0f, 0))), 0x3FB504F3u);
}

struct ScaleCase {
    std::uint64_t x;
    int n;
    std::uint64_t r;
    std::uint32_t flags;
};

TEST(ScalePow2, ListedEdgeValues) {
    const ScaleCase cases[] = {
        {0x3FF0000000000000, 1023, 0x7FE0000000000000, 0},
        {0x3FF0000000000000, 1024, 0x7FF0000000000000, 0x14},
        {0xBFF0000000000000, 1024, 0xFFF0000000000000, 0x14},
        {0x3FF0000000000000, -1022, 0x0010000000000000, 0},
        {0x3FF0000000000000, -1074, 0x0000000000000001, 0},
        {0x3FF0000000000000, -1075, 0x0000000000000000, 0x18},  // halfway: to even
        {0x3FF0000000000000, -1077, 0x0000000000000000, 0x18},  // TINY*TINY
        {0x0000000000000003, 0, 0x0000000000000003, 0},          // subnormal round trip
        {0x3FF0000000000000, 2147483647, 0x7FF0000000000000, 0x14},
        {0x3FF0000000000000, -2147483647 - 1, 0x0000000000000000, 0x18},
        {0x8000000000000000, 5000, 0x8000000000000000, 0},
        {0x7FF0000000000000, -5, 0x7FF0000000000000, 0},
        {0x0000000000000001, -60000, 0x0000000000000000, 0x18},  // subnormal with n < -50000
    };
    for (const auto& c : cases) {
        write_sticky(0x1D);  // scale_pow2 clears on entry
        const double r = static_cast<double>(scale_pow2(oracle::dval(c.x), c.n));
        const std::uint32_t flags = read_sticky();
        EXPECT_EQ(oracle::dbits(r), c.r) << std::hex << c.x << " " << std::dec << c.n;
        EXPECT_EQ(flags, c.flags) << std::hex << c.x << " " << std::dec << c.n;
    }
    struct FCase { std::uint32_t x; int n; std::uint32_t r, flags; };
    const FCase fcases[] = {
        {0x3F800000, 127, 0x7F000000, 0},
        {0x3F800000, 128, 0x7F800000, 0x14},
        {0x3F800000, -149, 0x00000001, 0},
        {0x3FC00000, -150, 0x00000000, 0x18},
        {0x3F800000, 2147483647, 0x7F800000, 0x14},
        {0x00000005, 0, 0x00000005, 0},
    };
    for (const auto& c : fcases) {
        clear_sticky();
        const float r = static_cast<float>(scale_pow2f(oracle::fval(c.x), c.n));
        EXPECT_EQ(oracle::fbits(r), c.r) << std::hex << c.x << " " << std::dec << c.n;
        EXPECT_EQ(read_sticky(), c.flags) << std::hex << c.x << " " << std::dec << c.n;
    }
    EXPECT_EQ(oracle::fbits(static_cast<float>(copy_signf(2.0f, -0.0f))), 0xC0000000u);
}

TEST(ScalePow2, OverflowReportsInsideTheLibrary) {
    RaiseRecorder rec;
    (void)scale_pow2(1.0, 1024);
    EXPECT_EQ(rec.code, FP_OVERFLOW);
    EXPECT_NE(rec.address, 0u);
}

}  // namespace
