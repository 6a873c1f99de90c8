/* SPDX-License-Identifier: MIT */
/* kalmlib batch evaluation: one export over a whole array, y[i] = f(x[i]).
 *
 * Results: y[i] has exactly the bits the scalar export (kalm_sin, ...) returns
 * for the same argument(s), for every input, in any floating-point environment
 * the caller has set (rounding mode, flush-to-zero, denormals-are-zero,
 * unmasked host traps).
 *
 * Flags and exceptions: none. A batch call computes results only. The caller's
 * floating-point environment and its sticky flags are left exactly as they
 * were (nothing raised, nothing cleared, nothing set), the thread's control
 * word (kalm_set_control_word) is not consulted and is left as it was, no raise
 * handler is called and nothing is thrown. A program that needs the device's
 * flags or exceptions for an element calls the scalar export for it.
 *
 * Arguments (every entry returns one of these codes):
 *   n == 0                       KALM_OK, nothing read or written (null pointers allowed)
 *   a null pointer with n > 0    KALM_ERR_NULL, nothing written
 *   y == x (or y == b)           allowed: the results replace the arguments in place
 *   y overlapping x (or b) in any other way, or an array that would run past
 *   the end of the address space KALM_ERR_OVERLAP, nothing written
 *   otherwise                    KALM_OK, y[0..n) written
 * The inputs may overlap each other (x and b may be one array).
 *
 * Threads: every entry may be called from any number of threads at once.
 *
 * Speed: every export has SIMD kernels chosen at run time for the CPU
 * (AVX-512, AVX2; NEON on AArch64); where there is none for the build or the
 * CPU, the entry runs the scalar routine element by element, without the
 * per-call environment work of the scalar entries.
 * kalm_batch_set_isa selects a path for the whole process (tests and
 * benchmarks use it).
 */
#ifndef KALMLIB_BATCH_H
#define KALMLIB_BATCH_H

#include <stddef.h>

#include "kalmlib.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Partially overlapping arrays (see above); beside KALM_ERR_NULL (-4) and
 * KALM_ERR_UNSUPPORTED (-5) of kalmlib.h. */
#define KALM_ERR_OVERLAP (-6)
/* The C++ span forms (kalmlib_batch.hpp): the output span's size differs from
 * the input's. */
#define KALM_ERR_SIZE (-7)

/* The instruction sets the batch entries can run on. */
#define KALM_BATCH_SCALAR 0 /* the scalar routines, element by element */
#define KALM_BATCH_AVX2 1   /* AVX2 kernels where there are some, scalar otherwise */
#define KALM_BATCH_AVX512 2 /* AVX-512 kernels, else AVX2 ones, else scalar */
#define KALM_BATCH_NEON 3   /* NEON kernels where there are some (AArch64), scalar otherwise */

/* The instruction set in use: at first the best this CPU runs. */
KALM_API int kalm_batch_isa(void);
/* Selects one for the whole process (every thread, from the next batch call
 * on). Returns KALM_OK, or KALM_ERR_UNSUPPORTED (nothing changed) for a set
 * this CPU or this build cannot run or an unknown value. */
KALM_API int kalm_batch_set_isa(int isa);

/* One entry per export, in ordinal order; the arguments of the scalar export
 * become arrays of the same order (kalm_batch_atan2: a[i] is y, b[i] is x). */
KALM_API int kalm_batch_y0(const double *x, double *y, size_t n);
KALM_API int kalm_batch_y1(const double *x, double *y, size_t n);
/* One order for the whole array. */
KALM_API int kalm_batch_yn(int order, const double *x, double *y, size_t n);
/* An order per element: y[i] = _yn(order[i], x[i]). y may be x; y sharing
 * bytes with order is refused (KALM_ERR_OVERLAP), as any partial overlap. */
KALM_API int kalm_batch_yn_orders(const int *order, const double *x, double *y, size_t n);
KALM_API int kalm_batch_acos(const double *x, double *y, size_t n);
KALM_API int kalm_batch_acosf(const float *x, float *y, size_t n);
KALM_API int kalm_batch_asin(const double *x, double *y, size_t n);
KALM_API int kalm_batch_asinf(const float *x, float *y, size_t n);
KALM_API int kalm_batch_atan(const double *x, double *y, size_t n);
KALM_API int kalm_batch_atan2(const double *a, const double *b, double *y, size_t n);
KALM_API int kalm_batch_atan2f(const float *a, const float *b, float *y, size_t n);
KALM_API int kalm_batch_atanf(const float *x, float *y, size_t n);
KALM_API int kalm_batch_ceil(const double *x, double *y, size_t n);
KALM_API int kalm_batch_ceilf(const float *x, float *y, size_t n);
KALM_API int kalm_batch_cos(const double *x, double *y, size_t n);
KALM_API int kalm_batch_cosf(const float *x, float *y, size_t n);
KALM_API int kalm_batch_cosh(const double *x, double *y, size_t n);
KALM_API int kalm_batch_coshf(const float *x, float *y, size_t n);
KALM_API int kalm_batch_exp(const double *x, double *y, size_t n);
KALM_API int kalm_batch_expf(const float *x, float *y, size_t n);
KALM_API int kalm_batch_fabsf(const float *x, float *y, size_t n);
KALM_API int kalm_batch_floor(const double *x, double *y, size_t n);
KALM_API int kalm_batch_floorf(const float *x, float *y, size_t n);
KALM_API int kalm_batch_fmod(const double *a, const double *b, double *y, size_t n);
KALM_API int kalm_batch_fmodf(const float *a, const float *b, float *y, size_t n);
KALM_API int kalm_batch_log(const double *x, double *y, size_t n);
KALM_API int kalm_batch_log10(const double *x, double *y, size_t n);
KALM_API int kalm_batch_log10f(const float *x, float *y, size_t n);
KALM_API int kalm_batch_logf(const float *x, float *y, size_t n);
KALM_API int kalm_batch_pow(const double *a, const double *b, double *y, size_t n);
KALM_API int kalm_batch_powf(const float *a, const float *b, float *y, size_t n);
KALM_API int kalm_batch_sin(const double *x, double *y, size_t n);
KALM_API int kalm_batch_sinf(const float *x, float *y, size_t n);
KALM_API int kalm_batch_sinh(const double *x, double *y, size_t n);
KALM_API int kalm_batch_sinhf(const float *x, float *y, size_t n);
KALM_API int kalm_batch_sqrt(const double *x, double *y, size_t n);
KALM_API int kalm_batch_sqrtf(const float *x, float *y, size_t n);
KALM_API int kalm_batch_tan(const double *x, double *y, size_t n);
KALM_API int kalm_batch_tanf(const float *x, float *y, size_t n);
KALM_API int kalm_batch_tanh(const double *x, double *y, size_t n);
KALM_API int kalm_batch_tanhf(const float *x, float *y, size_t n);

#ifdef __cplusplus
}
#endif

#endif /* KALMLIB_BATCH_H */
