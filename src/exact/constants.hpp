// SPDX-License-Identifier: MIT
// The few values nearly every routine uses, as bit patterns. A routine's own
// coefficients and limits stay beside it, named as the routine names them.
#pragma once

#include "host/bits.hpp"

namespace kalm::lib {

inline constexpr f64 ZERO = dconst(0x0000000000000000);
inline constexpr f64 HALF = dconst(0x3FE0000000000000);
inline constexpr f64 ONE = dconst(0x3FF0000000000000);
inline constexpr f64 TWO = dconst(0x4000000000000000);
// Multiplied by itself (or by TINY) to overflow (underflow) with the flags.
inline constexpr f64 HUGE = dconst(0x7E37E43C8800759C);
inline constexpr f64 TINY = dconst(0x01A56E1FC2F8F359);
inline constexpr f64 DEFAULT_NAN = dconst(0xFFF8000000000000);

inline constexpr f32 ZERO_F = fconst(0x00000000);
inline constexpr f32 HALF_F = fconst(0x3F000000);
inline constexpr f32 ONE_F = fconst(0x3F800000);
inline constexpr f32 TWO_F = fconst(0x40000000);
inline constexpr f32 HUGE_F = fconst(0x7149F2CA);
inline constexpr f32 TINY_F = fconst(0x0DA24260);

}  // namespace kalm::lib
