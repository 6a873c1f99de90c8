// SPDX-License-Identifier: MIT
// The multi-precision reduction of sin, cos and tan records the call for the
// length of its inner clearings when the export kept no record. It must leave
// the thread as it found it: no record after the call (a stale one would
// describe the wrong caller to every later clearing), an outer record
// untouched, and outside any export (as here, called directly) the caller's
// environment kept rather than replaced by the device's.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstdint>

#include "abi/exports.hpp"
#include "frame/frame.hpp"
#include "trig/rem_halfpi.hpp"

using namespace kalm::lib;

namespace {

// Huge arguments (the multi-precision path) and one medium one.
constexpr double kArgs[] = {1e22, -1e300, 0x1.fffffffffffffp1023, 1647100.0, 3e6, 100.0};

TEST(TrigRecord, ExportsLeaveNoRecord) {
    ASSERT_EQ(tls_call, 0u);
    for (double x : kArgs) {
        exported::sin(x, 0);
        EXPECT_EQ(tls_call, 0u) << "sin " << x;
        exported::cos(x, 0);
        EXPECT_EQ(tls_call, 0u) << "cos " << x;
        exported::tan(x, 0);
        EXPECT_EQ(tls_call, 0u) << "tan " << x;
    }
}

TEST(TrigRecord, OuterRecordKept) {
    const std::uint64_t outer = tls_call = (std::uint64_t{31} << 32) | 0x1F80u;
    double y[2];
    for (double x : kArgs) {
        rem_halfpi(x, y);
        EXPECT_EQ(tls_call, outer) << x;
    }
    tls_call = 0;
}

// The rounding mode the SSE arithmetic uses (fegetround reads the x87 one).
std::uint32_t rounding_now() {
#if defined(__x86_64__) && !defined(KALM_PORTABLE_FENV)
    return host_status_raw() & ENV_CONTROL_BITS;
#else
    return static_cast<std::uint32_t>(std::fegetround());
#endif
}

TEST(TrigRecord, CallersEnvironmentKeptOutsideExports) {
    double y[2];
    for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        const std::uint32_t before = rounding_now();
        rem_halfpi(1e300, y);
        const std::uint32_t after = rounding_now();
        std::fesetround(FE_TONEAREST);
        EXPECT_EQ(after, before) << mode;
        EXPECT_EQ(tls_call, 0u);
    }
}

}  // namespace
