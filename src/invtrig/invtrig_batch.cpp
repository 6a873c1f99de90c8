// SPDX-License-Identifier: MIT
// The batch kernels of atan, atanf, atan2 and atan2f (invtrig/atan_lanes.inc)
// and of asin, acos, asinf and acosf (invtrig/asin_acos_lanes.inc) for each
// instruction set of the build (host/batch_simd.hpp).
#include "host/batch_simd.hpp"

#if KALM_BATCH_SIMD

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "host/bits.hpp"

namespace kalm::lib::batch {
namespace {
#define KALM_BATCH_BODY "invtrig/atan_lanes.inc"
#define KALM_BATCH_BODY_2 "invtrig/asin_acos_lanes.inc"
#include "host/batch_isas.inc"
}  // namespace

KALM_BATCH_DEFINE(atan, D_D, atanv::atan_lanes)
KALM_BATCH_DEFINE(atanf, F_F, atanfv::atanf_lanes)
KALM_BATCH_DEFINE(atan2, DD_D, atanv::atan2_lanes)
KALM_BATCH_DEFINE(atan2f, FF_F, atanfv::atan2f_lanes)
KALM_BATCH_DEFINE(asin, D_D, asinv::asin_lanes)
KALM_BATCH_DEFINE(acos, D_D, asinv::acos_lanes)
KALM_BATCH_DEFINE(asinf, F_F, asinfv::asinf_lanes)
KALM_BATCH_DEFINE(acosf, F_F, asinfv::acosf_lanes)

}  // namespace kalm::lib::batch

#endif
