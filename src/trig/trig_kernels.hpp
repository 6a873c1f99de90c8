// SPDX-License-Identifier: MIT
// Polynomial kernels on [-pi/4, pi/4] for a reduced argument given as a head x
// and a tail y (x + y, |y| below half an ulp of x). Internal, unframed.
#pragma once

namespace kalm::lib {

// sin(x + y); iy = 0 means the tail is zero and is ignored.
f64 sin_poly(f64 x, f64 y, int iy);
// cos(x + y).
f64 cos_poly(f64 x, f64 y);
// tan(x + y) for iy = +1, -1/tan(x + y) for iy = -1.
f64 tan_poly(f64 x, f64 y, int iy);

}  // namespace kalm::lib
