// SPDX-License-Identifier: MIT
// Reduction of a double by pi/2: x = n*pi/2 + y[0] + y[1], |y[0]| <= ~pi/4.
// Internal to the trigonometric family; no frame of its own.
#pragma once

#include <cstdint>

#include "host/bits.hpp"

namespace kalm::lib {

// Returns n (exact up to |x| ~ 2^20*pi/2, otherwise n mod 8 with the sign of
// x) and writes the head y[0] and the tail y[1] of the remainder.
int rem_halfpi(f64 x, f64 y[2]);

// Multi-precision reduction of X[0..m-1] (24-bit integer pieces, the
// argument being (X[0] + X[1]*2^-24 + X[2]*2^-48) * 2^E) with the 24-bit
// chunks of 2/pi in `table`. P selects the number of terms and output words
// (1 for P = 0, 2 for P = 1 or 2, 3 for P = 3). Returns the quadrant mod 8.
int rem_halfpi_multi(const f64* X, f64* y, int E, int m, int P, const std::int32_t* table);

}  // namespace kalm::lib
