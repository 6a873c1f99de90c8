/* SPDX-License-Identifier: MIT */
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

/* The release this header belongs to. The build reads its version from these
 * three lines, so they are the one place it is written. The major number is
 * the shared library's soname (libkalmlib.so.MAJOR): it changes with any
 * change that breaks programs built against an earlier header. */
#define KALM_VERSION_MAJOR 0
#define KALM_VERSION_MINOR 1
#define KALM_VERSION_PATCH 0
#define KALM_VERSION_STRINGIFY_(x) #x
#define KALM_VERSION_STRINGIFY(x) KALM_VERSION_STRINGIFY_(x)
#define KALM_VERSION_STRING                                          \
    KALM_VERSION_STRINGIFY(KALM_VERSION_MAJOR) "."                   \
    KALM_VERSION_STRINGIFY(KALM_VERSION_MINOR) "."                   \
    KALM_VERSION_STRINGIFY(KALM_VERSION_PATCH)

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

/* ---- Floating-point environment (per thread) ---------------------------- */

/* Control word bits (a set bit masks, i.e. disables, the exception; default
 * 0x1F) and sticky status bits (the host's own flags in the device's layout)
 * run in opposite bit orders: KALM_FLAG_INVALID is KALM_MASK_INEXACT's bit.
 * In C they are plain unsigned constants. In C++ they are values of two
 * distinct types, kalm::Mask and kalm::Flags, that convert to uint32_t
 * wherever a word is wanted but do not mix with each other: combining or
 * comparing the two, or passing one to a C++ interface that wants the other
 * (kalm::ScopedUnmask, kalm::set_control_word, kalm::set_status), does not
 * compile. The C functions below stay plain functions of words, so that
 * their addresses can be taken as they are. */
#if defined(__cplusplus) && __cplusplus >= 201103L
namespace kalm {
/* One bit set of the environment; Tag keeps the control word's and the status
 * word's apart. */
template <class Tag>
class Bits {
public:
    constexpr explicit Bits(uint32_t word) noexcept : word_(word) {}
    constexpr operator uint32_t() const noexcept { return word_; }
    friend constexpr Bits operator|(Bits a, Bits b) noexcept { return Bits(a.word_ | b.word_); }
    friend constexpr Bits operator&(Bits a, Bits b) noexcept { return Bits(a.word_ & b.word_); }
    friend constexpr Bits operator^(Bits a, Bits b) noexcept { return Bits(a.word_ ^ b.word_); }
    friend constexpr Bits operator~(Bits a) noexcept { return Bits(~a.word_); }
    friend constexpr bool operator==(Bits a, Bits b) noexcept { return a.word_ == b.word_; }
    friend constexpr bool operator!=(Bits a, Bits b) noexcept { return a.word_ != b.word_; }
    Bits& operator|=(Bits b) noexcept { word_ |= b.word_; return *this; }
    Bits& operator&=(Bits b) noexcept { word_ &= b.word_; return *this; }
    Bits& operator^=(Bits b) noexcept { word_ ^= b.word_; return *this; }
    template <class Other> Bits& operator|=(Bits<Other>) = delete;
    template <class Other> Bits& operator&=(Bits<Other>) = delete;
    template <class Other> Bits& operator^=(Bits<Other>) = delete;

private:
    uint32_t word_;
};
/* A mask and a flag set together: without these the two would meet as plain
 * words through their conversions. */
template <class A, class B> void operator|(Bits<A>, Bits<B>) = delete;
template <class A, class B> void operator&(Bits<A>, Bits<B>) = delete;
template <class A, class B> void operator^(Bits<A>, Bits<B>) = delete;
template <class A, class B> bool operator==(Bits<A>, Bits<B>) = delete;
template <class A, class B> bool operator!=(Bits<A>, Bits<B>) = delete;
struct MaskTag;
struct FlagsTag;
typedef Bits<MaskTag> Mask;   /* control-word bits: KALM_MASK_* */
typedef Bits<FlagsTag> Flags; /* status-word bits: KALM_FLAG_*, KALM_FLAGS_ALL */
} /* namespace kalm */
#define KALM_MASK_(word) (::kalm::Mask(word))
#define KALM_FLAG_(word) (::kalm::Flags(word))
#else
#define KALM_MASK_(word) (word)
#define KALM_FLAG_(word) (word)
#endif

