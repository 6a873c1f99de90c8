// SPDX-License-Identifier: MIT
// Internal single-precision e^x − 1 core shared by sinhf, coshf and tanhf.
#pragma once

namespace kalm::lib {

// e^x − 1 for finite x in (−2, 44). No frame: flags are left for the caller.
f32 expm1f_core(f32 x);

}  // namespace kalm::lib
