// SPDX-License-Identifier: MIT
// libFuzzer target: the Unicorn adapter driven by a random sequence of guest
// calls into its stub page (any stub or word of the page, random registers,
// ARM and Thumb callers, masked and unmasked control words), with a raise
// callback that returns, redirects the guest or stops the emulation. Each
// call must leave the registers the adapter does not own as they were, give
// the results, flags and raise of a direct kalm_guest_call, and count itself.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kalm_unicorn.h"

namespace {

constexpr uint32_t kStubs = 0x01F00000u;
constexpr uint32_t kCode = 0x00010000u;     // the callers' page: `b .` in ARM and in Thumb
constexpr uint32_t kRedirect = 0x00010800u; // where a redirecting callback sends the guest
constexpr int kKeep[] = {UC_ARM_REG_R4, UC_ARM_REG_R5,  UC_ARM_REG_R6,  UC_ARM_REG_R7, UC_ARM_REG_R8,
                         UC_ARM_REG_R9, UC_ARM_REG_R10, UC_ARM_REG_R11, UC_ARM_REG_R12, UC_ARM_REG_SP};

struct Seen {
    int calls = 0;
    kalm_guest_raise raise{};
    uint32_t at = 0;
    int thumb = -1;
    int action = 0;  // 0 return, 1 redirect, 2 stop
};

void on_raise(uc_engine* uc, const kalm_guest_raise* r, uint32_t at, int thumb, void* user) {
    auto* s = static_cast<Seen*>(user);
    ++s->calls;
    s->raise = *r;
    s->at = at;
    s->thumb = thumb;
    if (s->action == 1) {
        const uint32_t pc = kRedirect;
        uc_reg_write(uc, UC_ARM_REG_PC, &pc);
    } else if (s->action == 2) {
        uc_emu_stop(uc);
    }
}

struct Machine {
    uc_engine* uc = nullptr;
    kalm_uc* kalm = nullptr;
    Machine() {
        if (uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc) != UC_ERR_OK) __builtin_trap();
        kalm = kalm_uc_attach(uc, kStubs, nullptr);
        if (kalm == nullptr) __builtin_trap();
        uint32_t page[0x1000 / 4];
        for (auto& w : page) w = 0xE7FEE7FEu;  // Thumb `b .` twice
        for (unsigned i = 0; i < 0x400 / 4; ++i) page[i] = 0xEAFFFFFEu;  // ARM `b .` in the first quarter
        page[kRedirect / 4 % 0x400] = 0xEAFFFFFEu;
        if (uc_mem_map(uc, kCode, 0x1000, UC_PROT_READ | UC_PROT_EXEC) != UC_ERR_OK ||
            uc_mem_write(uc, kCode, page, sizeof page) != UC_ERR_OK)
            __builtin_trap();
    }
};

uint32_t word_at(const uint8_t* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Machine m;  // one engine for the whole run: attaching maps and hooks a page
    Seen seen;
    kalm_uc_set_raise_callback(m.kalm, &on_raise, &seen);
    kalm_uc_fp_state state = {0, KALM_MASK_ALL};
    kalm_uc_set_fp_state(m.kalm, &state);
    // One call: slot, mode/action/control, status, lr offset, then r0-r3 and r4.
    constexpr size_t kCall = 4 + 4 * 6;
    for (; size >= kCall; data += kCall, size -= kCall) {
        const uint32_t slot = data[0] % 64u;                 // a stub, an unknown ordinal, or a word between
        const bool between = (data[1] & 0x80u) != 0;
        const uint32_t target = kStubs + slot * KALM_UC_STUB_STRIDE + (between ? 4u : 0u);
        const bool thumb = (data[1] & 1u) != 0;
        seen.action = (data[1] >> 1) % 3;
        state.control_word = data[2] & KALM_MASK_ALL;
        state.status = word_at(data + 4);
        // The caller's return address: in the ARM quarter of its page or the Thumb rest.
        const uint32_t lr_to = thumb ? kCode + 0x400u + 2u * (data[3] % 0x100u) : kCode + 4u * (data[3] % 0x40u);
        const uint32_t lr = lr_to | (thumb ? 1u : 0u);
        uint32_t args[4];
        for (int i = 0; i < 4; ++i) args[i] = word_at(data + 8 + 4 * i);
        const int ordinal = static_cast<int>(slot);
        const kalm_export* e = between ? nullptr : kalm_export_by_ordinal(ordinal);
        if (e != nullptr && e->ordinal == 3) args[0] = static_cast<uint32_t>(static_cast<int32_t>(args[0]) % 4096);

        // The same call made directly, for what the adapter must give.
        uint32_t want_res[2] = {args[0], args[1]}, want_status = state.status;
        kalm_guest_raise want_raise{};
        const int want_rc = e == nullptr ? KALM_ERR_NO_SUCH_EXPORT
                                         : kalm_guest_call(ordinal, args, 4, want_res, 2, lr_to, state.control_word,
                                                           &want_status, &want_raise);

        const uint32_t regs_in[4] = {args[0], args[1], args[2], args[3]};
        const int arg_regs[4] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3};
        for (int i = 0; i < 4; ++i) uc_reg_write(m.uc, arg_regs[i], &regs_in[i]);
        uint32_t keep[10];
        for (int i = 0; i < 10; ++i) {
            keep[i] = word_at(data + 24) * 2654435761u + static_cast<uint32_t>(i);
            if (kKeep[i] == UC_ARM_REG_SP) keep[i] &= ~7u;
            uc_reg_write(m.uc, kKeep[i], &keep[i]);
        }
        uc_reg_write(m.uc, UC_ARM_REG_LR, &lr);
        const uint64_t calls_before = kalm_uc_calls(m.kalm);
        const int calls_raised = seen.calls;
        // Until the return address, or a few instructions of `b .` after a redirect.
        uc_emu_start(m.uc, target, lr_to, 0, 4);

        if (e == nullptr) {
            if (kalm_uc_calls(m.kalm) != calls_before) __builtin_trap();
            continue;
        }
        if (kalm_uc_calls(m.kalm) != calls_before + 1) __builtin_trap();
        uint32_t r[4], k[10];
        for (int i = 0; i < 4; ++i) uc_reg_read(m.uc, arg_regs[i], &r[i]);
        for (int i = 0; i < 10; ++i) uc_reg_read(m.uc, kKeep[i], &k[i]);
        if (std::memcmp(k, keep, sizeof k) != 0) __builtin_trap();
        if (r[2] != regs_in[2] || r[3] != regs_in[3]) __builtin_trap();
        if (state.status != want_status) __builtin_trap();
        if (want_rc == KALM_OK) {
            if (seen.calls != calls_raised) __builtin_trap();
            if (r[0] != want_res[0] || (e->result_words == 2 ? r[1] != want_res[1] : r[1] != regs_in[1]))
                __builtin_trap();
        } else {
            if (want_rc != KALM_GUEST_RAISED || seen.calls != calls_raised + 1) __builtin_trap();
            // No result: r0 and r1 keep what the guest had in them.
            if (r[0] != regs_in[0] || r[1] != regs_in[1]) __builtin_trap();
            if (std::memcmp(&seen.raise, &want_raise, offsetof(kalm_guest_raise, host_address)) != 0)
                __builtin_trap();
            if (seen.thumb != (thumb ? 1 : 0) || seen.at != (want_raise.in_library ? 0u : lr_to)) __builtin_trap();
        }
    }
    return 0;
}
