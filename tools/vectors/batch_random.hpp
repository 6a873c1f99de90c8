// SPDX-License-Identifier: MIT
// Random arguments through the batch entries of the exports that have SIMD
// kernels, each element compared with the scalar export bit for bit. The
// arguments are drawn where the kernels decide something: every bit pattern
// alike (NaNs and infinities included), zeros, subnormals and the smallest
// normals, huge values, and each export's own edges (exp near overflow and
// underflow, log near 1, sin/cos/tan close to multiples of pi/2, pow with
// negative bases and integer exponents or results at the limits of the
// range, atan2 with exponent gaps near 60, atan at its interval edges and
// before pi/2, asin and acos beside +-1, 0.5 and 0.975, ceil and floor beside integers
// and at 2^52 (2^23), fmod with exponent gaps about 51 (22) and its
// multiples and x a multiple of y, sinh, cosh and tanh at their band
// edges and overflow, ...). Used by kalm_batch_check
// --random N, which the cross test runs under qemu.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kalmtool {

// The exports with SIMD kernels (sqrt ... acosf, ceil ... fmodf), in a fixed order.
const std::vector<std::string>& batch_kernel_exports();

struct RandomTally {
    long long compared = 0, mismatches = 0;
    std::vector<std::string> messages;  // the first few mismatches
};

// `count` arguments (pairs) for export `name`, drawn from `seed`, through its
// batch entry on the instruction set currently selected, in pieces of varied
// lengths; each result compared with the scalar export's. False when `name`
// is not one of batch_kernel_exports().
bool random_batch_check(const std::string& name, std::uint64_t count, std::uint64_t seed, RandomTally& tally);

}  // namespace kalmtool
