// SPDX-License-Identifier: MIT
// kalm_guest_call: every vector line through it, under every environment the
// host thread may be in, with the host thread's register, control word and
// handler checked to be exactly as they were; the raise record's address and
// internal routine; the error cases, which must write nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "abi/export_list.hpp"
#include "abi/words.hpp"
#include "kalmlib/kalmlib.h"
#include "kalmlib/kalmlib.hpp"
#include "vectors.hpp"

namespace {

constexpr std::uint32_t kGuestLr = 0x00012344u;
constexpr std::uint32_t kResultSentinel = 0xDEADBEEFu;
// Bits of the guest's status word that are not sticky flags: they must come
// back as they went in. Bit 1 is among them (the device's unused flag).
constexpr std::uint32_t kOtherBits = 0xA5A50F02u;

struct Line {
    std::string where;
    kalmtool::Vector v;
};

std::vector<Line> all_lines() {
    std::vector<Line> out;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(KALM_VECTOR_DIR))
        if (e.path().extension() == ".txt") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        std::ifstream in(f);
        std::string text, error;
        for (long n = 1; std::getline(in, text); ++n) {
            Line l;
            l.where = f.filename().string() + ":" + std::to_string(n);
            if (!kalmtool::parse_vector(text, l.v, error)) ADD_FAILURE() << l.where << ": " << error;
            if (l.v.fn != nullptr && l.v.expected) out.push_back(std::move(l));
        }
    }
    return out;
}

bool leaves_flags(int ordinal) {
    return kalm::exports::kinds[ordinal - 1] == kalm::exports::Kind::UNFRAMED;
}

struct Outcome {
    int rc = 0;
    std::uint64_t result = 0;
    std::uint32_t status = 0;
    kalm_guest_raise raise{};
};

Outcome guest(const kalmtool::Vector& v, std::uint32_t control, std::uint32_t status_in) {
    Outcome o;
    std::uint32_t res[2] = {kResultSentinel, kResultSentinel};
    o.status = status_in;
    std::memset(&o.raise, 0x5A, sizeof o.raise);
    o.rc = kalm_guest_call(v.fn->ordinal, v.words.data(), v.words.size(), res, 2, kGuestLr, control, &o.status,
                           &o.raise);
    o.result = kalm::words::result_bits(res, static_cast<std::size_t>(v.fn->result_words));
    return o;
}

std::string raise_text(const Outcome& o) {
    if (o.rc != KALM_GUEST_RAISED) return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08" PRIX32 "@%s", o.raise.status_code, o.raise.in_library ? "lib" : "app");
    return buf;
}

// Installs `env` in the host register, makes one guest call, and fails unless
// the register afterwards is exactly what was installed, sticky flags included.
Outcome guest_in_env(const kalmtool::CallerEnv& env, const Line& l, std::uint32_t control, std::uint32_t status_in) {
    Outcome o;
    kalmtool::FpRegs after = env.regs;
    kalmtool::call_in_env(env, after, [&] { o = guest(l.v, control, status_in); });
    EXPECT_EQ(after, env.regs) << l.where << " under " << env.name << ": the host register changed";
    return o;
}

