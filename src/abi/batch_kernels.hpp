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
// on x86-64 only, each function compiled for its instruction set with a target
// attribute so that nothing outside it uses those instructions. Each family
// lists its kernels below as X(name, signature, isa) rows; the batch entries
// take the best row the CPU can run (host/cpu_features.hpp).
#pragma once

#include <cstddef>

namespace kalm::lib::batch {

enum class Isa : unsigned char { scalar = 0, avx2 = 1, avx512 = 2 };

#define KALM_BATCH_PARAMS_D_D const double *x, double *y, std::size_t n
#define KALM_BATCH_PARAMS_F_F const float *x, float *y, std::size_t n
#define KALM_BATCH_PARAMS_DD_D const double *x, const double *b, double *y, std::size_t n
#define KALM_BATCH_PARAMS_FF_F const float *x, const float *b, float *y, std::size_t n

// Family lists (one definition per family, each edited only with its family).
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

// exact: sqrt, sqrtf
#define KALM_BATCH_KERNELS_EXACT(X) X(sqrt, D_D, avx512) X(sqrt, D_D, avx2) X(sqrtf, F_F, avx512) X(sqrtf, F_F, avx2)

// explog: exp, expf, log, logf, pow, powf
#define KALM_BATCH_KERNELS_EXPLOG(X)                                                  \
    X(expf, F_F, avx512) X(expf, F_F, avx2) X(logf, F_F, avx512) X(logf, F_F, avx2)   \
    X(log10f, F_F, avx512) X(log10f, F_F, avx2) X(exp, D_D, avx512) X(exp, D_D, avx2) \
    X(log, D_D, avx512) X(log, D_D, avx2) X(log10, D_D, avx512) X(log10, D_D, avx2)   \
    X(powf, FF_F, avx512) X(powf, FF_F, avx2) X(pow, DD_D, avx512) X(pow, DD_D, avx2)

// trig: sin, cos, tan and single versions
#define KALM_BATCH_KERNELS_TRIG(X)                                                                            \
    X(sinf, F_F, avx512) X(sinf, F_F, avx2) X(cosf, F_F, avx512) X(cosf, F_F, avx2) X(tanf, F_F, avx512) \
    X(tanf, F_F, avx2) X(sin, D_D, avx512) X(sin, D_D, avx2) X(cos, D_D, avx512) X(cos, D_D, avx2)        \
    X(tan, D_D, avx512) X(tan, D_D, avx2)

// invtrig: atan2, atan2f
#define KALM_BATCH_KERNELS_INVTRIG(X) \
    X(atan2f, FF_F, avx512) X(atan2f, FF_F, avx2) X(atan2, DD_D, avx512) X(atan2, DD_D, avx2)

#else
#define KALM_BATCH_KERNELS_EXACT(X)
#define KALM_BATCH_KERNELS_EXPLOG(X)
#define KALM_BATCH_KERNELS_TRIG(X)
#define KALM_BATCH_KERNELS_INVTRIG(X)
#endif

#define KALM_BATCH_KERNEL_LIST(X) \
    KALM_BATCH_KERNELS_EXACT(X) KALM_BATCH_KERNELS_EXPLOG(X) KALM_BATCH_KERNELS_TRIG(X) KALM_BATCH_KERNELS_INVTRIG(X)

// Kernel names: NAME_ISA, e.g. expf_avx512.
#define KALM_BATCH_DECLARE(name, sig, isa) void name##_##isa(KALM_BATCH_PARAMS_##sig);
KALM_BATCH_KERNEL_LIST(KALM_BATCH_DECLARE)
#undef KALM_BATCH_DECLARE

}  // namespace kalm::lib::batch
