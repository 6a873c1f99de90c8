// SPDX-License-Identifier: MIT
// The speed of the batch entries (kalm bench --batch): nanoseconds per
// element over an array of the export's usual inputs, for the batch entry on
// each instruction set this CPU runs, the scalar export in a loop, the host
// libm's scalar function in a loop and, where glibc's libmvec has the function,
// its AVX-512 and AVX2 entries (found with dlopen/dlsym); every column timed in
// turn within each repetition, so that a busy machine slows all alike, and
// timed by the thread's CPU clock.
#include "batch_bench.hpp"

#include <dlfcn.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <functional>

#include "abi/export_list.hpp"

namespace kalmtool {
namespace {

#define KALM_BATCH_ENTRY_ROW(name, stem, sig, kind) reinterpret_cast<VoidFn>(&kalm_batch_##stem),
const VoidFn kBatchEntries[] = {KALM_EXPORT_LIST(KALM_BATCH_ENTRY_ROW)};
#undef KALM_BATCH_ENTRY_ROW

constexpr std::size_t kElements = 4096;  // 32 KiB of doubles: in L1/L2 with the results

struct Data {
    std::vector<double> x, b, y;
    std::vector<float> fx, fb, fy;
    int order = 0;
};

Data make_data(const Function& f) {
    Data d;
    std::uint64_t state = mix64(hash_name(f.name) ^ 0xba7c4ull);
    for (std::size_t i = 0; i < kElements; ++i) {
        const Input in = draw(f.bench, f.single, state);
        d.x.push_back(in.x);
        d.b.push_back(in.y);
        d.fx.push_back(static_cast<float>(in.x));
        d.fb.push_back(static_cast<float>(in.y));
        if (i == 0) d.order = in.n;
    }
    d.y.resize(kElements);
    d.fy.resize(kElements);
    return d;
}

// ---- libmvec ---------------------------------------------------------------

#if defined(__x86_64__)
#define KALM_MVEC_512 __attribute__((target("avx512f")))
#define KALM_MVEC_256 __attribute__((target("avx2")))
using V8d = __m512d (*)(__m512d);
using V8dd = __m512d (*)(__m512d, __m512d);
using V16f = __m512 (*)(__m512);
using V16ff = __m512 (*)(__m512, __m512);
using V4d = __m256d (*)(__m256d);
using V4dd = __m256d (*)(__m256d, __m256d);
using V8f = __m256 (*)(__m256);
using V8ff = __m256 (*)(__m256, __m256);

KALM_MVEC_512 void mvec512(void* fn, const Function& f, Data& d) {
    for (std::size_t i = 0; i + 16 <= kElements; i += 16) {
        if (f.signature == KALM_SIG_D_D) {
            _mm512_storeu_pd(&d.y[i], reinterpret_cast<V8d>(fn)(_mm512_loadu_pd(&d.x[i])));
            _mm512_storeu_pd(&d.y[i + 8], reinterpret_cast<V8d>(fn)(_mm512_loadu_pd(&d.x[i + 8])));
        } else if (f.signature == KALM_SIG_DD_D) {
            _mm512_storeu_pd(&d.y[i], reinterpret_cast<V8dd>(fn)(_mm512_loadu_pd(&d.x[i]), _mm512_loadu_pd(&d.b[i])));
            _mm512_storeu_pd(&d.y[i + 8],
                             reinterpret_cast<V8dd>(fn)(_mm512_loadu_pd(&d.x[i + 8]), _mm512_loadu_pd(&d.b[i + 8])));
        } else if (f.signature == KALM_SIG_F_F) {
            _mm512_storeu_ps(&d.fy[i], reinterpret_cast<V16f>(fn)(_mm512_loadu_ps(&d.fx[i])));
        } else {
            _mm512_storeu_ps(&d.fy[i], reinterpret_cast<V16ff>(fn)(_mm512_loadu_ps(&d.fx[i]), _mm512_loadu_ps(&d.fb[i])));
        }
    }
}
KALM_MVEC_256 void mvec256(void* fn, const Function& f, Data& d) {
    for (std::size_t i = 0; i + 8 <= kElements; i += 8) {
        if (f.signature == KALM_SIG_D_D) {
            _mm256_storeu_pd(&d.y[i], reinterpret_cast<V4d>(fn)(_mm256_loadu_pd(&d.x[i])));
            _mm256_storeu_pd(&d.y[i + 4], reinterpret_cast<V4d>(fn)(_mm256_loadu_pd(&d.x[i + 4])));
        } else if (f.signature == KALM_SIG_DD_D) {
            _mm256_storeu_pd(&d.y[i], reinterpret_cast<V4dd>(fn)(_mm256_loadu_pd(&d.x[i]), _mm256_loadu_pd(&d.b[i])));
            _mm256_storeu_pd(&d.y[i + 4],
                             reinterpret_cast<V4dd>(fn)(_mm256_loadu_pd(&d.x[i + 4]), _mm256_loadu_pd(&d.b[i + 4])));
        } else if (f.signature == KALM_SIG_F_F) {
            _mm256_storeu_ps(&d.fy[i], reinterpret_cast<V8f>(fn)(_mm256_loadu_ps(&d.fx[i])));
        } else {
            _mm256_storeu_ps(&d.fy[i], reinterpret_cast<V8ff>(fn)(_mm256_loadu_ps(&d.fx[i]), _mm256_loadu_ps(&d.fb[i])));
        }
    }
}

// glibc's vector names: _ZGV, e (AVX-512) or d (AVX2), N, lanes, one v per
// argument, then the scalar name.
void* mvec_symbol(const Function& f, bool avx512) {
    static void* lib = dlopen("libmvec.so.1", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr || f.signature == KALM_SIG_ID_D || f.host_name.empty()) return nullptr;
    const bool two = f.signature == KALM_SIG_DD_D || f.signature == KALM_SIG_FF_F;
    const int lanes = (f.single ? 8 : 4) * (avx512 ? 2 : 1);
    const std::string name = std::string("_ZGV") + (avx512 ? "e" : "d") + "N" + std::to_string(lanes) +
                             (two ? "vv" : "v") + "_" + f.host_name;
    return dlsym(lib, name.c_str());
}
#endif

// ---- The columns -----------------------------------------------------------

void run_scalar(VoidFn fn, const Function& f, Data& d) {
    switch (f.signature) {
        case KALM_SIG_D_D:
            for (std::size_t i = 0; i < kElements; ++i) d.y[i] = reinterpret_cast<D1>(fn)(d.x[i]);
            break;
        case KALM_SIG_DD_D:
            for (std::size_t i = 0; i < kElements; ++i) d.y[i] = reinterpret_cast<D2>(fn)(d.x[i], d.b[i]);
            break;
        case KALM_SIG_ID_D:
            for (std::size_t i = 0; i < kElements; ++i) d.y[i] = reinterpret_cast<DN>(fn)(d.order, d.x[i]);
            break;
        case KALM_SIG_F_F:
            for (std::size_t i = 0; i < kElements; ++i) d.fy[i] = reinterpret_cast<F1>(fn)(d.fx[i]);
            break;
        default:
            for (std::size_t i = 0; i < kElements; ++i) d.fy[i] = reinterpret_cast<F2>(fn)(d.fx[i], d.fb[i]);
            break;
    }
}

struct Column {
    std::string name;
    std::function<void(Data&)> run;
    std::vector<double> ns;  // per repetition
};

// The thread's own CPU time: on a machine shared with other work the wall
// clock also counts the time the thread waited for a core.
double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The instruction sets this CPU and build run, the best (the one selected at
// first) first, the scalar loop last: {avx512, avx2, scalar} or {neon, scalar}.
std::vector<int> batch_isas() {
    const int best = kalm_batch_isa();
    std::vector<int> v{best};
    for (int isa : {KALM_BATCH_NEON, KALM_BATCH_AVX512, KALM_BATCH_AVX2, KALM_BATCH_SCALAR})
        if (isa != best && kalm_batch_set_isa(isa) == KALM_OK) v.push_back(isa);
    kalm_batch_set_isa(best);
    return v;
}

const char* batch_column(int isa) {
    static const char* const names[] = {"batch scalar", "batch avx2", "batch avx512", "batch neon"};
    return names[isa];
}

}  // namespace

VoidFn batch_entry(const kalm_export* e) { return kBatchEntries[e->ordinal - 1]; }

std::vector<std::string> batch_bench_columns() {
    std::vector<std::string> c;
    for (int isa : batch_isas()) c.push_back(batch_column(isa));
    c.push_back("kalm scalar");
    c.push_back("glibc scalar");
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx512f")) c.push_back("libmvec avx512");
    if (__builtin_cpu_supports("avx2")) c.push_back("libmvec avx2");
#endif
    return c;
}

BatchBenchRow run_batch_bench(const Function& f, int reps, double target_ms) {
    Data d = make_data(f);
    const int best = kalm_batch_isa();
    const kalm_export* e = f.e;
    std::vector<Column> cols;
    for (int isa : batch_isas()) {
        cols.push_back({batch_column(isa), [isa, e](Data& dd) {
                            kalm_batch_set_isa(isa);
                            switch (e->signature) {
                                case KALM_SIG_D_D:
                                    reinterpret_cast<int (*)(const double*, double*, size_t)>(batch_entry(e))(
                                        dd.x.data(), dd.y.data(), kElements);
                                    break;
                                case KALM_SIG_DD_D:
                                    reinterpret_cast<int (*)(const double*, const double*, double*, size_t)>(
                                        batch_entry(e))(dd.x.data(), dd.b.data(), dd.y.data(), kElements);
                                    break;
                                case KALM_SIG_ID_D:
                                    kalm_batch_yn(dd.order, dd.x.data(), dd.y.data(), kElements);
                                    break;
                                case KALM_SIG_F_F:
                                    reinterpret_cast<int (*)(const float*, float*, size_t)>(batch_entry(e))(
                                        dd.fx.data(), dd.fy.data(), kElements);
                                    break;
                                default:
                                    reinterpret_cast<int (*)(const float*, const float*, float*, size_t)>(
                                        batch_entry(e))(dd.fx.data(), dd.fb.data(), dd.fy.data(), kElements);
                                    break;
                            }
                        }, {}});
    }
    cols.push_back({"kalm scalar", [&f](Data& dd) { run_scalar(f.kalm, f, dd); }, {}});
    if (f.host) cols.push_back({"glibc scalar", [&f](Data& dd) { run_scalar(f.host, f, dd); }, {}});
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx512f"))
        if (void* s = mvec_symbol(f, true)) cols.push_back({"libmvec avx512", [s, &f](Data& dd) { mvec512(s, f, dd); }, {}});
    if (__builtin_cpu_supports("avx2"))
        if (void* s = mvec_symbol(f, false)) cols.push_back({"libmvec avx2", [s, &f](Data& dd) { mvec256(s, f, dd); }, {}});
#endif
    // Passes per timed run, from one warm-up pass of each column.
    std::vector<long> passes;
    for (auto& c : cols) {
        const auto t0 = std::chrono::steady_clock::now();
        c.run(d);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        passes.push_back(std::max(1L, static_cast<long>(target_ms * 1e-3 / std::max(s, 1e-7))));
    }
    for (int r = 0; r < reps; ++r) {
        for (std::size_t k = 0; k < cols.size(); ++k) {
            const double t0 = cpu_seconds();
            for (long p = 0; p < passes[k]; ++p) {
                cols[k].run(d);
                asm volatile("" ::: "memory");
            }
            const double s = cpu_seconds() - t0;
            cols[k].ns.push_back(s * 1e9 / static_cast<double>(passes[k] * static_cast<long>(kElements)));
        }
    }
    kalm_batch_set_isa(best);
    BatchBenchRow row;
    row.f = &f;
    row.inputs = f.bench.label;
    for (auto& c : cols) {
        row.ns[c.name] = median(c.ns);
        // Dispersion: median absolute deviation over the median.
        std::vector<double> dev;
        const double m = median(c.ns);
        for (double v : c.ns) dev.push_back(std::fabs(v - m));
        row.disp[c.name] = m > 0 ? median(dev) / m : 0;
    }
    return row;
}

}  // namespace kalmtool
