// The host's own floating-point status flags stand in for the coprocessor's
// sticky flags. Bits are presented in the device's layout: 0x01 invalid,
// 0x04 overflow, 0x08 underflow, 0x10 inexact (the "sticky" bits).
// Reads cost about a nanosecond; a write is an order of magnitude dearer, so
// clear_sticky() writes only when one of the four bits is actually set.
#pragma once

#include <cstdint>

// KALM_FORCE_CFENV selects the portable <cfenv> layer on any host (tests use it).
#if defined(KALM_FORCE_CFENV) || \
    (!defined(__x86_64__) && !defined(__aarch64__) && !(defined(__arm__) && defined(__ARM_PCS_VFP)))
#include <cfenv>
#define KALM_PORTABLE_FENV 1
#endif

namespace kalm::lib {

inline constexpr std::uint32_t STICKY_MASK = 0x1Du;  // bits 0, 2, 3, 4

#if defined(KALM_PORTABLE_FENV)
inline constexpr std::uint32_t HOST_MASK = 0x1Du;
inline std::uint32_t host_status_raw() {
    int e = std::fetestexcept(FE_ALL_EXCEPT);
    return ((e & FE_INVALID) ? 0x01u : 0u) | ((e & FE_OVERFLOW) ? 0x04u : 0u) |
           ((e & FE_UNDERFLOW) ? 0x08u : 0u) | ((e & FE_INEXACT) ? 0x10u : 0u);
}
inline void host_status_write(std::uint32_t m) {
    std::feclearexcept(FE_INVALID | FE_OVERFLOW | FE_UNDERFLOW | FE_INEXACT);
    int e = ((m & 0x01u) ? FE_INVALID : 0) | ((m & 0x04u) ? FE_OVERFLOW : 0) |
            ((m & 0x08u) ? FE_UNDERFLOW : 0) | ((m & 0x10u) ? FE_INEXACT : 0);
    if (e) std::feraiseexcept(e);
}
inline std::uint32_t host_to_sticky(std::uint32_t m) { return m & STICKY_MASK; }
inline std::uint32_t sticky_to_host(std::uint32_t s) { return s & STICKY_MASK; }
#elif defined(__x86_64__)
// MXCSR: IE bit 0, DE 1, ZE 2, OE 3, UE 4, PE 5.
inline constexpr std::uint32_t HOST_MASK = 0x39u;
inline std::uint32_t host_status_raw() {
    std::uint32_t m;
    asm volatile("stmxcsr %0" : "=m"(m));
    return m;
}
inline void host_status_write(std::uint32_t m) { asm volatile("ldmxcsr %0" : : "m"(m)); }
inline std::uint32_t host_to_sticky(std::uint32_t m) { return (m & 0x01u) | ((m >> 1) & 0x1Cu); }
inline std::uint32_t sticky_to_host(std::uint32_t s) { return (s & 0x01u) | ((s & 0x1Cu) << 1); }
#elif defined(__aarch64__)
// FPSR: IOC bit 0, DZC 1, OFC 2, UFC 3, IXC 4: the device's own layout.
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
inline std::uint32_t host_to_sticky(std::uint32_t m) { return m & STICKY_MASK; }
inline std::uint32_t sticky_to_host(std::uint32_t s) { return s & STICKY_MASK; }
#elif defined(__arm__)
// FPSCR cumulative flags: IOC bit 0, DZC 1, OFC 2, UFC 3, IXC 4.
inline constexpr std::uint32_t HOST_MASK = 0x1Du;
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

// Reads the flags only after `after` has been computed, so that an exit check
// sees every operation that produced the result.
template <typename T>
inline std::uint32_t read_sticky_after(T after) {
#if defined(KALM_PORTABLE_FENV)
    volatile T sink = after;
    (void)sink;
    return read_sticky();
#elif defined(__x86_64__)
    std::uint32_t m;
    asm volatile("stmxcsr %0" : "=m"(m) : "x"(after));
    return host_to_sticky(m);
#elif defined(__aarch64__)
    std::uint64_t v;
    asm volatile("mrs %0, fpsr" : "=r"(v) : "w"(after));
    return host_to_sticky(static_cast<std::uint32_t>(v));
#elif defined(__arm__)
    std::uint32_t v;
    asm volatile("vmrs %0, fpscr" : "=r"(v) : "w"(after));
    return host_to_sticky(v);
#else
    volatile T sink = after;
    (void)sink;
    return read_sticky();
#endif
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
