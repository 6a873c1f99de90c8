// SPDX-License-Identifier: MIT
// Exact power-of-two scaling and copy-sign, done on the words.
#pragma once

namespace kalm::lib {

// x * 2^n. scale_pow2 is framed and reports against its own call site.
double scale_pow2(double x, int n);
float scale_pow2f(float x, int n);
// The platform copy-sign service: magnitude of a, sign of b.
double copy_sign(double a, double b);
float copy_signf(float a, float b);

}  // namespace kalm::lib
