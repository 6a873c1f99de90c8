// SPDX-License-Identifier: MIT
// The host's own floating-point status register stands in for the coprocessor's:
// its exception flags are the sticky flags, shown in the device's layout (0x01
// invalid, 0x04 overflow, 0x08 underflow, 0x10 inexact), and its control bits
// hold the environment every export computes in (round to nearest, subnormals
// kept, no host trap enabled), whatever the caller had set.
//
// Costs on x86-64 (Zen 5), in a loop of calls: stmxcsr ~4-5 ns of throughput;
// ldmxcsr of a value that does not depend on a read just made ~0.4 ns, but
// 3.5-4.7 ns more when it does (a read-modify-write). So the writes on the
// common paths load constants chosen by a branch (write_in_call).
//
// On an Intel Xeon with AVX-512 reads are cheap alone (~0.5 ns) and a write
// 1.5-3.5 ns, but a read after a write once an operation has set a flag the
// write cleared costs 15-70 ns (the work in flight seems to be thrown away):
// the pattern of framed calls in a loop, which a device-environment scope
// avoids by not reading (docs/scope.md).
#pragma once

#include <cstdint>

#include "host/bits.hpp"

// A WebAssembly host has no status register: there the flags can only be the
// library's own (KALM_SOFT_FLAGS, which the build also offers on any host).
#if (defined(__wasm__) || defined(__EMSCRIPTEN__)) && !defined(KALM_SOFT_FLAGS)
#define KALM_SOFT_FLAGS 1
#endif

// KALM_FORCE_CFENV selects the portable <cfenv> layer on any host (tests use it).
// The software flags take its frame too: the host's environment (rounding,
// traps) is set aside through <cfenv>, a no-op where there is none.
#if defined(KALM_FORCE_CFENV) || defined(KALM_SOFT_FLAGS) || \
    (!defined(__x86_64__) && !defined(__aarch64__) && !(defined(__arm__) && defined(__ARM_PCS_VFP)))
#include <cfenv>
#define KALM_PORTABLE_FENV 1
#endif
#if defined(_WIN32) && defined(__x86_64__) && !defined(KALM_PORTABLE_FENV)
#include <xmmintrin.h>
#endif

