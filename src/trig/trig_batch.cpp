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

KALM_BATCH_DEFINE_STAGED(sin, double, VD, trigd::SinStages)
KALM_BATCH_DEFINE_STAGED(cos, double, VD, trigd::CosStages)
KALM_BATCH_DEFINE_STAGED(tan, double, VD, trigd::TanStages)
KALM_BATCH_DEFINE(sinf, F_F, trigf::sinf_lanes)
KALM_BATCH_DEFINE(cosf, F_F, trigf::cosf_lanes)
KALM_BATCH_DEFINE(tanf, F_F, trigf::tanf_lanes)

}  // namespace kalm::lib::batch

#endif
