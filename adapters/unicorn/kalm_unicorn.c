/* SPDX-License-Identifier: MIT */
/* kalmlib for Unicorn: a page of `bx lr` stubs and a code hook on it. */
#include "kalm_unicorn.h"

#include <stdlib.h>

#define STUB_PAGE 0x1000u
#define ARM_BX_LR 0xE12FFF1Eu
#define MAX_WORDS 4u /* the widest export takes four words: all in r0-r3 */

struct kalm_uc {
    uc_engine *uc;
    uint32_t base;
    uc_hook hook;
    kalm_uc_fp_state own;
    kalm_uc_fp_state *state;
    kalm_uc_raise_fn on_raise;
    void *user;
    uint64_t calls;
};

static const int kArgRegs[MAX_WORDS] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3};

static void on_stub(uc_engine *uc, uint64_t address, uint32_t size, void *user) {
    kalm_uc *a = (kalm_uc *)user;
    (void)size;
    const int ordinal = (int)((address - a->base) / KALM_UC_STUB_STRIDE);
    const kalm_export *e = kalm_export_by_ordinal(ordinal);
    if (e == NULL || (address & (KALM_UC_STUB_STRIDE - 1u)) != 0) return; /* the page's other words */
    uint32_t args[MAX_WORDS] = {0, 0, 0, 0};
    void *ptrs[MAX_WORDS] = {&args[0], &args[1], &args[2], &args[3]};
    uint32_t lr = 0, res[2];
    uc_reg_read_batch(uc, (int *)kArgRegs, ptrs, e->arg_words);
    uc_reg_read(uc, UC_ARM_REG_LR, &lr);
    kalm_guest_raise raise;
    const uint32_t ra = lr & ~1u;
    const int rc = kalm_guest_call(ordinal, args, (size_t)e->arg_words, res, 2, ra, a->state->control_word,
                                   &a->state->status, &raise);
    a->calls++;
    if (rc == KALM_OK) {
        uc_reg_write(uc, UC_ARM_REG_R0, &res[0]);
        if (e->result_words == 2) uc_reg_write(uc, UC_ARM_REG_R1, &res[1]);
    } else if (rc == KALM_GUEST_RAISED) {
        if (a->on_raise != NULL)
            a->on_raise(uc, &raise, raise.in_library ? 0u : raise.report_address, (int)(lr & 1u), a->user);
        else
            uc_emu_stop(uc);
    }
}

kalm_uc *kalm_uc_attach(uc_engine *uc, uint32_t stub_base, uc_err *err) {
    uc_err e = UC_ERR_ARG;
    kalm_uc *a = NULL;
    uint32_t page[STUB_PAGE / 4];
    if (uc == NULL || (stub_base & (STUB_PAGE - 1u)) != 0) goto fail;
    a = (kalm_uc *)calloc(1, sizeof *a);
    if (a == NULL) {
        e = UC_ERR_NOMEM;
        goto fail;
    }
    a->uc = uc;
    a->base = stub_base;
    a->own.control_word = KALM_MASK_ALL;
    a->state = &a->own;
    for (unsigned i = 0; i < STUB_PAGE / 4; ++i) page[i] = ARM_BX_LR;
    if ((e = uc_mem_map(uc, stub_base, STUB_PAGE, UC_PROT_READ | UC_PROT_EXEC)) != UC_ERR_OK) goto fail;
    if ((e = uc_mem_write(uc, stub_base, page, sizeof page)) != UC_ERR_OK) goto unmap;
    /* Only the stubs are instrumented: the hook's range is the page. */
    if ((e = uc_hook_add(uc, &a->hook, UC_HOOK_CODE, (void *)on_stub, a, stub_base, stub_base + STUB_PAGE - 1u)) !=
        UC_ERR_OK)
        goto unmap;
    return a;
unmap:
    uc_mem_unmap(uc, stub_base, STUB_PAGE);
fail:
    free(a);
    if (err != NULL) *err = e;
    return NULL;
}

void kalm_uc_detach(kalm_uc *a) {
    if (a == NULL) return;
    uc_hook_del(a->uc, a->hook);
    uc_mem_unmap(a->uc, a->base, STUB_PAGE);
    free(a);
}

uint32_t kalm_uc_stub(const kalm_uc *a, int ordinal) {
    return kalm_export_by_ordinal(ordinal) != NULL ? a->base + KALM_UC_STUB_STRIDE * (uint32_t)ordinal : 0u;
}

uint32_t kalm_uc_stub_by_name(const kalm_uc *a, const char *name) {
    const kalm_export *e = kalm_export_by_name(name);
    return e != NULL ? kalm_uc_stub(a, e->ordinal) : 0u;
}

void kalm_uc_set_raise_callback(kalm_uc *a, kalm_uc_raise_fn fn, void *user) {
    a->on_raise = fn;
    a->user = user;
}

void kalm_uc_set_fp_state(kalm_uc *a, kalm_uc_fp_state *state) { a->state = state != NULL ? state : &a->own; }
kalm_uc_fp_state *kalm_uc_get_fp_state(kalm_uc *a) { return a->state; }
uint64_t kalm_uc_calls(const kalm_uc *a) { return a->calls; }
