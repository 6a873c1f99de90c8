// SPDX-License-Identifier: MIT
// Inline fast path of the software division. Normal operands whose quotient is
// a normal number (nearly every division in the library) are divided here, in
// the caller, with one 128-by-64-bit integer division; zeros, infinities,
// NaNs, subnormal operands, overflow and subnormal quotients go to the full
// out-of-line routine in division.cpp, which also does every raise.
//
// Where the host has a correctly rounded division that leaves the status
// register alone (exact/sae_arith.hpp) it takes the place of the integer fast
// path. Its quotient is used when it is a normal number: both methods round
// correctly, so it is then the integer quotient, which raises nothing. Every
// other quotient (zero, subnormal, infinite, NaN) comes from the full routine,
// whatever the instruction made of it: DAZ and FTZ, which it honours, only
// ever turn a quotient into one of those.
#pragma once

#include <cstdint>

#include "host/bits.hpp"
#include "exact/sae_arith.hpp"
#include "exact/wide.hpp"

namespace kalm::lib {
namespace divdetail {

// The whole routine, every case; reports against `ra`.
f64 ddiv_full(f64 x, f64 y, report_t ra);
// The whole routine, reporting against its own call site in the library.
KALM_NOINLINE f64 ddiv_full_local(f64 x, f64 y);
KALM_NOINLINE f32 sdiv_full_local(f32 x, f32 y);

// Quotient bits beyond the result: a normal quotient of two significands is
// never exactly halfway between two representable values (My*(2q+1) = Mx*2^k
// has no solution with 2q+1 odd and above the significand range), so the
// first bit below the result decides the rounding alone, and the quotient
// truncated one or two bits further rounds to nearest as (q + half) >> shift.
// The remainder is not needed.

// Quotient of two normal doubles when it is normal, else 0 (never a valid
// quotient there): the caller then takes the full routine.
inline std::uint64_t ddiv_normal(std::uint64_t bx, std::uint64_t by) {
    constexpr std::uint64_t FRAC = 0x000FFFFFFFFFFFFFull, HIDDEN = 0x0010000000000000ull;
    const std::uint32_t ex = static_cast<std::uint32_t>(bx >> 52) & 0x7FFu;
    const std::uint32_t ey = static_cast<std::uint32_t>(by >> 52) & 0x7FFu;
    if (ex - 1u >= 0x7FEu || ey - 1u >= 0x7FEu) [[unlikely]]
        return 0;
    const std::uint64_t mx = (bx & FRAC) | HIDDEN, my = (by & FRAC) | HIDDEN;
    const std::uint32_t below = mx < my;  // then the quotient is 2*Mx/My, one exponent less
    const std::uint32_t e = ex - ey + 1023u - below;
    if (e - 1u >= 2046u) [[unlikely]]
        return 0;
    // floor(Mx * 2^54 / My): 55 bits when Mx >= My, else 54.
    std::uint64_t unused;
    const std::uint64_t q = div128(mx >> 10, bx << 54, my, unused);
    const int shift = 2 - static_cast<int>(below);
    const std::uint64_t m = (q + (std::uint64_t{1} << (shift - 1))) >> shift;  // in [2^52, 2^53)
    // The significand's leading 1 carries into the exponent field: add e - 1 there.
    return (((bx ^ by) & 0x8000000000000000ull) | (static_cast<std::uint64_t>(e - 1u) << 52)) + m;
}

inline std::uint32_t sdiv_normal(std::uint32_t bx, std::uint32_t by) {
    const std::uint32_t ex = (bx >> 23) & 0xFFu, ey = (by >> 23) & 0xFFu;
    if (ex - 1u >= 0xFEu || ey - 1u >= 0xFEu) [[unlikely]]
        return 0;
    const std::uint32_t mx = (bx & 0x007FFFFFu) | 0x00800000u, my = (by & 0x007FFFFFu) | 0x00800000u;
    const std::uint32_t below = mx < my;
    const std::uint32_t e = ex - ey + 127u - below;
    if (e - 1u >= 254u) [[unlikely]]
        return 0;
    // floor(Mx * 2^25 / My): 26 bits when Mx >= My, else 25.
    const std::uint32_t q = static_cast<std::uint32_t>((static_cast<std::uint64_t>(mx) << 25) / my);
    const int shift = 2 - static_cast<int>(below);
    const std::uint32_t m = (q + (1u << (shift - 1))) >> shift;  // in [2^23, 2^24)
    return (((bx ^ by) & 0x80000000u) | ((e - 1u) << 23)) + m;
}

inline std::uint64_t normal_quotient(std::uint64_t bx, std::uint64_t by) { return ddiv_normal(bx, by); }
inline std::uint32_t normal_quotient(std::uint32_t bx, std::uint32_t by) { return sdiv_normal(bx, by); }

// The integer fast path, and `full` (the whole routine) for what it leaves.
template <typename T, typename Full>
inline T integer_divide(T x, T y, Full full) {
    const auto r = normal_quotient(bits(x), bits(y));
    if (r != 0) [[likely]]
        return from_bits(r);
    return full();
}

// The instruction where the host has it, else the integer fast path; `full`
// for every quotient that is not a normal number.
template <typename T, typename Full>
inline T divide(T x, T y, Full full) {
#if defined(KALM_SAE_ARITH)
    if (sae_arith()) [[likely]] {
        T q = sae_div(x, y);
        const bool normal = is_normal(q);
        // The test reads a copy in an integer register; the quotient goes on
        // from the vector register it was made in (left to itself, the
        // compiler may move it back from the copy, two transfers on the path).
        asm("" : "+x"(q));
        if (normal) [[likely]]
            return q;
        return full();
    }
#endif
    return integer_divide(x, y, full);
}

}  // namespace divdetail

// Software division: correctly rounded, never touches the sticky flags;
// overflow, x/0 and invalid operands are raised directly.
inline f64 soft_ddiv(f64 x, f64 y, report_t ra) {
    return divdetail::divide(x, y, [=] { return divdetail::ddiv_full(x, y, ra); });
}
// Same quotient, reported against its own call site in the library.
inline f64 soft_ddiv_local(f64 x, f64 y) {
    return divdetail::divide(x, y, [=] { return divdetail::ddiv_full_local(x, y); });
}
inline f32 soft_sdiv(f32 x, f32 y) {
    return divdetail::divide(x, y, [=] { return divdetail::sdiv_full_local(x, y); });
}

// The integer methods alone, whatever the host (its tests compare the two).
inline f64 integer_ddiv(f64 x, f64 y, report_t ra) {
    return divdetail::integer_divide(x, y, [=] { return divdetail::ddiv_full(x, y, ra); });
}
inline f32 integer_sdiv(f32 x, f32 y) {
    return divdetail::integer_divide(x, y, [=] { return divdetail::sdiv_full_local(x, y); });
}

}  // namespace kalm::lib
