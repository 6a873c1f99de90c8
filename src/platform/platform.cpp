// Per-thread floating-point environment standing in for the device's system
// library: the control word (exception masks, default all masked), the bits
// of the status register that are not sticky flags, and the raise service.
#include <cstdio>

#include "frame/frame.hpp"
#include "kalmlib/kalmlib.hpp"

namespace kalm::lib {
namespace {

thread_local std::uint32_t t_status_other = 0u;  // every status bit but 0, 2, 3, 4
thread_local kalm_raise_handler t_handler = nullptr;
thread_local void* t_handler_user = nullptr;

}  // namespace

__thread std::uint32_t tls_control_word __attribute__((tls_model("initial-exec"))) = 0x1Fu;

void raise_service(FpExceptionCode code, report_t ra) {
    const std::uint32_t status = fp_status_code[code];
    if (kalm_raise_handler h = t_handler) {
        h(status, static_cast<int>(code), ra, t_handler_user);
        return;
    }
    throw kalm::FpException(status, static_cast<kalm::FpCode>(code), ra);
}

double copy_sign(double a, double b) {
    return from_bits((bits(a) & 0x7FFFFFFFFFFFFFFFull) | (bits(b) & 0x8000000000000000ull));
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

const char* FpException::what() const noexcept {
    const char* n = status_name(status_);
    return n ? n : "floating-point exception";
}

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

KALM_API void kalm_set_raise_handler(kalm_raise_handler handler, void* user) {
    t_handler = handler;
    t_handler_user = handler ? user : nullptr;
}

}  // extern "C"
