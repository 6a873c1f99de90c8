// SPDX-License-Identifier: MIT
// kalmlib for dynarmic (A32): the 40 exports as a page of guest code.
//
// The stub of the export with ordinal k sits at base + 8*k (the Unicorn
// adapter's layout): `svc #(KALM_SVC_BASE + k)` then `bx lr`. The emulator maps
// stub_page() at stub_base() and hands every SVC to service() from its
// UserCallbacks::CallSVC; service() takes the argument words from r0-r3,
// calls the export with kalm_guest_call, writes r0 (and r1 for a double) and
// returns true, after which the stub's `bx lr` returns to the guest. SVC
// numbers outside the library's range return false: they are the emulator's.
//
//     void CallSVC(std::uint32_t swi) override {
//         if (kalm.service(*jit, swi)) return;
//         ... the emulator's own system calls ...
//     }
//
// Each guest thread has a floating-point status word and control word
// (FpState: status 0, control word 0x1F, everything masked, to begin with);
// point the adapter at the running thread's with set_fp_state() when switching
// guest threads. An unmasked exception goes to the raise callback with the
// address the device reports it against: the caller's lr with the Thumb bit
// cleared (a Thumb caller reaches the ARM stubs with BX/BLX through a register
// and its lr has bit 0 set; the callback is told), or 0 for a report inside
// the library, which the emulator maps from (raise.ordinal,
// raise.internal_call) into its image of the device library. The callback may
// redirect the guest (write pc, HaltExecution); if it does not, the guest goes
// on at its return address with r0/r1 as they were. Without a callback, or if
// the callback throws (nothing may unwind through JIT code), the adapter halts
// the JIT with HaltReason::UserDefined8 and keeps the raise in last_raise().
// Nothing here throws.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <dynarmic/interface/A32/a32.h>

#include "kalmlib/kalmlib.h"

namespace kalm::dynarmic {

inline constexpr std::uint32_t KALM_SVC_BASE = 0x00CA1000u;  // svc #(base + ordinal)
inline constexpr std::uint32_t kStubStride = 8;
inline constexpr std::uint32_t kStubPage = 0x1000;

struct FpState {
    std::uint32_t status = 0;                  // sticky flags 0x01, 0x04, 0x08, 0x10; other bits kept
    std::uint32_t control_word = KALM_MASK_ALL;
};

class Adapter {
public:
    using RaiseFn = void (*)(Dynarmic::A32::Jit& jit, const kalm_guest_raise& raise, std::uint32_t guest_address,
                             bool thumb, void* user);

    explicit Adapter(std::uint32_t stub_base) noexcept;

    std::uint32_t stub_base() const noexcept { return base_; }
    // The page to map (read and execute) at stub_base(), little-endian words.
    const std::array<std::uint32_t, kStubPage / 4>& stub_page() const noexcept { return page_; }
    std::uint32_t stub(int ordinal) const noexcept;       // 0 for an unknown ordinal
    std::uint32_t stub(const char* name) const noexcept;  // 0 for an unknown name

    // From UserCallbacks::CallSVC: true when `swi` was a library call.
    bool service(Dynarmic::A32::Jit& jit, std::uint32_t swi) noexcept;

    void set_raise_callback(RaiseFn fn, void* user) noexcept {
        on_raise_ = fn;
        user_ = user;
    }
    void set_fp_state(FpState* s) noexcept { state_ = s ? s : &own_; }
    FpState& fp_state() noexcept { return *state_; }
    const std::optional<kalm_guest_raise>& last_raise() const noexcept { return last_raise_; }
    std::uint64_t calls() const noexcept { return calls_; }

private:
    std::uint32_t base_;
    std::array<std::uint32_t, kStubPage / 4> page_{};
    FpState own_;
    FpState* state_ = &own_;
    RaiseFn on_raise_ = nullptr;
    void* user_ = nullptr;
    std::optional<kalm_guest_raise> last_raise_;
    std::uint64_t calls_ = 0;
};

}  // namespace kalm::dynarmic