// Every line with everything masked (result and flags) and unmasked (first
// raise, no result), from a guest whose flags are clear and from one whose
// four flags are set, under every host environment. The host thread meanwhile
// has its own control word, status and handler, which no guest call may touch.
TEST(GuestCall, EveryVectorLineUnderEveryHostEnvironment) {
    const std::vector<Line> lines = all_lines();
    ASSERT_GT(lines.size(), 2000u);
    static int handler_calls = 0;
    kalm_set_raise_handler([](uint32_t, int, uintptr_t, void*) { ++handler_calls; }, nullptr);
    kalm_set_control_word(0x00000003u);
    kalm_set_status(0x12340002u);
    const std::uint32_t host_status = kalm_status();
    long checked = 0;
    for (const kalmtool::CallerEnv& env : kalmtool::caller_envs()) {
        for (const Line& l : lines) {
            const kalmtool::Outcome& want = *l.v.expected;
            for (const std::uint32_t preset : {0x00u, 0x1Du}) {
                const Outcome m = guest_in_env(env, l, KALM_MASK_ALL, kOtherBits | preset);
                ASSERT_EQ(m.rc, KALM_OK) << l.where << " under " << env.name << ": raised with everything masked";
                EXPECT_EQ(m.result, want.result) << l.where << " under " << env.name;
                EXPECT_EQ(m.status & ~0x1Du, kOtherBits) << l.where;
                const std::uint32_t flags = m.status & 0x1Du;
                // A framed export clears the guest's flags first; an unframed one
                // adds to them, unless an inner framed routine cleared them.
                const bool flags_ok = flags == want.flags ||
                                      (preset != 0 && leaves_flags(l.v.fn->ordinal) && flags == (want.flags | preset));
                EXPECT_TRUE(flags_ok) << l.where << " under " << env.name << " preset " << preset << ": flags "
                                      << flags << ", want " << want.flags;

                const Outcome u = guest_in_env(env, l, 0u, kOtherBits | preset);
                EXPECT_EQ(raise_text(u), want.raise) << l.where << " under " << env.name;
                EXPECT_EQ(u.status & ~0x1Du, kOtherBits) << l.where;
                if (u.rc == KALM_OK) {
                    EXPECT_EQ(u.result, want.result) << l.where;
                } else if (u.rc == KALM_GUEST_RAISED) {
                    EXPECT_EQ(u.result, l.v.fn->result_words == 2 ? 0xDEADBEEFDEADBEEFull : kResultSentinel)
                        << l.where << ": a raise delivers no result";
                    EXPECT_EQ(u.raise.ordinal, l.v.fn->ordinal) << l.where;
                    if (u.raise.in_library) {
                        EXPECT_EQ(u.raise.report_address, 0u) << l.where;
                        EXPECT_NE(u.raise.internal_call, KALM_INTERNAL_NONE) << l.where;
                        EXPECT_NE(u.raise.host_address, 0u) << l.where;
                    } else {
                        EXPECT_EQ(u.raise.report_address, kGuestLr) << l.where;
                        EXPECT_EQ(u.raise.internal_call, KALM_INTERNAL_NONE) << l.where;
                        EXPECT_EQ(u.raise.host_address, 0u) << l.where;
                    }
                }
                ++checked;
            }
        }
    }
    EXPECT_EQ(handler_calls, 0) << "a guest call ran the host thread's raise handler";
    EXPECT_EQ(kalm_control_word(), 0x00000003u);
    EXPECT_EQ(kalm_status(), host_status);
    kalm_set_raise_handler(nullptr, nullptr);
    kalm_set_control_word(KALM_MASK_ALL);
    kalm_set_status(0);
    EXPECT_GT(checked, 4000);
}

// Which routine reported a raise inside the library, per export: the identity
// an emulator maps into its image of the device library.
TEST(GuestCall, RaisesInsideTheLibraryNameTheRoutineCalled) {
    const std::map<std::string, std::set<int>> routines = {
        {"fmod", {KALM_INTERNAL_DIVISION}},   {"fmodf", {KALM_INTERNAL_DIVISION_F}},
        {"tanh", {KALM_INTERNAL_DIVISION}},   {"tanhf", {KALM_INTERNAL_DIVISION_F}},
        {"logf", {KALM_INTERNAL_DIVISION_F}}, {"log10f", {KALM_INTERNAL_DIVISION_F}},
        {"powf", {KALM_INTERNAL_DIVISION_F}}, {"pow", {KALM_INTERNAL_DIVISION, KALM_INTERNAL_SCALE_POW2}},
        {"sin", {KALM_INTERNAL_FLOOR}},       {"cos", {KALM_INTERNAL_FLOOR}},
        {"tan", {KALM_INTERNAL_FLOOR}},       {"sinf", {KALM_INTERNAL_FLOORF}},
        {"cosf", {KALM_INTERNAL_FLOORF}},     {"tanf", {KALM_INTERNAL_FLOORF}},
        {"_y0", {KALM_INTERNAL_FLOOR}},       {"_y1", {KALM_INTERNAL_FLOOR}},
        {"_yn", {KALM_INTERNAL_FLOOR}},       {"asinf", {KALM_INTERNAL_DIVISION_F}},
        {"acosf", {KALM_INTERNAL_DIVISION_F}},
    };
    std::map<std::string, std::set<int>> seen;
    for (const Line& l : all_lines()) {
        if (l.v.expected->raise.find("@lib") == std::string::npos) continue;
        const Outcome u = guest(l.v, 0u, 0u);
        ASSERT_EQ(u.rc, KALM_GUEST_RAISED) << l.where;
        seen[l.v.fn->name].insert(u.raise.internal_call);
    }
    for (const auto& [name, got] : seen) {
        const auto it = routines.find(name);
        ASSERT_NE(it, routines.end()) << name << " raises inside the library: add it here";
        for (int r : got) EXPECT_TRUE(it->second.count(r)) << name << " reported by internal routine " << r;
    }
}

