// SPDX-License-Identifier: MIT
// The device-environment scope: what entering and leaving do to the register,
// its misuse, the checking mode catching a broken promise, every vector file
// inside a scope, and a thread inside one beside a thread outside.
#include <gtest/gtest.h>

#include <atomic>
#include <cfenv>
#include <filesystem>
#include <thread>
#include <vector>

#include "frame/call_env.hpp"
#include "kalmlib/kalmlib.hpp"
#include "kalmlib/kalmlib_batch.h"
#include "vectors.hpp"

namespace {

using namespace kalmtool;

// Scopes entered under every caller environment of the host: inside, the
// device's environment with the caller's flags; after, the caller's environment
// exactly, with the flag the call inside raised.
TEST(DeviceScope, EntersTheDeviceEnvironmentAndGivesTheCallersBack) {
    for (const CallerEnv& env : caller_envs()) {
        FpRegs inside = 0, after = 0;
        volatile double r = 0;
        write_fp_regs(env.regs);
        const int entered = kalm_enter_device_env();
        inside = read_fp_regs();
        r = kalm_sin(1.0);  // inexact
        const int left = kalm_leave_device_env();
        after = read_fp_regs();
        restore_default_env(0);
        (void)r;
        EXPECT_EQ(entered, KALM_OK);
        EXPECT_EQ(left, KALM_OK);
        const CallerEnv in{"inside", inside}, out{"after", after};
        EXPECT_TRUE(keeps_device_env(in)) << env.name;
        EXPECT_EQ(preset_sticky(in), preset_sticky(env)) << env.name;
        EXPECT_EQ(env_change(env, after), "") << env.name;
        EXPECT_EQ(preset_sticky(out), 0x10u) << env.name;  // sin cleared the preset ones
    }
}

// A caller that tells error codes apart by value must not mistake a refused
// leave for a refused batch call.
static_assert(KALM_ERR_SCOPE != KALM_ERR_OVERLAP && KALM_ERR_SCOPE != KALM_ERR_SIZE &&
              KALM_ERR_SCOPE != KALM_ERR_UNSUPPORTED && KALM_ERR_SCOPE != KALM_ERR_NULL);

TEST(DeviceScope, NestsAndRefusesALeaveWithoutAnEnter) {
    const CallerEnv& up = *find_caller_env("up");
    write_fp_regs(up.regs);
    EXPECT_EQ(kalm_leave_device_env(), KALM_ERR_SCOPE);
    const FpRegs untouched = read_fp_regs();
    EXPECT_EQ(kalm_enter_device_env(), KALM_OK);
    EXPECT_EQ(kalm_enter_device_env(), KALM_OK);
    EXPECT_EQ(kalm_device_env_depth(), 2u);
    EXPECT_EQ(kalm_leave_device_env(), KALM_OK);
    const FpRegs still_inside = read_fp_regs();
    EXPECT_EQ(kalm_leave_device_env(), KALM_OK);
    const FpRegs after = read_fp_regs();
    EXPECT_EQ(kalm_leave_device_env(), KALM_ERR_SCOPE);
    restore_default_env(0);
    EXPECT_EQ(untouched, up.regs);
    EXPECT_TRUE(keeps_device_env(CallerEnv{"inner left", still_inside}));
    EXPECT_EQ(after, up.regs);
    EXPECT_EQ(kalm_device_env_depth(), 0u);
}

// A thread that ends inside a scope leaves the others as they were.
TEST(DeviceScope, AThreadMayEndInsideOne) {
    std::thread([] { kalm_enter_device_env(); }).join();
    EXPECT_EQ(kalm_device_env_depth(), 0u);
    EXPECT_EQ(kalm_leave_device_env(), KALM_ERR_SCOPE);
}

std::vector<std::string> vector_files() {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(KALM_VECTOR_DIR))
        if (e.path().extension() == ".txt") out.push_back(e.path().string());
    return out;
}

// Every line inside a scope, under the environments a scope allows, first
// as it runs, then in the checking mode (each in a thread of its own, since the
// mode is read at a thread's first scope).
TEST(DeviceScope, EveryVectorLineInsideAScope) {
    for (const bool check : {false, true}) {
        RunnerOptions opts;
        for (const CallerEnv& e : caller_envs()) opts.envs.push_back(&e);
        opts.scope = !check;
        opts.scope_check = check;
        std::ostringstream report;
        TextSink sink(report);
        Tally tally;
        std::string error;
        int io = -1;
        std::thread([&] { io = run_vector_files(vector_files(), opts, sink, tally, error); }).join();
        EXPECT_EQ(io, 0) << error;
        EXPECT_EQ(tally.failed, 0) << (check ? "checking: " : "") << report.str();
        EXPECT_EQ(tally.malformed, 0);
        EXPECT_GE(tally.passed, 2000 * 3);  // three environments keep the device's on every host
    }
}

TEST(DeviceScopeDeathTest, CheckingModeCatchesAChangedRounding) {
#if !defined(KALM_SCOPE_SKIPS_READ)
    GTEST_SKIP() << "the calls read the register inside a scope on this build";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            set_scope_checking();
            std::thread([] {
                kalm_enter_device_env();
                std::fesetround(FE_UPWARD);
                volatile float r = kalm_sinf(1.0f);
                (void)r;
            }).join();
        },
        "sinf inside a device-environment scope found \\w+ 0x");
#endif
}

// One outcome of every export on a spread of arguments: result words and flags.
struct Outcome {
    std::uint32_t r[2];
    std::uint32_t flags;
    bool operator==(const Outcome&) const = default;
};

std::vector<Outcome> outcomes() {
    std::vector<Outcome> out;
    std::uint64_t s = 0x243F6A8885A308D3ull;
    for (std::size_t i = 0; i < kalm_export_count(); ++i) {
        const kalm_export* e = kalm_export_at(i);
        for (int k = 0; k < 300; ++k) {
            std::uint32_t w[4];
            for (auto& x : w) {
                s = s * 6364136223846793005ull + 1442695040888963407ull;
                x = static_cast<std::uint32_t>(s >> 32);
            }
            if (e->signature == KALM_SIG_ID_D) w[0] &= 7;
            Outcome o{{0, 0}, 0};
            kalm_clear_flags();
            kalm_call(e->ordinal, w, static_cast<std::size_t>(e->arg_words), o.r, 2, 0);
            o.flags = kalm_status() & 0x1Du;
            out.push_back(o);
        }
    }
    kalm_clear_flags();
    return out;
}

// The scope is the thread's own: a thread outside one, in upward rounding, at
// the same time as one inside, gets the device's outcomes as well.
TEST(DeviceScope, ThreadsInsideAndOutsideAtOnce) {
    const std::vector<Outcome> want = outcomes();
    std::vector<Outcome> inside, outside;
    std::atomic<int> ready{0};
    auto together = [&] {
        ready.fetch_add(1);
        while (ready.load() < 2) {
        }
    };
    std::thread a([&] {
        kalm_enter_device_env();
        together();
        inside = outcomes();
        kalm_leave_device_env();
    });
    std::thread b([&] {
        std::fesetround(FE_UPWARD);
        together();
        outside = outcomes();
        std::fesetround(FE_TONEAREST);
    });
    a.join();
    b.join();
    EXPECT_TRUE(inside == want);
    EXPECT_TRUE(outside == want);
}

}  // namespace
