// SPDX-License-Identifier: MIT
// The shared library as an application links it: exceptions from a plain
// call are raised against the application's own code, never the library's;
// every listed export has its C entry, wired to its own row of the table.
#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "abi/export_list.hpp"
#include "abi/words.hpp"
#include "kalmlib/kalmlib.hpp"
#include "support/module.hpp"

namespace {

std::string object_of(std::uintptr_t addr) { return kalmtest::module_path_of(addr); }

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
    EXPECT_NE(lib.find(kalmtest::library_file_stem), std::string::npos) << lib;
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

// One call of each export through its C entry and through the word table,
// with the same arguments: a = 0.75, b = 2.5, n = 3.
struct Call {
    const char* name;
    const char* c_name;
    int ordinal;
    std::uint64_t (*through_c_entry)();
    std::vector<std::uint32_t> words;
};
constexpr double A = 0.75, B = 2.5;
constexpr int N = 3;
std::uint64_t bits_of(double r) { return std::bit_cast<std::uint64_t>(r); }
std::uint64_t bits_of(float r) { return std::bit_cast<std::uint32_t>(r); }
std::vector<std::uint32_t> words_D_D() { std::vector<std::uint32_t> w(2); kalm::words::put(w.data(), A); return w; }
std::vector<std::uint32_t> words_DD_D() {
    std::vector<std::uint32_t> w(4);
    kalm::words::put(kalm::words::put(w.data(), A), B);
    return w;
}
std::vector<std::uint32_t> words_ID_D() {
    std::vector<std::uint32_t> w(3);
    kalm::words::put(kalm::words::put(w.data(), N), A);
    return w;
}
std::vector<std::uint32_t> words_F_F() { std::vector<std::uint32_t> w(1); kalm::words::put(w.data(), float(A)); return w; }
std::vector<std::uint32_t> words_FF_F() {
    std::vector<std::uint32_t> w(2);
    kalm::words::put(kalm::words::put(w.data(), float(A)), float(B));
    return w;
}
#define ARGS_D_D A
#define ARGS_DD_D A, B
#define ARGS_ID_D N, A
#define ARGS_F_F float(A)
#define ARGS_FF_F float(A), float(B)
#define KALM_CALL_ROW(name, stem, sig, kind) \
    {#name, "kalm_" #stem, kalm::exports::ord::stem, [] { return bits_of(kalm_##stem(ARGS_##sig)); }, words_##sig()},
const std::vector<Call>& calls() {
    static const std::vector<Call> c = {KALM_EXPORT_LIST(KALM_CALL_ROW)};
    return c;
}

TEST(ExportList, EveryExportHasItsCEntryAndItsOwnRow) {
    ASSERT_EQ(calls().size(), kalm_export_count());
    for (const Call& c : calls()) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(kalmtest::library_exports(c.c_name));
        const kalm_export* e = kalm_export_by_name(c.name);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->ordinal, c.ordinal);
        EXPECT_EQ(static_cast<std::size_t>(e->arg_words), c.words.size());
        std::uint32_t res[2] = {};
        kalm_clear_flags();
        ASSERT_EQ(kalm_call(c.ordinal, c.words.data(), c.words.size(), res, 2, 0), KALM_OK);
        const std::uint32_t table_flags = kalm_status() & 0x1Du;
        kalm_clear_flags();
        EXPECT_EQ(c.through_c_entry(), kalm::words::result_bits(res, e->result_words));
        EXPECT_EQ(kalm_status() & 0x1Du, table_flags);
    }
}

// Every C entry raises against its caller: here, the test's own code.
TEST(ExportList, EveryCEntryReportsAgainstItsCaller) {
    struct Log {
        std::vector<std::uintptr_t> at;
    } log;
    kalm_set_raise_handler([](uint32_t, int, uintptr_t ra, void* l) { static_cast<Log*>(l)->at.push_back(ra); }, &log);
    kalm::ScopedUnmask unmask(KALM_MASK_INEXACT);
    const std::string self = object_of(reinterpret_cast<std::uintptr_t>(&object_of));
    int raised = 0;
    for (const Call& c : calls()) {
        log.at.clear();
        (void)c.through_c_entry();
        for (std::uintptr_t ra : log.at) EXPECT_EQ(object_of(ra), self) << c.name;
        raised += !log.at.empty();
    }
    kalm_set_raise_handler(nullptr, nullptr);
    // The framed exports and the rounding ones raise inexact at these arguments
    // (fmod's 0.75 is exact); the unframed single functions never raise.
    EXPECT_GE(raised, 20);
}

}  // namespace
