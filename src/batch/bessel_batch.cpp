// SPDX-License-Identifier: MIT
// The batch kernels of _y0, _y1 and _yn (one order for the array, and one per
// element) for each instruction set of the build (host/batch_simd.hpp): the
// lanes of bessel/bessel_lanes.inc over the sine, cosine and logarithm lanes
// of the trig and explog families, which is why they are put together here,
// above the families, and not in the family's folder. The loop is explog's
// (rare lanes set aside and redone after a stretch); every rare lane is
// handed to the scalar export.
#include "host/batch_simd.hpp"

#if KALM_BATCH_SIMD

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "bessel/asymptotic_tables.hpp"
#include "bessel/bessel.hpp"
#include "exact/constants.hpp"
#include "host/bits.hpp"
#include "trig/rem_halfpi_tables.hpp"

namespace kalm::lib::batch {
namespace {

double scalar_y0(double x) { return exported::_y0(x, 0); }
double scalar_y1(double x) { return exported::_y1(x, 0); }
double scalar_yn(int order, double x) { return exported::_yn(order, x, 0); }

#define KALM_BATCH_BODY "trig/trig_batch.inc"
#define KALM_BATCH_BODY_2 "explog/batch_lanes.inc"
#define KALM_BATCH_BODY_3 "bessel/bessel_lanes.inc"
#include "host/batch_isas.inc"

}  // namespace

// x = 1 pads the tail: a lane of the common path.
#define KALM_BESSEL_KERNELS_(unused, isa)                                                                         \
    KALM_BATCH_TARGET_##isa void _y0_##isa(const double* x, double* y, std::size_t n) {                   \
        using namespace isa;                                                                               \
        run1<Lanes<double, WD>>(x, y, n, ONE, besseld::Y0Block{}, scalar_y0);                              \
    }                                                                                                      \
    KALM_BATCH_TARGET_##isa void _y1_##isa(const double* x, double* y, std::size_t n) {                   \
        using namespace isa;                                                                               \
        run1<Lanes<double, WD>>(x, y, n, ONE, besseld::Y1Block{false}, scalar_y1);                         \
    }                                                                                                      \
    /* Orders 0 and +-1 are Y0 and +-Y1 wherever the lanes compute them. */                                \
    KALM_BATCH_TARGET_##isa void _yn_##isa(int order, const double* x, double* y, std::size_t n) {        \
        using namespace isa;                                                                               \
        const auto scalar = [order](double v) { return scalar_yn(order, v); };                             \
        if (order == 0) {                                                                                  \
            run1<Lanes<double, WD>>(x, y, n, ONE, besseld::Y0Block{}, scalar);                             \
        } else if (order == 1 || order == -1) {                                                            \
            run1<Lanes<double, WD>>(x, y, n, ONE, besseld::Y1Block{order < 0}, scalar);                    \
        } else {                                                                                           \
            const std::int64_t m = order < 0 ? -static_cast<std::int64_t>(order) : order;                  \
            run1<Lanes<double, WD>>(x, y, n, ONE, besseld::YnBlock{m, order < 0 && (m & 1) != 0}, scalar); \
        }                                                                                                  \
    }                                                                                                      \
    KALM_BATCH_TARGET_##isa void _yn_orders_##isa(const int* order, const double* x, double* y, std::size_t n) { \
        using namespace isa;                                                                               \
        besseld::run_orders(order, x, y, n, scalar_yn);                                                    \
    }
KALM_BATCH_FOR_EACH_ISA(KALM_BESSEL_KERNELS_, _)

}  // namespace kalm::lib::batch

#endif
