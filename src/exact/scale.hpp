// SPDX-License-Identifier: MIT
// Exact power-of-two scaling and copy-sign, done on the words.
#pragma once

namespace kalm::lib {

// x * 2^n. scale_pow2 is framed and reports against its own call site.
f64 scale_pow2(f64 x, int n);
f32 scale_pow2f(f32 x, int n);
// The platform copy-sign service: magnitude of a, sign of b.
f64 copy_sign(f64 a, f64 b);
f32 copy_signf(f32 a, f32 b);

}  // namespace kalm::lib
