// SPDX-License-Identifier: MIT
// The SIMD kernels behind the batch entries. A kernel computes y[i] = f(x[i])
// for i < n and gives exactly what the scalar export gives for every input: the
// lanes it does not compute itself (special and rare arguments) it hands to the
// scalar export, `exported::NAME(x, 0)`. It runs inside a batch entry, which has
// set the device's environment (round to nearest, subnormals kept, every host
// exception masked), masked every exception in the thread's control word and
// gives the caller's environment and flags back afterwards; so a kernel ignores
// flags and never raises. It reads only x[0..n) (and b[0..n)) and writes only
// y[0..n); y may be x itself (or b), never a partial overlap.
//
// Kernels live in their family's folder (src/explog/..._batch.cpp, ...), built
// on x86-64 (AVX-512, AVX2) and AArch64 (NEON) through the one layer of
// host/batch_simd.hpp, each function compiled for its instruction set with a
// target attribute so that nothing outside it uses those instructions. Each
// family lists its kernels below as X(name, signature, isa) rows; the batch
// entries take the best row the CPU can run (host/cpu_features.hpp).
#pragma once

#include <cstddef>

#include "host/batch_simd.hpp"

namespace kalm::lib::batch {

// The values of KALM_BATCH_SCALAR ... KALM_BATCH_NEON (kalmlib_batch.h).
enum class Isa : unsigned char { scalar = 0, avx2 = 1, avx512 = 2, neon = 3 };

#define KALM_BATCH_PARAMS_D_D const double *x, double *y, std::size_t n
#define KALM_BATCH_PARAMS_F_F const float *x, float *y, std::size_t n
#define KALM_BATCH_PARAMS_DD_D const double *x, const double *b, double *y, std::size_t n
#define KALM_BATCH_PARAMS_FF_F const float *x, const float *b, float *y, std::size_t n
// _yn: one order for the whole array, or one per element (the kernel _yn_orders,
// behind kalm_batch_yn_orders, which is no export of its own).
#define KALM_BATCH_PARAMS_ID_D int order, const double *x, double *y, std::size_t n
#define KALM_BATCH_PARAMS_ND_D const int *order, const double *x, double *y, std::size_t n

// Family lists (one definition per family, each edited only with its family):
// each export once, a row for every instruction set the build has kernels for
// (host/batch_simd.hpp: AVX-512 and AVX2 on x86-64, NEON on AArch64, none
// elsewhere).
#define KALM_BATCH_ROWS_(X, name, sig) KALM_BATCH_FOR_EACH_ISA(X, name, sig)

// exact: sqrt, sqrtf
#define KALM_BATCH_KERNELS_EXACT(X) KALM_BATCH_ROWS_(X, sqrt, D_D) KALM_BATCH_ROWS_(X, sqrtf, F_F)

// explog: exp, expf, log, logf, pow, powf
#define KALM_BATCH_KERNELS_EXPLOG(X)                                                                          \
    KALM_BATCH_ROWS_(X, expf, F_F) KALM_BATCH_ROWS_(X, logf, F_F) KALM_BATCH_ROWS_(X, log10f, F_F)           \
    KALM_BATCH_ROWS_(X, exp, D_D) KALM_BATCH_ROWS_(X, log, D_D) KALM_BATCH_ROWS_(X, log10, D_D)              \
    KALM_BATCH_ROWS_(X, powf, FF_F) KALM_BATCH_ROWS_(X, pow, DD_D)

// trig: sin, cos, tan and single versions
#define KALM_BATCH_KERNELS_TRIG(X)                                                                            \
    KALM_BATCH_ROWS_(X, sinf, F_F) KALM_BATCH_ROWS_(X, cosf, F_F) KALM_BATCH_ROWS_(X, tanf, F_F)             \
    KALM_BATCH_ROWS_(X, sin, D_D) KALM_BATCH_ROWS_(X, cos, D_D) KALM_BATCH_ROWS_(X, tan, D_D)

// invtrig: asin, acos, atan, atan2 and single versions
#define KALM_BATCH_KERNELS_INVTRIG(X)                                                                         \
    KALM_BATCH_ROWS_(X, atan2f, FF_F) KALM_BATCH_ROWS_(X, atan2, DD_D) KALM_BATCH_ROWS_(X, atanf, F_F)       \
    KALM_BATCH_ROWS_(X, atan, D_D) KALM_BATCH_ROWS_(X, asinf, F_F) KALM_BATCH_ROWS_(X, acosf, F_F)           \
    KALM_BATCH_ROWS_(X, asin, D_D) KALM_BATCH_ROWS_(X, acos, D_D)

// rounding: ceil, floor, fmod and single versions, fabsf
#define KALM_BATCH_KERNELS_ROUNDING(X)                                                                        \
    KALM_BATCH_ROWS_(X, ceil, D_D) KALM_BATCH_ROWS_(X, floor, D_D) KALM_BATCH_ROWS_(X, ceilf, F_F)           \
    KALM_BATCH_ROWS_(X, floorf, F_F) KALM_BATCH_ROWS_(X, fabsf, F_F) KALM_BATCH_ROWS_(X, fmod, DD_D)         \
    KALM_BATCH_ROWS_(X, fmodf, FF_F)

// bessel: _y0, _y1, _yn and its per-element orders (batch/bessel_batch.cpp:
// the lanes are the family's, over the trig and explog lanes)
#define KALM_BATCH_KERNELS_BESSEL(X)                                                                          \
    KALM_BATCH_ROWS_(X, _y0, D_D) KALM_BATCH_ROWS_(X, _y1, D_D) KALM_BATCH_ROWS_(X, _yn, ID_D)               \
    KALM_BATCH_ROWS_(X, _yn_orders, ND_D)

// hyperbolic: sinh, cosh, tanh and single versions
#define KALM_BATCH_KERNELS_HYPERBOLIC(X)                                                                      \
    KALM_BATCH_ROWS_(X, sinhf, F_F) KALM_BATCH_ROWS_(X, coshf, F_F) KALM_BATCH_ROWS_(X, tanhf, F_F)          \
    KALM_BATCH_ROWS_(X, sinh, D_D) KALM_BATCH_ROWS_(X, cosh, D_D) KALM_BATCH_ROWS_(X, tanh, D_D)

#define KALM_BATCH_KERNEL_LIST(X)                                                                     \
    KALM_BATCH_KERNELS_EXACT(X) KALM_BATCH_KERNELS_EXPLOG(X) KALM_BATCH_KERNELS_TRIG(X)               \
    KALM_BATCH_KERNELS_INVTRIG(X) KALM_BATCH_KERNELS_ROUNDING(X) KALM_BATCH_KERNELS_BESSEL(X)         \
    KALM_BATCH_KERNELS_HYPERBOLIC(X)

// Kernel names: NAME_ISA, e.g. expf_avx512.
#define KALM_BATCH_DECLARE(name, sig, isa) void name##_##isa(KALM_BATCH_PARAMS_##sig);
KALM_BATCH_KERNEL_LIST(KALM_BATCH_DECLARE)
#undef KALM_BATCH_DECLARE

}  // namespace kalm::lib::batch