// Bad ordinals, short arrays and null pointers: an error code and nothing written.
TEST(GuestCall, ErrorsWriteNothing) {
    const std::uint32_t args[4] = {0, 0x40000000u, 0, 0x3FF00000u};
    struct Case {
        const char* what;
        int ordinal;
        std::size_t nargs, nresults;
        bool null_args, null_results, null_status, null_raise;
        int rc;
    };
    const Case cases[] = {
        {"ordinal 0", 0, 4, 2, false, false, false, false, KALM_ERR_NO_SUCH_EXPORT},
        {"ordinal 41", 41, 4, 2, false, false, false, false, KALM_ERR_NO_SUCH_EXPORT},
        {"ordinal -1", -1, 4, 2, false, false, false, false, KALM_ERR_NO_SUCH_EXPORT},
        {"pow with 3 words", 29, 3, 2, false, false, false, false, KALM_ERR_TOO_FEW_ARGS},
        {"_yn with 2 words", 3, 2, 2, false, false, false, false, KALM_ERR_TOO_FEW_ARGS},
        {"sqrtf with 0 words", 36, 0, 1, false, false, false, false, KALM_ERR_TOO_FEW_ARGS},
        {"sqrt with 1 result word", 35, 2, 1, false, false, false, false, KALM_ERR_RESULT_SPACE},
        {"null args", 35, 2, 2, true, false, false, false, KALM_ERR_NULL},
        {"null results", 35, 2, 2, false, true, false, false, KALM_ERR_NULL},
        {"null status", 35, 2, 2, false, false, true, false, KALM_ERR_NULL},
        {"null raise", 35, 2, 2, false, false, false, true, KALM_ERR_NULL},
    };
    for (const Case& c : cases) {
        std::uint32_t res[2] = {kResultSentinel, kResultSentinel};
        std::uint32_t status = 0x1234567Fu;
        kalm_guest_raise raise;
        std::memset(&raise, 0x5A, sizeof raise);
        kalm_guest_raise untouched;
        std::memset(&untouched, 0x5A, sizeof untouched);
        const int rc = kalm_guest_call(c.ordinal, c.null_args ? nullptr : args, c.nargs, c.null_results ? nullptr : res,
                                       c.nresults, kGuestLr, 0u, c.null_status ? nullptr : &status,
                                       c.null_raise ? nullptr : &raise);
        EXPECT_EQ(rc, c.rc) << c.what;
        EXPECT_EQ(res[0], kResultSentinel) << c.what;
        EXPECT_EQ(res[1], kResultSentinel) << c.what;
        EXPECT_EQ(status, 0x1234567Fu) << c.what;
        EXPECT_EQ(std::memcmp(&raise, &untouched, sizeof raise), 0) << c.what;
    }
}

// A guest call made from inside a host thread's raise handler, while a host
// call is suspended there: both come out as they would alone.
TEST(GuestCall, FromInsideAHostRaiseHandler) {
    struct Seen {
        int guest_rc = -99;
        std::uint32_t guest_status = 0;
        std::uint32_t host_cw_in_handler = 0;
    };
    static Seen seen;
    kalm_set_raise_handler(
        [](uint32_t, int, uintptr_t, void*) {
            const std::uint32_t neg[2] = {0, 0xBFF00000u};  // sqrt(-1): invalid
            std::uint32_t res[2], st = 0;
            kalm_guest_raise r;
            seen.guest_rc = kalm_guest_call(35, neg, 2, res, 2, kGuestLr, 0u, &st, &r);
            seen.guest_status = st;
            seen.host_cw_in_handler = kalm_control_word();
        },
        nullptr);
    const double want = kalm_exp(1.0);
    kalm_set_control_word(KALM_MASK_ALL & ~KALM_MASK_INEXACT);
    const double r = kalm_exp(1.0);  // inexact: the handler runs, then the call goes on
    kalm_set_raise_handler(nullptr, nullptr);
    const std::uint32_t cw = kalm_control_word();
    kalm_set_control_word(KALM_MASK_ALL);
    EXPECT_EQ(r, want);
    EXPECT_EQ(seen.guest_rc, KALM_GUEST_RAISED);
    EXPECT_EQ(seen.guest_status & 0x1Du, 0x00u);  // a direct raise sets no flag
    EXPECT_EQ(seen.host_cw_in_handler, KALM_MASK_ALL & ~KALM_MASK_INEXACT);
    EXPECT_EQ(cw, KALM_MASK_ALL & ~KALM_MASK_INEXACT);
}

// A host thread's control word may hold any bits beyond the five masks: a host
// call still raises the host's way, never the guest call's.
TEST(GuestCall, HostCallsRaiseTheHostsWayWhateverTheControlWordsHighBits) {
    for (const std::uint32_t high : {0x80000000u, 0xFFFFFFE0u, 0x40000020u}) {
        kalm_set_control_word(high | (KALM_MASK_ALL & ~KALM_MASK_INVALID));
        bool thrown = false;
        try {
            (void)kalm_sqrt(-1.0);
        } catch (const kalm::FpException& e) {
            thrown = e.status_code() == KALM_STATUS_FLOAT_INVALID_OPERATION;
        }
        kalm_set_control_word(KALM_MASK_ALL);
        EXPECT_TRUE(thrown) << std::hex << high;
    }
}

}  // namespace
