/* kalmlib: a bit-exact rebuild of a device math library.
 *
 * Every function returns the same bits, leaves the same sticky flags and
 * raises the same structured exceptions as the device. Exceptions are masked
 * by default; unmask them per thread with kalm_set_control_word(). An unmasked
 * exception is delivered to the thread's raise handler if one is installed,
 * otherwise thrown as the C++ exception kalm::FpException (see kalmlib.hpp).
 *
 * Floating-point environment: every function computes in the device's own
 * (round to nearest, subnormals kept, no host trap enabled) whatever the
 * calling thread has set (rounding mode, flush-to-zero, denormals-are-zero,
 * unmasked traps), and on return leaves the thread's environment as it was;
 * only the four sticky flags change.
 *
 * A C program without a raise handler: an unmasked exception ends the program
 * as an unhandled exception ended the device's, through std::terminate, which
 * prints the exception's what(), e.g.
 *   terminate called after throwing an instance of 'kalm::FpException'
 *     what():  STATUS_FLOAT_INVALID_OPERATION (0xC0000090) in sqrt, reported against 0x55d0c8a1b2c4
 * and aborts (SIGABRT). For a C++ caller above C code to catch the exception
 * instead, the C frames in between need unwind tables (GCC and Clang make them
 * by default on x86-64 and AArch64; elsewhere compile the C code with
 * -funwind-tables or -fexceptions).
 */
#ifndef KALMLIB_H
#define KALMLIB_H

#include <stddef.h>
#include <stdint.h>

/* On Windows the DLL exports exactly the KALM_API declarations; a program
 * that links the static library defines KALMLIB_STATIC (the CMake target
 * kalmlib::kalmlib_static does it) so that its calls are not looked up in a DLL. */
#if defined(_WIN32)
#if defined(KALMLIB_BUILDING)
#define KALM_API __declspec(dllexport)
#elif defined(KALMLIB_STATIC)
#define KALM_API
#else
#define KALM_API __declspec(dllimport)
#endif
#elif defined(KALMLIB_BUILDING)
#define KALM_API __attribute__((visibility("default")))
#else
#define KALM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Floating-point environment (per thread) ---------------------------- */

/* Control word bits: a set bit masks (disables) the exception. Default 0x1F. */
#define KALM_MASK_INEXACT   0x01u
#define KALM_MASK_UNDERFLOW 0x02u
#define KALM_MASK_OVERFLOW  0x04u
#define KALM_MASK_DIVBYZERO 0x08u
#define KALM_MASK_INVALID   0x10u
#define KALM_MASK_ALL       0x1Fu

/* Sticky status bits: the host's own flags, shown in the device's layout. */
#define KALM_FLAG_INVALID   0x01u
#define KALM_FLAG_OVERFLOW  0x04u
#define KALM_FLAG_UNDERFLOW 0x08u
#define KALM_FLAG_INEXACT   0x10u

/* Exception codes (FpExceptionCode) and the status codes raised for them. */
#define KALM_FP_INEXACT   0
#define KALM_FP_UNDERFLOW 1
#define KALM_FP_OVERFLOW  2
#define KALM_FP_DIVBYZERO 3
#define KALM_FP_INVALID   4

#define KALM_STATUS_FLOAT_INEXACT_RESULT     0xC000008Fu
#define KALM_STATUS_FLOAT_UNDERFLOW          0xC0000093u
#define KALM_STATUS_FLOAT_OVERFLOW           0xC0000091u
#define KALM_STATUS_FLOAT_DIVIDE_BY_ZERO     0xC000008Eu
#define KALM_STATUS_FLOAT_INVALID_OPERATION  0xC0000090u

KALM_API uint32_t kalm_control_word(void);
KALM_API void kalm_set_control_word(uint32_t word);

/* The whole 32-bit status register: bits 0, 2, 3, 4 are the sticky flags;
 * every other bit is kept per thread and never changed by the library. */
KALM_API uint32_t kalm_status(void);
KALM_API void kalm_set_status(uint32_t word);
KALM_API void kalm_clear_flags(void);

/* A raise handler receives the status code, the exception code and the
 * report address. It runs in the caller's floating-point environment and may
 * call the library itself. If it returns, the call goes on as if the exception
 * were masked and returns the IEEE default result, unaffected by what the
 * handler computed (the flags and the host environment are kept across it; a
 * change the handler makes to the control word does apply to the rest of the
 * call). NULL restores throwing. */
typedef void (*kalm_raise_handler)(uint32_t status_code, int fp_code, uintptr_t report_address, void *user);
KALM_API void kalm_set_raise_handler(kalm_raise_handler handler, void *user);

/* ---- The exports --------------------------------------------------------- */

/* All 40 exports, in ordinal order (see kalm_export_by_name for ordinals).
 * The Bessel functions _y0, _y1, _yn are kalm_y0, kalm_y1, kalm_yn. */
