// SPDX-License-Identifier: MIT
#include "host/cpu_features.hpp"

#include <atomic>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#endif

namespace kalm::lib {

std::uint32_t detect_cpu_features() {
    std::uint32_t f = CPU_DETECTED;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
    const bool osxsave = (c >> 27) & 1u, avx = (c >> 28) & 1u, fma = (c >> 12) & 1u;
    if (!osxsave || !avx) return f;
    // The OS must save the registers: XCR0 bits 1-2 (SSE, AVX), 5-7 (opmask, ZMM).
    unsigned lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0u));
    const bool ymm_state = (lo & 0x06u) == 0x06u, zmm_state = (lo & 0xE6u) == 0xE6u;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return f;
    const bool avx2 = (b >> 5) & 1u;
    const bool avx512 = ((b >> 16) & 1u) && ((b >> 17) & 1u) && ((b >> 30) & 1u) && ((b >> 31) & 1u);  // F DQ BW VL
    if (avx2 && fma && ymm_state) f |= CPU_AVX2;
    if (avx512 && zmm_state && (f & CPU_AVX2)) f |= CPU_AVX512;
#elif defined(__aarch64__)
    f |= CPU_NEON;
#endif
    return f;
}

namespace {
std::atomic<std::uint32_t> g_features{0};
}

std::uint32_t cpu_features() {
    std::uint32_t f = g_features.load(std::memory_order_relaxed);
    if (f == 0) [[unlikely]] {
        f = detect_cpu_features();
        g_features.store(f, std::memory_order_relaxed);
    }
    return f;
}

}  // namespace kalm::lib
