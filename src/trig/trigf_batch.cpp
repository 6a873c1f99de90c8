// SPDX-License-Identifier: MIT
// The batch kernels of sinf, cosf and tanf for AVX-512 and AVX2: one body
// (trigf_batch.inc) compiled once per instruction set. x86-64 only.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "host/bits.hpp"
#include "trig/rem_halfpif_tables.hpp"

namespace kalm::lib::batch {

namespace {
namespace avx512 {
#define KALM_BATCH_TARGET __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl")))
#define KALM_BATCH_BYTES 64
#include "host/batch_simd.inc"
#include "trig/trigf_batch.inc"
#undef KALM_BATCH_FN
#undef KALM_BATCH_BYTES
#undef KALM_BATCH_TARGET
}  // namespace avx512

namespace avx2 {
#define KALM_BATCH_TARGET __attribute__((target("avx2,fma")))
#define KALM_BATCH_BYTES 32
#include "host/batch_simd.inc"
#include "trig/trigf_batch.inc"
#undef KALM_BATCH_FN
#undef KALM_BATCH_BYTES
#undef KALM_BATCH_TARGET
}  // namespace avx2
}  // namespace

#define KALM_TRIGF_KERNEL(name, isa, attr)                                                         \
    attr void name##_##isa(const float* x, float* y, std::size_t n) {                             \
        isa::run_unary<isa::VF, float, isa::trigf::name##_lanes, exported::name>(x, y, n);         \
    }
KALM_TRIGF_KERNEL(sinf, avx512, __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl"))))
KALM_TRIGF_KERNEL(sinf, avx2, __attribute__((target("avx2,fma"))))
KALM_TRIGF_KERNEL(cosf, avx512, __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl"))))
KALM_TRIGF_KERNEL(cosf, avx2, __attribute__((target("avx2,fma"))))
KALM_TRIGF_KERNEL(tanf, avx512, __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl"))))
KALM_TRIGF_KERNEL(tanf, avx2, __attribute__((target("avx2,fma"))))
#undef KALM_TRIGF_KERNEL

}  // namespace kalm::lib::batch

#endif
