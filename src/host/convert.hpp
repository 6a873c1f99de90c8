// SPDX-License-Identifier: MIT
// Truncating float-to-int conversion with the host's own flag behaviour, the
// one conversion the library lets the hardware do.
#pragma once

#include <bit>
#include <cstdint>

namespace kalm::lib {

// Truncating conversion to a 32-bit integer with the host's own flag
// behaviour (inexact for a dropped fraction, invalid out of range).
inline std::int32_t convert_to_int32(double x) {
#if defined(__x86_64__)
    std::int32_t r;
    asm volatile("cvttsd2si %1, %0" : "=r"(r) : "x"(x));
    return r;
#elif defined(__aarch64__)
    std::int32_t r;
    asm volatile("fcvtzs %w0, %d1" : "=r"(r) : "w"(x));
    return r;
#elif defined(__arm__) && defined(__ARM_PCS_VFP)
    float r;
    asm volatile("vcvt.s32.f64 %0, %P1" : "=t"(r) : "w"(x));
    return std::bit_cast<std::int32_t>(r);
#else
    return static_cast<std::int32_t>(x);  // callers keep x in range
#endif
}
inline std::int32_t convert_to_int32(float x) {
#if defined(__x86_64__)
    std::int32_t r;
    asm volatile("cvttss2si %1, %0" : "=r"(r) : "x"(x));
    return r;
#elif defined(__aarch64__)
    std::int32_t r;
    asm volatile("fcvtzs %w0, %s1" : "=r"(r) : "w"(x));
    return r;
#elif defined(__arm__) && defined(__ARM_PCS_VFP)
    float r;
    asm volatile("vcvt.s32.f32 %0, %1" : "=t"(r) : "t"(x));
    return std::bit_cast<std::int32_t>(r);
#else
    return static_cast<std::int32_t>(x);
#endif
}

}  // namespace kalm::lib
