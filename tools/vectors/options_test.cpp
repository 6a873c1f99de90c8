// SPDX-License-Identifier: MIT
// The option parser: what it accepts, what it refuses, and how operands and
// options mix.
#include "options.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kalmtool::Options;

struct Parsed {
    Options::Status status;
    std::string error;
    std::vector<std::string> operands;
};

// A parser like the commands': a count, a seed, a file, a flag and a custom list.
struct Fixture {
    long long samples = -1;
    std::uint64_t seed = 1;
    std::string csv;
    bool quick = false;
    std::string list;
    Options options{"tool", "[NAME...]"};
    Fixture() {
        options.count("--samples", samples, 1, 1ll << 40, "inputs")
            .u64("--seed", seed, "seed")
            .text("--csv", csv, "FILE", "table")
            .flag("--quick", quick, "fast")
            .custom("--only", "LIST", "which", [this](const std::string& v, std::string& error) {
                if (v != "a" && v != "b") {
                    error = "no such item '" + v + "'";
                    return false;
                }
                list += v;
                return true;
            });
    }
    Parsed parse(std::vector<std::string> args) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        Parsed p;
        p.status = options.parse(static_cast<int>(argv.size()), argv.data(), p.operands);
        p.error = options.error();
        return p;
    }
};

TEST(Options, RefusesBadValues) {
    struct Case {
        std::vector<std::string> args;
        const char* error_part;
    };
    const Case cases[] = {
        {{"--samples", "abc"}, "'abc' is not a count from 1 to 2^40"},
        {{"--samples", ""}, "'' is not a count"},
        {{"--samples="}, "'' is not a count"},
        {{"--samples", "-1"}, "'-1' is not a count"},
        {{"--samples", "+5"}, "'+5'"},
        {{"--samples", " 5"}, "' 5'"},
        {{"--samples", "5 "}, "'5 '"},
        {{"--samples", "12x"}, "'12x'"},
        {{"--samples", "1e3"}, "'1e3'"},
        {{"--samples", "0x"}, "'0x'"},
        {{"--samples", "0"}, "'0' is not a count from 1"},
        {{"--samples", "1099511627777"}, "is not a count"},
        {{"--samples", "99999999999999999999999"}, "is not a count"},
        {{"--seed", "-3"}, "'-3' is not an unsigned 64-bit number"},
        {{"--seed", "18446744073709551616"}, "not an unsigned 64-bit number"},
        {{"--csv", ""}, "empty FILE"},
        {{"--csv="}, "empty FILE"},
        {{"--only", "c"}, "--only: no such item 'c'"},
        {{"--samples"}, "--samples needs a value (N)"},
        {{"x", "--csv"}, "--csv needs a value (FILE)"},
        {{"--quick=1"}, "--quick takes no value"},
        {{"--frobnicate"}, "unknown option '--frobnicate' (see 'tool --help')"},
        {{"--frobnicate=3"}, "unknown option '--frobnicate'"},
        {{"--sample", "3"}, "unknown option '--sample'"},
        {{"-s"}, "unknown option '-s'"},
    };
    for (const auto& c : cases) {
        Fixture f;
        const Parsed p = f.parse(c.args);
        std::string line;
        for (const auto& a : c.args) line += "[" + a + "]";
        EXPECT_EQ(p.status, Options::Status::Error) << line;
        EXPECT_NE(p.error.find(c.error_part), std::string::npos) << line << ": " << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << line;
    }
}

TEST(Options, TakesGoodValuesInBothSpellings) {
    Fixture f;
    const Parsed p = f.parse({"sin", "--samples", "0x10", "--seed=18446744073709551615", "cos", "--csv=out.csv",
                              "--quick", "--only", "a", "--only=b", "--samples", "1099511627776"});
    ASSERT_EQ(p.status, Options::Status::Ok) << p.error;
    EXPECT_EQ(f.samples, 1ll << 40);  // the last one given
    EXPECT_EQ(f.seed, ~0ull);
    EXPECT_EQ(f.csv, "out.csv");
    EXPECT_TRUE(f.quick);
    EXPECT_EQ(f.list, "ab");
    EXPECT_EQ(p.operands, (std::vector<std::string>{"sin", "cos"}));
}

TEST(Options, OperandsThatLookLikeOptions) {
    Fixture f;
    const Parsed p = f.parse({"-", "-1.5", "-.5", "-inf", "-NaN", "-0x3ff0000000000000", "", "--", "--samples", "-x"});
    ASSERT_EQ(p.status, Options::Status::Ok) << p.error;
    EXPECT_EQ(p.operands, (std::vector<std::string>{"-", "-1.5", "-.5", "-inf", "-NaN", "-0x3ff0000000000000", "",
                                                    "--samples", "-x"}));
    EXPECT_EQ(f.samples, -1);
}

TEST(Options, HelpAndUsage) {
    for (const char* h : {"-h", "--help"}) {
        Fixture f;
        EXPECT_EQ(f.parse({"sin", h, "--frobnicate"}).status, Options::Status::Help) << h;
    }
    Fixture f;
    const std::string u = f.options.usage();
    EXPECT_EQ(u.rfind("usage: tool [NAME...] [options]\n", 0), 0u) << u;
    for (const char* line : {"--samples N", "--seed S", "--csv FILE", "--quick", "--only LIST"})
        EXPECT_NE(u.find(std::string("  ") + line), std::string::npos) << line << " in\n" << u;
}

}  // namespace
