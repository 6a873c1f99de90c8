// SPDX-License-Identifier: MIT
// The few values nearly every routine uses, as bit patterns. A routine's own
// coefficients and limits stay beside it, named as the routine names them.
#pragma once

#include "host/bits.hpp"

namespace kalm::lib {

inline constexpr double ZERO = dconst(0x0000000000000000);
inline constexpr double HALF = dconst(0x3FE0000000000000);
inline constexpr double ONE = dconst(0x3FF0000000000000);
inline constexpr double TWO = dconst(0x4000000000000000);
// Multiplied by itself (or by TINY) to overflow (underflow) with the flags.
inline constexpr double HUGE = dconst(0x7E37E43C8800759C);
inline constexpr double TINY = dconst(0x01A56E1FC2F8F359);
inline constexpr double DEFAULT_NAN = dconst(0xFFF8000000000000);

inline constexpr float ZERO_F = fconst(0x00000000);
inline constexpr float HALF_F = fconst(0x3F000000);
inline constexpr float ONE_F = fconst(0x3F800000);
inline constexpr float TWO_F = fconst(0x40000000);
inline constexpr float HUGE_F = fconst(0x7149F2CA);
inline constexpr float TINY_F = fconst(0x0DA24260);

}  // namespace kalm::lib
