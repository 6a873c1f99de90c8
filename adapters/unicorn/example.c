/* SPDX-License-Identifier: MIT */
/* The README's lines for an emulator author, runnable: a few words of ARM code
 * call sin(1.5) and then sqrt(-1) with invalid unmasked through the stubs.
 * Exit 0 when the guest got kalm_sin's bits and the exception was reported
 * against the guest's return address. */
#include <stdio.h>
#include <string.h>

#include <kalm_unicorn.h>

static uint32_t reported_at = 0, reported_status = 0;

/* An unmasked floating-point exception of the guest: hand status_code to the guest's exception
 * dispatcher, raised at `at`, the guest's return address (Thumb bit cleared; `thumb` tells the
 * caller's state). at == 0: reported inside the library, at the call of r->internal_call made
 * by export r->ordinal: map the pair into your image of the DLL. Returning resumes at lr. */
static void on_fp_exception(uc_engine *uc, const kalm_guest_raise *r, uint32_t at, int thumb, void *user) {
    (void)uc; (void)thumb; (void)user;
    reported_at = at;
    reported_status = r->status_code;
}

int main(void) {
    uc_engine *uc;
    uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc);
    uc_ctl_set_cpu_model(uc, UC_CPU_ARM_TI925T);            /* an ARMv4T; before any mapping */
    kalm_uc *kalm = kalm_uc_attach(uc, 0x01F00000, NULL);   /* maps and hooks one page of stubs */
    kalm_uc_set_raise_callback(kalm, on_fp_exception, NULL);
    uint32_t sin_import = kalm_uc_stub_by_name(kalm, "sin"); /* or kalm_uc_stub(kalm, 31): bind imports */
    kalm_uc_fp_state thread_fp = {0, KALM_MASK_ALL};        /* one per guest thread: status, control word */
    kalm_uc_set_fp_state(kalm, &thread_fp);                 /* at every guest thread switch */
    /* the emulator's COREDLL _controlfp/_statusfp/_clearfp read and write thread_fp */

    /* The guest: r0:r1 = x (low word first), call the import, stop at 0x10014. */
    uint32_t code[] = {
        0xE59F1010u, /* ldr r1, [pc, #16]   high word of x */
        0xE59F0010u, /* ldr r0, [pc, #16]   low word of x */
        0xE59F3010u, /* ldr r3, [pc, #16]   the import */
        0xE1A0E00Fu, /* mov lr, pc          return to 0x10014 */
        0xE12FFF13u, /* bx r3 */
        0xEAFFFFFEu, /* b . */
        0x3FF80000u, /* x = 1.5 */
        0x00000000u,
        sin_import,
    };
    uint32_t r0 = 0, r1 = 0;
    int ok = kalm != NULL;
    ok = ok && uc_mem_map(uc, 0x10000, 0x1000, UC_PROT_READ | UC_PROT_EXEC) == UC_ERR_OK;
    ok = ok && uc_mem_write(uc, 0x10000, code, sizeof code) == UC_ERR_OK;
    ok = ok && uc_emu_start(uc, 0x10000, 0x10014, 0, 0) == UC_ERR_OK;
    uc_reg_read(uc, UC_ARM_REG_R0, &r0);
    uc_reg_read(uc, UC_ARM_REG_R1, &r1);
    const double want = kalm_sin(1.5);
    uint64_t want_bits;
    memcpy(&want_bits, &want, sizeof want_bits);
    ok = ok && r0 == (uint32_t)want_bits && r1 == (uint32_t)(want_bits >> 32);
    printf("guest sin(1.5) = 0x%08X%08X, flags %02X\n", (unsigned)r1, (unsigned)r0, (unsigned)(thread_fp.status & 0x1Du));

    /* sqrt(-1) with invalid unmasked: reported against the guest's return address. */
    code[6] = 0xBFF00000u;
    code[8] = kalm_uc_stub_by_name(kalm, "sqrt");
    thread_fp.control_word = KALM_MASK_ALL & ~KALM_MASK_INVALID;
    ok = ok && uc_mem_write(uc, 0x10000, code, sizeof code) == UC_ERR_OK;
    ok = ok && uc_emu_start(uc, 0x10000, 0x10014, 0, 0) == UC_ERR_OK;
    printf("guest sqrt(-1): exception 0x%08X at 0x%08X\n", (unsigned)reported_status, (unsigned)reported_at);
    ok = ok && reported_status == KALM_STATUS_FLOAT_INVALID_OPERATION && reported_at == 0x10014u;

    kalm_uc_detach(kalm);
    uc_close(uc);
    return ok ? 0 : 1;
}
