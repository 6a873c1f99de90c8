// SPDX-License-Identifier: MIT
// The software arithmetic of host/soft_float.hpp against the x86-64 hardware:
// every operation the routines use, on operands drawn to reach every path
// (zeros, subnormals, the least normal, the largest finite values, infinities,
// quiet and signalling NaNs, close exponents for cancellation, random words),
// must give the hardware's bits and exactly the flags it sets.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstdint>
#include <random>

#include "host/soft_float.hpp"

namespace kalm::lib {
KALM_TLS std::uint32_t tls_soft_status KALM_TLS_IE = 0;
}

namespace {

using kalm::lib::soft_double;
using kalm::lib::soft_float;
using kalm::lib::tls_soft_status;

// The truncating conversions as the instructions do them (C++ leaves out of range undefined).
std::int32_t cvtt32(double x) {
    std::int32_t r;
    asm volatile("cvttsd2si %1, %0" : "=r"(r) : "x"(x));
    return r;
}
std::int64_t cvtt64(double x) {
    std::int64_t r;
    asm volatile("cvttsd2si %1, %0" : "=r"(r) : "x"(x));
    return r;
}
std::int32_t cvtt32(float x) {
    std::int32_t r;
    asm volatile("cvttss2si %1, %0" : "=r"(r) : "x"(x));
    return r;
}

std::uint32_t host_flags() {
    const int e = std::fetestexcept(FE_ALL_EXCEPT);
    return ((e & FE_INVALID) ? 0x01u : 0u) | ((e & FE_OVERFLOW) ? 0x04u : 0u) |
           ((e & FE_UNDERFLOW) ? 0x08u : 0u) | ((e & FE_INEXACT) ? 0x10u : 0u);
}

// Operand words of a format with `frac` fraction bits and `ebits` exponent bits.
template <typename U, int frac, int ebits>
struct Draw {
    std::mt19937_64 rng{20261210};
    U special() {
        constexpr U emax = (U(1) << ebits) - 1;
        const U picks[] = {0, 1, 2, (U(1) << frac) - 1, U(1) << frac, (U(1) << frac) + 1,
                           (emax - 1) << frac | ((U(1) << frac) - 1), emax << frac, emax << frac | 1,
                           emax << frac | (U(1) << (frac - 1)), emax << frac | ((U(1) << frac) - 1),
                           U((U(1) << (ebits - 1)) - 1) << frac};  // 1.0
        U w = picks[rng() % std::size(picks)];
        if (rng() & 1) w |= U(1) << (frac + ebits);
        return w;
    }
    U any() { return static_cast<U>(rng()); }
    // A word whose exponent is near e (for sums that cancel or round at the edges).
    U near(int e) {
        constexpr int emax = (1 << ebits) - 1;
        int x = e + static_cast<int>(rng() % 7) - 3;
        x = x < 0 ? 0 : (x >= emax ? emax - 1 : x);
        U f = static_cast<U>(rng()) & ((U(1) << frac) - 1);
        if (rng() % 4 == 0) f |= ((U(1) << frac) - 1) & ~U(rng() % 16);  // runs of ones: carries
        return static_cast<U>(U(x) << frac | f | ((rng() & 1) ? U(1) << (frac + ebits) : U(0)));
    }
    int exponent(U w) { return static_cast<int>((w >> frac) & ((U(1) << ebits) - 1)); }
    std::pair<U, U> pair() {
        switch (rng() % 6) {
            case 0: return {special(), any()};
            case 1: return {any(), special()};
            case 2: return {special(), special()};
            case 3: {
                const U a = any();
                return {a, near(exponent(a))};
            }
            case 4: {  // both in or near the subnormal range
                const U a = near(1);
                return {a, near(1)};
            }
            default: return {any(), any()};
        }
    }
};

constexpr int ROUNDS = 400000;

template <typename Op>
void expect_same(const char* what, std::uint64_t a, std::uint64_t b, std::uint64_t hw, std::uint32_t hw_flags,
                 std::uint64_t sw, int& failures) {
    if (hw == sw && hw_flags == tls_soft_status) return;
    if (++failures > 10) return;
    ADD_FAILURE() << what << " " << std::hex << a << ", " << b << ": hardware " << hw << " flags " << hw_flags
                  << ", software " << sw << " flags " << tls_soft_status;
}

TEST(SoftFloat, DoubleArithmeticAndComparisons) {
    Draw<std::uint64_t, 52, 11> d;
    int failures = 0;
    for (int i = 0; i < ROUNDS; ++i) {
        const auto [wa, wb] = d.pair();
        volatile double a = std::bit_cast<double>(wa), b = std::bit_cast<double>(wb);
        const soft_double sa = soft_double::of_bits(wa), sb = soft_double::of_bits(wb);
        auto check = [&](const char* what, auto hw_op, auto sw_op) {
            std::feclearexcept(FE_ALL_EXCEPT);
            const std::uint64_t hw = hw_op();
            const std::uint32_t f = host_flags();
            tls_soft_status = 0;
            const std::uint64_t sw = sw_op();
            expect_same<void>(what, wa, wb, hw, f, sw, failures);
        };
        check("+", [&] { return std::bit_cast<std::uint64_t>(a + b); }, [&] { return (sa + sb).bits(); });
        check("-", [&] { return std::bit_cast<std::uint64_t>(a - b); }, [&] { return (sa - sb).bits(); });
        check("*", [&] { return std::bit_cast<std::uint64_t>(a * b); }, [&] { return (sa * sb).bits(); });
        check("<", [&] { return std::uint64_t(a < b); }, [&] { return std::uint64_t(sa < sb); });
        check("<=", [&] { return std::uint64_t(a <= b); }, [&] { return std::uint64_t(sa <= sb); });
        check(">", [&] { return std::uint64_t(a > b); }, [&] { return std::uint64_t(sa > sb); });
        check(">=", [&] { return std::uint64_t(a >= b); }, [&] { return std::uint64_t(sa >= sb); });
        check("==", [&] { return std::uint64_t(a == b); }, [&] { return std::uint64_t(sa == sb); });
        check("!=", [&] { return std::uint64_t(a != b); }, [&] { return std::uint64_t(sa != sb); });
        check("to float", [&] { return std::uint64_t(std::bit_cast<std::uint32_t>(static_cast<float>(a))); },
              [&] { return std::uint64_t(soft_float(sa).bits()); });
        // Truncations of values scaled into and around the integer ranges.
        volatile double c = a * 0x1p-980;
        const soft_double sc = soft_double::of_bits(std::bit_cast<std::uint64_t>(static_cast<double>(c)));
        check("to int32", [&] { return std::uint64_t(static_cast<std::uint32_t>(cvtt32(static_cast<double>(c)))); },
              [&] { return std::uint64_t(static_cast<std::uint32_t>(static_cast<std::int32_t>(sc))); });
        check("to int64", [&] { return static_cast<std::uint64_t>(cvtt64(static_cast<double>(c))); },
              [&] { return static_cast<std::uint64_t>(static_cast<std::int64_t>(sc)); });
        const auto n = static_cast<std::int64_t>(wa >> (wb % 64));
        volatile std::int64_t vn = n;
        check("from int64", [&] { return std::bit_cast<std::uint64_t>(static_cast<double>(vn)); },
              [&] { return soft_double(n).bits(); });
    }
}

TEST(SoftFloat, SingleArithmeticAndConversions) {
    Draw<std::uint32_t, 23, 8> d;
    int failures = 0;
    for (int i = 0; i < ROUNDS; ++i) {
        const auto [wa, wb] = d.pair();
        volatile float a = std::bit_cast<float>(wa), b = std::bit_cast<float>(wb);
        const soft_float sa = soft_float::of_bits(wa), sb = soft_float::of_bits(wb);
        auto check = [&](const char* what, auto hw_op, auto sw_op) {
            std::feclearexcept(FE_ALL_EXCEPT);
            const std::uint64_t hw = hw_op();
            const std::uint32_t f = host_flags();
            tls_soft_status = 0;
            const std::uint64_t sw = sw_op();
            expect_same<void>(what, wa, wb, hw, f, sw, failures);
        };
        check("+", [&] { return std::uint64_t(std::bit_cast<std::uint32_t>(a + b)); },
              [&] { return std::uint64_t((sa + sb).bits()); });
        check("-", [&] { return std::uint64_t(std::bit_cast<std::uint32_t>(a - b)); },
              [&] { return std::uint64_t((sa - sb).bits()); });
        check("*", [&] { return std::uint64_t(std::bit_cast<std::uint32_t>(a * b)); },
              [&] { return std::uint64_t((sa * sb).bits()); });
        check("<", [&] { return std::uint64_t(a < b); }, [&] { return std::uint64_t(sa < sb); });
        check(">=", [&] { return std::uint64_t(a >= b); }, [&] { return std::uint64_t(sa >= sb); });
        check("==", [&] { return std::uint64_t(a == b); }, [&] { return std::uint64_t(sa == sb); });
        check("to double", [&] { return std::bit_cast<std::uint64_t>(static_cast<double>(a)); },
              [&] { return soft_double(sa).bits(); });
        volatile float c = a * 0x1p-100f;
        const soft_float sc = soft_float::of_bits(std::bit_cast<std::uint32_t>(static_cast<float>(c)));
        check("to int32", [&] { return std::uint64_t(static_cast<std::uint32_t>(cvtt32(static_cast<float>(c)))); },
              [&] { return std::uint64_t(static_cast<std::uint32_t>(static_cast<std::int32_t>(sc))); });
        const auto n = static_cast<std::int32_t>(wa >> (wb % 32));
        volatile std::int32_t vn = n;
        check("from int32", [&] { return std::uint64_t(std::bit_cast<std::uint32_t>(static_cast<float>(vn))); },
              [&] { return std::uint64_t(soft_float(n).bits()); });
    }
}

}  // namespace
