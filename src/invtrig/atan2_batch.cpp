// SPDX-License-Identifier: MIT
// The batch kernels of atan2: the lanes of invtrig/atan2_batch.inc for each
// instruction set of the build (host/batch_simd.hpp).
#include "host/batch_simd.hpp"

#if KALM_BATCH_SIMD

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "host/bits.hpp"

namespace kalm::lib::batch {
namespace {
#define KALM_BATCH_BODY "invtrig/atan2_batch.inc"
#include "host/batch_isas.inc"
}  // namespace

KALM_BATCH_DEFINE(atan2, DD_D, atan2v::atan2_lanes)

}  // namespace kalm::lib::batch

#endif
