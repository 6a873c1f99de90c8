/* SPDX-License-Identifier: MIT */
/* A C program, linked by the C compiler, that takes kalmlib's static library:
 * the library is C++ inside, so this links only if its link interface brings
 * the C++ runtime along. It also raises, so the throwing path is linked too. */
#include <kalmlib/kalmlib.h>
#include <string.h>

static int raised;

static void on_raise(uint32_t status, int code, uintptr_t where, void *user) {
    (void)code; (void)where; (void)user;
    raised = status == KALM_STATUS_FLOAT_INVALID_OPERATION;
}

int main(void) {
    const double r = kalm_sqrt(2.0);
    kalm_set_raise_handler(on_raise, NULL);
    kalm_set_control_word(KALM_MASK_ALL & ~KALM_MASK_INVALID);
    (void)kalm_sqrt(-1.0);
    kalm_set_control_word(KALM_MASK_ALL);
    return (r > 1.41421356 && r < 1.41421357 && raised && strcmp(kalm_version(), KALM_VERSION_STRING) == 0) ? 0 : 1;
}
