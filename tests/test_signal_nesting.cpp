// SPDX-License-Identifier: MIT
// Library calls made from an asynchronous signal handler, in the middle of
// another call of the same thread (an emulator's timer, a profiler): the
// interrupted call must go on exactly as if the handler had not run. A
// high-rate timer interrupts every vector line, run under a caller rounding
// mode masked, unmasked with a raise handler, unmasked without one and as an
// unmasked guest call (the handler makes one of its own); each
// line's outcome (result, flags, raise, what its raise handler saw, the
// caller's environment after) must equal the one of a run without the timer,
// and the handler's own calls, made masked and unmasked, must give theirs.
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <cerrno>
#include <cfenv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/time.h>
#include <vector>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "kalmlib/kalmlib.h"
#include "kalmlib/kalmlib.hpp"
#include "vectors.hpp"

namespace {

// The rounding bits the library's own register shows (MXCSR on x86-64, where
// fegetround reads the x87 control word instead).
unsigned rounding_now() {
#if defined(__x86_64__) && !defined(KALM_FORCE_CFENV)
    return _mm_getcsr() & 0x6000u;
#else
    return static_cast<unsigned>(std::fegetround());
#endif
}

struct LineOutcome {
    std::uint32_t res[2] = {0, 0};
    unsigned flags = 0;
    std::uint32_t raise = 0;      // first raise's status code, 0 if none
    std::uintptr_t where = 0;     // its report address
    unsigned seen_rounding = 0;   // the rounding the raise handler saw
    unsigned after_rounding = 0;  // the caller's rounding after the call
    bool operator==(const LineOutcome&) const = default;
};

struct FirstRaise {
    std::uint32_t status = 0;
    std::uintptr_t where = 0;
    unsigned rounding = 0;
};
FirstRaise g_first;
void record_first(uint32_t status, int, uintptr_t ra, void* user) {
    auto* r = static_cast<FirstRaise*>(user);
    if (r->status == 0) *r = {status, ra, rounding_now()};
}

enum class Mode { masked, handler, exception, guest };

LineOutcome run_guest_line(const kalmtool::Vector& v) {
    LineOutcome o;
    std::uint32_t status = 0;
    kalm_guest_raise raise{};
    std::fesetround(FE_UPWARD);
    const int rc = kalm_guest_call(v.fn->ordinal, v.words.data(), v.words.size(), o.res, 2, 0x1234, 0u, &status, &raise);
    o.after_rounding = rounding_now();
    std::fesetround(FE_TONEAREST);
    o.flags = status;
    if (rc == KALM_GUEST_RAISED) {
        o.raise = raise.status_code;
        o.where = raise.report_address ^ static_cast<std::uintptr_t>(raise.internal_call) << 32;
    }
    return o;
}

LineOutcome run_line(const kalmtool::Vector& v, Mode mode) {
    if (mode == Mode::guest) return run_guest_line(v);
    LineOutcome o;
    FirstRaise& first = g_first;
    first = {};
    kalm_set_control_word(mode == Mode::masked ? KALM_MASK_ALL : 0u);
    kalm_set_raise_handler(mode == Mode::handler ? &record_first : nullptr, &first);
    kalm_clear_flags();
    std::fesetround(FE_UPWARD);
    try {
        kalm_call(v.fn->ordinal, v.words.data(), v.words.size(), o.res, 2, 0x1234);
    } catch (const kalm::FpException& e) {
        first = {e.status_code(), e.report_address(), 0};
    }
    o.after_rounding = rounding_now();
    std::fesetround(FE_TONEAREST);
    o.flags = kalm_status() & 0x1Du;
    o.raise = first.status;
    o.where = first.where;
    o.seen_rounding = first.rounding;
    kalm_set_raise_handler(nullptr, nullptr);
    kalm_set_control_word(KALM_MASK_ALL);
    return o;
}

// ---- The handler's own calls ----------------------------------------------------

struct HandlerCall {
    int ordinal;
    std::uint32_t args[4];
    std::size_t nargs;
};
struct HandlerOutcome {
    std::uint32_t res[2];
    unsigned flags;
    std::uint32_t raise;
    bool operator==(const HandlerOutcome&) const = default;
};
constexpr int kHandlerCalls = 5;
HandlerCall g_calls[kHandlerCalls];
// [0]: masked, [1]: unmasked with the handler's own raise handler.
HandlerOutcome g_expected[2][kHandlerCalls];
std::uint32_t g_guest_expected[2];
volatile std::sig_atomic_t g_bad = 0;
volatile std::sig_atomic_t g_ticks = 0;
// Set while the interrupted code is in a guest call: a raise there would
// travel the guest call's way, so the handler's host calls stay masked.
volatile std::sig_atomic_t g_in_guest = 0;
// What the interrupted code has installed, for the handler to put back.
kalm_raise_handler g_outer_handler = nullptr;

void first_status(uint32_t status, int, uintptr_t, void* user) {
    auto* s = static_cast<std::uint32_t*>(user);
    if (*s == 0) *s = status;
}

void handler_calls(bool unmasked, HandlerOutcome (&out)[kHandlerCalls]) {
    std::uint32_t raised = 0;
    kalm_set_control_word(unmasked ? 0u : KALM_MASK_ALL);
    kalm_set_raise_handler(unmasked ? &first_status : nullptr, &raised);
    for (int i = 0; i < kHandlerCalls; ++i) {
        raised = 0;
        out[i] = {};
        kalm_clear_flags();
        kalm_call(g_calls[i].ordinal, g_calls[i].args, g_calls[i].nargs, out[i].res, 2, 0x5678);
        out[i].flags = kalm_status() & 0x1Du;
        out[i].raise = raised;
    }
}

// A guest call too (masked: its raise would travel as a C++ exception, which a
// signal handler must not throw).
std::uint32_t handler_guest_call() {
    const std::uint32_t args[2] = {0x00000000u, 0x40900000u};  // exp(1024): overflow
    std::uint32_t res[2] = {0, 0}, status = 0;
    kalm_guest_raise raise{};
    kalm_guest_call(g_calls[0].ordinal, args, 2, res, 2, 0x9000, KALM_MASK_ALL, &status, &raise);
    return res[1] ^ status;
}

void on_tick(int) {
    const int saved_errno = errno;
    const std::uint32_t cw = kalm_control_word();
    const std::uint32_t st = kalm_status();
    const bool unmasked = (g_ticks & 1) != 0 && !g_in_guest;
    HandlerOutcome got[kHandlerCalls];
    handler_calls(unmasked, got);
    for (int i = 0; i < kHandlerCalls; ++i)
        if (!(got[i] == g_expected[unmasked][i])) g_bad = g_bad + 1;
    if (handler_guest_call() != g_guest_expected[0]) g_bad = g_bad + 1;
    kalm_set_raise_handler(g_outer_handler, &g_first);
    kalm_set_control_word(cw);
    kalm_set_status(st);
    g_ticks = g_ticks + 1;
    errno = saved_errno;
}

std::vector<kalmtool::Vector> all_lines() {
    std::vector<kalmtool::Vector> out;
    for (const auto& e : std::filesystem::directory_iterator(KALM_VECTOR_DIR)) {
        std::ifstream in(e.path());
        std::string line, error;
        while (std::getline(in, line)) {
            kalmtool::Vector v;
            if (kalmtool::parse_vector(line, v, error) && v.fn != nullptr) out.push_back(v);
        }
    }
    return out;
}

std::string describe(const LineOutcome& o) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%08X%08X flags %02X raise %08X at %#jx, rounding %X/%X", o.res[1], o.res[0], o.flags,
                  o.raise, static_cast<std::uintmax_t>(o.where), o.seen_rounding, o.after_rounding);
    return buf;
}

