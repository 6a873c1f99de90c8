// SPDX-License-Identifier: MIT
// C++ interface of kalmlib: the exports in namespace kalm, the exception type
// thrown for unmasked floating-point exceptions, and scoped helpers for the
// per-thread control word and status flags.
#pragma once

#include <cstdint>
#include <exception>

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

inline std::uint32_t control_word() { return kalm_control_word(); }
inline void set_control_word(std::uint32_t w) { kalm_set_control_word(w); }
inline std::uint32_t status() { return kalm_status(); }
inline void set_status(std::uint32_t w) { kalm_set_status(w); }
inline void clear_flags() { kalm_clear_flags(); }

// Unmasks the given exceptions (KALM_MASK_* bits) for the current scope.
class ScopedUnmask {
public:
    explicit ScopedUnmask(std::uint32_t mask_bits) : saved_(kalm_control_word()) {
        kalm_set_control_word(saved_ & ~mask_bits);
    }
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
    ~ScopedControlWord() { kalm_set_control_word(saved_); }
    ScopedControlWord(const ScopedControlWord&) = delete;
    ScopedControlWord& operator=(const ScopedControlWord&) = delete;

private:
    std::uint32_t saved_;
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

}  // namespace kalm
