// SPDX-License-Identifier: MIT
// Guest calls: an export run for a thread of an emulated device. The guest's
// control word and sticky flags stand in for the host thread's for the length
// of the call; the host thread gets its control word, register and handler
// back untouched, and an unmasked exception comes back as a record, never as
// a C++ exception (emulators are C, and one crossing their hooks aborts).
//
// Cost: reading the status register (stmxcsr on x86-64) is the dear part of a
// short export (~5 ns), and a guest call needs two reads, one to give the host
// its register back and one for the guest's flags. On x86-64 the call therefore
// runs the routines' inner entries in an environment this file sets, so that
// the export entry's own read is not a third; elsewhere it goes through the
// export entries and reads around them.
#include <iterator>
#include <type_traits>

#include "abi/exports.hpp"
#include "abi/words.hpp"
#include "frame/guest.hpp"
#include "kalmlib/kalmlib.h"

namespace kalm::lib {
namespace {

using FnDD = double (*)(double, report_t);
using FnDDD = double (*)(double, double, report_t);
using FnIDD = double (*)(int, double, report_t);
using FnFF = float (*)(float, report_t);
using FnFFF = float (*)(float, float, report_t);

#if defined(__x86_64__) && !defined(KALM_PORTABLE_FENV)
#define KALM_GUEST_INNER 1
#endif

struct GuestCall {
    const std::uint32_t* args;
    std::uint32_t* results;
    std::uint32_t* status;
    kalm_guest_raise* raise;
    std::uint32_t ordinal, report_address, control;
};
using GuestEntry = int (*)(const GuestCall&) noexcept;

// One entry per export, with the routine called directly (no dispatch on the
// signature at run time), and the words each needs.
struct GuestRow {
    GuestEntry entry;
    unsigned char arg_words, result_words;
};

#if defined(KALM_GUEST_INNER)
#define KALM_GUEST_FN(name) static_cast<decltype(&exported::name)>(&name)
#else
#define KALM_GUEST_FN(name) &exported::name
#endif

// The host's register around the call. enter() returns what the host had;
// give_back() restores it and returns the guest's sticky flags (device layout).
#if defined(KALM_GUEST_INNER)
// The inner entries run in the environment already set: the device's, with
// the guest's flags for an unframed routine (a framed one clears them first
// anyway, with the constant write the call's record allows). The record's
// register word is the device's own, so every clearing inside is a constant.
inline std::uint32_t enter(std::uint32_t ordinal, std::uint32_t guest_status, bool leaves_flags) {
    const std::uint32_t m0 = host_status_raw();
    if (leaves_flags) {
        const std::uint32_t want = DEVICE_CONTROL | sticky_to_host(guest_status & STICKY_MASK);
        if (m0 != want) host_status_write(want);
    } else if ((m0 & ENV_CONTROL_BITS) != DEVICE_CONTROL) [[unlikely]] {
        host_status_write_const<DEVICE_CONTROL>();
    }
    tls_call = (static_cast<std::uint64_t>(ordinal) << 32) | DEVICE_CONTROL;
    return m0;
}
inline std::uint32_t give_back(std::uint32_t m0, std::uint32_t m1) {
    if (m1 != m0) host_status_write(m0);
    return host_to_sticky(m1);
}
#else
// The export entries set the device's environment and give the caller's back;
// the sticky flags are the guest's between the two reads.
inline std::uint32_t enter(std::uint32_t, std::uint32_t guest_status, bool leaves_flags) {
    const std::uint32_t m0 = host_status_raw();
    if (leaves_flags) {
        const std::uint32_t want = (m0 & ~HOST_MASK) | sticky_to_host(guest_status & STICKY_MASK);
        if (m0 != want) host_status_write(want);
    }
    return m0;
}
inline std::uint32_t give_back(std::uint32_t m0, std::uint32_t m1) {
    const std::uint32_t back = (m1 & ~HOST_MASK) | (m0 & HOST_MASK);
    if (m1 != back) host_status_write(back);
    return host_to_sticky(m1);
}
#endif

// The host thread's control word and call record, put back on every way out,
// and whether it was in a guest call: nothing a guest call runs calls back
// out, but a signal handler (an emulator's timer) may make a guest call in the
// middle of another, which must then go on as if it had not.
struct HostThread {
    std::uint32_t control = tls_control_word;
    std::uint64_t call = tls_call;
    bool guest = tls_guest_call;
    std::uint8_t internal = tls_internal_call;
    void restore() const {
        tls_control_word = control;
        tls_call = call;
        tls_guest_call = guest;
        tls_internal_call = internal;
    }
};

template <bool LeavesFlags, typename Call>
int run(const GuestCall& c, Call call) noexcept {
    const HostThread host;
    tls_control_word = c.control & FP_ALL_MASKED;
    tls_guest_call = true;
    const std::uint32_t m0 = enter(c.ordinal, *c.status, LeavesFlags);
    try {
        const auto r = call();
        const std::uint32_t flags = give_back(m0, host_status_after(r));
        host.restore();
        kalm::words::put(c.results, r);
        *c.status = (*c.status & ~STICKY_MASK) | flags;
        return KALM_OK;
    } catch (const GuestRaise& g) {
        const std::uint32_t flags = give_back(m0, host_status_raw());
        const std::uint8_t internal = tls_internal_call;
        host.restore();
        *c.status = (*c.status & ~STICKY_MASK) | flags;
        // The guest's own address comes back only from the application's call;
        // a report inside the library carries a host address (on a 32-bit host
        // one equal to the guest's would be taken for it: a code address of the
        // library against a guest return address, never met in practice).
        const bool in_library = g.ra != static_cast<report_t>(c.report_address);
        kalm_guest_raise* const raise = c.raise;
        raise->status_code = fp_status_code[g.code];
        raise->fp_code = static_cast<int>(g.code);
        raise->ordinal = static_cast<int>(c.ordinal);
        raise->in_library = in_library ? 1 : 0;
        raise->report_address = in_library ? 0u : c.report_address;
        raise->internal_call = in_library ? static_cast<int>(internal) : 0;
        raise->host_address = in_library ? g.ra : 0u;
        return KALM_GUEST_RAISED;
    }
}

using namespace kalm::words;

// The routine called with its arguments taken from the guest's words.
template <auto Fn>
auto call_with_words(const std::uint32_t* a, report_t ra) {
    using F = decltype(Fn);
    if constexpr (std::is_same_v<F, FnDD>) return Fn(double_at(a), ra);
    else if constexpr (std::is_same_v<F, FnDDD>) return Fn(double_at(a), double_at(a + 2), ra);
    else if constexpr (std::is_same_v<F, FnIDD>) return Fn(int_at(a), double_at(a + 1), ra);
    else if constexpr (std::is_same_v<F, FnFF>) return Fn(float_at(a), ra);
    else return Fn(float_at(a), float_at(a + 1), ra);
}
template <auto Fn>
constexpr unsigned char arg_words() {
    using F = decltype(Fn);
    if constexpr (std::is_same_v<F, FnDD>) return 2;
    else if constexpr (std::is_same_v<F, FnDDD>) return 4;
    else if constexpr (std::is_same_v<F, FnIDD>) return 3;
    else if constexpr (std::is_same_v<F, FnFF>) return 1;
    else return 2;
}
template <auto Fn>
constexpr unsigned char result_words() {
    return std::is_same_v<decltype(Fn), FnFF> || std::is_same_v<decltype(Fn), FnFFF> ? 1 : 2;
}

template <auto Fn, bool LeavesFlags>
int guest_entry(const GuestCall& c) noexcept {
    return run<LeavesFlags>(c, [&] { return call_with_words<Fn>(c.args, c.report_address); });
}

// The whole entry kept out of the special cases below, so that their short
// paths save no registers for it.
template <auto Fn>
KALM_NOINLINE int guest_entry_apart(const GuestCall& c) noexcept {
    return guest_entry<Fn, false>(c);
}

// Calls that meet no floating-point operation and cannot raise: a framed
// export's clearing is all they do to the flags, so the host's register is
// neither read nor written (fabsf; the integer square roots of positive
// finite arguments, whose exit check would find nothing).
int guest_fabsf(const GuestCall& c) noexcept {
    c.results[0] = c.args[0] & 0x7FFFFFFFu;
    *c.status &= ~STICKY_MASK;
    return KALM_OK;
}
int guest_sqrt(const GuestCall& c) noexcept {
    if (c.args[1] < 0x7FF00000u) {
        put(c.results, to_hw(sqrt_cleared(double_at(c.args), c.report_address)));
        *c.status &= ~STICKY_MASK;
        return KALM_OK;
    }
    return guest_entry_apart<KALM_GUEST_FN(sqrt)>(c);
}
int guest_sqrtf(const GuestCall& c) noexcept {
    if (c.args[0] - 1u < 0x7F7FFFFFu) {
        put(c.results, to_hw(sqrtf_cleared(float_at(c.args), c.report_address)));
        *c.status &= ~STICKY_MASK;
        return KALM_OK;
    }
    return guest_entry_apart<KALM_GUEST_FN(sqrtf)>(c);
}

template <auto Fn, bool LeavesFlags>
constexpr GuestRow guest_row(GuestEntry special = nullptr) {
    return {special ? special : &guest_entry<Fn, LeavesFlags>, arg_words<Fn>(), result_words<Fn>()};
}
#define KALM_GUEST_ROW(name, stem, sig, kind)                                                        \
    guest_row<KALM_GUEST_FN(name), kalm::exports::Kind::kind == kalm::exports::Kind::UNFRAMED>( \
        kalm::exports::ord::stem == kalm::exports::ord::fabsf   ? &guest_fabsf                        \
        : kalm::exports::ord::stem == kalm::exports::ord::sqrt  ? &guest_sqrt                         \
        : kalm::exports::ord::stem == kalm::exports::ord::sqrtf ? &guest_sqrtf                        \
                                                                : nullptr),
constexpr GuestRow kGuestRows[] = {KALM_EXPORT_LIST(KALM_GUEST_ROW)};
#undef KALM_GUEST_ROW

}  // namespace
}  // namespace kalm::lib

using namespace kalm::lib;
using namespace kalm::words;

extern "C" KALM_API int kalm_guest_call(int ordinal, const uint32_t* args, size_t nargs, uint32_t* results,
                                        size_t nresults, uint32_t report_address, uint32_t control_word,
                                        uint32_t* status, kalm_guest_raise* raise) {
    if (ordinal < 1 || ordinal > static_cast<int>(std::size(kGuestRows))) return KALM_ERR_NO_SUCH_EXPORT;
    const GuestRow& row = kGuestRows[ordinal - 1];
    if (nargs < row.arg_words) return KALM_ERR_TOO_FEW_ARGS;
    if (nresults < row.result_words) return KALM_ERR_RESULT_SPACE;
    if (args == nullptr || results == nullptr || status == nullptr || raise == nullptr) return KALM_ERR_NULL;
    return row.entry({args, results, status, raise, static_cast<std::uint32_t>(ordinal), report_address, control_word});
}