KALM_API double kalm_y0(double x);
KALM_API double kalm_y1(double x);
KALM_API double kalm_yn(int n, double x);
KALM_API double kalm_acos(double x);
KALM_API float kalm_acosf(float x);
KALM_API double kalm_asin(double x);
KALM_API float kalm_asinf(float x);
KALM_API double kalm_atan(double x);
KALM_API double kalm_atan2(double y, double x);
KALM_API float kalm_atan2f(float y, float x);
KALM_API float kalm_atanf(float x);
KALM_API double kalm_ceil(double x);
KALM_API float kalm_ceilf(float x);
KALM_API double kalm_cos(double x);
KALM_API float kalm_cosf(float x);
KALM_API double kalm_cosh(double x);
KALM_API float kalm_coshf(float x);
KALM_API double kalm_exp(double x);
KALM_API float kalm_expf(float x);
KALM_API float kalm_fabsf(float x);
KALM_API double kalm_floor(double x);
KALM_API float kalm_floorf(float x);
KALM_API double kalm_fmod(double x, double y);
KALM_API float kalm_fmodf(float x, float y);
KALM_API double kalm_log(double x);
KALM_API double kalm_log10(double x);
KALM_API float kalm_log10f(float x);
KALM_API float kalm_logf(float x);
KALM_API double kalm_pow(double x, double y);
KALM_API float kalm_powf(float x, float y);
KALM_API double kalm_sin(double x);
KALM_API float kalm_sinf(float x);
KALM_API double kalm_sinh(double x);
KALM_API float kalm_sinhf(float x);
KALM_API double kalm_sqrt(double x);
KALM_API float kalm_sqrtf(float x);
KALM_API double kalm_tan(double x);
KALM_API float kalm_tanf(float x);
KALM_API double kalm_tanh(double x);
KALM_API float kalm_tanhf(float x);

/* ---- Word-level export table (the device's calling convention) ---------- */

/* Signature kinds. Doubles travel as two words, low word first; no even-word
 * alignment (_yn takes n in word 0, x in words 1-2). */
enum kalm_signature {
    KALM_SIG_D_D = 1,  /* double f(double)          : 2 words in, 2 out */
    KALM_SIG_DD_D = 2, /* double f(double, double)  : 4 words in, 2 out */
    KALM_SIG_ID_D = 3, /* double f(int, double)     : 3 words in, 2 out */
    KALM_SIG_F_F = 4,  /* float f(float)            : 1 word in, 1 out  */
    KALM_SIG_FF_F = 5  /* float f(float, float)     : 2 words in, 1 out */
};

typedef struct kalm_export {
    const char *name;
    int ordinal;
    int signature;   /* enum kalm_signature */
    int arg_words;
    int result_words;
} kalm_export;

/* Return codes of kalm_call. */
#define KALM_OK 0
#define KALM_ERR_NO_SUCH_EXPORT (-1)
#define KALM_ERR_TOO_FEW_ARGS (-2)
#define KALM_ERR_RESULT_SPACE (-3)
#define KALM_ERR_NULL (-4)

KALM_API size_t kalm_export_count(void);
KALM_API const kalm_export *kalm_export_at(size_t index);
KALM_API const kalm_export *kalm_export_by_name(const char *name);
KALM_API const kalm_export *kalm_export_by_ordinal(int ordinal);

/* Calls an export with argument words, writing its result words. Exceptions
 * are raised against report_address, as for a device call returning there. */
KALM_API int kalm_call(int ordinal, const uint32_t *args, size_t nargs, uint32_t *results, size_t nresults,
                       uintptr_t report_address);

/* The library's load/unload entry point: reports success (1) for every reason. */
KALM_API int kalm_dll_main(void *module, uint32_t reason, void *reserved);

/* ---- Structured exceptions (Windows) ------------------------------------ */

#define KALM_ERR_UNSUPPORTED (-5)

/* With a nonzero argument, an unmasked exception on the calling thread is
 * raised as a structured exception of the host, RaiseException(status code,
 * 0, 0, NULL): the device's status code and no arguments, ahead of the raise
 * handler and of the C++ throw. A vectored handler or an MSVC __except filter
 * sees GetExceptionCode() == KALM_STATUS_FLOAT_...; one that continues
 * execution (EXCEPTION_CONTINUE_EXECUTION) lets the call go on as if the
 * exception were masked; an __except block that handles it leaves the call
 * (no result) with the caller's floating-point environment in place. Zero
 * restores the raise handler and the throw. Per thread, off by default.
 * Returns KALM_OK, or KALM_ERR_UNSUPPORTED (nothing changed) on hosts
 * without structured exceptions. */
KALM_API int kalm_set_structured_exceptions(int enable);

#ifdef __cplusplus
}
#endif

#endif /* KALMLIB_H */