int ordinal_of(const char* name) { return kalm_export_by_name(name)->ordinal; }

TEST(Signals, NestedCallsLeaveTheInterruptedCallAlone) {
    const auto lines = all_lines();
    ASSERT_GT(lines.size(), 1000u);
    // exp(1024) overflows, log(-1) is invalid, sin(1) inexact, sqrt(4) exact,
    // powf(10, -50) underflows.
    g_calls[0] = {ordinal_of("exp"), {0x00000000u, 0x40900000u}, 2};
    g_calls[1] = {ordinal_of("log"), {0x00000000u, 0xBFF00000u}, 2};
    g_calls[2] = {ordinal_of("sin"), {0x00000000u, 0x3FF00000u}, 2};
    g_calls[3] = {ordinal_of("sqrt"), {0x00000000u, 0x40100000u}, 2};
    g_calls[4] = {ordinal_of("powf"), {0x41200000u, 0xC2480000u}, 2};
    handler_calls(false, g_expected[0]);
    handler_calls(true, g_expected[1]);
    g_guest_expected[0] = handler_guest_call();
    kalm_set_raise_handler(nullptr, nullptr);
    kalm_set_control_word(KALM_MASK_ALL);

    const Mode modes[] = {Mode::masked, Mode::handler, Mode::exception, Mode::guest};
    std::vector<LineOutcome> want;
    for (const auto& v : lines)
        for (Mode m : modes) want.push_back(run_line(v, m));

    struct sigaction sa {};
    sa.sa_handler = &on_tick;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    struct sigaction old {};
    ASSERT_EQ(sigaction(SIGALRM, &sa, &old), 0);
    itimerval every{{0, 37}, {0, 37}};
    ASSERT_EQ(setitimer(ITIMER_REAL, &every, nullptr), 0);

    std::size_t mismatches = 0;
    std::string first_mismatch;
    // Passes until enough ticks have landed (a loaded machine delivers fewer).
    for (int pass = 0; pass < 40 && (pass < 2 || g_ticks < 20000); ++pass) {
        std::size_t k = 0;
        for (const auto& v : lines)
            for (Mode m : modes) {
                // The interrupted code's handler, for the signal handler to put back.
                g_outer_handler = m == Mode::handler ? &record_first : nullptr;
                g_in_guest = m == Mode::guest;
                const LineOutcome got = run_line(v, m);
                if (!(got == want[k]) && mismatches++ == 0)
                    first_mismatch = v.input + " mode " + std::to_string(static_cast<int>(m)) + ": " + describe(got) +
                                     " instead of " + describe(want[k]);
                ++k;
            }
    }
    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &old, nullptr);

    EXPECT_GT(g_ticks, 100);
    EXPECT_EQ(mismatches, 0u) << "first: " << first_mismatch;
    EXPECT_EQ(g_bad, 0);
}

}  // namespace
#endif