#define KALM_MASK_INEXACT   KALM_MASK_(0x01u)
#define KALM_MASK_UNDERFLOW KALM_MASK_(0x02u)
#define KALM_MASK_OVERFLOW  KALM_MASK_(0x04u)
#define KALM_MASK_DIVBYZERO KALM_MASK_(0x08u)
#define KALM_MASK_INVALID   KALM_MASK_(0x10u)
#define KALM_MASK_ALL       KALM_MASK_(0x1Fu)

/* Divide-by-zero has no sticky flag: it is only ever raised directly. */
#define KALM_FLAG_INVALID   KALM_FLAG_(0x01u)
#define KALM_FLAG_OVERFLOW  KALM_FLAG_(0x04u)
#define KALM_FLAG_UNDERFLOW KALM_FLAG_(0x08u)
#define KALM_FLAG_INEXACT   KALM_FLAG_(0x10u)
#define KALM_FLAGS_ALL      KALM_FLAG_(0x1Du)

#ifdef __cplusplus
extern "C" {
#endif

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

/* ---- Contracts of the exports -------------------------------------------
 *
 * Terms. A FRAMED export clears the four sticky flags on entry and, on the way
 * out, reports the highest-priority flag still set (invalid, overflow,
 * underflow, inexact) if the thread's control word leaves it unmasked. An
 * UNFRAMED export (14 single functions) clears nothing and reports nothing
 * itself: the flags of its arithmetic are added to the caller's, and it raises
 * only through the framed entries it calls, each of which CLEARS the flags
 * raised so far in the call and reports against its call site inside the
 * library (@lib). A DIRECT report raises one exception at once for a special
 * input and leaves NO sticky flag for it (flags 00 with everything masked).
 * Software divisions report divide-by-zero, overflow and invalid directly
 * from inside the library; the tests/vectors files give the exact outcome of
 * every case named here.
 *
 * Bessel functions of the second kind (framed)
 *   kalm_y0   direct: +-0 divide-by-zero (-inf); negative x, +inf and NaN
 *             invalid (NaN); for x >= 2 the last step after the inner sqrt is
 *             a division, so no flag is left.
 *   kalm_y1   direct: +-0 divide-by-zero, negative x invalid (both NaN);
 *             +inf and NaN through 1/(x*x + x) (+inf gives 0, no flag);
 *             -2/(pi x) below 2^-54, overflowing for tiny subnormals.
 *   kalm_yn   orders 0 and +-1 through kalm_y0/kalm_y1 (inner framed calls);
 *             negative orders by the sign rule; n = INT_MIN is taken as the
 *             even order 2^31; the recurrence stops at -inf. Large orders with
 *             large x run the whole recurrence (seconds).
 * Inverse trigonometric
 *   kalm_acos, kalm_asin (framed)   direct: |x| > 1 invalid (NaN); |x| = 1 exact.
 *   kalm_atan (framed)              NaN and +-inf by value; pi/2 stored above 2^66.
 *   kalm_atan2 (framed)             NaN operands report invalid directly; the
 *                                   quadrant rules by table; x = 1 is atan(y).
 *   kalm_acosf, kalm_asinf (unframed)  beyond 0.5 through the inner sqrtf and fabsf,
 *                                   which clear the flags; |x| > 1 invalid from
 *                                   the division (@lib).
 *   kalm_atanf, kalm_atan2f (unframed) |x| through the inner fabsf (clears);
 *                                   NaN operands of atan2f give x + y.
 * Rounding and absolute value (framed, integer work only)
 *   kalm_ceil, kalm_floor, kalm_ceilf, kalm_floorf  inexact when the result
 *             differs from x; infinities and NaNs x + x.
 *   kalm_fabsf  never a flag; NaN payloads kept.
 * Remainder and square root (framed)
 *   kalm_fmod, kalm_fmodf  NaN operands, y = 0 and infinite x: invalid raised
 *             by the inner division (@lib), no flag left.
 *   kalm_sqrt  direct: negative x invalid (0xFFF8000000000000), +inf and NaN
 *             inexact; -0 returned untouched.
 *   kalm_sqrtf as sqrt, but +-0 reports inexact and negatives give 0x7FC00006.
 * Exponential, logarithm, power
 *   kalm_exp (framed)     direct: NaN invalid, overflow, underflow, tiny |x|
 *                         inexact.
 *   kalm_log, kalm_log10 (framed)  direct: 0 divide-by-zero (-inf), negative x
 *                         invalid (0xFFF8...), +inf and NaN invalid with x + x.
 *   kalm_pow (framed)     special cases in a fixed order (y = 0, NaNs, y = +-inf,
 *                         +-1, 2, 0.5, x = +-0/+-inf/+-1, negative x with a
 *                         non-integer y); subnormal results and its divisions
 *                         report from inside the library.
 *   kalm_expf (unframed)  +-0 gives 1 with no flag; beyond the overflow or
 *                         underflow limit +inf/+0 are constants with no flag.
 *   kalm_logf, kalm_log10f (unframed)  0 and negatives through division
 *                         idioms that report from inside the library; +inf and
 *                         positive NaNs x + x with nothing reported.
 *   kalm_powf (unframed)  y = 0.5 (sign clear) is a tail call of sqrtf, whose
 *                         raises go to the caller; (+-1)^inf leaves invalid
 *                         without a raise; 1/x and negative bases through the
 *                         division; up to ~90 ulp near |y log2 x| = 100.
 * Trigonometric
 *   kalm_sin, kalm_cos, kalm_tan (framed)  +-inf and NaN invalid (x - x);
 *                         huge arguments by the exact reduction, whose inner
 *                         floor clears the flags.
 *   kalm_sinf, kalm_cosf, kalm_tanf (unframed)  the reduction by pi/2 calls the
 *                         framed fabsf and floorf, which clear the flags.
 * Hyperbolic
 *   kalm_sinh, kalm_cosh, kalm_tanh (framed)  overflow beyond 710.4758600739439;
 *                         tanh: |x| < 2^-55 and |x| >= 22 report inexact
 *                         directly, NaN invalid from the division (@lib).
 *   kalm_sinhf, kalm_coshf, kalm_tanhf (unframed)  |x| through the framed fabsf,
 *                         which clears the flags; tanhf of NaN reports invalid
 *                         from the division.
 */

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

/* ---- Guest calls (emulators) -------------------------------------------- */

/* kalm_guest_call runs an export for a thread of an emulated device: the
 * guest thread's control word and status word are passed explicitly, and the
 * host thread's own control word, status (sticky flags and floating-point
 * environment included) and raise handler are left exactly as they were. It
 * never throws and never calls the raise handler: an unmasked exception ends
 * the call as the device's raise did, and is described in *raise.
 *
 *   status (in/out)   the guest's 32-bit status word. Bits 0x01, 0x04, 0x08,
 *                     0x10 are the sticky flags: in, what the guest has
 *                     accumulated (the 14 unframed single functions add to
 *                     them; the others clear them first); out, what the call
 *                     left, or on a raise, the flags as they stood when it was
 *                     raised. Every other bit is given back as it came in.
 *   control_word      the guest's exception masks (KALM_MASK_*; other bits
 *                     ignored).
 *   report_address    the guest's return address (the caller's lr). An
 *                     exception reported against the application's call carries
 *                     it back; see kalm_guest_raise for those reported inside
 *                     the library.
 *
 * Returns KALM_OK (results written, *raise untouched), KALM_GUEST_RAISED
 * (*raise filled in; the result words are NOT written: the device delivers no
 * result, so r0/r1 keep what the guest had in them), or one of the errors of
 * kalm_call (unknown ordinal, too few argument words, too little result space,
 * a NULL pointer among args, results, status, raise), in which case nothing at
 * all is written. */
#define KALM_GUEST_RAISED 1

/* The internal routines that report against their own call inside the
 * library (the device's own return address into the calling routine). */
enum kalm_internal_call {
    KALM_INTERNAL_NONE = 0,        /* reported against the guest's call */
    KALM_INTERNAL_DIVISION = 1,    /* the double software division */
    KALM_INTERNAL_DIVISION_F = 2,  /* the single software division */
    KALM_INTERNAL_FLOOR = 3,       /* floor, called by the reduction by pi/2 */
    KALM_INTERNAL_FLOORF = 4,      /* floorf, called by the single reduction */
    KALM_INTERNAL_SCALE_POW2 = 5   /* scaling by 2^n (pow, the reduction by pi/2) */
};

typedef struct kalm_guest_raise {
    uint32_t status_code;     /* KALM_STATUS_FLOAT_* */
    int fp_code;              /* KALM_FP_* */
    int ordinal;              /* the export the guest called */
    int in_library;           /* 0: against the guest's call; 1: inside the library */
    uint32_t report_address;  /* in_library == 0: the report_address passed; else 0 */
    int internal_call;        /* in_library: enum kalm_internal_call, which routine the
                               * export (ordinal) called reported it; an emulator maps
                               * (ordinal, internal_call) to the return address of that
                               * call in its image of the device library (where an export
                               * makes several such calls, pow's divisions, the pair does
                               * not tell them apart) */
    uintptr_t host_address;   /* in_library: the host code address, for logs only */
} kalm_guest_raise;

KALM_API int kalm_guest_call(int ordinal, const uint32_t *args, size_t nargs, uint32_t *results, size_t nresults,
                             uint32_t report_address, uint32_t control_word, uint32_t *status,
                             kalm_guest_raise *raise);

/* The library's load/unload entry point: reports success (1) for every reason. */
KALM_API int kalm_dll_main(void *module, uint32_t reason, void *reserved);

/* The version of the library the program runs with, "MAJOR.MINOR.PATCH"; a
 * program can compare it with the KALM_VERSION_STRING it was compiled with. */
KALM_API const char *kalm_version(void);

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

/* ---- The device-environment scope (per thread) --------------------------- */

/* Beside the batch entries' KALM_ERR_OVERLAP (-6) and KALM_ERR_SIZE (-7). */
#define KALM_ERR_SCOPE (-8)

/* For ports and hot loops that run in the device's environment anyway (round
 * to nearest, subnormals kept, no host trap enabled). Entering installs that
 * environment in the host register, the flags kept as they are, and remembers
 * the caller's; leaving the outermost scope gives the caller's environment back
 * exactly, with the flags raised inside. Scopes nest. Inside one the program
 * promises not to change the host's floating-point environment (fesetround,
 * fesetenv, _controlfp, ...); the exports then take it from the scope instead
 * of reading the register, and their results, flags and raises are the ones
 * they give outside. The x86 denormal-operand and divide-by-zero flags that the
 * program's own arithmetic raises inside a scope may be put back, by a call, as
 * they were when the scope was entered. With KALM_DEVICE_ENV_CHECK=1 in the
 * environment (read at a thread's first scope) every call inside a scope
 * checks the register and, if the promise is broken, names the export and the
 * register found on stderr and aborts. docs/scope.md has the details.
 * kalm_enter_device_env returns KALM_OK (KALM_ERR_SCOPE only past 2^32-1
 * levels); kalm_leave_device_env returns KALM_OK, or KALM_ERR_SCOPE, changing
 * nothing, when the thread is in no scope. A thread may end inside a scope. */
KALM_API int kalm_enter_device_env(void);
KALM_API int kalm_leave_device_env(void);
/* The calling thread's scopes entered and not left (0: outside any). */
KALM_API unsigned kalm_device_env_depth(void);

#ifdef __cplusplus
}
#endif

/* The batch entries, one export over an array (kalmlib_batch.h). */
#include "kalmlib_batch.h"

#endif /* KALMLIB_H */
