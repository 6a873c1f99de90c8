// SPDX-License-Identifier: MIT
// kalm_calls_bench RANGES [MS]: nanoseconds per call of each export through
// its C entry, over 4096 arguments drawn uniformly from the export's range in
// RANGES (bench/calls/ranges.txt), each export timed for about MS
// milliseconds (default 200), best of three. The same program builds natively
// and for WebAssembly (node), so the two columns of docs/wasm.md time the same
// calls on the same arguments.  Output: NAME NS, one line per export.
#include <kalmlib/kalmlib.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { N = 4096 };
static double xs[N], ys[N];
static float xf[N], yf[N];
static volatile double sink_d;
static volatile float sink_f;

static double now_ns(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e9 + (double)t.tv_nsec;
}

// The same generator as js/bench.js: 53-bit fractions of a 64-bit LCG.
static uint64_t seed = 1;
static double uniform(double lo, double hi) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return lo + (hi - lo) * ((double)(seed >> 11) * 0x1p-53);
}

typedef struct {
    const char *name;
    double (*d_d)(double);
    double (*dd_d)(double, double);
    double (*id_d)(int, double);
    float (*f_f)(float);
    float (*ff_f)(float, float);
} entry;

#define D(n) {#n, kalm_##n, 0, 0, 0, 0}
#define DD(n) {#n, 0, kalm_##n, 0, 0, 0}
#define F(n) {#n, 0, 0, 0, kalm_##n, 0}
#define FF(n) {#n, 0, 0, 0, 0, kalm_##n}
static const entry entries[] = {
    {"_y0", kalm_y0, 0, 0, 0, 0}, {"_y1", kalm_y1, 0, 0, 0, 0}, {"_yn", 0, 0, kalm_yn, 0, 0},
    D(acos), F(acosf), D(asin), F(asinf), D(atan), DD(atan2), FF(atan2f), F(atanf), D(ceil), F(ceilf),
    D(cos), F(cosf), D(cosh), F(coshf), D(exp), F(expf), F(fabsf), D(floor), F(floorf), DD(fmod), FF(fmodf),
    D(log), D(log10), F(log10f), F(logf), DD(pow), FF(powf), D(sin), F(sinf), D(sinh), F(sinhf),
    D(sqrt), F(sqrtf), D(tan), F(tanf), D(tanh), F(tanhf),
};

static double run(const entry *e, int n, long reps) {
    const double t0 = now_ns();
    for (long r = 0; r < reps; r++) {
        if (e->d_d) for (int i = 0; i < N; i++) sink_d = e->d_d(xs[i]);
        else if (e->dd_d) for (int i = 0; i < N; i++) sink_d = e->dd_d(xs[i], ys[i]);
        else if (e->id_d) for (int i = 0; i < N; i++) sink_d = e->id_d(n, xs[i]);
        else if (e->f_f) for (int i = 0; i < N; i++) sink_f = e->f_f(xf[i]);
        else for (int i = 0; i < N; i++) sink_f = e->ff_f(xf[i], yf[i]);
    }
    return (now_ns() - t0) / ((double)reps * N);
}

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: kalm_calls_bench RANGES [MS]\n");
        return 2;
    }
    const double budget = (argc > 2 ? atof(argv[2]) : 200.0) * 1e6;
    FILE *f = fopen(argv[1], "r");
    if (!f) {
        fprintf(stderr, "kalm_calls_bench: cannot read %s\n", argv[1]);
        return 3;
    }
    kalm_set_control_word(KALM_MASK_ALL);
    char line[256];
    while (fgets(line, sizeof line, f)) {
        char name[32];
        double lo, hi, ylo = 0, yhi = 0;
        if (line[0] == '#') continue;
        const int got = sscanf(line, "%31s %lf %lf %lf %lf", name, &lo, &hi, &ylo, &yhi);
        if (got < 3) continue;
        const entry *e = NULL;
        for (size_t k = 0; k < sizeof entries / sizeof entries[0]; k++)
            if (strcmp(entries[k].name, name) == 0) e = &entries[k];
        if (!e) {
            fprintf(stderr, "kalm_calls_bench: no export %s\n", name);
            return 2;
        }
        for (int i = 0; i < N; i++) {
            xs[i] = uniform(lo, hi);
            ys[i] = got >= 5 ? uniform(ylo, yhi) : 0.0;
            xf[i] = (float)xs[i];
            yf[i] = (float)ys[i];
        }
        long reps = 1;
        while (run(e, (int)ylo, reps) * (double)reps * N < budget / 10) reps *= 2;
        double best = 1e300;
        for (int k = 0; k < 3; k++) {
            const double ns = run(e, (int)ylo, reps * 3);
            if (ns < best) best = ns;
        }
        printf("%s %.2f\n", name, best);
    }
    fclose(f);
    return 0;
}
