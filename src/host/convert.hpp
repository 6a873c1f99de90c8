// SPDX-License-Identifier: MIT
// Truncating float-to-int conversion with the host's own flag behaviour, the
// one conversion the library lets the hardware do.
#pragma once

#include <bit>
#include <cstdint>

#include "host/soft_float.hpp"

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

// The truncating conversion (as above: its flags, its integer in k) and that
// integer back as a floating-point value (exact: |k| < 2^24 for floats, as the
// callers' k are), made where the callers' k comes back into the arithmetic. On
// x86-64 both conversions stay in the vector register, the other lanes zeroed
// first so that they convert nothing and raise nothing; the integer register
// gets its copy beside the path instead of on it (the two conversions through
// an integer register cost about twice as long).
inline double convert_to_int32_and_back(double x, std::int32_t& k) {
#if defined(__x86_64__)
    double t, lane;
    asm volatile(
        "xorpd %1, %1\n\t"
        "movsd %3, %1\n\t"
        "cvttpd2dq %1, %1\n\t"
        "movd %1, %2\n\t"
        "cvtdq2pd %1, %0"
        : "=x"(t), "=&x"(lane), "=r"(k)
        : "x"(x));
    return t;
#else
    k = convert_to_int32(x);
    return static_cast<double>(k);
#endif
}
inline float convert_to_int32_and_back(float x, std::int32_t& k) {
#if defined(__x86_64__)
    float t, lane;
    asm volatile(
        "xorps %1, %1\n\t"
        "movss %3, %1\n\t"
        "cvttps2dq %1, %1\n\t"
        "movd %1, %2\n\t"
        "cvtdq2ps %1, %0"
        : "=x"(t), "=&x"(lane), "=r"(k)
        : "x"(x));
    return t;
#else
    k = convert_to_int32(x);
    return static_cast<float>(k);
#endif
}

#if defined(KALM_SOFT_FLAGS)
// The software types convert as cvttsd2si and cvttss2si do, flags included.
inline std::int32_t convert_to_int32(soft_double x) { return static_cast<std::int32_t>(x); }
inline std::int32_t convert_to_int32(soft_float x) { return static_cast<std::int32_t>(x); }
inline soft_double convert_to_int32_and_back(soft_double x, std::int32_t& k) {
    k = convert_to_int32(x);
    return soft_double(k);
}
inline soft_float convert_to_int32_and_back(soft_float x, std::int32_t& k) {
    k = convert_to_int32(x);
    return soft_float(k);  // |k| < 2^24 (see above): exact
}
#endif

}  // namespace kalm::lib
