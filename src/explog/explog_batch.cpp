// SPDX-License-Identifier: MIT
// The exp/log/pow batch kernels: the lanes of explog/batch_lanes.inc (bodies
// written as functors over N lanes) for each instruction set of the build
// (host/batch_simd.hpp), each rare lane handed to the scalar export.
#include "host/batch_simd.hpp"

#if KALM_BATCH_SIMD

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "host/bits.hpp"

namespace kalm::lib::batch {
namespace {
#define KALM_BATCH_BODY "explog/batch_lanes.inc"
#include "host/batch_isas.inc"
}  // namespace

KALM_BATCH_DEFINE(expf, F_F, by_functor<VF, ExpfLanes>)
KALM_BATCH_DEFINE(logf, F_F, by_functor<VF, LogfLanes>)
KALM_BATCH_DEFINE(log10f, F_F, by_functor<VF, Log10fLanes>)
KALM_BATCH_DEFINE(exp, D_D, by_functor<VD, ExpLanes>)
KALM_BATCH_DEFINE(log, D_D, by_functor<VD, LogLanes>)
KALM_BATCH_DEFINE(log10, D_D, by_functor<VD, Log10Lanes>)
KALM_BATCH_DEFINE(powf, FF_F, by_functor2<VF, PowfLanes>)
KALM_BATCH_DEFINE(pow, DD_D, by_functor2<VD, PowLanes>)

}  // namespace kalm::lib::batch

#endif
