// SPDX-License-Identifier: MIT
// C++ interface of kalmlib: the exports in namespace kalm, overloaded as
// <cmath> overloads its functions (kalm::sin(float) is the device's sinf), the
// exception type thrown for unmasked floating-point exceptions, and scoped
// helpers for the per-thread control word and status flags.
//
// With <cmath>, `using namespace kalm;` makes a call such as sqrt(4.0)
// ambiguous: <cmath> also declares ::sqrt(double), and neither is the better
// match. The ambiguity is a compile error, never a silent choice of the host's
// function. Qualify the calls (kalm::sqrt, or an alias: namespace m = kalm;),
// or bring the names in with using-declarations inside a namespace or a
// function of your own (using kalm::sqrt;), which hide the global ones there.
#pragma once

#include <cstdint>
#include <exception>
#include <type_traits>

#include "kalmlib/kalmlib.h"

namespace kalm {

enum class FpCode : int { inexact = 0, underflow = 1, overflow = 2, divide_by_zero = 3, invalid = 4 };

// Thrown for an unmasked exception when the thread has no raise handler. If
// nothing catches it the program ends (std::terminate), as an unhandled
// exception ended the device's program; what() then names the status code,
// the export and the report address.
class KALM_API FpException : public std::exception {
public:
    FpException(std::uint32_t status, FpCode code, std::uintptr_t report_address, int ordinal = 0) noexcept;
    // Status code: 0xC000008F inexact ... 0xC0000090 invalid operation.
    std::uint32_t status_code() const noexcept { return status_; }
    FpCode code() const noexcept { return code_; }
    // The code address the exception is raised against: the caller's call of
    // the export, or the address handed to kalm_call.
    std::uintptr_t report_address() const noexcept { return address_; }
    // The export whose call raised it (its ordinal, 0 if unknown, and name or nullptr).
    int export_ordinal() const noexcept { return ordinal_; }
    const char* export_name() const noexcept;
    // "STATUS_FLOAT_INVALID_OPERATION (0xC0000090) in sqrt, reported against 0x55d0c8a1b2c4"
    const char* what() const noexcept override;

private:
    std::uint32_t status_;
    FpCode code_;
    std::uintptr_t address_;
    int ordinal_;
    char what_[112];
};

// Name of a status code ("STATUS_FLOAT_OVERFLOW"), or nullptr.
KALM_API const char* status_name(std::uint32_t status) noexcept;

// The control word as mask bits, the status word as flag bits (both convert to
// std::uint32_t); a flag set where a mask belongs, or the reverse, does not compile.
inline Mask control_word() { return Mask(kalm_control_word()); }
inline void set_control_word(std::uint32_t w) { kalm_set_control_word(w); }
void set_control_word(Flags) = delete;
inline Flags status() { return Flags(kalm_status()); }
inline void set_status(std::uint32_t w) { kalm_set_status(w); }
void set_status(Mask) = delete;
inline void clear_flags() { kalm_clear_flags(); }

// Unmasks the given exceptions (KALM_MASK_* bits) for the current scope.
class ScopedUnmask {
public:
    explicit ScopedUnmask(std::uint32_t mask_bits) : saved_(kalm_control_word()) {
        kalm_set_control_word(saved_ & ~mask_bits);
    }
    ScopedUnmask(Flags) = delete;  // KALM_FLAG_INVALID is KALM_MASK_INEXACT's bit
    ~ScopedUnmask() { kalm_set_control_word(saved_); }
    ScopedUnmask(const ScopedUnmask&) = delete;
    ScopedUnmask& operator=(const ScopedUnmask&) = delete;

private:
    std::uint32_t saved_;
};

// Sets the whole control word for the current scope.
class ScopedControlWord {
public:
    explicit ScopedControlWord(std::uint32_t word) : saved_(kalm_control_word()) { kalm_set_control_word(word); }
    ScopedControlWord(Flags) = delete;
    ~ScopedControlWord() { kalm_set_control_word(saved_); }
    ScopedControlWord(const ScopedControlWord&) = delete;
    ScopedControlWord& operator=(const ScopedControlWord&) = delete;

private:
    std::uint32_t saved_;
};

// The device's environment for the current C++ scope, per thread
// (kalm_enter_device_env); the caller's comes back when it ends.
class DeviceEnvScope {
public:
    DeviceEnvScope() noexcept { kalm_enter_device_env(); }
    ~DeviceEnvScope() { kalm_leave_device_env(); }
    DeviceEnvScope(const DeviceEnvScope&) = delete;
    DeviceEnvScope& operator=(const DeviceEnvScope&) = delete;
};

inline double y0(double x) { return kalm_y0(x); }
inline double y1(double x) { return kalm_y1(x); }
inline double yn(int n, double x) { return kalm_yn(n, x); }
inline double acos(double x) { return kalm_acos(x); }
inline float acosf(float x) { return kalm_acosf(x); }
inline double asin(double x) { return kalm_asin(x); }
inline float asinf(float x) { return kalm_asinf(x); }
inline double atan(double x) { return kalm_atan(x); }
inline double atan2(double y, double x) { return kalm_atan2(y, x); }
inline float atan2f(float y, float x) { return kalm_atan2f(y, x); }
inline float atanf(float x) { return kalm_atanf(x); }
inline double ceil(double x) { return kalm_ceil(x); }
inline float ceilf(float x) { return kalm_ceilf(x); }
inline double cos(double x) { return kalm_cos(x); }
inline float cosf(float x) { return kalm_cosf(x); }
inline double cosh(double x) { return kalm_cosh(x); }
inline float coshf(float x) { return kalm_coshf(x); }
inline double exp(double x) { return kalm_exp(x); }
inline float expf(float x) { return kalm_expf(x); }
inline float fabsf(float x) { return kalm_fabsf(x); }
inline double floor(double x) { return kalm_floor(x); }
inline float floorf(float x) { return kalm_floorf(x); }
inline double fmod(double x, double y) { return kalm_fmod(x, y); }
inline float fmodf(float x, float y) { return kalm_fmodf(x, y); }
inline double log(double x) { return kalm_log(x); }
inline double log10(double x) { return kalm_log10(x); }
inline float log10f(float x) { return kalm_log10f(x); }
inline float logf(float x) { return kalm_logf(x); }
inline double pow(double x, double y) { return kalm_pow(x, y); }
inline float powf(float x, float y) { return kalm_powf(x, y); }
inline double sin(double x) { return kalm_sin(x); }
inline float sinf(float x) { return kalm_sinf(x); }
inline double sinh(double x) { return kalm_sinh(x); }
inline float sinhf(float x) { return kalm_sinhf(x); }
inline double sqrt(double x) { return kalm_sqrt(x); }
inline float sqrtf(float x) { return kalm_sqrtf(x); }
inline double tan(double x) { return kalm_tan(x); }
inline float tanf(float x) { return kalm_tanf(x); }
inline double tanh(double x) { return kalm_tanh(x); }
inline float tanhf(float x) { return kalm_tanhf(x); }

// The single functions under the names of the double ones, as <cmath> has them:
// a float argument calls the device's single function, with its own results
// and its own flag model (most leave their flags to the caller).
inline float acos(float x) { return kalm_acosf(x); }
inline float asin(float x) { return kalm_asinf(x); }
inline float atan(float x) { return kalm_atanf(x); }
inline float atan2(float y, float x) { return kalm_atan2f(y, x); }
inline float ceil(float x) { return kalm_ceilf(x); }
inline float cos(float x) { return kalm_cosf(x); }
inline float cosh(float x) { return kalm_coshf(x); }
inline float exp(float x) { return kalm_expf(x); }
inline float fabs(float x) { return kalm_fabsf(x); }
inline float floor(float x) { return kalm_floorf(x); }
inline float fmod(float x, float y) { return kalm_fmodf(x, y); }
inline float log(float x) { return kalm_logf(x); }
inline float log10(float x) { return kalm_log10f(x); }
inline float pow(float x, float y) { return kalm_powf(x, y); }
inline float sin(float x) { return kalm_sinf(x); }
inline float sinh(float x) { return kalm_sinhf(x); }
inline float sqrt(float x) { return kalm_sqrtf(x); }
inline float tan(float x) { return kalm_tanf(x); }
inline float tanh(float x) { return kalm_tanhf(x); }

// The device has no double fabs: a double must not be narrowed into fabsf.
double fabs(double) = delete;

namespace detail {
template <class T>
inline constexpr bool integral_v = std::is_integral_v<T>;
// Arguments of a two-argument call that <cmath> would compute in double: an
// integer with a float or double, or a float with a double. (Two floats or
// two doubles take the plain overloads; long double has no device function.)
template <class A, class B>
inline constexpr bool promotes_to_double_v =
    (std::is_arithmetic_v<A> && std::is_arithmetic_v<B>) && !std::is_same_v<A, long double> &&
    !std::is_same_v<B, long double> && !(std::is_same_v<A, float> && std::is_same_v<B, float>) &&
    !(std::is_same_v<A, double> && std::is_same_v<B, double>);
}  // namespace detail

// An integer argument calls the double function, as in <cmath>; long double,
// which the device does not have, calls nothing.
#define KALM_CXX_UNARY_EXTRAS_(fn)                                                              \
    template <class T, std::enable_if_t<detail::integral_v<T>, int> = 0>                        \
    inline double fn(T x) { return kalm_##fn(static_cast<double>(x)); }                        \
    long double fn(long double) = delete;
#define KALM_CXX_BINARY_EXTRAS_(fn)                                                             \
    template <class A, class B, std::enable_if_t<detail::promotes_to_double_v<A, B>, int> = 0>  \
    inline double fn(A x, B y) { return kalm_##fn(static_cast<double>(x), static_cast<double>(y)); } \
    long double fn(long double, long double) = delete;
KALM_CXX_UNARY_EXTRAS_(acos)
KALM_CXX_UNARY_EXTRAS_(asin)
KALM_CXX_UNARY_EXTRAS_(atan)
KALM_CXX_UNARY_EXTRAS_(ceil)
KALM_CXX_UNARY_EXTRAS_(cos)
KALM_CXX_UNARY_EXTRAS_(cosh)
KALM_CXX_UNARY_EXTRAS_(exp)
KALM_CXX_UNARY_EXTRAS_(floor)
KALM_CXX_UNARY_EXTRAS_(log)
KALM_CXX_UNARY_EXTRAS_(log10)
KALM_CXX_UNARY_EXTRAS_(sin)
KALM_CXX_UNARY_EXTRAS_(sinh)
KALM_CXX_UNARY_EXTRAS_(sqrt)
KALM_CXX_UNARY_EXTRAS_(tan)
KALM_CXX_UNARY_EXTRAS_(tanh)
KALM_CXX_BINARY_EXTRAS_(atan2)
KALM_CXX_BINARY_EXTRAS_(fmod)
KALM_CXX_BINARY_EXTRAS_(pow)
#undef KALM_CXX_UNARY_EXTRAS_
#undef KALM_CXX_BINARY_EXTRAS_

}  // namespace kalm
