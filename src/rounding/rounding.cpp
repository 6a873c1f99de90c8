// SPDX-License-Identifier: MIT
// ceil, floor, ceilf, floorf and fabsf on the integer words of the argument:
// fraction bits below the binary point are cleared, after adding one unit at
// the binary point where the direction needs it. Exact; the only arithmetic
// is HUGE + x, whose sole purpose is the inexact flag, and x + x for Inf/NaN.
#include <type_traits>

#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "exact/sae_arith.hpp"
#include "frame/frame.hpp"
#include "frame/guest.hpp"
#include "kalmlib/kalmlib.h"

namespace kalm::lib {
namespace {


// HUGE + x > 0: raises inexact for every nonzero x that reaches it.
inline bool inexact_test(f64 x) { return opaque(HUGE) + x > ZERO; }
inline bool inexact_test(f32 x) { return opaque(HUGE_F) + x > ZERO_F; }

// The same addition made for its flag alone (by the AVX-512 path only).
[[maybe_unused]] inline void inexact_flag(f64 x) { force_eval(opaque(HUGE) + x); }
[[maybe_unused]] inline void inexact_flag(f32 x) { force_eval(opaque(HUGE_F) + x); }

enum class Dir { up, down };

template <Dir D>
inline f64 round_body(f64 x) {
    std::uint32_t hi = hi_word(x), lo = lo_word(x);
    const std::int32_t e = static_cast<std::int32_t>((hi >> 20) & 0x7FF) - 1023;
    // "moves" is true when the unit at the binary point is added: positive
    // arguments for ceil, negative ones for floor.
    const bool moves = D == Dir::up ? as_signed(hi) > 0 : as_signed(hi) < 0;
    if (e < 0) {
        if (inexact_test(x)) {
            if constexpr (D == Dir::up) {
                if (as_signed(hi) < 0) {
                    hi = 0x80000000u;
                    lo = 0;
                } else if ((hi | lo) != 0) {
                    hi = 0x3FF00000u;
                    lo = 0;
                }
            } else {
                if (as_signed(hi) >= 0) {
                    hi = 0;
                    lo = 0;
                } else if (((hi & 0x7FFFFFFFu) | lo) != 0) {
                    hi = 0xBFF00000u;
                    lo = 0;
                }
            }
        }
    } else if (e <= 19) {
        const std::uint32_t m = 0x000FFFFFu >> e;
        if (((hi & m) | lo) == 0) return x;
        if (inexact_test(x)) {
            if (moves) hi += 0x00100000u >> e;
            hi &= ~m;
            lo = 0;
        }
    } else if (e <= 51) {
        const std::uint32_t m = 0xFFFFFFFFu >> (e - 20);
        if ((lo & m) == 0) return x;
        if (inexact_test(x)) {
            if (moves) {
                if (e == 20) {
                    hi += 1;
                } else {
                    const std::uint32_t j = lo + (1u << (52 - e));
                    if (j < lo) hi += 1;
                    lo = j;
                }
            }
            lo &= ~m;
        }
    } else {
        if (e == 1024) return x + x;
        return x;
    }
    return from_words(hi, lo);
}

template <Dir D>
inline f32 roundf_body(f32 x) {
    std::uint32_t w = bits(x);
    const std::uint32_t ix = w & 0x7FFFFFFFu;
    const std::int32_t e = static_cast<std::int32_t>(ix >> 23) - 127;
    if (e > 22) {
        if (ix > 0x7F7FFFFFu) return x + x;
        return x;
    }
    if (e < 0) {
        if (inexact_test(x)) {
            if constexpr (D == Dir::up) {
                if (as_signed(w) < 0) w = 0x80000000u;
                else if (ix != 0) w = 0x3F800000u;
            } else {
                if (as_signed(w) >= 0) w = 0;
                else if (ix != 0) w = 0xBF800000u;
            }
        }
        return from_bits(w);
    }
    const std::uint32_t m = 0x007FFFFFu >> e;
    if ((w & m) == 0) return x;
    if (inexact_test(x)) {
        const bool moves = D == Dir::up ? as_signed(w) > 0 : as_signed(w) < 0;
        if (moves) w += 0x00800000u >> e;
        w &= ~m;
    }
    return from_bits(w);
}

// The frame of the rounding functions. Their only arithmetic on finite
// normal or zero arguments is the inexact test, so the flags they leave are
// known in advance: inexact exactly when the result differs from the argument,
// nothing otherwise. The status register is then read once (at the export
// entry, to see the caller's environment) and written only when it holds a
// flag other than the one the call leaves; a caller that rounds again and again
// with inexact already set pays no write. Subnormal arguments, infinities and
// NaNs, and callers outside the device's environment, take the plain frame.
inline bool ordinary(f64 x) {
    const std::uint32_t ax = hi_word(x) & 0x7FFFFFFFu;
    return ax - 0x00100000u < 0x7FE00000u || (ax | lo_word(x)) == 0;
}
inline bool ordinary(f32 x) {
    const std::uint32_t ix = bits(x) & 0x7FFFFFFFu;
    return ix - 0x00800000u < 0x7F000000u || ix == 0;
}

template <Dir D, typename T>
inline T round_any(T x) {
    if constexpr (std::is_same_v<T, f64>) return round_body<D>(x);
    else return roundf_body<D>(x);
}

// Called inside the library at the export entry (the reductions' floor calls).
template <Dir D, typename T>
inline T round_inner(T x, report_t ra) {
    if (!ordinary(x)) [[unlikely]] {
        fp_clear_flags();
        return fp_check_flags(round_any<D>(opaque(x)), ra);
    }
    const T r = round_any<D>(opaque(x));
    return known_flags_inner(bits(r) != bits(x), r, ra);
}

// Subnormal, infinite and NaN arguments, or a caller outside the device's
// environment: kept out of line so that the ordinary path saves no registers.
template <Dir D, typename T>
[[gnu::noinline, gnu::cold]] T round_export_plain(std::uint32_t ordinal, T x, report_t ra) {
    return framed_export(ordinal, true, [&] { return fp_check_flags(round_any<D>(opaque(x)), ra); });
}

// The rounded value and whether it differs from x, with the integer method's
// flag: inexact from its HUGE + x exactly when the result differs (the same
// addition on zero raises nothing). Where the host rounds by instruction
// (exact/sae_arith.hpp) the result never leaves the vector register it is made
// in: the integer words' round trip was most of these exports' latency.
template <Dir D, typename T>
inline T round_known(T x, bool& inexact) {
#if defined(KALM_SAE_ARITH)
    if (sae_arith()) [[likely]] {
        T r = sae_round<D == Dir::up>(x);
        inexact = bits(r) != bits(x);
        // The test reads copies in integer registers; r goes on from its
        // vector register (as in the division's instruction path).
        asm("" : "+x"(r));
        if (inexact) inexact_flag(x);
        return r;
    }
#endif
    const T r = round_any<D>(opaque(x));
    inexact = bits(r) != bits(x);
    return r;
}

template <Dir D, typename T>
inline T round_export(std::uint32_t ordinal, T x, report_t ra) {
    CallEnv e;
    if (ordinary(x) && enter_known(e, ordinal)) [[likely]] {
        bool inexact;
        T r = round_known<D>(x, inexact);
        leave_known_flags(e, inexact, r);
        if (inexact && (control_word() & fp_mask_bit[FP_INEXACT]) == 0) [[unlikely]] {
            const std::uint64_t outer = tls_call;
            record_known_call(e, ordinal);
            r = fp_raise(FP_INEXACT, ra, r);
            tls_call = outer;
        }
        return r;
    }
    return round_export_plain<D>(ordinal, x, ra);
}

}  // namespace

f64 ceil(f64 x, report_t ra) { return round_inner<Dir::up>(x, ra); }
f64 floor(f64 x, report_t ra) { return round_inner<Dir::down>(x, ra); }
f32 ceilf(f32 x, report_t ra) { return round_inner<Dir::up>(x, ra); }
f32 floorf(f32 x, report_t ra) { return round_inner<Dir::down>(x, ra); }

// fabsf raises nothing: once its entry has cleared the flags, its exit check
// could only find them clear, so it is not made. Without arithmetic it needs
// no environment of its own either.
// The sign is cleared in the vector register the argument came in (masked()):
// a round trip through the integer registers was most of the export's latency.
f32 fabsf(f32 x, report_t) {
    fp_clear_flags();
    return masked(x, 0x7FFFFFFFu);
}

KALM_NOINLINE f64 floor_at_export(f64 x) {
    note_internal_call(INTERNAL_FLOOR);
    return floor(x, KALM_RETURN_ADDRESS);
}
KALM_NOINLINE f32 floorf_at_export(f32 x) {
    note_internal_call(INTERNAL_FLOORF);
    return floorf(x, KALM_RETURN_ADDRESS);
}



namespace exported {
double ceil(double x, report_t ra) { return to_hw(round_export<Dir::up>(ord::ceil, f64(x), ra)); }
double floor(double x, report_t ra) { return to_hw(round_export<Dir::down>(ord::floor, f64(x), ra)); }
float ceilf(float x, report_t ra) { return to_hw(round_export<Dir::up>(ord::ceilf, f32(x), ra)); }
float floorf(float x, report_t ra) { return to_hw(round_export<Dir::down>(ord::floorf, f32(x), ra)); }
float fabsf(float x, report_t) {
    clear_sticky_at_entry(ord::fabsf);
    return masked(x, 0x7FFFFFFFu);
}
}  // namespace exported

}  // namespace kalm::lib
