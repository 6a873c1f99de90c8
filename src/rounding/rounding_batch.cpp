// SPDX-License-Identifier: MIT
// The batch kernels of ceil, floor, ceilf, floorf and fabsf (the lanes of
// rounding/rounding_lanes.inc) and of fmod and fmodf (rounding/fmod_lanes.inc)
// for each instruction set of the build (host/batch_simd.hpp).
#include "host/batch_simd.hpp"

#if KALM_BATCH_SIMD

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"

namespace kalm::lib::batch {
namespace {
#define KALM_BATCH_BODY "rounding/rounding_lanes.inc"
#define KALM_BATCH_BODY_2 "rounding/fmod_lanes.inc"
#include "host/batch_isas.inc"
}  // namespace

KALM_BATCH_DEFINE(ceil, D_D, roundv::ceil_lanes)
KALM_BATCH_DEFINE(floor, D_D, roundv::floor_lanes)
KALM_BATCH_DEFINE(ceilf, F_F, roundv::ceilf_lanes)
KALM_BATCH_DEFINE(floorf, F_F, roundv::floorf_lanes)
KALM_BATCH_DEFINE(fabsf, F_F, roundv::fabsf_lanes)
KALM_BATCH_DEFINE(fmod, DD_D, fmodv::fmod_lanes)
KALM_BATCH_DEFINE(fmodf, FF_F, fmodv::fmodf_lanes)

}  // namespace kalm::lib::batch

#endif
