// SPDX-License-Identifier: MIT
// Every vector file under tests/vectors, one test per file: exact result
// bits, sticky flags and first raised exception for each line; then every
// file again under each other floating-point environment a caller may have
// set (rounding, flush-to-zero, traps, host flags), which must change neither
// the outcome nor anything in the register beyond the sticky flags.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "abi/export_list.hpp"
#include "vectors.hpp"

namespace {

std::vector<std::string> vector_files() {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(KALM_VECTOR_DIR))
        if (e.path().extension() == ".txt") out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

class VectorFile : public ::testing::TestWithParam<std::string> {};

// One vector file per listed export, named after it, and no other.
TEST(VectorFiles, OnePerExport) {
    std::vector<std::string> have, want;
    for (const auto& f : vector_files()) have.push_back(std::filesystem::path(f).stem().string());
    for (std::string_view n : kalm::exports::names) want.emplace_back(n);
    std::sort(want.begin(), want.end());
    EXPECT_EQ(have, want);
}

TEST_P(VectorFile, AllLinesMatch) {
    std::ifstream in(GetParam());
    ASSERT_TRUE(in) << GetParam();
    std::ostringstream report;
    kalmtool::Tally tally;
    kalmtool::process_stream(in, GetParam(), report, tally);
    EXPECT_EQ(tally.failed, 0) << report.str();
    EXPECT_EQ(tally.malformed, 0) << report.str();
    EXPECT_EQ(tally.generated, 0) << "lines without expectations:\n" << report.str();
    EXPECT_GT(tally.passed, 0);
}

std::string test_name(const ::testing::TestParamInfo<std::string>& info) {
    std::string n = std::filesystem::path(info.param).stem().string();
    for (auto& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(Vectors, VectorFile, ::testing::ValuesIn(vector_files()), test_name);

// The cross test's opt-in tolerance: an underflow flag detected before
// rounding on a result that rounds to the smallest normal, and nothing else.
// NaN bits in particular are the same on every host and never tolerated.
TEST(HostTolerance, AcceptsOnlyTininessBeforeRounding) {
    struct Case {
        const char* line;  // a vector line; tolerable_difference only compares outcomes
        std::uint64_t result;
        unsigned flags;
        const char* raise;
        bool accepted;
    };
    const Case cases[] = {
        {"sin 0x7ff0000000000000 -> 0xfff8000000000000 01 C0000090@app", 0x7FF8000000000000ull, 0x01, "C0000090@app", false},
        {"sinf 0x7f800000 -> 0xffc00000 01 -", 0x7FC00000u, 0x01, "-", false},
        {"pow 0x7ff8000000000000 0x7ff0000000000002 -> 0x7ff8000000000000 01 C0000090@app", 0x7FF8000000000002ull, 0x01,
         "C0000090@app", false},
        {"exp 0xc086232bdd7abcd2 -> 0x0010000000000000 10 C000008F@app", 0x0010000000000000ull, 0x18, "C0000093@app", true},
        {"exp 0xc086232bdd7abcd2 -> 0x0010000000000000 10 -", 0x0010000000000000ull, 0x18, "-", true},
        {"expf 0xc2aeac50 -> 0x00800000 10 C000008F@app", 0x00800000u, 0x18, "C0000093@app", true},
        {"exp 0xc086232bdd7abcd2 -> 0x0010000000000000 10 C000008F@app", 0x0010000000000000ull, 0x18, "C0000093@lib", false},
        {"exp 0xc086232bdd7abcd2 -> 0x0010000000000001 10 -", 0x0010000000000001ull, 0x18, "-", false},
        {"exp 0xc086232bdd7abcd2 -> 0x0010000000000000 10 -", 0x0010000000000000ull, 0x11, "-", false},
    };
    for (const Case& c : cases) {
        kalmtool::Vector v;
        std::string error;
        ASSERT_TRUE(kalmtool::parse_vector(c.line, v, error)) << c.line << ": " << error;
        ASSERT_TRUE(v.expected.has_value()) << c.line;
        const kalmtool::Outcome got{c.result, c.flags, c.raise};
        EXPECT_EQ(kalmtool::tolerable_difference(v, *v.expected, got), c.accepted) << c.line;
    }
}

std::vector<std::string> other_envs() {
    std::vector<std::string> out;
    for (const auto& e : kalmtool::caller_envs())
        if (&e != &kalmtool::caller_envs().front()) out.push_back(e.name);
    return out;
}

// (file, environment): a trap that kills the process takes one test with it.
class VectorFileInEnv : public ::testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(VectorFileInEnv, AllLinesMatch) {
    const auto& [file, env] = GetParam();
    struct Restore {
        ~Restore() { kalmtool::set_caller_env("default"); }
    } restore;
    ASSERT_TRUE(kalmtool::set_caller_env(env));
    std::ifstream in(file);
    ASSERT_TRUE(in) << file;
    std::ostringstream report;
    kalmtool::Tally tally;
    kalmtool::process_stream(in, file, report, tally);
    EXPECT_EQ(tally.failed, 0) << report.str();
    EXPECT_EQ(tally.malformed, 0) << report.str();
    EXPECT_GT(tally.passed, 0);
}

std::string file_env_name(const ::testing::TestParamInfo<std::tuple<std::string, std::string>>& info) {
    std::string n = std::filesystem::path(std::get<0>(info.param)).stem().string() + "_" + std::get<1>(info.param);
    for (auto& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(Vectors, VectorFileInEnv,
                         ::testing::Combine(::testing::ValuesIn(vector_files()), ::testing::ValuesIn(other_envs())),
                         file_env_name);

}  // namespace
