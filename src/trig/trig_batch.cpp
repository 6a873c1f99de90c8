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

KALM_BATCH_DEFINE_STAGED(sin, double, VD, (TwoStages<VD, trigd::reduce, trigd::sin_finish>))
KALM_BATCH_DEFINE_STAGED(cos, double, VD, (TwoStages<VD, trigd::reduce, trigd::cos_finish>))
KALM_BATCH_DEFINE_STAGED(tan, double, VD, (trigd::TanStages))
KALM_BATCH_DEFINE_STAGED(sinf, float, VF, (TwoStages<VF, trigf::reduce_sincos, trigf::sinf_finish>))
KALM_BATCH_DEFINE_STAGED(cosf, float, VF, (TwoStages<VF, trigf::reduce_sincos, trigf::cosf_finish>))
KALM_BATCH_DEFINE_STAGED(tanf, float, VF, (TwoStages<VF, trigf::reduce_tan, trigf::tanf_finish>))

}  // namespace kalm::lib::batch

#endif