namespace kalm::lib {

inline constexpr std::uint32_t STICKY_MASK = 0x1Du;  // bits 0, 2, 3, 4

#if defined(KALM_SOFT_FLAGS)
// The status register is a word per thread, in the device's layout, which the
// arithmetic of host/soft_float.hpp sets as the hardware would set its flags.
// The host's own flags are never read or written for the device's: they stay
// the caller's.
extern KALM_TLS std::uint32_t tls_soft_status KALM_TLS_IE;
inline constexpr int STICKY_FE = FE_ALL_EXCEPT;
inline constexpr std::uint32_t HOST_MASK = 0x1Du;
inline std::uint32_t host_status_raw() { return tls_soft_status; }
inline void host_status_write(std::uint32_t m) { tls_soft_status = m & STICKY_MASK; }
inline std::uint32_t host_to_sticky(std::uint32_t m) { return m & STICKY_MASK; }
inline std::uint32_t sticky_to_host(std::uint32_t s) { return s & STICKY_MASK; }
#elif defined(KALM_PORTABLE_FENV)
inline constexpr int STICKY_FE = FE_INVALID | FE_OVERFLOW | FE_UNDERFLOW | FE_INEXACT;
inline constexpr std::uint32_t HOST_MASK = 0x1Du;
inline std::uint32_t host_status_raw() {
    int e = std::fetestexcept(FE_ALL_EXCEPT);
    return ((e & FE_INVALID) ? 0x01u : 0u) | ((e & FE_OVERFLOW) ? 0x04u : 0u) |
           ((e & FE_UNDERFLOW) ? 0x08u : 0u) | ((e & FE_INEXACT) ? 0x10u : 0u);
}
// Sets the four flags as given without raising anything, even where the caller
// has enabled traps: the flag object is made in a held (non-stop) environment.
inline void host_status_write(std::uint32_t m) {
    const int e = ((m & 0x01u) ? FE_INVALID : 0) | ((m & 0x04u) ? FE_OVERFLOW : 0) |
                  ((m & 0x08u) ? FE_UNDERFLOW : 0) | ((m & 0x10u) ? FE_INEXACT : 0);
    std::fexcept_t f{};
    if (e != 0) {
        std::fenv_t env;
        std::feholdexcept(&env);
        std::feraiseexcept(e);
        std::fegetexceptflag(&f, e);
        std::fesetenv(&env);
    }
    std::feclearexcept(STICKY_FE);
    if (e != 0) std::fesetexceptflag(&f, e);
}
inline std::uint32_t host_to_sticky(std::uint32_t m) { return m & STICKY_MASK; }
inline std::uint32_t sticky_to_host(std::uint32_t s) { return s & STICKY_MASK; }
#elif defined(__x86_64__)
// MXCSR: flags IE 0, DE 1, ZE 2, OE 3, UE 4, PE 5; DAZ 6; masks 7-12; RC 13-14; FZ 15.
inline constexpr std::uint32_t HOST_MASK = 0x39u;
inline constexpr std::uint32_t ENV_CONTROL_BITS = 0xFFC0u;
inline constexpr std::uint32_t DEVICE_CONTROL = 0x1F80u;  // all masked, nearest, no DAZ/FZ
// Denormal operand and divide-by-zero: flags of the host with no device meaning
// (the division is the library's own), kept exactly as the caller has them.
inline constexpr std::uint32_t HOST_ONLY_FLAGS = 0x06u;
#if defined(_WIN32)
// Windows: the compiler's intrinsics, which GCC (MinGW-w64) and MSVC both
// provide and both treat as volatile, so they keep their order with each other.
inline std::uint32_t host_status_raw() { return _mm_getcsr(); }
inline void host_status_write(std::uint32_t m) { _mm_setcsr(m); }
template <std::uint32_t V>
inline void host_status_write_const() {
    _mm_setcsr(V);
}
#else
inline std::uint32_t host_status_raw() {
    std::uint32_t m;
    asm volatile("stmxcsr %0" : "=m"(m));
    return m;
}
inline void host_status_write(std::uint32_t m) { asm volatile("ldmxcsr %0" : : "m"(m)); }
template <std::uint32_t V>
inline void host_status_write_const() {
    static constexpr std::uint32_t v = V;
    asm volatile("ldmxcsr %0" : : "m"(v));
}
#endif
inline std::uint32_t host_to_sticky(std::uint32_t m) { return (m & 0x01u) | ((m >> 1) & 0x1Cu); }
inline std::uint32_t sticky_to_host(std::uint32_t s) { return (s & 0x01u) | ((s & 0x1Cu) << 1); }
// The register inside a call whose caller's register read `m0`: the device's
// environment, the caller's host-only flags, and the sticky bits `Sticky`
// (host layout). When the caller has no host-only flag set (the usual case) the
// value is a constant, so the write never waits for the read that chose it.
template <std::uint32_t Sticky>
inline void write_in_call(std::uint32_t m0) {
    if ((m0 & HOST_ONLY_FLAGS) == 0) [[likely]]
        host_status_write_const<DEVICE_CONTROL | Sticky>();
    else
        host_status_write(DEVICE_CONTROL | (m0 & HOST_ONLY_FLAGS) | Sticky);
}
// The same, made only after `after` has been computed.
template <std::uint32_t Sticky, typename T>
inline void write_in_call(std::uint32_t m0, T after) {
    asm volatile("" : : "x"(after));
    write_in_call<Sticky>(m0);
}
#elif defined(__aarch64__)
// FPSR: IOC bit 0, DZC 1, OFC 2, UFC 3, IXC 4: the device's own layout. The
// environment is FPCR (rounding, FZ, DN, trap enables), 0 in the device's.
inline constexpr std::uint32_t HOST_MASK = 0x1Du;
inline std::uint32_t host_status_raw() {
    std::uint64_t v;
    asm volatile("mrs %0, fpsr" : "=r"(v));
    return static_cast<std::uint32_t>(v);
}
inline void host_status_write(std::uint32_t m) {
    std::uint64_t v = m;
    asm volatile("msr fpsr, %0" : : "r"(v));
}
inline std::uint32_t host_control_raw() {
    std::uint64_t v;
    asm volatile("mrs %0, fpcr" : "=r"(v));
    return static_cast<std::uint32_t>(v);
}
inline void host_control_write(std::uint32_t c) {
    std::uint64_t v = c;
    asm volatile("msr fpcr, %0" : : "r"(v));
}
inline std::uint32_t host_to_sticky(std::uint32_t m) { return m & STICKY_MASK; }
inline std::uint32_t sticky_to_host(std::uint32_t s) { return s & STICKY_MASK; }
#elif defined(__arm__)
// FPSCR, one register: cumulative flags IOC 0, DZC 1, OFC 2, UFC 3, IXC 4, IDC 7;
// trap enables 8-12 and 15, vector length and stride 16-21, rounding 22-23, FZ 24,
// DN 25, AHP 26 (all 0 in the device's environment); QC 27 and the comparison
// flags NZCV 28-31, which the library's compares change and the exit restores.
inline constexpr std::uint32_t HOST_MASK = 0x1Du;
inline constexpr std::uint32_t ENV_CONTROL_BITS = 0x07FF9F00u;
inline std::uint32_t host_status_raw() {
    std::uint32_t v;
    asm volatile("vmrs %0, fpscr" : "=r"(v));
    return v;
}
inline void host_status_write(std::uint32_t m) { asm volatile("vmsr fpscr, %0" : : "r"(m)); }
inline std::uint32_t host_to_sticky(std::uint32_t m) { return m & STICKY_MASK; }
inline std::uint32_t sticky_to_host(std::uint32_t s) { return s & STICKY_MASK; }
#endif

// Sticky bits currently set, in the device layout.
inline std::uint32_t read_sticky() { return host_to_sticky(host_status_raw()); }

// The raw status register, read only after `after` has been computed, so that
// an exit check sees every operation that produced the result.
template <typename T>
inline std::uint32_t host_status_after([[maybe_unused]] T after) {
#if defined(KALM_SOFT_FLAGS)
    return host_status_raw();  // every operation before has set its flags already
#elif defined(KALM_PORTABLE_FENV)
    volatile T sink = after;
    (void)sink;
    return host_status_raw();
#elif defined(__x86_64__)
    std::uint32_t m;
    asm volatile("stmxcsr %0" : "=m"(m) : "x"(after));
    return m;
#elif defined(__aarch64__)
    std::uint64_t v;
    asm volatile("mrs %0, fpsr" : "=r"(v) : "w"(after));
    return static_cast<std::uint32_t>(v);
#elif defined(__arm__)
    std::uint32_t v;
    asm volatile("vmrs %0, fpscr" : "=r"(v) : "w"(after));
    return v;
#endif
}
template <typename T>
inline std::uint32_t read_sticky_after(T after) {
    return host_to_sticky(host_status_after(after));
}

// Clears invalid, overflow, underflow and inexact; every other bit keeps its value.
inline void clear_sticky() {
    std::uint32_t m = host_status_raw();
    if (m & HOST_MASK) [[unlikely]]
        host_status_write(m & ~HOST_MASK);
}

// Sets exactly the given sticky bits (others of the four cleared).
inline void write_sticky(std::uint32_t s) {
    host_status_write((host_status_raw() & ~HOST_MASK) | sticky_to_host(s & STICKY_MASK));
}

}  // namespace kalm::lib
