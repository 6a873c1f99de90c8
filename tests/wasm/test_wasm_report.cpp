// SPDX-License-Identifier: MIT
// What a report address is on WebAssembly (docs/wasm.md): the caller's own
// through kalm_call, 0 through a C entry, a site of the library's for a
// report from inside it; and C++ exceptions carry the same.
#include <gtest/gtest.h>

#include <cstdint>

#include "host/bits.hpp"
#include "kalmlib/kalmlib.h"
#include "kalmlib/kalmlib.hpp"
#include "support/raise_recorder.hpp"

namespace {

const char my_site = 0;

std::uintptr_t raised_at(const char* name, std::uint32_t lo, std::uint32_t hi, std::uintptr_t where) {
    kalmtest::RaiseRecorder rec;
    const std::uint32_t args[2] = {lo, hi};
    std::uint32_t res[2];
    EXPECT_EQ(kalm_call(kalm_export_by_name(name)->ordinal, args, 2, res, 2, where), KALM_OK);
    EXPECT_GE(rec.code, 0) << name << " raised nothing";
    return rec.address;
}

TEST(WasmReport, TheCallersAddressComesBackThroughTheWordTable) {
    const auto me = reinterpret_cast<std::uintptr_t>(&my_site);
    EXPECT_EQ(raised_at("sqrt", 0, 0xBFF00000u, me), me);  // sqrt(-1): invalid against the call
    EXPECT_FALSE(kalm::lib::in_library_site(me));
}

TEST(WasmReport, ReportsInsideTheLibraryAreItsSites) {
    // sin(1e300): inexact from the reduction's floor, inside the library.
    const std::uintptr_t a = raised_at("sin", 0x8800759Cu, 0x7E37E43Cu, reinterpret_cast<std::uintptr_t>(&my_site));
    EXPECT_TRUE(kalm::lib::in_library_site(a)) << a;
}

TEST(WasmReport, ACEntryReportsZeroAndCxxExceptionsCarryIt) {
    {
        kalmtest::RaiseRecorder rec;
        (void)kalm_sqrt(-1.0);
        EXPECT_EQ(rec.code, KALM_FP_INVALID);
        EXPECT_EQ(rec.address, 0u);
    }
    kalm_set_control_word(KALM_MASK_ALL & ~KALM_MASK_INVALID);
    try {
        (void)kalm::sqrt(-1.0);
        ADD_FAILURE() << "no exception";
    } catch (const kalm::FpException& e) {
        EXPECT_EQ(e.status_code(), KALM_STATUS_FLOAT_INVALID_OPERATION);
        EXPECT_EQ(e.report_address(), 0u);
    }
    kalm_set_control_word(KALM_MASK_ALL);
}

}  // namespace
