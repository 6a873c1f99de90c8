// SPDX-License-Identifier: MIT
// The batch entries, ns per element (the counter "ns/elem"), beside the
// scalar export in a loop, glibc's scalar function in a loop and glibc's
// libmvec entries (AVX-512 and AVX2, found with dlopen/dlsym): every export
// that has a SIMD kernel (abi/batch_kernels.hpp, so the list grows with the
// kernels), on every instruction set this CPU runs. Inputs: 4096 arguments
// uniform in [0.01, 10] (both arguments of the two-argument exports).
//   build/bench/kalm_batch_bench --benchmark_filter=sqrt
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "abi/batch_kernels.hpp"
#include "abi/export_list.hpp"
#include "kalmlib/kalmlib.h"

namespace {

constexpr std::size_t kN = 4096;

struct Inputs {
    std::vector<double> a, b, y;
    std::vector<float> fa, fb, fy;
    Inputs() {
        std::mt19937_64 g(22);
        std::uniform_real_distribution<double> u(0.01, 10.0);
        for (std::size_t i = 0; i < kN; ++i) {
            a.push_back(u(g));
            b.push_back(u(g));
            fa.push_back(static_cast<float>(a.back()));
            fb.push_back(static_cast<float>(b.back()));
        }
        y.resize(kN);
        fy.resize(kN);
    }
};
Inputs& inputs() {
    static Inputs in;
    return in;
}

void per_element(benchmark::State& state) {
    state.counters["ns/elem"] = benchmark::Counter(static_cast<double>(state.iterations() * kN),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

using VoidFn = void (*)();
enum class Sig { D_D, F_F, DD_D, FF_F, ID_D };
struct Export {
    const char* name;
    const char* stem;
    Sig sig;
    VoidFn batch, scalar;
};
#define KALM_BENCH_ROW(name, stem, sig, kind) \
    {#name, #stem, Sig::sig, reinterpret_cast<VoidFn>(&kalm_batch_##stem), reinterpret_cast<VoidFn>(&kalm_##stem)},
const Export kExports[] = {KALM_EXPORT_LIST(KALM_BENCH_ROW)};
#undef KALM_BENCH_ROW

// Runs `fn`, a scalar function of the export's signature, over the inputs.
void scalar_loop(VoidFn fn, Sig sig, Inputs& in) {
    switch (sig) {
        case Sig::D_D:
            for (std::size_t i = 0; i < kN; ++i) in.y[i] = reinterpret_cast<double (*)(double)>(fn)(in.a[i]);
            break;
        case Sig::DD_D:
            for (std::size_t i = 0; i < kN; ++i)
                in.y[i] = reinterpret_cast<double (*)(double, double)>(fn)(in.a[i], in.b[i]);
            break;
        case Sig::F_F:
            for (std::size_t i = 0; i < kN; ++i) in.fy[i] = reinterpret_cast<float (*)(float)>(fn)(in.fa[i]);
            break;
        case Sig::FF_F:
            for (std::size_t i = 0; i < kN; ++i)
                in.fy[i] = reinterpret_cast<float (*)(float, float)>(fn)(in.fa[i], in.fb[i]);
            break;
        case Sig::ID_D:
            for (std::size_t i = 0; i < kN; ++i) in.y[i] = reinterpret_cast<double (*)(int, double)>(fn)(2, in.a[i]);
            break;
    }
}

void batch_call(VoidFn fn, Sig sig, Inputs& in) {
    switch (sig) {
        case Sig::D_D: reinterpret_cast<int (*)(const double*, double*, size_t)>(fn)(in.a.data(), in.y.data(), kN); break;
        case Sig::DD_D:
            reinterpret_cast<int (*)(const double*, const double*, double*, size_t)>(fn)(in.a.data(), in.b.data(),
                                                                                         in.y.data(), kN);
            break;
        case Sig::F_F: reinterpret_cast<int (*)(const float*, float*, size_t)>(fn)(in.fa.data(), in.fy.data(), kN); break;
        case Sig::FF_F:
            reinterpret_cast<int (*)(const float*, const float*, float*, size_t)>(fn)(in.fa.data(), in.fb.data(),
                                                                                      in.fy.data(), kN);
            break;
        case Sig::ID_D: kalm_batch_yn(2, in.a.data(), in.y.data(), kN); break;
    }
}

#if defined(__x86_64__)
__attribute__((target("avx512f"))) void mvec512(void* fn, Sig sig, Inputs& in) {
    for (std::size_t i = 0; i < kN; i += 16) {
        switch (sig) {
            case Sig::D_D:
                for (std::size_t j = i; j < i + 16; j += 8)
                    _mm512_storeu_pd(&in.y[j], reinterpret_cast<__m512d (*)(__m512d)>(fn)(_mm512_loadu_pd(&in.a[j])));
                break;
            case Sig::DD_D:
                for (std::size_t j = i; j < i + 16; j += 8)
                    _mm512_storeu_pd(&in.y[j], reinterpret_cast<__m512d (*)(__m512d, __m512d)>(fn)(
                                                   _mm512_loadu_pd(&in.a[j]), _mm512_loadu_pd(&in.b[j])));
                break;
            case Sig::F_F:
                _mm512_storeu_ps(&in.fy[i], reinterpret_cast<__m512 (*)(__m512)>(fn)(_mm512_loadu_ps(&in.fa[i])));
                break;
            case Sig::FF_F:
                _mm512_storeu_ps(&in.fy[i], reinterpret_cast<__m512 (*)(__m512, __m512)>(fn)(
                                                _mm512_loadu_ps(&in.fa[i]), _mm512_loadu_ps(&in.fb[i])));
                break;
            case Sig::ID_D: break;
        }
    }
}
__attribute__((target("avx2"))) void mvec256(void* fn, Sig sig, Inputs& in) {
    for (std::size_t i = 0; i < kN; i += 8) {
        switch (sig) {
            case Sig::D_D:
                for (std::size_t j = i; j < i + 8; j += 4)
                    _mm256_storeu_pd(&in.y[j], reinterpret_cast<__m256d (*)(__m256d)>(fn)(_mm256_loadu_pd(&in.a[j])));
                break;
            case Sig::DD_D:
                for (std::size_t j = i; j < i + 8; j += 4)
                    _mm256_storeu_pd(&in.y[j], reinterpret_cast<__m256d (*)(__m256d, __m256d)>(fn)(
                                                   _mm256_loadu_pd(&in.a[j]), _mm256_loadu_pd(&in.b[j])));
                break;
            case Sig::F_F:
                _mm256_storeu_ps(&in.fy[i], reinterpret_cast<__m256 (*)(__m256)>(fn)(_mm256_loadu_ps(&in.fa[i])));
                break;
            case Sig::FF_F:
                _mm256_storeu_ps(&in.fy[i], reinterpret_cast<__m256 (*)(__m256, __m256)>(fn)(
                                                _mm256_loadu_ps(&in.fa[i]), _mm256_loadu_ps(&in.fb[i])));
                break;
            case Sig::ID_D: break;
        }
    }
}
#endif

// The exports with a kernel, from the kernel list.
std::set<std::string> kernel_exports() {
    std::set<std::string> s;
#define KALM_BENCH_KERNEL(name, sig, isa) s.insert(#name);
    KALM_BATCH_KERNEL_LIST(KALM_BENCH_KERNEL)
#undef KALM_BENCH_KERNEL
    return s;
}

int register_all() {
    const std::set<std::string> with_kernel = kernel_exports();
    void* libm = dlopen("libm.so.6", RTLD_NOW | RTLD_LOCAL);
    void* mvec = dlopen("libmvec.so.1", RTLD_NOW | RTLD_LOCAL);
    static const char* const isa_names[] = {"scalar", "avx2", "avx512"};
    const int best = kalm_batch_isa();
    for (const Export& e : kExports) {
        if (!with_kernel.count(e.name)) continue;
        const std::string base = std::string(e.name) + "/";
        for (int isa = KALM_BATCH_SCALAR; isa <= best; ++isa) {
            if (kalm_batch_set_isa(isa) != KALM_OK) continue;
            benchmark::RegisterBenchmark((base + "batch_" + isa_names[isa]).c_str(),
                                         [e, isa, best](benchmark::State& st) {
                                             kalm_batch_set_isa(isa);
                                             for (auto _ : st) {
                                                 batch_call(e.batch, e.sig, inputs());
                                                 benchmark::ClobberMemory();
                                             }
                                             kalm_batch_set_isa(best);
                                             per_element(st);
                                         });
        }
        kalm_batch_set_isa(best);
        benchmark::RegisterBenchmark((base + "kalm_scalar").c_str(), [e](benchmark::State& st) {
            for (auto _ : st) {
                scalar_loop(e.scalar, e.sig, inputs());
                benchmark::ClobberMemory();
            }
            per_element(st);
        });
        if (void* g = libm ? dlsym(libm, e.stem) : nullptr) {
            benchmark::RegisterBenchmark((base + "glibc_scalar").c_str(), [e, g](benchmark::State& st) {
                for (auto _ : st) {
                    scalar_loop(reinterpret_cast<VoidFn>(g), e.sig, inputs());
                    benchmark::ClobberMemory();
                }
                per_element(st);
            });
        }
#if defined(__x86_64__)
        const bool single = e.sig == Sig::F_F || e.sig == Sig::FF_F, two = e.sig == Sig::DD_D || e.sig == Sig::FF_F;
        if (mvec == nullptr || e.sig == Sig::ID_D) continue;
        for (bool wide : {true, false}) {
            if (wide ? !__builtin_cpu_supports("avx512f") : !__builtin_cpu_supports("avx2")) continue;
            const int lanes = (single ? 8 : 4) * (wide ? 2 : 1);
            const std::string sym = std::string("_ZGV") + (wide ? "e" : "d") + "N" + std::to_string(lanes) +
                                    (two ? "vv" : "v") + "_" + e.stem;
            void* v = dlsym(mvec, sym.c_str());
            if (v == nullptr) continue;
            benchmark::RegisterBenchmark((base + (wide ? "libmvec_avx512" : "libmvec_avx2")).c_str(),
                                         [e, v, wide](benchmark::State& st) {
                                             for (auto _ : st) {
                                                 if (wide) mvec512(v, e.sig, inputs());
                                                 else mvec256(v, e.sig, inputs());
                                                 benchmark::ClobberMemory();
                                             }
                                             per_element(st);
                                         });
        }
#else
        (void)mvec;
#endif
    }
    return 0;
}
const int registered = register_all();

}  // namespace
