/* SPDX-License-Identifier: MIT */
/* C: a per-thread raise handler instead of C++ exceptions. When the handler
 * returns, the call completes as if the exception were masked. */
#include <inttypes.h>
#include <kalmlib/kalmlib.h>
#include <stdio.h>

static int raised;

static void on_raise(uint32_t status, int code, uintptr_t where, void *user) {
    (void)user;
    ++raised;
    /* PRIxPTR: the whole address, also where long is 32 bits (64-bit Windows). */
    printf("raised 0x%08X (code %d) against %#" PRIxPTR "\n", (unsigned)status, code, where);
}

int main(void) {
    kalm_set_raise_handler(on_raise, NULL);
    kalm_set_control_word(KALM_MASK_ALL & ~(KALM_MASK_INEXACT | KALM_MASK_INVALID));
    double f = kalm_floor(2.5);  /* inexact */
    double s = kalm_sqrt(-4.0);  /* invalid: the default NaN comes back */
    printf("floor(2.5) = %g, sqrt(-4) = %g, %d raises\n", f, s, raised);
    kalm_set_raise_handler(NULL, NULL);
    kalm_set_control_word(KALM_MASK_ALL);
    return raised == 2 ? 0 : 1;
}
