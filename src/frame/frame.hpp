// SPDX-License-Identifier: MIT
// The exception-signalling frame: the entry and exit protocol of a framed
// routine, direct raises, and the export entry around a routine's body.
//
// A framed routine is written as
//     fp_clear_flags();
//     ... compute r ...
//     return fp_check_flags(r, ra);
// where `ra` is the report address handed to it (the application's call, or
// a call site inside the library for internal calls at an export entry).
#pragma once

#include <cstdint>

#include "host/bits.hpp"
#include "frame/call_env.hpp"
#include "host/host_flags.hpp"

namespace kalm::lib {

enum FpExceptionCode : int {
    FP_INEXACT = 0,
    FP_UNDERFLOW = 1,
    FP_OVERFLOW = 2,
    FP_DIVIDE_BY_ZERO = 3,
    FP_INVALID = 4,
};

inline constexpr std::uint32_t fp_mask_bit[5] = {0x01, 0x02, 0x04, 0x08, 0x10};
inline constexpr std::uint32_t fp_status_code[5] = {0xC000008F, 0xC0000093, 0xC0000091, 0xC000008E, 0xC0000090};

// The calling thread's control word: the exit check looks at it first.
inline std::uint32_t control_word() { return tls_control_word; }
// Raise service: throws kalm::FpException, or calls the thread's handler and
// returns if the handler does (the caller then goes on as if masked).
void raise_service(FpExceptionCode code, report_t ra);

// fp_raise: returns r when the exception is masked; raises otherwise.
f64 fp_raise(FpExceptionCode code, report_t ra, f64 r);
f32 fp_raise(FpExceptionCode code, report_t ra, f32 r);

// Inside an export call on x86-64 the register holds the device's environment
// and the caller's host-only flags, both known from the call's record, so the
// clearing is a constant write instead of a read and a dependent write.
inline void fp_clear_flags() {
#if defined(__x86_64__) && !defined(KALM_PORTABLE_FENV)
    const std::uint64_t call = tls_call;
    if (call != 0) [[likely]] {
        write_in_call<0>(static_cast<std::uint32_t>(call));
        return;
    }
#endif
    clear_sticky();
}

// Highest-priority sticky flag -> code: invalid, overflow, underflow, inexact.
inline FpExceptionCode flag_code(std::uint32_t s) {
    if (s & 0x01u) return FP_INVALID;
    if (s & 0x04u) return FP_OVERFLOW;
    if (s & 0x08u) return FP_UNDERFLOW;
    return FP_INEXACT;
}

template <typename T>
inline T fp_check_flags(T r, report_t ra) {
    // With every exception masked no flag can raise anything and the result is
    // returned whatever the flags say, so the status register is not read.
    // r is still forced to exist here, ordered as the read would order it.
    if ((control_word() & FP_ALL_MASKED) == FP_ALL_MASKED) [[likely]] {
        force_eval(r);
        return r;
    }
    std::uint32_t s = read_sticky_after(r);
    if (s == 0) [[likely]]
        return r;
    return fp_raise(flag_code(s), ra, r);
}

// Exit of a framed routine whose only possible flag is inexact and which knows
// whether it raised it, called inside the library at its export entry (floor
// and floorf in the reductions): leaves exactly that flag and raises it when
// unmasked, as clear-compute-check would. `r` is the routine's result.
template <typename T>
inline T known_flags_inner(bool inexact, T r, report_t ra) {
#if defined(__x86_64__) && !defined(KALM_PORTABLE_FENV)
    const std::uint64_t call = tls_call;
    if (call != 0) [[likely]] {
        if (inexact) write_in_call<0x20u>(static_cast<std::uint32_t>(call), r);
        else write_in_call<0>(static_cast<std::uint32_t>(call), r);
    } else {
        const std::uint32_t want = inexact ? sticky_to_host(0x10u) : 0u;
        const std::uint32_t m = host_status_after(r);
        if ((m & HOST_MASK) != want) host_status_write((m & ~HOST_MASK) | want);
    }
#else
    const std::uint32_t want = inexact ? sticky_to_host(0x10u) : 0u;
    const std::uint32_t m = host_status_after(r);
    if ((m & HOST_MASK) != want) host_status_write((m & ~HOST_MASK) | want);
#endif
    if (inexact && (control_word() & fp_mask_bit[FP_INEXACT]) == 0) [[unlikely]]
        return fp_raise(FP_INEXACT, ra, r);
    return r;
}

// Magnitude below 2^-440 (doubles) or 2^-40 (floats), zero and subnormals
// included: the values whose polynomial terms and squares can reach the
// subnormal range inside a routine.
inline bool tiny(f64 v) { return ((word_of(v) >> 32) & 0x7FF00000u) < 0x24700000u; }
inline bool tiny(f32 v) { return (word_of(v) & 0x7F800000u) < 0x2B800000u; }
// Either of two arguments tiny: both tested, without a branch between them.
template <class T>
inline bool tiny(T a, T b) {
    const bool ta = tiny(a), tb = tiny(b);
    return ta | tb;
}

// |v| == 1.
inline bool unit_magnitude(f64 v) { return (bits(v) & 0x7FFFFFFFFFFFFFFFull) == 0x3FF0000000000000ull; }
inline bool unit_magnitude(f32 v) { return (bits(v) & 0x7FFFFFFFu) == 0x3F800000u; }
// v's binary exponent (its biased exponent field less the bias) within [lo, hi].
inline int exponent_of(f32 v) { return static_cast<int>((bits(v) >> 23) & 0xFFu) - 127; }
inline bool exponent_in(f32 v, int lo, int hi) { return exponent_of(v) >= lo && exponent_of(v) <= hi; }
inline bool exponent_gap_in(f32 a, f32 b, int lo, int hi) {
    const int gap = exponent_of(a) - exponent_of(b);
    return gap >= lo && gap <= hi;
}

// An argument as an export's body sees it: ordered after the switch to the
// device's environment, so that no arithmetic on it is scheduled before. On
// x86-64 it stays in the vector register it came in: left the choice, the
// compiler may carry it through the entry in an integer register (it needs the
// words for the tests anyway) and move it back for the arithmetic, a round trip
// at the head of the dependency chain; the word copies are made beside it.
template <typename T>
inline T arrived(T x) {
#if defined(__x86_64__)
    asm volatile("" : "+x"(x));
#elif defined(__aarch64__)
    asm volatile("" : "+wr"(x));
#elif defined(__arm__) && defined(__ARM_PCS_VFP)
    asm volatile("" : "+w"(x));
#else
    volatile T v = x;
    x = v;
#endif
    return x;
}

// An export entry in report-address form: the caller's environment set aside
// for the device's, `body` run (it passes its arguments through arrived()), the caller's environment
// given back. The exit looks at the register for the x86 denormal-operand flag
// only when the call may have met a subnormal operand: `tiny_args` (given
// before the body, so that nothing is held across it), or `result_check(r)`
// for an export whose results show it too (atan2, atan2f, pow, powf: a tiny
// quotient or power is computed from, and worked on as, a subnormal).
inline constexpr auto NO_RESULT_CHECK = [](auto) { return false; };
inline constexpr auto TINY_RESULT = [](auto r) { return tiny(r); };

template <Entry E, bool InnerClears, typename Body, typename Check>
inline auto export_call(std::uint32_t ordinal, bool tiny_args, Body body, Check result_check) {
    CallEnv e;
    enter_call<E, InnerClears>(e, ordinal, tiny_args);
    const auto r = to_hw(body());
    leave_call<InnerClears>(e, r, result_check(r));
    return r;
}
// InnerClears: the body makes inner framed calls (flag clearings) on its usual
// paths, which the call's record makes cheaper.
template <bool InnerClears = false, typename Body, typename Check = decltype(NO_RESULT_CHECK)>
inline auto framed_export(std::uint32_t ordinal, bool tiny_args, Body body, Check result_check = NO_RESULT_CHECK) {
    return export_call<Entry::framed, InnerClears>(ordinal, tiny_args, body, result_check);
}
template <bool InnerClears = false, typename Body, typename Check = decltype(NO_RESULT_CHECK)>
inline auto unframed_export(std::uint32_t ordinal, bool tiny_args, Body body, Check result_check = NO_RESULT_CHECK) {
    return export_call<Entry::unframed, InnerClears>(ordinal, tiny_args, body, result_check);
}


}  // namespace kalm::lib

