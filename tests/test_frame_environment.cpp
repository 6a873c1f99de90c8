// SPDX-License-Identifier: MIT
// The caller's floating-point environment around export calls: what a call
// leaves behind (the host-only flags over every binade of every export), what a
// raise handler sees and may do, and how an exception nobody handles reads.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kalmlib/kalmlib.hpp"
#include "support/raise_recorder.hpp"
#include "vectors.hpp"

namespace {

std::uint64_t next(std::uint64_t& s) {
    s += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = s;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// An argument from a binade chosen uniformly (subnormals by bit length, and
// infinities and NaNs), or one near 1, or a small integer for _yn's order.
std::uint64_t any_double(std::uint64_t& s) {
    const std::uint64_t r = next(s), m = next(s) & 0x000FFFFFFFFFFFFFull, sign = (r & 1) << 63;
    const int b = static_cast<int>((r >> 8) % 2101) - 1076;  // -1076..1024
    if ((r >> 40) % 16 == 0) return sign | (0x3FF0000000000000ull + (m & 0xFFF) - 0x800);
    if (b >= -1022 && b <= 1023) return sign | (static_cast<std::uint64_t>(b + 1023) << 52) | m;
    if (b == 1024) return sign | 0x7FF0000000000000ull | ((r >> 50) & 1 ? m : 0);
    const int len = b + 1075;  // 0..52 significant bits
    return sign | (len <= 0 ? 0 : (m >> (53 - len)) | (1ull << (len - 1)));
}
std::uint32_t any_float(std::uint64_t& s) {
    const std::uint64_t r = next(s);
    const std::uint32_t m = static_cast<std::uint32_t>(next(s)) & 0x7FFFFFu, sign = static_cast<std::uint32_t>(r & 1) << 31;
    const int b = static_cast<int>((r >> 8) % 280) - 151;  // -151..128
    if ((r >> 40) % 16 == 0) return sign | (0x3F800000u + (m & 0xFF) - 0x80);
    if (b >= -126 && b <= 127) return sign | (static_cast<std::uint32_t>(b + 127) << 23) | m;
    if (b >= 128) return sign | 0x7F800000u | ((r >> 50) & 1 ? m : 0);
    const int len = b + 150;
    return sign | (len <= 0 ? 0 : (m >> (24 - len)) | (1u << (len - 1)));
}

std::vector<std::uint32_t> any_words(const kalm_export* e, std::uint64_t& s) {
    std::vector<std::uint32_t> w;
    auto push_double = [&] {
        const std::uint64_t v = any_double(s);
        w.push_back(static_cast<std::uint32_t>(v));
        w.push_back(static_cast<std::uint32_t>(v >> 32));
    };
    switch (e->signature) {
        case KALM_SIG_D_D: push_double(); break;
        case KALM_SIG_DD_D: push_double(); push_double(); break;
        case KALM_SIG_ID_D: w.push_back(static_cast<std::uint32_t>(next(s) % 40) - 20); push_double(); break;
        case KALM_SIG_F_F: w.push_back(any_float(s)); break;
        default: w.push_back(any_float(s)); w.push_back(any_float(s)); break;
    }
    return w;
}

#if defined(__x86_64__) && !defined(KALM_FORCE_CFENV)
std::uint32_t mxcsr() {
    std::uint32_t m;
    asm volatile("stmxcsr %0" : "=m"(m));
    return m;
}
void set_mxcsr(std::uint32_t m) { asm volatile("ldmxcsr %0" : : "m"(m)); }

// The denormal-operand and divide-by-zero flags are the host's, not the
// device's: a call leaves them exactly as the caller had them, set or clear,
// whatever its arguments. Every export, arguments from every binade.
TEST(CallerEnvironment, HostOnlyFlagsSurviveEveryExportOnEveryBinade) {
    std::uint64_t seed = 0x5EED;
    const long calls = std::getenv("KALM_ORACLE_COUNT") ? 2000 : 20000;
    for (std::size_t i = 0; i < kalm_export_count(); ++i) {
        const kalm_export* e = kalm_export_at(i);
        for (const std::uint32_t before : {0x1F80u, 0x1F86u, 0x1F82u}) {
            long changed = 0;
            std::string first;
            for (long k = 0; k < calls; ++k) {
                const std::vector<std::uint32_t> w = any_words(e, seed);
                std::uint32_t out[2];
                set_mxcsr(before);
                kalm_call(e->ordinal, w.data(), w.size(), out, 2, 0);
                const std::uint32_t after = mxcsr();
                set_mxcsr(0x1F80);
                if ((after & ~0x39u) != (before & ~0x39u) && changed++ == 0) {
                    char buf[64];
                    std::snprintf(buf, sizeof buf, "words %08x %08x %08x: %04x", w[0], w.size() > 1 ? w[1] : 0,
                                  w.size() > 2 ? w[2] : 0, after);
                    first = buf;
                }
            }
            EXPECT_EQ(changed, 0) << e->name << " from " << std::hex << before << ", first " << first;
        }
    }
}

// KALM_EXHAUSTIVE=1: the same for every float argument of every one-argument
// single export (minutes each).
TEST(CallerEnvironment, ExhaustiveSingleHostOnlyFlags) {
    if (!std::getenv("KALM_EXHAUSTIVE")) GTEST_SKIP() << "set KALM_EXHAUSTIVE=1";
    for (std::size_t i = 0; i < kalm_export_count(); ++i) {
        const kalm_export* e = kalm_export_at(i);
        if (e->signature != KALM_SIG_F_F) continue;
        long changed = 0;
        std::uint32_t first = 0;
        for (std::uint64_t v = 0; v <= 0xFFFFFFFFull; ++v) {
            const std::uint32_t w = static_cast<std::uint32_t>(v);
            std::uint32_t out;
            set_mxcsr(0x1F80);
            kalm_call(e->ordinal, &w, 1, &out, 1, 0);
            if ((mxcsr() & ~0x39u) != 0x1F80u && changed++ == 0) first = w;
        }
        set_mxcsr(0x1F80);
        EXPECT_EQ(changed, 0) << e->name << ", first argument " << std::hex << first;
    }
}
#endif

std::vector<kalmtool::Vector> all_vectors() {
    std::vector<kalmtool::Vector> out;
    for (const auto& f : std::filesystem::directory_iterator(KALM_VECTOR_DIR)) {
        std::ifstream in(f.path());
        std::string line, error;
        while (std::getline(in, line)) {
            kalmtool::Vector v;
            if (kalmtool::parse_vector(line, v, error) && v.fn != nullptr) out.push_back(v);
        }
    }
    return out;
}

// The rounding mode the library's arithmetic would see: on x86-64 the SSE
// control register's (the x87 one, which fesetround also sets, is not used).
int host_rounding() {
#if defined(__x86_64__) && !defined(KALM_FORCE_CFENV)
    std::uint32_t m;
    asm volatile("stmxcsr %0" : "=m"(m));
    constexpr int modes[4] = {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO};
    return modes[(m >> 13) & 3];
#else
    return std::fegetround();
#endif
}

struct Raise {
    int code;
    std::uintptr_t address;
    bool operator==(const Raise&) const = default;
};

// Every raise of a call with everything unmasked, in order; a meddling handler
// also computes with the library and changes the rounding mode while it runs.
struct Trace {
    std::vector<Raise> raises;
    bool meddle = false;
    int rounding_seen = -1;
    static void handler(uint32_t, int code, uintptr_t ra, void* user) {
        auto* t = static_cast<Trace*>(user);
        t->raises.push_back({code, ra});
        t->rounding_seen = host_rounding();
        if (!t->meddle) return;
        kalm_set_control_word(KALM_MASK_ALL);
        volatile double a = kalm_floor(1.5);        // clears the flags, leaves inexact
        volatile float b = kalm_logf(3.0f);         // accumulates inexact
        volatile double c = kalm_sqrt(-1.0);        // invalid
        (void)a, (void)b, (void)c;
        std::fesetround(FE_UPWARD);
        kalm_set_control_word(0);
    }
};

struct Outcome {
    std::uint64_t result = 0;
    std::uint32_t flags = 0;
    std::vector<Raise> raises;
    int rounding_after = -1;
    bool operator==(const Outcome&) const = default;
};

Outcome run(const kalmtool::Vector& v, bool meddle, int caller_rounding) {
    Trace t;
    t.meddle = meddle;
    kalm_set_raise_handler(&Trace::handler, &t);
    kalm_set_control_word(0);
    std::fesetround(caller_rounding);
    kalm_clear_flags();
    std::uint32_t out[2] = {0, 0};
    kalm_call(v.fn->ordinal, v.words.data(), v.words.size(), out, 2, 0x1234);
    Outcome r;
    r.flags = kalm_status() & 0x1Du;
    r.rounding_after = host_rounding();
    std::fesetround(FE_TONEAREST);
    kalm_set_control_word(KALM_MASK_ALL);
    kalm_set_raise_handler(nullptr, nullptr);
    r.result = (static_cast<std::uint64_t>(out[1]) << 32) | out[0];
    r.raises = t.raises;
    // The handler runs in the caller's environment, not the library's.
    if (!t.raises.empty()) {
        EXPECT_EQ(t.rounding_seen, caller_rounding) << v.input;
    }
    return r;
}

// A handler that returns may use the library and change its own environment:
// the call it interrupted goes on exactly as with a handler that does nothing,
// and the caller gets its environment back as it was when the call began.
TEST(RaiseHandler, WhatTheHandlerDoesNeverReachesTheCall) {
    long lines = 0, raising = 0;
    for (const kalmtool::Vector& v : all_vectors()) {
        for (const int rounding : {FE_TONEAREST, FE_TOWARDZERO}) {
            const Outcome quiet = run(v, false, rounding);
            const Outcome meddled = run(v, true, rounding);
            EXPECT_EQ(quiet, meddled) << v.input;
            EXPECT_EQ(meddled.rounding_after, rounding) << v.input;
        }
        ++lines;
        raising += run(v, false, FE_TONEAREST).raises.empty() ? 0 : 1;
    }
    EXPECT_GT(lines, 2000);
    EXPECT_GT(raising, 1000);
}

TEST(UnhandledException, WhatNamesTheStatusTheExportAndTheAddress) {
    kalm::ScopedUnmask unmask(KALM_MASK_INVALID);
    const std::uint32_t words[2] = {0, 0xBFF00000u};  // -1.0
    std::uint32_t out[2];
    try {
        kalm_call(35, words, 2, out, 2, 0xDEADBEEF);
        FAIL() << "no exception";
    } catch (const kalm::FpException& e) {
        EXPECT_STREQ(e.what(), "STATUS_FLOAT_INVALID_OPERATION (0xC0000090) in sqrt, reported against 0xdeadbeef");
        EXPECT_STREQ(e.export_name(), "sqrt");
        EXPECT_EQ(e.export_ordinal(), 35);
    }
}

// (No death tests where a test cannot fork or spawn itself: WebAssembly.)
#if GTEST_HAS_DEATH_TEST
TEST(UnhandledExceptionDeathTest, EndsTheProgramSayingWhy) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // As in a C program: nothing on the way out catches it.
    auto uncaught = []() noexcept {
        kalm_set_control_word(KALM_MASK_ALL & ~KALM_MASK_OVERFLOW);
        volatile double r = kalm_exp(1000.0);
        (void)r;
    };
    EXPECT_DEATH(uncaught(),
        "STATUS_FLOAT_OVERFLOW \\(0xC0000091\\) in exp, reported against 0x");
}
#endif

}  // namespace
