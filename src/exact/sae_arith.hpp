// SPDX-License-Identifier: MIT
// The division and the square root by the host's own instructions where they
// give the integer methods' bits and leave the status register alone: on
// x86-64 CPUs with AVX-512, vdivsd, vdivss, vsqrtsd and vsqrtss with embedded
// rounding {rn-sae}, and floor and ceil by vroundsd and vroundss. The first
// are correctly rounded to nearest, as the integer methods are, and with every
// exception suppressed they neither read nor write MXCSR: no sticky flag, no
// host-only flag, no trap, whatever the caller's rounding mode. (FTZ and DAZ
// still apply, so their callers use a result only where those cannot have
// changed it.) Chosen at run time from cpuid; a build with
// KALM_INTEGER_ARITHMETIC, and every other host, use the integer methods
// alone.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/bits.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(KALM_INTEGER_ARITHMETIC)
#define KALM_SAE_ARITH 1
#endif

namespace kalm::lib {

#if defined(KALM_SAE_ARITH)

enum SaeState : std::uint32_t { SAE_UNKNOWN = 0, SAE_ABSENT = 1, SAE_PRESENT = 2 };
// What this process uses, found from cpuid at load (and by the first call
// that finds it still unknown, as a call from another library's static
// initialiser may). Every thread that finds it unknown stores the same value.
extern std::atomic<std::uint32_t> g_sae_state;
[[gnu::cold, gnu::noinline]] bool sae_find();

// Whether the instructions are used: one load and one test on the usual path.
inline bool sae_arith() {
    const std::uint32_t s = g_sae_state.load(std::memory_order_relaxed);
    if (s == SAE_PRESENT) [[likely]]
        return true;
    return s == SAE_UNKNOWN && sae_find();
}

// The register forms take any operand; GCC's asm templates need the braces
// escaped (they are its dialect alternatives), Clang accepts the same text.
inline double sae_div(double x, double y) {
    double q;
    asm("vdivsd %{rn-sae%}, %2, %1, %0" : "=x"(q) : "x"(x), "x"(y));
    return q;
}
inline float sae_div(float x, float y) {
    float q;
    asm("vdivss %{rn-sae%}, %2, %1, %0" : "=x"(q) : "x"(x), "x"(y));
    return q;
}
inline double sae_sqrt(double x) {
    double r;
    asm("vsqrtsd %{rn-sae%}, %1, %1, %0" : "=x"(r) : "x"(x));
    return r;
}
inline float sae_sqrt(float x) {
    float r;
    asm("vsqrtss %{rn-sae%}, %1, %1, %0" : "=x"(r) : "x"(x));
    return r;
}

// floor (Up false) and ceil of a finite argument: vroundsd/vroundss with the
// direction in the immediate (1 down, 2 up) and bit 3 set, which suppresses
// the precision exception. The result is exact, so it is the integer method's,
// and for a finite argument nothing is raised: MXCSR is neither read nor
// written. (DAZ applies: callers give it no subnormal argument.) Any CPU with
// the AVX-512 forms above has these, so the same switch chooses them.
template <bool Up>
inline double sae_round(double x) {
    double r;
    if constexpr (Up) asm("vroundsd $10, %1, %1, %0" : "=x"(r) : "x"(x));
    else asm("vroundsd $9, %1, %1, %0" : "=x"(r) : "x"(x));
    return r;
}
template <bool Up>
inline float sae_round(float x) {
    float r;
    if constexpr (Up) asm("vroundss $10, %1, %1, %0" : "=x"(r) : "x"(x));
    else asm("vroundss $9, %1, %1, %0" : "=x"(r) : "x"(x));
    return r;
}

#endif

// A finite nonzero value that is not subnormal.
inline bool is_normal(double v) { return ((bits(v) >> 52) & 0x7FFu) - 1u < 0x7FEu; }
inline bool is_normal(float v) { return ((bits(v) >> 23) & 0xFFu) - 1u < 0xFEu; }
// The same, positive.
inline bool is_positive_normal(double v) { return (bits(v) >> 52) - 1u < 0x7FEu; }
inline bool is_positive_normal(float v) { return (bits(v) >> 23) - 1u < 0xFEu; }

}  // namespace kalm::lib
