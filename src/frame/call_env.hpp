// SPDX-License-Identifier: MIT
// The floating-point environment of an export call. Every export computes in
// the device's environment (round to nearest, subnormals kept, no host trap
// enabled) whatever the caller has set, and gives the caller its environment
// back on return: rounding, flush/denormal modes, trap enables and the host's
// flags that have no device meaning are as they were; only the four sticky
// flags change, by the device's rules.
//
// On x86-64 a caller already in that environment pays nothing for this: the
// framed exports' entry read, which the frame needs anyway, tells the case
// apart, and the register is only read again at the exit when the call may have
// met a subnormal operand (which sets the denormal-operand flag). Unframed
// exports pay one register read at entry.
#pragma once

#include <cstdint>

#include "host/bits.hpp"
#include "host/host_flags.hpp"
#include "host/thread_slot.hpp"

namespace kalm::lib {

enum class Entry { framed, unframed };

// tls_control_word: the control word of the calling thread (bit set =
// exception masked).
// tls_call: the export call in progress on this thread, for the raise service,
// which puts the caller's environment back while a handler runs or an
// exception leaves the library. Register hosts: the caller's register in the
// low word, the export's ordinal in the high word; 0 when no call is in progress.
// Both are read on every call: in static TLS on ELF hosts (one load each), in
// the thread's block on 64-bit Windows (host/thread_slot.hpp).
#if defined(_WIN32) && (defined(__x86_64__) || defined(_M_X64))
#define tls_control_word (::kalm::lib::thread_block().control_word)
#define tls_call (::kalm::lib::thread_block().call)
#else
extern KALM_TLS std::uint32_t tls_control_word KALM_TLS_IE;
extern KALM_TLS std::uint64_t tls_call KALM_TLS_IE;
#endif
inline constexpr std::uint32_t FP_ALL_MASKED = 0x1Fu;

// tls_scope: 0 outside a device-environment scope (kalm_enter_device_env).
// Inside one the caller has promised that the register holds the device's
// environment, so the exports take the caller's register word from here
// instead of reading it: SCOPE_ON, the device's control bits, the host-only
// flags held when the scope was entered, and every sticky bit set (a call
// does not know which are, so it writes its clearing instead of testing
// first). SCOPE_CHECKED: the checking mode, in which every call reads the
// register anyway and stops the program if the promise is broken.
#if defined(_WIN32) && (defined(__x86_64__) || defined(_M_X64))
#define tls_scope (::kalm::lib::thread_block().scope)
#else
extern KALM_TLS std::uint32_t tls_scope KALM_TLS_IE;
#endif
inline constexpr std::uint32_t SCOPE_ON = 1u << 31, SCOPE_CHECKED = 1u << 30;
#if (defined(__x86_64__) || defined(__aarch64__)) && !defined(KALM_PORTABLE_FENV)
#define KALM_SCOPE_SKIPS_READ 1
#endif
// The register read of a call in checking mode, after the promise is checked.
[[gnu::cold, gnu::noinline]] std::uint32_t checked_scope_register(std::uint32_t ordinal);
// The caller's register word at an export's entry (AArch64: FPCR).
inline std::uint32_t caller_register([[maybe_unused]] std::uint32_t ordinal) {
#if defined(KALM_SCOPE_SKIPS_READ)
    if (const std::uint32_t sc = tls_scope) {
        if (sc & SCOPE_CHECKED) [[unlikely]]
            return checked_scope_register(ordinal);
        return sc & ~SCOPE_ON;
    }
#endif
#if defined(KALM_PORTABLE_FENV)
    return 0;
#elif defined(__aarch64__)
    return host_control_raw();
#else
    return host_status_raw();
#endif
}

// Set in the record when the exit has to look at the register: the caller's
// environment is not the device's, or a routine is about to meet a subnormal
// operand in a way its export's arguments do not show (the single
// trigonometric kernels on the few reduced arguments that come very close to a
// multiple of pi/2).
inline constexpr std::uint64_t CALL_EXIT_LOOKS = 1ull << 63;
inline std::uint32_t call_ordinal(std::uint64_t record) {
    return static_cast<std::uint32_t>(record >> 32) & 0x7FFFFFFFu;
}
inline void note_subnormal_operand() {
#if defined(__x86_64__) && !defined(KALM_PORTABLE_FENV)
    if (const std::uint64_t c = tls_call) tls_call = c | CALL_EXIT_LOOKS;
#endif
}

#if defined(KALM_PORTABLE_FENV)

struct CallEnv {
    std::fenv_t caller;
    std::uint64_t outer;  // the interrupted call's record (see leave_recorded)
    const std::fenv_t* outer_env;
};
// The portable layer keeps the caller's whole environment on the call's stack;
// the record's low word is unused.
extern KALM_TLS const std::fenv_t* tls_call_env;

#if defined(KALM_SOFT_FLAGS)
// With the flags in software the host's environment is left as the caller has
// it: no result depends on it (the host's arithmetic that remains is exact on
// normal operands: integer to floating-point conversions, the single
// reduction's sums of products of bytes), and the host's flags are the
// caller's alone. Only the call's record and the status word are kept.
template <Entry E, bool InnerClears>
inline void enter_call(CallEnv& e, std::uint32_t ordinal, bool) {
    e.outer = tls_call;
    e.outer_env = tls_call_env;
    tls_call = static_cast<std::uint64_t>(ordinal) << 32;
    tls_call_env = nullptr;
    if constexpr (E == Entry::framed) host_status_write(0);
}
template <bool InnerClears, typename T>
inline void leave_call(const CallEnv& e, T, bool) {
    tls_call = e.outer;
    tls_call_env = e.outer_env;
}
#else
template <Entry E, bool InnerClears>
inline void enter_call(CallEnv& e, std::uint32_t ordinal, bool) {
    std::fegetenv(&e.caller);
    e.outer = tls_call;
    e.outer_env = tls_call_env;
    tls_call = static_cast<std::uint64_t>(ordinal) << 32;
    tls_call_env = &e.caller;
    std::fexcept_t carried{};
    if constexpr (E == Entry::unframed) std::fegetexceptflag(&carried, STICKY_FE);
    std::fesetenv(FE_DFL_ENV);
    if constexpr (E == Entry::unframed) std::fesetexceptflag(&carried, STICKY_FE);
}

template <bool InnerClears, typename T>
inline void leave_call(const CallEnv& e, T r, bool) {
    volatile T sink = r;
    (void)sink;
    std::fexcept_t raised;
    std::fegetexceptflag(&raised, STICKY_FE);
    std::fesetenv(&e.caller);
    std::fesetexceptflag(&raised, STICKY_FE);
    tls_call = e.outer;
    tls_call_env = e.outer_env;
}
#endif

#else

// Register hosts keep the state of a call in its record, which costs a few
// percent of a short export: an export whose body clears no flags inside
// (where the record saves a read) records only when it may raise or its exit
// has to look at the register.
struct CallEnv {
    std::uint32_t caller;  // the caller's register (AArch64: FPCR)
    std::uint32_t status;  // AArch64: FPSR at entry (rounding exports only)
    // 0 when the call keeps no record; else the record it found at entry, for
    // its exit to put back (see leave_recorded), marked CALL_KEPT. One value
    // for both, so that nothing more is held across the body.
    std::uint64_t kept;
};
inline constexpr std::uint64_t CALL_KEPT = 1ull << 62;  // beyond any ordinal

#if defined(__x86_64__)
inline bool device_environment(std::uint32_t m0) { return (m0 & ENV_CONTROL_BITS) == DEVICE_CONTROL; }
#elif defined(__aarch64__)
inline bool device_environment(std::uint32_t c0) { return c0 == 0; }
#else
inline bool device_environment(std::uint32_t m0) { return (m0 & ENV_CONTROL_BITS) == 0; }
#endif

// The caller's register with the sticky flags of `now`: what the caller is
// given back, and what a raise handler sees.
inline std::uint32_t caller_with_flags(std::uint32_t m0, std::uint32_t now) {
    return (m0 & ~HOST_MASK) | (now & HOST_MASK);
}

template <Entry E>
[[gnu::cold, gnu::noinline]] inline void enter_device_slow(std::uint32_t m0) {
#if defined(__x86_64__)
    const std::uint32_t keep = E == Entry::framed ? HOST_ONLY_FLAGS : HOST_ONLY_FLAGS | HOST_MASK;
    host_status_write(DEVICE_CONTROL | (m0 & keep));
#elif defined(__aarch64__)
    (void)m0;
    host_control_write(0);
    if constexpr (E == Entry::framed) clear_sticky();
#else
    host_status_write(m0 & ~ENV_CONTROL_BITS & (E == Entry::framed ? ~HOST_MASK : ~0u));
#endif
}

// The record of a call whose caller's register (AArch64: FPCR) reads m0.
// `looks`: the exit has to look at the register whatever the call does.
inline std::uint64_t call_record(std::uint32_t ordinal, std::uint32_t m0, bool looks = false) {
    return (static_cast<std::uint64_t>(ordinal) << 32) | m0 |
           (device_environment(m0) && !looks ? 0 : CALL_EXIT_LOOKS);
}

// A framed export's clearing, in the device's environment (the caller's
// register read m0).
template <Entry E>
inline void clear_at_entry([[maybe_unused]] std::uint32_t m0) {
    if constexpr (E == Entry::framed) {
#if defined(__x86_64__)
        if (m0 & HOST_MASK) [[likely]] write_in_call<0>(m0);
#elif defined(__aarch64__)
        clear_sticky();
#else
        if (m0 & HOST_MASK) host_status_write(m0 & ~HOST_MASK);
#endif
    }
}

// The entry of a call that keeps a record: the record, the device's
// environment if the caller's differs, the clearing of a framed export.
// Returns the record it replaces, marked CALL_KEPT.
template <Entry E>
inline std::uint64_t enter_recorded(std::uint32_t ordinal, std::uint32_t m0, bool tiny_args) {
    const std::uint64_t outer = tls_call | CALL_KEPT;
    tls_call = call_record(ordinal, m0, tiny_args);
    if (!device_environment(m0)) [[unlikely]] {
        enter_device_slow<E>(m0);
        return outer;
    }
    clear_at_entry<E>(m0);
    return outer;
}
template <Entry E>
[[gnu::cold, gnu::noinline]] std::uint64_t enter_recorded_cold(std::uint32_t ordinal, std::uint32_t m0,
                                                                bool tiny_args) {
    return enter_recorded<E>(ordinal, m0, tiny_args);
}

// `tiny_args`: the arguments may lead the call to a subnormal operand, which
// sets the x86 denormal-operand flag; elsewhere it does not matter.
// `InnerClears`: the body clears the flags inside on its usual paths, so the
// call always keeps a record; otherwise only when it has to (see CallEnv), the
// usual case costing one combined test.
template <Entry E, bool InnerClears>
inline void enter_call(CallEnv& e, std::uint32_t ordinal, [[maybe_unused]] bool tiny_args) {
    const std::uint32_t m0 = caller_register(ordinal);
#if !defined(__x86_64__)
    tiny_args = false;
#endif
    e.caller = m0;
    if constexpr (InnerClears) {
        e.kept = enter_recorded<E>(ordinal, m0, tiny_args);
    } else {
        const bool plain = device_environment(m0);
        // One test for the three reasons (bitwise, so that it stays one branch).
        bool recorded = !plain | tiny_args | ((tls_control_word & FP_ALL_MASKED) != FP_ALL_MASKED);
        asm("" : "+r"(recorded));
        e.kept = 0;
        if (recorded) [[unlikely]] {
            e.kept = enter_recorded_cold<E>(ordinal, m0, tiny_args);
            return;
        }
        clear_at_entry<E>(m0);
    }
}

// Gives the caller its register back, with the call's sticky flags.
template <typename T>
[[gnu::cold, gnu::noinline]] void give_back(std::uint32_t m0, T r) {
#if defined(__aarch64__)
    asm volatile("msr fpcr, %0" : : "r"(static_cast<std::uint64_t>(m0)), "w"(r));
#else
    const std::uint32_t m1 = host_status_after(r);
    const std::uint32_t want = caller_with_flags(m0, m1);
    if (m1 != want) host_status_write(want);
#endif
}

// The exit of a call that kept a record, which puts back the record it found:
// 0 for a call of its own, or that of the call a signal handler interrupted
// to make this one, which then goes on as if nothing had happened. (A call
// made from a raise handler finds 0: the raise service keeps the outer call's
// record aside.)
template <typename T>
inline void leave_recorded(std::uint64_t kept, T r, [[maybe_unused]] bool tiny_result) {
    const std::uint64_t record = tls_call;
#if defined(__arm__)
    // The comparison flags change with every compare the library makes.
    give_back(static_cast<std::uint32_t>(record), r);
#elif defined(__x86_64__)
    if (tiny_result || (record & CALL_EXIT_LOOKS)) [[unlikely]]
        give_back(static_cast<std::uint32_t>(record), r);
#else
    if (record & CALL_EXIT_LOOKS) [[unlikely]]
        give_back(static_cast<std::uint32_t>(record), r);
#endif
    tls_call = kept & ~CALL_KEPT;
}
template <typename T>
[[gnu::cold, gnu::noinline]] void leave_recorded_cold(std::uint64_t kept, T r, bool tiny_result) {
    leave_recorded(kept, r, tiny_result);
}

// `tiny_result`: as `tiny_args`, for what the result shows.
template <bool InnerClears, typename T>
inline void leave_call(const CallEnv& e, T r, [[maybe_unused]] bool tiny_result) {
    if constexpr (InnerClears) {
        leave_recorded(e.kept, r, tiny_result);
    } else {
        if (e.kept != 0) [[unlikely]] {
            leave_recorded_cold(e.kept, r, tiny_result);
            return;
        }
#if defined(__x86_64__)
        if (tiny_result) [[unlikely]]
            give_back(e.caller, r);
#elif defined(__arm__)
        give_back(e.caller, r);
#endif
    }
}

#endif

// Exports whose only possible flag is inexact and which know whether they
// raised it (the rounding functions on ordinary arguments). enter_known
// returns false, doing nothing, unless the caller is in the device's
// environment on a host where this pays; the export then takes its plain path.
// They record the call only if they raise (record_known_call).
inline bool enter_known(CallEnv& e, [[maybe_unused]] std::uint32_t ordinal) {
#if defined(__x86_64__) && !defined(KALM_PORTABLE_FENV)
    e.caller = caller_register(ordinal);
    return device_environment(e.caller);
#elif defined(__aarch64__) && !defined(KALM_PORTABLE_FENV)
    e.caller = caller_register(ordinal);
    if (!device_environment(e.caller)) [[unlikely]]
        return false;
    e.status = host_status_raw();
    return true;
#else
    (void)e;
    return false;
#endif
}

// Leaves exactly the inexact flag the call raised (or none), writing the
// register only when it holds another flag. `r` orders the write after the
// arithmetic that produced it.
template <typename T>
inline void leave_known_flags(const CallEnv& e, bool inexact, T r) {
#if defined(__x86_64__) && !defined(KALM_PORTABLE_FENV)
    constexpr std::uint32_t PE = 0x20u;
    if (inexact) {
        if (e.caller & HOST_MASK & ~PE) write_in_call<PE>(e.caller, r);
    } else if (e.caller & HOST_MASK) {
        write_in_call<0>(e.caller, r);
    }
#elif defined(__aarch64__) && !defined(KALM_PORTABLE_FENV)
    const std::uint32_t want = inexact ? sticky_to_host(0x10u) : 0u;
    if ((e.status & HOST_MASK & ~want) != 0) [[unlikely]] {
        asm volatile("msr fpsr, %0" : : "r"(static_cast<std::uint64_t>((e.status & ~HOST_MASK) | want)), "w"(r));
    }
#else
    (void)e;
    (void)inexact;
    (void)r;
#endif
}

#if !defined(KALM_PORTABLE_FENV)
inline void record_known_call(const CallEnv& e, std::uint32_t ordinal) { tls_call = call_record(ordinal, e.caller); }
#else
inline void record_known_call(const CallEnv&, std::uint32_t) {}
#endif

// The entry of an export without arithmetic (fabsf): nothing to compute in the
// device's environment, so only the sticky flags are cleared, every other bit
// left as the caller has it.
inline void clear_sticky_at_entry([[maybe_unused]] std::uint32_t ordinal) {
#if defined(__x86_64__) && !defined(KALM_PORTABLE_FENV)
    const std::uint32_t m0 = caller_register(ordinal);
    if (m0 & HOST_MASK) [[unlikely]] {
        if (device_environment(m0)) write_in_call<0>(m0);
        else host_status_write(m0 & ~HOST_MASK);
    }
#else
    clear_sticky();
#endif
}

// A stretch of a call that makes inner framed calls (flag clearings) on a path
// its export's entry did not expect (sin, cos and tan reduce a huge argument
// with four or five framed calls; their usual arguments make none, so they keep
// no record). Without a record each clearing is a read of the register and a
// write that waits for it; with one it is the write of a known value. An export
// keeps no record only when its caller is in the device's environment with
// every exception masked, so nothing can be raised here, and the register reads
// the device's control bits and the caller's host-only flags, as the record
// says: the stretch records the call for its length and forgets it after. One
// read instead of one per clearing. (Called outside any export, as tests do,
// in another environment or with an exception unmasked, it records nothing.)
struct RecordedStretch {
#if defined(__x86_64__) && !defined(KALM_PORTABLE_FENV)
    bool own = false;
    RecordedStretch() {
        if (tls_call == 0 && (tls_control_word & FP_ALL_MASKED) == FP_ALL_MASKED) {
            const std::uint32_t m = host_status_raw();
            own = device_environment(m);
            if (own) tls_call = m;
        }
    }
    ~RecordedStretch() {
        if (own) tls_call = 0;
    }
#else
    RecordedStretch() = default;
#endif
    RecordedStretch(const RecordedStretch&) = delete;
    RecordedStretch& operator=(const RecordedStretch&) = delete;
};

}  // namespace kalm::lib
