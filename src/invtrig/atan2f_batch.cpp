// SPDX-License-Identifier: MIT
// The batch kernels of atan2f for AVX-512 and AVX2: one body (atan2f_batch.inc)
// compiled once per instruction set. x86-64 only.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "host/bits.hpp"

namespace kalm::lib::batch {

namespace {
namespace avx512 {
#define KALM_BATCH_TARGET __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl")))
#define KALM_BATCH_BYTES 64
#include "host/batch_simd.inc"
#include "invtrig/atan2f_batch.inc"
#undef KALM_BATCH_FN
#undef KALM_BATCH_BYTES
#undef KALM_BATCH_TARGET
}  // namespace avx512

namespace avx2 {
#define KALM_BATCH_TARGET __attribute__((target("avx2,fma")))
#define KALM_BATCH_BYTES 32
#include "host/batch_simd.inc"
#include "invtrig/atan2f_batch.inc"
#undef KALM_BATCH_FN
#undef KALM_BATCH_BYTES
#undef KALM_BATCH_TARGET
}  // namespace avx2
}  // namespace

__attribute__((target("avx512f,avx512dq,avx512bw,avx512vl"))) void atan2f_avx512(const float* x, const float* b, float* y,
                                                                               std::size_t n) {
    avx512::run_binary<avx512::VF, float, avx512::atan2fv::atan2f_lanes, exported::atan2f>(x, b, y, n);
}
__attribute__((target("avx2,fma"))) void atan2f_avx2(const float* x, const float* b, float* y, std::size_t n) {
    avx2::run_binary<avx2::VF, float, avx2::atan2fv::atan2f_lanes, exported::atan2f>(x, b, y, n);
}

}  // namespace kalm::lib::batch

#endif
