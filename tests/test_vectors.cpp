// Every vector file under tests/vectors, one test per file: exact result
// bits, sticky flags and first raised exception for each line; then every
// file again under each other floating-point environment a caller may have
// set (rounding, flush-to-zero, traps, host flags), which must change neither
// the outcome nor anything in the register beyond the sticky flags.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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

TEST_P(VectorFile, AllLinesMatch) {
    std::ifstream in(GetParam());
    ASSERT_TRUE(in) << GetParam();
    std::ostringstream report;
    kalmtool::Tally tally;
    kalmtool::process_stream(in, GetParam(), report, tally);
    EXPECT_EQ(tally.failed, 0) << report.str();
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
