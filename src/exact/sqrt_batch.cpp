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

KALM_BATCH_DEFINE(sqrt, D_D, sqrtv::sqrt_lanes)
KALM_BATCH_DEFINE(sqrtf, F_F, sqrtv::sqrtf_lanes)

}  // namespace kalm::lib::batch

#endif
