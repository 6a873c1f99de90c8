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

// Two groups a turn: a lane's chain (reduction, series, two divisions) is long
// and the groups independent, so one group's chain overlaps the other's; the
// rest through the layer's loop (one group, then the zero-padded tail).
#define KALM_HYPER_KERNEL_(name, T, V, lanes, isa)                                        \
    KALM_BATCH_TARGET_##isa void name##_##isa(const T* x, T* y, std::size_t n) {          \
        using namespace isa;                                                             \
        constexpr std::size_t W = sizeof(V) / sizeof(T);                                 \
        std::size_t i = 0;                                                               \
        for (; i + 2 * W <= n; i += 2 * W) {                                             \
            V a, b, ra, rb;                                                              \
            __builtin_memcpy(&a, x + i, sizeof(V));                                      \
            __builtin_memcpy(&b, x + i + W, sizeof(V));                                  \
            const unsigned rare_a = lanes(a, ra);                                        \
            const unsigned rare_b = lanes(b, rb);                                        \
            finish_unary<V, T, exported::name>(a, ra, rare_a, y + i, W);                 \
            finish_unary<V, T, exported::name>(b, rb, rare_b, y + i + W, W);             \
        }                                                                                \
        run_unary<V, T, lanes, exported::name>(x + i, y + i, n - i);                     \
    }
#define KALM_HYPER_KERNEL(name, T, V, lanes) KALM_BATCH_FOR_EACH_ISA(KALM_HYPER_KERNEL_, name, T, V, lanes)

#define KALM_HYPER_STAGED_(name, T, V, body, isa)                                  \
    KALM_BATCH_TARGET_##isa void name##_##isa(const T* x, T* y, std::size_t n) {  \
        using namespace isa;                                                     \
        run_staged<V, T, body, exported::name>(x, y, n, body{});                 \
    }
#define KALM_HYPER_STAGED(name, T, V, body) KALM_BATCH_FOR_EACH_ISA(KALM_HYPER_STAGED_, name, T, V, body)

KALM_HYPER_STAGED(sinh, double, VD, hyperd::SinhStages)
KALM_HYPER_STAGED(cosh, double, VD, hyperd::CoshStages)
KALM_HYPER_STAGED(tanh, double, VD, hyperd::TanhStages)
KALM_HYPER_KERNEL(sinhf, float, VF, hyperf::sinhf_lanes)
KALM_HYPER_KERNEL(coshf, float, VF, hyperf::coshf_lanes)
KALM_HYPER_KERNEL(tanhf, float, VF, hyperf::tanhf_lanes)

}  // namespace kalm::lib::batch

#endif
