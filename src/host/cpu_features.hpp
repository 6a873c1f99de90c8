// SPDX-License-Identifier: MIT
// What the host CPU (and its operating system) can run, found once per process:
// the AVX-512 division and square root that leave the status register alone,
// and the vector widths the batch kernels are built for.
#pragma once

#include <cstdint>

namespace kalm::lib {

enum CpuFeature : std::uint32_t {
    CPU_AVX2 = 1u << 0,      // AVX2 and FMA with the OS saving the YMM state
    CPU_AVX512 = 1u << 1,    // AVX-512 F, DQ, BW and VL with the OS saving the ZMM state
    CPU_NEON = 1u << 2,      // AArch64's Advanced SIMD with double lanes (part of the base set)
    CPU_DETECTED = 1u << 31  // set once the bits above have been found
};

// The features of this host, from cpuid and xgetbv on x86-64, NEON on
// AArch64; none elsewhere.
std::uint32_t detect_cpu_features();

// The same, found on first use and kept (a relaxed atomic load after that).
std::uint32_t cpu_features();
inline bool cpu_has(CpuFeature f) { return (cpu_features() & f) != 0; }

}  // namespace kalm::lib
