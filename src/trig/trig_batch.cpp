// SPDX-License-Identifier: MIT
// The batch kernels of sin, cos and tan for AVX-512 and AVX2: one body
// (trig_batch.inc) compiled once per instruction set. x86-64 only.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "host/bits.hpp"
#include "trig/rem_halfpi_tables.hpp"

namespace kalm::lib::batch {

namespace {
namespace avx512 {
#define KALM_BATCH_TARGET __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl")))
#define KALM_BATCH_BYTES 64
#include "host/batch_simd.inc"
#include "trig/trig_batch.inc"
#undef KALM_BATCH_FN
#undef KALM_BATCH_BYTES
#undef KALM_BATCH_TARGET
}  // namespace avx512

namespace avx2 {
#define KALM_BATCH_TARGET __attribute__((target("avx2,fma")))
#define KALM_BATCH_BYTES 32
#include "host/batch_simd.inc"
#include "trig/trig_batch.inc"
#undef KALM_BATCH_FN
#undef KALM_BATCH_BYTES
#undef KALM_BATCH_TARGET
}  // namespace avx2
}  // namespace

#define KALM_TRIG_KERNEL(name, isa, attr)                                                         \
    attr void name##_##isa(const double* x, double* y, std::size_t n) {                             \
        isa::run_unary<isa::VD, double, isa::trigd::name##_lanes, exported::name>(x, y, n);         \
    }
KALM_TRIG_KERNEL(sin, avx512, __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl"))))
KALM_TRIG_KERNEL(sin, avx2, __attribute__((target("avx2,fma"))))
KALM_TRIG_KERNEL(cos, avx512, __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl"))))
KALM_TRIG_KERNEL(cos, avx2, __attribute__((target("avx2,fma"))))
KALM_TRIG_KERNEL(tan, avx512, __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl"))))
KALM_TRIG_KERNEL(tan, avx2, __attribute__((target("avx2,fma"))))
#undef KALM_TRIG_KERNEL

}  // namespace kalm::lib::batch

#endif
