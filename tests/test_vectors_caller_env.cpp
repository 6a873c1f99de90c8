// SPDX-License-Identifier: MIT
// The vector runner's caller environments: every one reaches the host
// register, a call that changes anything but the sticky flags is caught, the
// runner always gets the default environment back, a trap never passes for
// success, and what a line must give with the sticky flags preset.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "caller_env.hpp"
#include "kalmlib/kalmlib.hpp"
#include "vectors.hpp"

using namespace kalmtool;

namespace {

const CallerEnv& default_env() { return caller_envs().front(); }

// True when the register holds the default environment, whatever the sticky flags.
bool back_to_default() { return env_change(default_env(), read_fp_regs()).empty(); }

// In a fresh process: the table's default is the state a thread starts in.
TEST(CallerEnvDeathTest, DefaultIsTheInitialState) {
    EXPECT_STREQ(default_env().name, "default");
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const std::string change = env_change(default_env(), read_fp_regs());
            std::fprintf(stderr, "%s\n", change.c_str());
            std::exit(change.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(CallerEnv, EveryEnvironmentReachesTheRegisterAndLeavesIt) {
    for (const CallerEnv& e : caller_envs()) {
        FpRegs inside = 0, after = 0;
        call_in_env(e, after, [&] { inside = read_fp_regs(); });
        EXPECT_EQ(inside, e.regs) << e.name << ": the host does not keep every bit of it";
        EXPECT_EQ(env_change(e, after), "") << e.name;
        EXPECT_TRUE(back_to_default()) << e.name << ": " << env_change(default_env(), read_fp_regs());
        EXPECT_EQ(kalm_status() & 0x1Du, preset_sticky(e)) << e.name << ": preset flags as the library sees them";
        kalm_clear_flags();
    }
}

// A call that leaves another environment of the table installed: caught unless
// the two differ only in the sticky flags.
TEST(CallerEnv, ChangesBeyondTheStickyFlagsAreCaught) {
    auto only_sticky_differs = [](const CallerEnv& a, const CallerEnv& b) {
        const std::string pair = std::string(a.name) + "/" + b.name;
        return &a == &b || pair == "default/sticky-preset" || pair == "sticky-preset/default";
    };
    for (const CallerEnv& e : caller_envs())
        for (const CallerEnv& left : caller_envs()) {
            FpRegs after = 0;
            call_in_env(e, after, [&] { write_fp_regs(left.regs); });
            const std::string change = env_change(e, after);
            EXPECT_EQ(change.empty(), only_sticky_differs(e, left)) << e.name << " left as " << left.name << ": " << change;
            EXPECT_TRUE(back_to_default()) << e.name << " left as " << left.name;
            kalm_clear_flags();
        }
    const CallerEnv* ftz = find_caller_env("ftz");
    if (ftz == nullptr) GTEST_SKIP() << "no flush-to-zero on this host";
    FpRegs after = 0;
    call_in_env(*ftz, after, [] { write_fp_regs(caller_envs().front().regs); });
    EXPECT_TRUE(env_change(*ftz, after).ends_with(": FZ cleared")) << env_change(*ftz, after);
}

TEST(CallerEnv, ThrowingCallStillRestoresTheDefault) {
    for (const CallerEnv& e : caller_envs()) {
        FpRegs after = 0;
        EXPECT_THROW(call_in_env(e, after, [] { throw 7; }), int);
        EXPECT_EQ(after, e.regs) << e.name;
        EXPECT_TRUE(back_to_default()) << e.name;
        kalm_clear_flags();
    }
}

// The process dies (of the signal, or through a sanitizer's report of it) and
// says which line and environment.
TEST(CallerEnvDeathTest, TrapIsReportedAndNeverPasses) {
    const CallerEnv* trap = find_caller_env("trap-inexact");
    if (trap == nullptr) GTEST_SKIP() << "no trapping environment on this host";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
#if defined(_WIN32)
    // Windows: the trap is a structured exception; the process ends with its code.
    auto died = [](int status) { return status != 0; };
    const char* const report = "floating-point trap .* under caller environment trap-inexact in sample.txt:7: sinf 0x3f800000";
#else
    auto died = [](int status) { return !(WIFEXITED(status) && WEXITSTATUS(status) == 0); };
    const char* const report = "SIGFPE .* under caller environment trap-inexact in sample.txt:7: sinf 0x3f800000";
#endif
    EXPECT_EXIT(
        {
            set_caller_env(trap->name);
            const CallSite site("sample.txt", 7, "sinf 0x3f800000");
            FpRegs after = 0;
            volatile double third = 1.0;
            call_in_env(*trap, after, [&] { third = third / 3.0; });
            std::exit(0);
        },
        died, report);
}

// Framed exports clear the flags on entry; the 14 single functions that leave
// them to the caller keep all the preset ones or, past an inner framed
// routine, none.
TEST(CallerEnv, StickyPresetExpectation) {
    const CallerEnv* preset = find_caller_env("sticky-preset");
    ASSERT_NE(preset, nullptr);
    const struct {
        const char* name;
        unsigned file_flags, got_flags;
        bool accepted;
    } cases[] = {
        {"sinf", 0x10, 0x10, true},  {"sinf", 0x10, 0x1D, true},   {"sinf", 0x10, 0x11, false},
        {"powf", 0x00, 0x1D, true},  {"atan2f", 0x01, 0x1D, true}, {"sin", 0x10, 0x1D, false},
        {"sin", 0x10, 0x10, true},   {"fabsf", 0x00, 0x1D, false}, {"sqrtf", 0x00, 0x1D, false},
        {"floorf", 0x10, 0x1D, false},
    };
    for (const auto& c : cases) {
        Vector v;
        v.fn = kalm_export_by_name(c.name);
        ASSERT_NE(v.fn, nullptr) << c.name;
        Outcome file, got;
        file.flags = c.file_flags;
        got.flags = c.got_flags;
        EXPECT_EQ(expected_in_env(v, file, got, *preset) == got, c.accepted)
            << c.name << " file " << c.file_flags << " got " << c.got_flags;
        if (c.file_flags != c.got_flags) {
            EXPECT_FALSE(expected_in_env(v, file, got, default_env()) == got) << c.name;
        }
    }
}

TEST(RunnerOptions, CallerEnvironments) {
    const struct {
        std::vector<const char*> args;
        bool ok;
        std::vector<std::string> names, operands;
    } cases[] = {
        {{"--caller-env", "up"}, true, {"up"}, {}},
        {{"--caller-env=up,down"}, true, {"up", "down"}, {}},
        {{"--caller-env", "default,sticky-preset", "x.txt"}, true, {"default", "sticky-preset"}, {"x.txt"}},
        {{"x.txt"}, true, {}, {"x.txt"}},
        {{"--caller-env"}, false, {}, {}},
        {{"--caller-env="}, false, {}, {}},
        {{"--caller-env=up,"}, false, {}, {}},
        {{"--caller-env", "no-such-environment"}, false, {}, {}},
    };
    for (const auto& c : cases) {
        RunnerOptions opts;
        Options options("kalm_check", "FILE...");
        add_runner_options(options, opts);
        std::vector<char*> argv;
        for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
        std::vector<std::string> operands;
        const auto status = options.parse(static_cast<int>(argv.size()), argv.data(), operands);
        EXPECT_EQ(status == Options::Status::Ok, c.ok) << c.args[0] << ": " << options.error();
        if (!c.ok) {
            EXPECT_NE(options.error().find("--caller-env"), std::string::npos) << options.error();
            continue;
        }
        std::vector<std::string> names;
        for (const CallerEnv* e : opts.envs) names.push_back(e->name);
        EXPECT_EQ(names, c.names) << c.args[0];
        EXPECT_EQ(operands, c.operands) << c.args[0];
    }
    RunnerOptions each;
    Options options("kalm_check", "FILE...");
    add_runner_options(options, each);
    const char* args[] = {"--caller-env", "each"};
    std::vector<std::string> operands;
    ASSERT_EQ(options.parse(2, const_cast<char**>(args), operands), Options::Status::Ok);
    EXPECT_EQ(each.envs.size(), caller_envs().size());
}

}  // namespace
