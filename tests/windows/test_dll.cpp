// SPDX-License-Identifier: MIT
// kalmlib.dll as Windows programs meet it: it exports exactly the functions
// the public headers declare with KALM_API (nothing internal, no loader
// entry point), and its structured exceptions reach the application's
// vectored handler with the device's code and no arguments.
#include <cxxabi.h>
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "kalmlib/kalmlib.hpp"
#include "support/module.hpp"

namespace {

std::set<std::string> dll_export_names(HMODULE m) {
    const auto* base = reinterpret_cast<const unsigned char*>(m);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& d = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::set<std::string> out;
    if (d.Size == 0) return out;
    const auto* dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + d.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + dir->AddressOfNames);
    for (DWORD i = 0; i < dir->NumberOfNames; ++i) out.insert(reinterpret_cast<const char*>(base + names[i]));
    return out;
}

std::string read(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string demangled(const std::string& name) {
    int status = 0;
    char* d = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    std::string out = status == 0 && d ? d : name;
    std::free(d);
    return out;
}

TEST(DllExports, ExactlyWhatThePublicHeadersDeclare) {
    HMODULE lib = GetModuleHandleA("kalmlib.dll");
    ASSERT_NE(lib, nullptr);
    const std::set<std::string> exported = dll_export_names(lib);

    // The C functions: every KALM_API declaration of kalmlib.h and of the
    // batch entries' header it includes.
    const std::string c_header = read(KALM_PUBLIC_HEADERS "/kalmlib.h") + read(KALM_PUBLIC_HEADERS "/kalmlib_batch.h");
    ASSERT_FALSE(c_header.empty());
    ASSERT_NE(c_header.find("KALM_API int kalm_batch_sqrt("), std::string::npos);
    std::set<std::string> c_declared;
    const std::regex c_decl(R"(KALM_API\s+[^;(]*?\b(kalm_\w+)\s*\()");
    for (std::sregex_iterator i(c_header.begin(), c_header.end(), c_decl), end; i != end; ++i)
        c_declared.insert((*i)[1].str());
    EXPECT_GT(c_declared.size(), 80u);  // the exports, their batch entries, the environment, table and raise functions

    // The C++ names: kalm::status_name and the members, vtable and type
    // information of kalm::FpException, the two things kalmlib.hpp marks KALM_API.
    const std::string cpp_header = read(KALM_PUBLIC_HEADERS "/kalmlib.hpp");
    EXPECT_NE(cpp_header.find("class KALM_API FpException"), std::string::npos);
    EXPECT_NE(cpp_header.find("KALM_API const char* status_name("), std::string::npos);
    std::set<std::string> c_exported, cpp_exported;
    for (const std::string& n : exported) (n.rfind("_Z", 0) == 0 ? cpp_exported : c_exported).insert(n);
    auto missing_from = [](const std::set<std::string>& a, const std::set<std::string>& b) {
        std::string out;
        for (const std::string& n : a)
            if (!b.count(n)) out += " " + n;
        return out;
    };
    EXPECT_EQ(missing_from(c_exported, c_declared), "") << "exported, not declared";
    EXPECT_EQ(missing_from(c_declared, c_exported), "") << "declared, not exported";
    bool status_name = false, what = false, constructor = false;
    for (const std::string& n : cpp_exported) {
        const std::string d = demangled(n);
        SCOPED_TRACE(n + " = " + d);
        const bool of_class = d.rfind("kalm::FpException::", 0) == 0 || d == "vtable for kalm::FpException" ||
                              d == "typeinfo for kalm::FpException" || d == "typeinfo name for kalm::FpException";
        EXPECT_TRUE(of_class || d.rfind("kalm::status_name(", 0) == 0);
        status_name |= d.rfind("kalm::status_name(", 0) == 0;
        what |= d == "kalm::FpException::what() const";
        constructor |= d.rfind("kalm::FpException::FpException(", 0) == 0;
    }
    EXPECT_TRUE(status_name && what && constructor);
    EXPECT_EQ(exported.count("DllMain"), 0u);
}

TEST(DllEntryPoint, ReportsSuccessForEveryReason) {
    HMODULE lib = GetModuleHandleA("kalmlib.dll");
    ASSERT_NE(lib, nullptr);
    for (DWORD reason : {DLL_PROCESS_ATTACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH, DLL_PROCESS_DETACH})
        EXPECT_EQ(kalm_dll_main(lib, reason, nullptr), 1);
}

struct Seen {
    DWORD code = 0, parameters = 99, flags = 99;
    std::uintptr_t address = 0;
    int count = 0;
};
Seen g_seen;

LONG CALLBACK watch(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* r = info->ExceptionRecord;
    if (r->ExceptionCode < 0xC000008Eu || r->ExceptionCode > 0xC0000093u) return EXCEPTION_CONTINUE_SEARCH;
    g_seen.code = r->ExceptionCode;
    g_seen.parameters = r->NumberParameters;
    g_seen.flags = r->ExceptionFlags;
    g_seen.address = reinterpret_cast<std::uintptr_t>(r->ExceptionAddress);
    ++g_seen.count;
    return EXCEPTION_CONTINUE_EXECUTION;
}

// The address is where the host raised it: inside its RaiseException, in
// neither the library nor the application (the report address does not
// travel in the record, which has no arguments, as on the device).
TEST(DllStructuredExceptions, CodeNoArgumentsAndTheHostsRaiseAddress) {
    PVOID h = AddVectoredExceptionHandler(1, watch);
    ASSERT_EQ(kalm_set_structured_exceptions(1), KALM_OK);
    kalm_set_control_word(KALM_MASK_ALL & ~KALM_MASK_OVERFLOW);
    const double r = kalm_exp(1000.0);
    kalm_set_control_word(KALM_MASK_ALL);
    kalm_set_structured_exceptions(0);
    RemoveVectoredExceptionHandler(h);
    EXPECT_EQ(r, __builtin_inf());
    EXPECT_EQ(g_seen.count, 1);
    EXPECT_EQ(g_seen.code, KALM_STATUS_FLOAT_OVERFLOW);
    EXPECT_EQ(g_seen.parameters, 0u);
    EXPECT_EQ(g_seen.flags, 0u);
    const std::string at = kalmtest::module_path_of(g_seen.address);
    EXPECT_NE(at, "?");
    EXPECT_NE(at, kalmtest::module_path_of(reinterpret_cast<std::uintptr_t>(&kalm_exp)));
    EXPECT_NE(at, kalmtest::module_path_of(reinterpret_cast<std::uintptr_t>(&watch)));
}

// Nothing handles it: the program ends with the status code as its exit code,
// as an unhandled exception ended the device's program.
TEST(DllStructuredExceptionsDeathTest, UnhandledEndsTheProgramWithTheCode) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SetErrorMode(SEM_NOGPFAULTERRORBOX);  // no crash dialog or debugger
            kalm_set_structured_exceptions(1);
            kalm_set_control_word(KALM_MASK_ALL & ~KALM_MASK_DIVBYZERO);
            volatile double r = kalm_log(0.0);
            (void)r;
            std::exit(0);
        },
        ::testing::ExitedWithCode(static_cast<int>(KALM_STATUS_FLOAT_DIVIDE_BY_ZERO)), "");
}

// 64-bit Windows has a 32-bit long: the address must still come out whole.
TEST(DllExceptionText, WhatShowsTheWholeReportAddress) {
    kalm::ScopedUnmask unmask(KALM_MASK_INVALID);
    const std::uint32_t words[2] = {0, 0xBFF00000u};  // -1.0
    std::uint32_t out[2];
    try {
        kalm_call(35, words, 2, out, 2, static_cast<std::uintptr_t>(0x7FF612345678ull));
        FAIL() << "no exception";
    } catch (const kalm::FpException& e) {
        EXPECT_STREQ(e.what(), "STATUS_FLOAT_INVALID_OPERATION (0xC0000090) in sqrt, reported against 0x7ff612345678");
    }
}

}  // namespace
