// SPDX-License-Identifier: MIT
// Per-thread floating-point environment standing in for the device's system
// library: the control word (exception masks, default all masked), the bits
// of the status register that are not sticky flags, and the raise service.
#include <cinttypes>
#include <cstdio>

#include "frame/frame.hpp"
#include "frame/guest.hpp"
#include "kalmlib/kalmlib.hpp"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace kalm::lib {
namespace {

thread_local std::uint32_t t_status_other = 0u;  // every status bit but 0, 2, 3, 4
thread_local kalm_raise_handler t_handler = nullptr;
thread_local void* t_handler_user = nullptr;
#if defined(_WIN32)
thread_local bool t_structured = false;  // raise as a structured exception of the host
#endif

}  // namespace

#if !(defined(_WIN32) && (defined(__x86_64__) || defined(_M_X64)))
KALM_TLS std::uint32_t tls_control_word KALM_TLS_IE = 0x1Fu;
KALM_TLS std::uint64_t tls_call KALM_TLS_IE = 0;
#endif
KALM_TLS std::uint8_t tls_internal_call KALM_TLS_IE = INTERNAL_NONE;
KALM_TLS bool tls_guest_call KALM_TLS_IE = false;
#if defined(KALM_PORTABLE_FENV)
KALM_TLS const std::fenv_t* tls_call_env = nullptr;
#endif

namespace {

// While a raise handler runs, and when an exception leaves the library, the
// caller's environment is back in place, with the sticky flags the call has
// raised so far. The call's own state is kept aside, so that whatever the
// handler computes (library calls included) the call goes on exactly where it was.
#if defined(KALM_PORTABLE_FENV)
struct Inside {
    std::fenv_t env;
};
Inside show_caller(std::uint64_t record) {
    Inside in;
    std::fegetenv(&in.env);
    // (With the flags in software the call never left the caller's environment: no record of it.)
    if (record != 0 && tls_call_env != nullptr) {
        std::fexcept_t raised;
        std::fegetexceptflag(&raised, STICKY_FE);
        std::fesetenv(tls_call_env);
        std::fesetexceptflag(&raised, STICKY_FE);
    }
    return in;
}
void back_inside(const Inside& in) { std::fesetenv(&in.env); }
#elif defined(__aarch64__)
struct Inside {
    std::uint32_t control, status;
};
Inside show_caller(std::uint64_t record) {
    const Inside in{host_control_raw(), host_status_raw()};
    if (record != 0) host_control_write(static_cast<std::uint32_t>(record));
    return in;
}
void back_inside(const Inside& in) {
    host_control_write(in.control);
    host_status_write(in.status);
}
#else
struct Inside {
    std::uint32_t reg;
};
Inside show_caller(std::uint64_t record) {
    const Inside in{host_status_raw()};
    if (record != 0) {
        const std::uint32_t view = caller_with_flags(static_cast<std::uint32_t>(record), in.reg);
        if (view != in.reg) host_status_write(view);
    }
    return in;
}
void back_inside(const Inside& in) { host_status_write(in.reg); }
#endif

}  // namespace

void raise_service(FpExceptionCode code, report_t ra) {
    const std::uint32_t status = fp_status_code[code];
    const std::uint64_t record = tls_call;
#if defined(KALM_PORTABLE_FENV)
    const std::fenv_t* const record_env = tls_call_env;
#endif
    const Inside inside = show_caller(record);
    // The handler runs outside the call: library calls it makes are calls of their own.
    tls_call = 0;
    // A guest call ends here, with the caller's environment in place as for any
    // exception that leaves a call; the guest-call entry catches it.
    if (tls_guest_call) [[unlikely]]
        throw GuestRaise{code, ra};
#if defined(_WIN32)
    // The device's raise: the status code and no arguments. A handler that
    // continues execution makes RaiseException return; the call then goes on
    // as after a raise handler that returns.
    if (t_structured) {
        RaiseException(status, 0, 0, nullptr);
        tls_call = record;
#if defined(KALM_PORTABLE_FENV)
        tls_call_env = record_env;
#endif
        back_inside(inside);
        return;
    }
#endif
    if (kalm_raise_handler h = t_handler) {
        h(status, static_cast<int>(code), ra, t_handler_user);
        tls_call = record;
#if defined(KALM_PORTABLE_FENV)
        tls_call_env = record_env;
#endif
        back_inside(inside);
        return;
    }
    throw kalm::FpException(status, static_cast<kalm::FpCode>(code), ra, static_cast<int>(call_ordinal(record)));
}

// One exception per exit check or direct report, chosen by code and delivered
// only when the calling thread's control word leaves it unmasked.
f64 fp_raise(FpExceptionCode code, report_t ra, f64 r) {
    if (control_word() & fp_mask_bit[code]) [[likely]]
        return r;
    raise_service(code, ra);
    return r;  // a handler that returns continues as if masked
}

f32 fp_raise(FpExceptionCode code, report_t ra, f32 r) {
    if (control_word() & fp_mask_bit[code]) [[likely]]
        return r;
    raise_service(code, ra);
    return r;
}

}  // namespace kalm::lib

namespace kalm {

const char* status_name(std::uint32_t status) noexcept {
    switch (status) {
        case 0xC000008F: return "STATUS_FLOAT_INEXACT_RESULT";
        case 0xC0000093: return "STATUS_FLOAT_UNDERFLOW";
        case 0xC0000091: return "STATUS_FLOAT_OVERFLOW";
        case 0xC000008E: return "STATUS_FLOAT_DIVIDE_BY_ZERO";
        case 0xC0000090: return "STATUS_FLOAT_INVALID_OPERATION";
        default: return nullptr;
    }
}

FpException::FpException(std::uint32_t status, FpCode code, std::uintptr_t report_address, int ordinal) noexcept
    : status_(status), code_(code), address_(report_address), ordinal_(ordinal) {
    const char* n = status_name(status_);
    const kalm_export* e = kalm_export_by_ordinal(ordinal_);
    // The address in full on every host (long is 32 bits on 64-bit Windows).
    std::snprintf(what_, sizeof what_, "%s (0x%08X)%s%s, reported against %#" PRIxPTR,
                  n ? n : "floating-point exception", static_cast<unsigned>(status_), e ? " in " : "",
                  e ? e->name : "", address_);
}

const char* FpException::export_name() const noexcept {
    const kalm_export* e = kalm_export_by_ordinal(ordinal_);
    return e ? e->name : nullptr;
}

const char* FpException::what() const noexcept { return what_; }

}  // namespace kalm

using namespace kalm::lib;

extern "C" {

KALM_API uint32_t kalm_control_word(void) { return tls_control_word; }
KALM_API void kalm_set_control_word(uint32_t word) { tls_control_word = word; }

KALM_API uint32_t kalm_status(void) { return (t_status_other & ~STICKY_MASK) | read_sticky(); }
KALM_API void kalm_set_status(uint32_t word) {
    t_status_other = word & ~STICKY_MASK;
    write_sticky(word & STICKY_MASK);
}
KALM_API void kalm_clear_flags(void) { clear_sticky(); }

KALM_API int kalm_set_structured_exceptions(int enable) {
#if defined(_WIN32)
    t_structured = enable != 0;
    return KALM_OK;
#else
    (void)enable;
    return KALM_ERR_UNSUPPORTED;
#endif
}

KALM_API void kalm_set_raise_handler(kalm_raise_handler handler, void* user) {
    t_handler = handler;
    t_handler_user = handler ? user : nullptr;
}

}  // extern "C"
