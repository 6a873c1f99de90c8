// SPDX-License-Identifier: MIT
// The batch kernels of atan2 (invtrig/atan2_batch.inc) and atan2f
// (invtrig/atan2f_batch.inc) for each instruction set of the build
// (host/batch_simd.hpp).
#include "host/batch_simd.hpp"

#if KALM_BATCH_SIMD

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "host/bits.hpp"

namespace kalm::lib::batch {
namespace {
#define KALM_BATCH_BODY "invtrig/atan2_batch.inc"
#define KALM_BATCH_BODY_2 "invtrig/atan2f_batch.inc"
#include "host/batch_isas.inc"
}  // namespace

KALM_BATCH_DEFINE(atan2, DD_D, atan2v::atan2_lanes)
KALM_BATCH_DEFINE(atan2f, FF_F, atan2fv::atan2f_lanes)

}  // namespace kalm::lib::batch

#endif
