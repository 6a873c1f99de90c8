// SPDX-License-Identifier: MIT
// The batch kernels of sin, cos and tan: the lanes of trig/trig_batch.inc for
// each instruction set of the build (host/batch_simd.hpp).
#include "host/batch_simd.hpp"

#if KALM_BATCH_SIMD

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "host/bits.hpp"
#include "trig/rem_halfpi_tables.hpp"

namespace kalm::lib::batch {
namespace {
#define KALM_BATCH_BODY "trig/trig_batch.inc"
#include "host/batch_isas.inc"
}  // namespace

KALM_BATCH_DEFINE(sin, D_D, trigd::sin_lanes)
KALM_BATCH_DEFINE(cos, D_D, trigd::cos_lanes)
KALM_BATCH_DEFINE(tan, D_D, trigd::tan_lanes)

}  // namespace kalm::lib::batch

#endif
