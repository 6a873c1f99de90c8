// SPDX-License-Identifier: MIT
// The batch kernels of sin, cos, tan (trig/trig_batch.inc) and sinf, cosf,
// tanf (trig/trigf_batch.inc) for each instruction set of the build
// (host/batch_simd.hpp).
#include "host/batch_simd.hpp"

#if KALM_BATCH_SIMD

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "host/bits.hpp"
#include "trig/rem_halfpi_tables.hpp"
#include "trig/rem_halfpif_tables.hpp"

namespace kalm::lib::batch {
namespace {
#define KALM_BATCH_BODY "trig/trig_batch.inc"
#define KALM_BATCH_BODY_2 "trig/trigf_batch.inc"
#include "host/batch_isas.inc"
}  // namespace

KALM_BATCH_DEFINE(sin, D_D, trigd::sin_lanes)
KALM_BATCH_DEFINE(cos, D_D, trigd::cos_lanes)
KALM_BATCH_DEFINE(tan, D_D, trigd::tan_lanes)
KALM_BATCH_DEFINE(sinf, F_F, trigf::sinf_lanes)
KALM_BATCH_DEFINE(cosf, F_F, trigf::cosf_lanes)
KALM_BATCH_DEFINE(tanf, F_F, trigf::tanf_lanes)

}  // namespace kalm::lib::batch

#endif
