// SPDX-License-Identifier: MIT
// An emulator's view: resolve exports by name or ordinal, pass the device's
// argument words, and report exceptions against the device's return address.
#include <cinttypes>
#include <cstdio>
#include <kalmlib/kalmlib.hpp>

namespace {

// What a guest's call "BL fmod" with r0..r3 = words and lr = return address looks like.
int guest_call(const kalm_export* e, const uint32_t* regs, uint32_t lr, uint32_t* out) {
    try {
        return kalm_call(e->ordinal, regs, static_cast<size_t>(e->arg_words), out, 2, lr);
    } catch (const kalm::FpException& ex) {
        std::printf("  guest exception 0x%08" PRIX32 " at guest pc 0x%08" PRIxPTR "\n", ex.status_code(),
                    ex.report_address());
        return 1;
    }
}

}  // namespace

int main() {
    const kalm_export* fmod = kalm_export_by_name("fmod");
    const kalm_export* sqrt = kalm_export_by_ordinal(35);
    if (!fmod || !sqrt) return 1;
    std::printf("%s is ordinal %d, %s is ordinal %d\n", fmod->name, fmod->ordinal, sqrt->name, sqrt->ordinal);

    uint32_t out[2];
    const uint32_t args[4] = {0x00000000, 0x40160000, 0x00000000, 0x40000000};  // fmod(5.5, 2.0)
    guest_call(fmod, args, 0x00012344, out);
    std::printf("fmod(5.5, 2.0) -> r0=0x%08" PRIx32 " r1=0x%08" PRIx32 "\n", out[0], out[1]);

    kalm_set_control_word(KALM_MASK_ALL & ~KALM_MASK_INVALID);  // the guest unmasked invalid
    const uint32_t neg[2] = {0x00000000, 0xBFF00000};               // sqrt(-1.0)
    int rc = guest_call(sqrt, neg, 0x00012388, out);
    kalm_set_control_word(KALM_MASK_ALL);

    uint32_t none[1];
    if (kalm_call(999, none, 0, out, 2, 0) != KALM_ERR_NO_SUCH_EXPORT) return 1;
    if (kalm_call(fmod->ordinal, args, 3, out, 2, 0) != KALM_ERR_TOO_FEW_ARGS) return 1;
    return rc == 1 ? 0 : 1;
}
