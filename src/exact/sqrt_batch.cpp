// SPDX-License-Identifier: MIT
// The batch kernels of sqrt and sqrtf: the lanes of exact/sqrt_lanes.inc for
// each instruction set of the build (host/batch_simd.hpp).
#include "host/batch_simd.hpp"

#if KALM_BATCH_SIMD

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"

namespace kalm::lib::batch {
namespace {
#define KALM_BATCH_BODY "exact/sqrt_lanes.inc"
#include "host/batch_isas.inc"
}  // namespace

// The family's own loop (sqrt_lanes.inc: several registers a turn).
#define KALM_SQRT_KERNEL_(name, V, T, lanes, isa)                               \
    KALM_BATCH_TARGET_##isa void name##_##isa(const T* x, T* y, std::size_t n) { \
        using namespace isa;                                                     \
        sqrtv::run_roots<V, T, sqrtv::lanes, exported::name>(x, y, n);           \
    }
KALM_BATCH_FOR_EACH_ISA(KALM_SQRT_KERNEL_, sqrt, VD, double, sqrt_lanes)
KALM_BATCH_FOR_EACH_ISA(KALM_SQRT_KERNEL_, sqrtf, VF, float, sqrtf_lanes)

}  // namespace kalm::lib::batch

#endif
