// SPDX-License-Identifier: MIT
// The exp/log/pow batch kernels: the lanes of explog/batch_lanes.inc (bodies
// written as functors over N lanes, with the family's own loop) for each
// instruction set of the build (host/batch_simd.hpp), each rare lane handed to
// the scalar export.
#include "host/batch_simd.hpp"

#if KALM_BATCH_SIMD

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "host/bits.hpp"

namespace kalm::lib::batch {
namespace {

float scalar_expf(float x) { return exported::expf(x, 0); }
float scalar_logf(float x) { return exported::logf(x, 0); }
float scalar_log10f(float x) { return exported::log10f(x, 0); }
double scalar_exp(double x) { return exported::exp(x, 0); }
double scalar_log(double x) { return exported::log(x, 0); }
double scalar_log10(double x) { return exported::log10(x, 0); }
float scalar_powf(float x, float y) { return exported::powf(x, y, 0); }
double scalar_pow(double x, double y) { return exported::pow(x, y, 0); }

#define KALM_BATCH_BODY "explog/batch_lanes.inc"
#include "host/batch_isas.inc"
}  // namespace

// The family's own loop (batch_lanes.inc: blocks with rare lanes set aside and
// redone after a stretch, two blocks a turn), one register of lanes a block;
// `pad` fills the tail's block (an argument computed without a rare lane).
#define KALM_EXPLOG_1_(name, T, W, body, pad, isa)                                  \
    KALM_BATCH_TARGET_##isa void name##_##isa(const T* x, T* y, std::size_t n) { \
        using namespace isa;                                                       \
        run1<Lanes<T, W>>(x, y, n, pad, body<W>{}, scalar_##name);                 \
    }
#define KALM_EXPLOG_2_(name, T, W, body, pad_x, pad_b, isa)                                      \
    KALM_BATCH_TARGET_##isa void name##_##isa(const T* x, const T* b, T* y, std::size_t n) { \
        using namespace isa;                                                                   \
        run2<Lanes<T, W>>(x, b, y, n, pad_x, pad_b, body<W>{}, scalar_##name);                 \
    }
#define KALM_EXPLOG_1(...) KALM_BATCH_FOR_EACH_ISA(KALM_EXPLOG_1_, __VA_ARGS__)
#define KALM_EXPLOG_2(...) KALM_BATCH_FOR_EACH_ISA(KALM_EXPLOG_2_, __VA_ARGS__)

KALM_EXPLOG_1(expf, float, WF, ExpfLanes, 0.0f)
KALM_EXPLOG_1(logf, float, WF, LogfLanes, 1.0f)
KALM_EXPLOG_1(log10f, float, WF, Log10fLanes, 1.0f)
KALM_EXPLOG_1(exp, double, WD, ExpLanes, 0.0)
KALM_EXPLOG_1(log, double, WD, LogLanes, 1.0)
KALM_EXPLOG_1(log10, double, WD, Log10Lanes, 1.0)
KALM_EXPLOG_2(powf, float, WF, PowfLanes, 2.0f, 3.0f)
KALM_EXPLOG_2(pow, double, WD, PowLanes, 2.0, 3.0)

}  // namespace kalm::lib::batch

#endif
