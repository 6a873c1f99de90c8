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

// The layer's staged loop: a lane's chain (reduction, series, two divisions)
// is long, so each stage runs over a stretch of independent groups before the
// next (run_staged); the tail's groups run every stage one after another.
KALM_BATCH_DEFINE_STAGED(sinh, double, VD, (hyperd::SinhStages))
KALM_BATCH_DEFINE_STAGED(cosh, double, VD, (hyperd::CoshStages))
KALM_BATCH_DEFINE_STAGED(tanh, double, VD, (hyperd::TanhStages))
KALM_BATCH_DEFINE_STAGED(sinhf, float, VF, (hyperf::SinhfStages))
KALM_BATCH_DEFINE_STAGED(coshf, float, VF, (hyperf::CoshfStages))
KALM_BATCH_DEFINE_STAGED(tanhf, float, VF, (hyperf::TanhfStages))

}  // namespace kalm::lib::batch

#endif
