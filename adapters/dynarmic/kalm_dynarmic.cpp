// SPDX-License-Identifier: MIT
#include "kalm_dynarmic.hpp"

namespace kalm::dynarmic {

namespace {
constexpr std::uint32_t ARM_BX_LR = 0xE12FFF1Eu;
constexpr std::uint32_t ARM_SVC = 0xEF000000u;  // svc #imm24, always
}  // namespace

Adapter::Adapter(std::uint32_t stub_base) noexcept : base_(stub_base) {
    page_.fill(ARM_BX_LR);
    for (int k = 1; k <= static_cast<int>(kalm_export_count()); ++k)
        page_[static_cast<std::size_t>(k) * (kStubStride / 4)] = ARM_SVC | (KALM_SVC_BASE + static_cast<std::uint32_t>(k));
}

std::uint32_t Adapter::stub(int ordinal) const noexcept {
    return kalm_export_by_ordinal(ordinal) ? base_ + kStubStride * static_cast<std::uint32_t>(ordinal) : 0u;
}

std::uint32_t Adapter::stub(const char* name) const noexcept {
    const kalm_export* e = kalm_export_by_name(name);
    return e ? stub(e->ordinal) : 0u;
}

bool Adapter::service(Dynarmic::A32::Jit& jit, std::uint32_t swi) noexcept {
    const int ordinal = static_cast<int>(swi - KALM_SVC_BASE);
    const kalm_export* e = swi >= KALM_SVC_BASE ? kalm_export_by_ordinal(ordinal) : nullptr;
    if (e == nullptr) return false;
    auto& r = jit.Regs();
    // Every export takes at most four words: r0-r3 hold them all.
    const std::uint32_t args[4] = {r[0], r[1], r[2], r[3]};
    const std::uint32_t lr = r[14];
    std::uint32_t res[2];
    kalm_guest_raise raise;
    const int rc = kalm_guest_call(ordinal, args, static_cast<std::size_t>(e->arg_words), res, 2, lr & ~1u,
                                   state_->control_word, &state_->status, &raise);
    ++calls_;
    if (rc == KALM_OK) {
        r[0] = res[0];
        if (e->result_words == 2) r[1] = res[1];
    } else if (rc == KALM_GUEST_RAISED) {
        last_raise_ = raise;
        const std::uint32_t where = raise.in_library ? 0u : raise.report_address;
        bool delivered = false;
        if (on_raise_) {
            try {
                on_raise_(jit, raise, where, (lr & 1u) != 0, user_);
                delivered = true;
            } catch (...) {
            }
        }
        if (!delivered) jit.HaltExecution(Dynarmic::HaltReason::UserDefined8);
    }
    return true;
}

}  // namespace kalm::dynarmic
