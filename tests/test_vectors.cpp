// Every vector file under tests/vectors, one test per file: exact result
// bits, sticky flags and first raised exception for each line.
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

}  // namespace
