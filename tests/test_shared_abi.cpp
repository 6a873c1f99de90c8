// The shared library as an application links it: exceptions from a plain
// call are raised against the application's own code, never the library's.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "kalmlib/kalmlib.hpp"

namespace {

std::string object_of(std::uintptr_t addr) {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(addr), &info) || !info.dli_fname) return "?";
    return info.dli_fname;
}

TEST(SharedReportAddress, PlainCallReportsInsideTheCaller) {
    kalm::ScopedUnmask unmask(KALM_MASK_INVALID | KALM_MASK_INEXACT);
    std::uintptr_t where = 0;
    try {
        (void)kalm_sqrt(-1.0);
        ADD_FAILURE() << "no exception";
    } catch (const kalm::FpException& e) {
        EXPECT_EQ(e.status_code(), KALM_STATUS_FLOAT_INVALID_OPERATION);
        where = e.report_address();
    }
    const std::string lib = object_of(reinterpret_cast<std::uintptr_t>(&kalm_sqrt));
    const std::string self = object_of(reinterpret_cast<std::uintptr_t>(&object_of));
    EXPECT_NE(lib, self);
    EXPECT_NE(lib.find("libkalmlib"), std::string::npos) << lib;
    EXPECT_EQ(object_of(where), self);

    // Through the C++ wrapper too: the address is the wrapper's call, in the test.
    try {
        (void)kalm::floor(0.5);
        ADD_FAILURE() << "no exception";
    } catch (const kalm::FpException& e) {
        EXPECT_EQ(e.status_code(), KALM_STATUS_FLOAT_INEXACT_RESULT);
        EXPECT_EQ(object_of(e.report_address()), self);
    }
}

TEST(SharedReportAddress, WordCallReportsAgainstTheGivenAddress) {
    kalm::ScopedUnmask unmask(KALM_MASK_ALL);
    const kalm_export* e = kalm_export_by_name("floor");
    ASSERT_NE(e, nullptr);
    const uint32_t args[2] = {0, 0x3FE00000};  // 0.5
    uint32_t res[2];
    try {
        kalm_call(e->ordinal, args, 2, res, 2, 0x00011234);
        ADD_FAILURE() << "no exception";
    } catch (const kalm::FpException& ex) {
        EXPECT_EQ(ex.report_address(), 0x00011234u);
    }
}

}  // namespace
