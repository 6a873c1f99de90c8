// ceil, floor, ceilf, floorf and fabsf on the integer words of the argument:
// fraction bits below the binary point are cleared, after adding one unit at
// the binary point where the direction needs it. Exact; the only arithmetic
// is HUGE + x, whose sole purpose is the inexact flag, and x + x for Inf/NaN.
#include "common/exports.hpp"
#include "frame/frame.hpp"
#include "kalmlib/kalmlib.h"

namespace kalm::lib {
namespace {

constexpr double HUGE = dconst(0x7E37E43C8800759C);
constexpr double ZERO = dconst(0x0000000000000000);
constexpr float HUGE_F = fconst(0x7149F2CA);
constexpr float ZERO_F = fconst(0x00000000);

// HUGE + x > 0: raises inexact for every nonzero x that reaches it.
inline bool inexact_test(double x) { return opaque(HUGE) + x > ZERO; }
inline bool inexact_test(float x) { return opaque(HUGE_F) + x > ZERO_F; }

enum class Dir { up, down };

template <Dir D>
inline double round_body(double x) {
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
inline float roundf_body(float x) {
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
// nothing otherwise. The status register is then read once, and written only
// when it holds a flag other than the one the call leaves; a caller that
// rounds again and again with inexact already set pays no write. Subnormal
// arguments (whose test may depend on the host's denormal modes), infinities
// and NaNs take the plain frame: clear, compute, check.
template <Dir D>
inline double round_framed(double x, report_t ra) {
    const std::uint32_t ax = hi_word(x) & 0x7FFFFFFFu;
    if (ax - 0x00100000u >= 0x7FE00000u && (ax | lo_word(x)) != 0) [[unlikely]] {
        fp_clear_flags();
        return fp_check_flags(round_body<D>(opaque(x)), ra);
    }
    const std::uint32_t m0 = host_status_raw();
    const double r = round_body<D>(opaque(x));
    return known_flags_exit(m0, bits(r) != bits(x), r, ra);
}

template <Dir D>
inline float roundf_framed(float x, report_t ra) {
    const std::uint32_t ix = bits(x) & 0x7FFFFFFFu;
    if (ix - 0x00800000u >= 0x7F000000u && ix != 0) [[unlikely]] {
        fp_clear_flags();
        return fp_check_flags(roundf_body<D>(opaque(x)), ra);
    }
    const std::uint32_t m0 = host_status_raw();
    const float r = roundf_body<D>(opaque(x));
    return known_flags_exit(m0, bits(r) != bits(x), r, ra);
}

}  // namespace

double ceil(double x, report_t ra) { return round_framed<Dir::up>(x, ra); }

double floor(double x, report_t ra) { return round_framed<Dir::down>(x, ra); }

float ceilf(float x, report_t ra) { return roundf_framed<Dir::up>(x, ra); }

float floorf(float x, report_t ra) { return roundf_framed<Dir::down>(x, ra); }

// fabsf raises nothing: once its entry has cleared the flags, its exit check
// could only find them clear, so it is not made.
float fabsf(float x, report_t) {
    fp_clear_flags();
    return from_bits(bits(x) & 0x7FFFFFFFu);
}

KALM_NOINLINE double floor_at_export(double x) { return floor(x, KALM_RETURN_ADDRESS); }
KALM_NOINLINE float floorf_at_export(float x) { return floorf(x, KALM_RETURN_ADDRESS); }

}  // namespace kalm::lib

extern "C" {
KALM_API double kalm_ceil(double x) { return kalm::lib::ceil(x, KALM_RETURN_ADDRESS); }
KALM_API float kalm_ceilf(float x) { return kalm::lib::ceilf(x, KALM_RETURN_ADDRESS); }
KALM_API double kalm_floor(double x) { return kalm::lib::floor(x, KALM_RETURN_ADDRESS); }
KALM_API float kalm_floorf(float x) { return kalm::lib::floorf(x, KALM_RETURN_ADDRESS); }
KALM_API float kalm_fabsf(float x) { return kalm::lib::fabsf(x, KALM_RETURN_ADDRESS); }
}
