/* SPDX-License-Identifier: MIT */
/* A static program (which no preload reaches) whose calls of sin and tanh go
 * to the replacement library through -Wl,--wrap=sin,--wrap=tanh, linked with
 * -lm ahead of the replacement: the calls name __wrap_sin and __wrap_tanh,
 * which only the replacement defines, wherever the archives stand. */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "kalmlib/kalmlib.h"

static uint64_t bits(double x) {
    uint64_t b;
    memcpy(&b, &x, sizeof b);
    return b;
}

int main(void) {
    volatile double minus_zero = -0.0, x = 0x1.921fbffffffffp-1;  /* sin.txt: the host rounds the other way */
    const uint64_t t = bits(tanh(minus_zero));  /* the device keeps no negative zero here */
    const uint64_t s = bits(sin(x)), k = bits(kalm_sin(x));
    printf("tanh(-0) = %016llx, sin(%a) = %016llx (kalm_sin %016llx)\n", (unsigned long long)t, x,
           (unsigned long long)s, (unsigned long long)k);
    return (t == 0 && s == k && s == 0x3fe6a09edfee58baull) ? 0 : 1;
}
