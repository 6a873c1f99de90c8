// SPDX-License-Identifier: MIT
// Internal cores shared by _y0, _y1 and _yn, and the sequencing barrier they use.
#pragma once

#include "host/bits.hpp"

namespace kalm::lib {

// 1/sqrt(pi) and 2/pi, of the asymptotic and small-argument formulas of every order.
inline constexpr f64 INV_SQRT_PI = dconst(0x3FE20DD750429B6D);
inline constexpr f64 TWO_OVER_PI = dconst(0x3FE45F306DC9C883);

// J0(x) and J1(x) for the small-argument formulas: they do not clear the sticky
// flags but end with the exit check against ra. Valid for 2^-27 < x < 2 (J0) and
// 2^-54 < x < 2 (J1).
f64 bessel_j0(f64 x, report_t ra);
f64 bessel_j1(f64 x, report_t ra);
// Amplitude and phase corrections of the asymptotic formulas, x >= 2. No frame;
// ra only goes to the divisions.
f64 bessel_p0(f64 x, report_t ra);
f64 bessel_q0(f64 x, report_t ra);
f64 bessel_p1(f64 x, report_t ra);
f64 bessel_q1(f64 x, report_t ra);

// Every inner-entry call clears the sticky flags, so the flags a Bessel function
// finally reports depend on which operations run before and which after such a
// call. Passing a value through here pins its computation before the next call.
inline f64 settled(f64 v) {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("" : "+x"(v) : : "memory");
#elif defined(__aarch64__) || defined(__arm__)
    asm volatile("" : "+w"(v) : : "memory");
#else
    // Any other host (WebAssembly): v goes through memory the compiler must
    // assume is read and written here (f64 may be a class there, which a
    // volatile copy cannot take).
    asm volatile("" : : "r"(&v) : "memory");
#endif
    return v;
}

}  // namespace kalm::lib
