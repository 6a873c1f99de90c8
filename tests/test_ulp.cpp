// SPDX-License-Identifier: MIT
// The ulp measure (tools/vectors/ulp.hpp) at the places where it is easy to
// get wrong: binade edges, the subnormal range, overflow, NaN and infinities.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "support/mpfr_ref.hpp"
#include "ulp.hpp"

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The exact value (a + b) * 2^scale, a and b doubles (exact at 256 bits).
struct Exact {
    double a, b;
    long scale = 0;
};

double measure(double got, Exact e, kalm::ulp::Format f) {
    kalmtest::Big x;
    mpfr_set_d(x.v, e.a, MPFR_RNDN);
    mpfr_add_d(x.v, x.v, e.b, MPFR_RNDN);
    mpfr_mul_2si(x.v, x.v, e.scale, MPFR_RNDN);
    return kalm::ulp::error(got, x.v, f);
}

TEST(Ulp, AgainstExactValues) {
    using kalm::ulp::binary32;
    using kalm::ulp::binary64;
    const struct {
        double got;
        Exact exact;
        kalm::ulp::Format f;
        double want;
    } cases[] = {
        {1.0, {1.0, 0x1p-53}, binary64, 0.5},                  // the unit of [1, 2) is 2^-52
        {1.0, {1.0, -0x1p-54}, binary64, 0.5},                 // below 1 it is 2^-53
        {1.0 + 0x1p-52, {1.0, 0}, binary64, 1.0},
        {0x1p-1074, {0, 0}, binary64, 1.0},                     // against zero: the subnormal spacing
        {0x1p-1074, {1.0, 0.5, -1074}, binary64, 0.5},
        {0x1p-1022, {0x1p-1023, 0}, binary64, 0x1p51},          // subnormal spacing all the way down
        {DBL_MAX, {DBL_MAX, 0x1p970}, binary64, 0.5},           // halfway to 2^1024, which rounds up
        {inf, {DBL_MAX, 0x1p970}, binary64, 0.0},               // ... to the infinity
        {inf, {DBL_MAX, 0x1p969}, binary64, 0.75},              // not yet: against 2^1024, in 2^971 units
        {inf, {1.0, 0, 1100}, binary64, 0.0},
        {-inf, {1.0, 0, 1100}, binary64, 0x1p129},  // the wrong sign: -2^1024, in 2^971 units
        {DBL_MAX, {1.0, 0, 1030}, binary64, 0x1p59 - 0x1p53},  // beyond the range: 2^971 units
        {inf, {inf, 0}, binary64, 0.0},
        {-inf, {inf, 0}, binary64, inf},
        {1.0, {inf, 0}, binary64, inf},
        {nan, {nan, 0}, binary64, 0.0},
        {1.0, {nan, 0}, binary64, inf},
        {nan, {1.0, 0}, binary64, inf},
        {1.0, {1.0, 0x1p-24}, binary32, 0.5},
        {0x1p-149, {0, 0}, binary32, 1.0},
        {static_cast<double>(FLT_MAX), {static_cast<double>(FLT_MAX), 0x1p103}, binary32, 0.5},
        {inf, {static_cast<double>(FLT_MAX), 0x1p103}, binary32, 0.0},
        {inf, {static_cast<double>(FLT_MAX), 0x1p102}, binary32, 0.75},
    };
    for (const auto& c : cases)
        EXPECT_EQ(measure(c.got, c.exact, c.f), c.want)
            << c.got << " against (" << c.exact.a << " + " << c.exact.b << ") * 2^" << c.exact.scale << " (p = "
            << c.f.precision << ")";
}

// The tests' ulp_error/ulp_error_f are the same measure.
TEST(Ulp, TestHelpersForward) {
    kalmtest::Big x;
    mpfr_set_d(x.v, 1.0, MPFR_RNDN);
    mpfr_add_d(x.v, x.v, 0x1p-24, MPFR_RNDN);
    EXPECT_EQ(kalmtest::ulp_error(1.0, x.v), 0x1p28);
    EXPECT_EQ(kalmtest::ulp_error_f(1.0f, x.v), 0.5);
}

TEST(Ulp, AgainstADoubleReference) {
    const struct {
        float got;
        double ref;
        double want;
    } cases[] = {
        {1.0f, 1.0 + 0x1p-24, 0.5},
        {1.0f, 1.0 - 0x1p-25, 0.5},
        {0x1p-149f, 0.0, 1.0},
        {0x1p-126f, 0x1p-127, 0x1p22},
        {1.0f, nan, inf},
        {std::numeric_limits<float>::quiet_NaN(), nan, 0.0},
        {std::numeric_limits<float>::quiet_NaN(), 1.0, inf},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kalm::ulp::error_against_double(c.got, c.ref), c.want) << c.got << " against " << c.ref;
}

}  // namespace
