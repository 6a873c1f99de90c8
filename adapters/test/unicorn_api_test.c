/* SPDX-License-Identifier: MIT */
/* The Unicorn adapter's edges: a base that is not page-aligned or already
 * mapped is refused with Unicorn's error; unknown ordinals and names bind to
 * nothing; a guest thread's state switch takes effect; an unmasked exception
 * without a callback stops the emulation where it was raised, as an unhandled
 * exception ended the device's program. Exit 0 when all hold. */
#include <stdio.h>

#include "kalm_unicorn.h"

static int failures = 0;
#define CHECK(c)                                              \
    do {                                                      \
        if (!(c)) {                                           \
            printf("%s:%d: failed: %s\n", __FILE__, __LINE__, #c); \
            ++failures;                                       \
        }                                                     \
    } while (0)

int main(void) {
    uc_engine *uc;
    uc_err err = UC_ERR_OK;
    CHECK(uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc) == UC_ERR_OK);
    CHECK(uc_ctl_set_cpu_model(uc, UC_CPU_ARM_TI925T) == UC_ERR_OK);

    CHECK(kalm_uc_attach(uc, 0x01F00004u, &err) == NULL && err == UC_ERR_ARG);
    CHECK(uc_mem_map(uc, 0x01E00000u, 0x1000, UC_PROT_ALL) == UC_ERR_OK);
    err = UC_ERR_OK;
    CHECK(kalm_uc_attach(uc, 0x01E00000u, &err) == NULL && err == UC_ERR_MAP);

    kalm_uc *a = kalm_uc_attach(uc, 0x01F00000u, &err);
    CHECK(a != NULL);
    if (a == NULL) return 1;
    CHECK(kalm_uc_stub(a, 0) == 0 && kalm_uc_stub(a, 41) == 0 && kalm_uc_stub(a, -1) == 0);
    CHECK(kalm_uc_stub(a, 1) == 0x01F00008u && kalm_uc_stub(a, 40) == 0x01F00140u);
    CHECK(kalm_uc_stub_by_name(a, "sqrt") == kalm_uc_stub(a, 35));
    CHECK(kalm_uc_stub_by_name(a, "nosuch") == 0 && kalm_uc_stub_by_name(a, NULL) == 0);

    /* r0:r1 = -1.0, call sqrt, stop at 0x10010. */
    const uint32_t code[] = {
        0xE59F300Cu, /* ldr r3, [pc, #12]: the stub */
        0xE1A0E00Fu, /* mov lr, pc */
        0xE12FFF13u, /* bx r3 */
        0xEAFFFFFEu, /* b . (0x1000C) */
        0xEAFFFFFEu, /* b . (0x10010) */
        kalm_uc_stub(a, 35),
    };
    uint32_t r0 = 0, r1 = 0xBFF00000u, pc = 0;
    CHECK(uc_mem_map(uc, 0x10000, 0x1000, UC_PROT_READ | UC_PROT_EXEC) == UC_ERR_OK);
    CHECK(uc_mem_write(uc, 0x10000, code, sizeof code) == UC_ERR_OK);

    /* Another guest thread's state: invalid unmasked. No callback: the run stops at the stub. */
    kalm_uc_fp_state other = {0x12340000u, KALM_MASK_ALL & ~KALM_MASK_INVALID};
    kalm_uc_set_fp_state(a, &other);
    CHECK(kalm_uc_get_fp_state(a) == &other);
    uc_reg_write(uc, UC_ARM_REG_R0, &r0);
    uc_reg_write(uc, UC_ARM_REG_R1, &r1);
    CHECK(uc_emu_start(uc, 0x10000, 0x1000C, 0, 0) == UC_ERR_OK);
    uc_reg_read(uc, UC_ARM_REG_PC, &pc);
    CHECK(pc == kalm_uc_stub(a, 35));
    CHECK(other.status == 0x12340000u); /* a direct raise sets no flag; other bits kept */
    CHECK(kalm_uc_calls(a) == 1);

    /* Back to the adapter's own state (everything masked): the NaN comes back. */
    kalm_uc_set_fp_state(a, NULL);
    CHECK(kalm_uc_get_fp_state(a)->control_word == KALM_MASK_ALL);
    uc_reg_write(uc, UC_ARM_REG_R0, &r0);
    uc_reg_write(uc, UC_ARM_REG_R1, &r1);
    CHECK(uc_emu_start(uc, 0x10000, 0x1000C, 0, 0) == UC_ERR_OK);
    uc_reg_read(uc, UC_ARM_REG_PC, &pc);
    uc_reg_read(uc, UC_ARM_REG_R0, &r0);
    uc_reg_read(uc, UC_ARM_REG_R1, &r1);
    CHECK(pc == 0x1000Cu && r0 == 0 && r1 == 0xFFF80000u);

    kalm_uc_detach(a);
    uc_close(uc);
    printf("unicorn adapter: %d failures\n", failures);
    return failures == 0 ? 0 : 1;
}
