// SPDX-License-Identifier: MIT
// Single-precision reduction by pi/2 and the single sine/cosine/tangent kernels.
// Internal: no frame, no report address; used by sinf, cosf and tanf.
#pragma once

#include <cstdint>

#include "host/bits.hpp"
#include "frame/call_env.hpp"

namespace kalm::lib {

// Bytes of 2/pi, TWO_OVER_PI_8, and the near-multiple-of-pi/2 patterns, HALFPI_HW_F:
// rem_halfpif_tables.hpp (generated), used by rem_halfpif.cpp alone.
inline constexpr int TWO_OVER_PI_8_SIZE = 198;

// Size of each working array of the multi-precision reduction (on the stack).
inline constexpr int REM_HALFPIF_WORK = 20;

// x = n*pi/2 + y[0] + y[1], |y[0]| <= about pi/4. n is exact up to |x| ~ 2^7*pi/2,
// modulo 8 beyond (0..7, or -7..0 for negative x).
int rem_halfpif(f32 x, f32* y);

// Multi-precision reduction of (X[0] + X[1]*2^-8 + X[2]*2^-16) * 2^E, X[i] integers
// below 256, X[0] nonzero, 1 <= m <= 3, precision selector p in 0..2. Returns the
// quadrant modulo 8 and writes y[0] (p = 0) or y[0], y[1] (p = 1, 2).
int rem_halfpi_multif(const f32* X, f32* y, int E, int m, int p, const std::int32_t* table);

// Kernels on |x| <= about pi/4 with tail y.
f32 sin_polyf(f32 x, f32 y, int iy);   // iy = 0: the tail is ignored
f32 cos_polyf(f32 x, f32 y);
f32 tan_polyf(f32 x, f32 y, int iy);   // iy = 1: tan(x+y); iy = -1: -1/tan(x+y)

// The kernels' products reach the subnormal range only when the head is below
// 2^-12 (its powers) or a nonzero tail below 2^-80 (its products with the
// head's powers); both happen for arguments close to a multiple of pi/2, and
// for small arguments. `ix` is the head's magnitude bits.
inline void note_if_subnormal_ahead(std::uint32_t ix, f32 y) {
    const std::uint32_t iy = bits(y) & 0x7FFFFFFFu;
    if (ix < 0x39800000u || iy - 1u < 0x17800000u - 1u) [[unlikely]]
        note_subnormal_operand();
}

}  // namespace kalm::lib
