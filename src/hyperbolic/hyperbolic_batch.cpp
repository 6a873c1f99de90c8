// SPDX-License-Identifier: MIT
// The batch kernels of sinh, cosh, tanh (hyperbolic/hyperbolic_batch.inc) and
// sinhf, coshf, tanhf (hyperbolic/hyperbolicf_batch.inc) for each instruction
// set of the build (host/batch_simd.hpp).
#include "host/batch_simd.hpp"

#if KALM_BATCH_SIMD

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "host/bits.hpp"

namespace kalm::lib::batch {
namespace {
#define KALM_BATCH_BODY "hyperbolic/hyperbolic_batch.inc"
#define KALM_BATCH_BODY_2 "hyperbolic/hyperbolicf_batch.inc"
#include "host/batch_isas.inc"
}  // namespace

KALM_BATCH_DEFINE(sinh, D_D, hyperd::sinh_lanes)
KALM_BATCH_DEFINE(cosh, D_D, hyperd::cosh_lanes)
KALM_BATCH_DEFINE(tanh, D_D, hyperd::tanh_lanes)
KALM_BATCH_DEFINE(sinhf, F_F, hyperf::sinhf_lanes)
KALM_BATCH_DEFINE(coshf, F_F, hyperf::coshf_lanes)
KALM_BATCH_DEFINE(tanhf, F_F, hyperf::tanhf_lanes)

}  // namespace kalm::lib::batch

#endif
