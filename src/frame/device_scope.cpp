// SPDX-License-Identifier: MIT
// The device-environment scope of a thread (kalm_enter_device_env): the
// device's environment installed in the host register once, the caller's kept
// aside until the outermost scope is left, and the word the exports take
// instead of reading the register while it lasts (tls_scope, call_env.hpp).
//
// Everything here is per thread and nothing is allocated: a thread that ends
// inside a scope leaves nothing behind. The register is written before
// tls_scope is set and tls_scope cleared before the register is given back, so
// that a signal handler's call, at any point between, finds either no scope
// (and reads the register) or the scope with the register it promises.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "frame/frame.hpp"
#include "kalmlib/kalmlib.h"

namespace kalm::lib {

#if !(defined(_WIN32) && (defined(__x86_64__) || defined(_M_X64)))
KALM_TLS std::uint32_t tls_scope KALM_TLS_IE = 0;
#endif

namespace {

thread_local std::uint32_t t_depth = 0;  // scopes entered and not yet left
thread_local signed char t_checking = -1;  // KALM_DEVICE_ENV_CHECK, read at the thread's first scope

#if defined(KALM_PORTABLE_FENV)
thread_local std::fenv_t t_caller;
#else
thread_local std::uint32_t t_caller = 0;  // the register (AArch64: FPCR) at the outermost entry
#endif

bool checking() {
    if (t_checking < 0) {
        const char* v = std::getenv("KALM_DEVICE_ENV_CHECK");
        t_checking = (v != nullptr && v[0] != '\0' && !(v[0] == '0' && v[1] == '\0')) ? 1 : 0;
    }
    return t_checking == 1;
}

#if defined(KALM_PORTABLE_FENV)
constexpr const char* kRegisterName = "rounding mode";
std::uint32_t environment_word() { return static_cast<std::uint32_t>(std::fegetround()); }
bool in_device_environment() { return std::fegetround() == FE_TONEAREST; }
#elif defined(__aarch64__)
constexpr const char* kRegisterName = "FPCR";
std::uint32_t environment_word() { return host_control_raw(); }
bool in_device_environment() { return device_environment(host_control_raw()); }
#else
#if defined(__x86_64__)
constexpr const char* kRegisterName = "MXCSR";
#else
constexpr const char* kRegisterName = "FPSCR";
#endif
std::uint32_t environment_word() { return host_status_raw(); }
bool in_device_environment() { return device_environment(host_status_raw()); }
#endif

[[noreturn]] void broken_promise(const char* where, std::uint32_t found) {
    std::fprintf(stderr,
                 "kalmlib: %s inside a device-environment scope found %s 0x%08x, not the device's environment: "
                 "the program changed the floating-point environment inside the scope (KALM_DEVICE_ENV_CHECK)\n",
                 where, kRegisterName, static_cast<unsigned>(found));
    std::fflush(stderr);
    std::abort();
}

void check_promise(const char* where) {
    if (!in_device_environment()) broken_promise(where, environment_word());
}

// Installs the device's environment, the flags (sticky and host-only) kept,
// and returns the word the exports take inside the scope.
std::uint32_t install_device_environment() {
#if defined(KALM_PORTABLE_FENV)
    std::fegetenv(&t_caller);
    std::fexcept_t flags;
    std::fegetexceptflag(&flags, FE_ALL_EXCEPT);
    std::fesetenv(FE_DFL_ENV);
    std::fesetexceptflag(&flags, FE_ALL_EXCEPT);
    return SCOPE_ON;
#elif defined(__x86_64__)
    const std::uint32_t m = host_status_raw();
    t_caller = m;
    if (!device_environment(m)) host_status_write(DEVICE_CONTROL | (m & ~ENV_CONTROL_BITS));
    return SCOPE_ON | DEVICE_CONTROL | (m & HOST_ONLY_FLAGS) | HOST_MASK;
#elif defined(__aarch64__)
    t_caller = host_control_raw();
    if (t_caller != 0) host_control_write(0);
    return SCOPE_ON;
#else
    const std::uint32_t m = host_status_raw();
    t_caller = m;
    if (!device_environment(m)) host_status_write(m & ~ENV_CONTROL_BITS);
    return SCOPE_ON;
#endif
}

// The caller's environment back, with the flags as they are now.
void give_back_caller_environment() {
#if defined(KALM_PORTABLE_FENV)
    std::fexcept_t flags;
    std::fegetexceptflag(&flags, FE_ALL_EXCEPT);
    std::fesetenv(&t_caller);
    std::fesetexceptflag(&flags, FE_ALL_EXCEPT);
#elif defined(__aarch64__)
    if (t_caller != 0) host_control_write(t_caller);
#else
    const std::uint32_t now = host_status_raw();
    const std::uint32_t back = (t_caller & ENV_CONTROL_BITS) | (now & ~ENV_CONTROL_BITS);
    if (back != now) host_status_write(back);
#endif
}

}  // namespace

std::uint32_t checked_scope_register(std::uint32_t ordinal) {
#if defined(KALM_PORTABLE_FENV)
    (void)ordinal;
    return 0;
#else
#if defined(__aarch64__)
    const std::uint32_t m = host_control_raw();
#else
    const std::uint32_t m = host_status_raw();
#endif
    if (!device_environment(m)) [[unlikely]] {
        const kalm_export* e = kalm_export_by_ordinal(static_cast<int>(ordinal));
        char where[64];
        std::snprintf(where, sizeof where, "%s", e != nullptr ? e->name : "an export");
        broken_promise(where, m);
    }
    return m;
#endif
}

}  // namespace kalm::lib

using namespace kalm::lib;

extern "C" {

KALM_API int kalm_enter_device_env(void) {
    if (t_depth == UINT32_MAX) return KALM_ERR_SCOPE;
    if (t_depth++ != 0) {
        // Inside a scope the register already holds the device's environment.
        if (tls_scope & SCOPE_CHECKED) check_promise("kalm_enter_device_env");
        return KALM_OK;
    }
    const bool check = checking();
    const std::uint32_t word = install_device_environment();
    // A signal handler's call sees the register written before the scope.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    tls_scope = word | (check ? SCOPE_CHECKED : 0u);
    return KALM_OK;
}

KALM_API int kalm_leave_device_env(void) {
    if (t_depth == 0) return KALM_ERR_SCOPE;
    if (tls_scope & SCOPE_CHECKED) check_promise("kalm_leave_device_env");
    if (--t_depth != 0) return KALM_OK;
    tls_scope = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    give_back_caller_environment();
    return KALM_OK;
}

KALM_API unsigned kalm_device_env_depth(void) { return t_depth; }

}  // extern "C"
