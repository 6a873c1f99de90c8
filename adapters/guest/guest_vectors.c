/* SPDX-License-Identifier: MIT */
/* Guest side of the conformance run: ARM code built for the device's calling
 * convention, which calls one export per job through its stub address, with
 * one typed caller per signature, so that the compiler places the argument
 * words as the device's applications did. The host fills a job, calls
 * run_job(job) and reads the result back. Freestanding: no library at all. */
#include <stdint.h>

typedef double (*fn_d_d)(double);
typedef double (*fn_dd_d)(double, double);
typedef double (*fn_id_d)(int, double);
typedef float (*fn_f_f)(float);
typedef float (*fn_ff_f)(float, float);

/* Signature kinds as kalmlib.h numbers them. */
enum { SIG_D_D = 1, SIG_DD_D = 2, SIG_ID_D = 3, SIG_F_F = 4, SIG_FF_F = 5 };

struct job {
    uint32_t fn;  /* the export's stub */
    uint32_t sig;
    uint32_t args[4];
    uint32_t result[2];
};

union dw {
    double d;
    uint32_t w[2];
};
union fw {
    float f;
    uint32_t w;
};

static double d_at(const volatile uint32_t *w) {
    union dw u;
    u.w[0] = w[0];
    u.w[1] = w[1];
    return u.d;
}
static float f_at(const volatile uint32_t *w) {
    union fw u;
    u.w = w[0];
    return u.f;
}
static void put_d(volatile uint32_t *w, double d) {
    union dw u;
    u.d = d;
    w[0] = u.w[0];
    w[1] = u.w[1];
}
static void put_f(volatile uint32_t *w, float f) {
    union fw u;
    u.f = f;
    w[0] = u.w;
}

void run_job(volatile struct job *j) {
    switch (j->sig) {
        case SIG_D_D: put_d(j->result, ((fn_d_d)j->fn)(d_at(j->args))); break;
        case SIG_DD_D: put_d(j->result, ((fn_dd_d)j->fn)(d_at(j->args), d_at(j->args + 2))); break;
        case SIG_ID_D: put_d(j->result, ((fn_id_d)j->fn)((int)j->args[0], d_at(j->args + 1))); break;
        case SIG_F_F: put_f(j->result, ((fn_f_f)j->fn)(f_at(j->args))); break;
        case SIG_FF_F: put_f(j->result, ((fn_ff_f)j->fn)(f_at(j->args), f_at(j->args + 1))); break;
        default: break;
    }
}

/* The same job n times: the adapters' calls per second. */
void run_loop(volatile struct job *j, uint32_t n) {
    while (n-- != 0) run_job(j);
}

/* Guest functions of the exports' signatures that return at once: the same
 * loop through them is the emulator's own share of a call. */
__attribute__((noinline)) double guest_return_d(double x) { return x; }
__attribute__((noinline)) double guest_return_dd(double x, double y) { (void)y; return x; }

/* The host finds its entry points here, at the start of the image. */
__attribute__((section(".entry"), used)) const uint32_t guest_entries[] = {
    (uint32_t)&run_job, (uint32_t)&run_loop, (uint32_t)&guest_return_d, (uint32_t)&guest_return_dd};
