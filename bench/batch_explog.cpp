// SPDX-License-Identifier: MIT
// ns per element of the exp/log/pow batch kernels beside, in the same run, the
// scalar export in a loop, the host libm's scalar function in a loop and
// glibc's libmvec (AVX-512 and AVX2 entries, found at run time with dlopen).
// Arrays of 4096 ordinary arguments, results into a second array; a variant
// the CPU (or the host) cannot run is skipped with a message.
//   build/bench/kalm_batch_bench --benchmark_filter='^batch/' --benchmark_repetitions=5
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <immintrin.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "host/cpu_features.hpp"

using namespace kalm::lib;

namespace {

constexpr std::size_t COUNT = 4096;

template <typename T>
std::vector<T> uniform(double lo, double hi, std::uint64_t seed) {
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> d(lo, hi);
    std::vector<T> v(COUNT);
    for (auto& x : v) x = static_cast<T>(d(g));
    return v;
}
// Logarithmically spread positive arguments.
template <typename T>
std::vector<T> spread(double lo_exp10, double hi_exp10, std::uint64_t seed) {
    std::vector<T> v = uniform<T>(lo_exp10, hi_exp10, seed);
    for (auto& x : v) x = static_cast<T>(std::pow(10.0, static_cast<double>(x)));
    return v;
}

// Within a few ulp of a power of two: the short series in every lane, which
// the log kernels leave to their second tier (their slowest vector case).
template <typename T>
std::vector<T> near_powers_of_two(std::uint64_t seed) {
    std::mt19937_64 g(seed);
    std::uniform_int_distribution<int> e(-60, 60), d(-4, 4);
    std::vector<T> v(COUNT);
    for (auto& x : v) {
        x = std::ldexp(static_cast<T>(1), e(g));
        const int steps = d(g);
        for (int i = 0; i < std::abs(steps); ++i) x = std::nextafter(x, static_cast<T>(steps < 0 ? 0 : 1e30));
    }
    return v;
}

void* libmvec() {
    static void* h = dlopen("libmvec.so.1", RTLD_NOW | RTLD_LOCAL);
    return h;
}

// libmvec's entries take and return whole vectors; these loops call them.
using V16f = __m512 (*)(__m512);
using V16f2 = __m512 (*)(__m512, __m512);
using V8d = __m512d (*)(__m512d);
using V8d2 = __m512d (*)(__m512d, __m512d);
using V8f = __m256 (*)(__m256);
using V8f2 = __m256 (*)(__m256, __m256);
using V4d = __m256d (*)(__m256d);
using V4d2 = __m256d (*)(__m256d, __m256d);

__attribute__((target("avx512f"))) void mvec_loop(void* f, const float* x, const float* b, float* y, std::size_t n) {
    for (std::size_t i = 0; i + 16 <= n; i += 16) {
        const __m512 v = _mm512_loadu_ps(x + i);
        _mm512_storeu_ps(y + i, b ? reinterpret_cast<V16f2>(f)(v, _mm512_loadu_ps(b + i)) : reinterpret_cast<V16f>(f)(v));
    }
}
__attribute__((target("avx512f"))) void mvec_loop(void* f, const double* x, const double* b, double* y, std::size_t n) {
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
        const __m512d v = _mm512_loadu_pd(x + i);
        _mm512_storeu_pd(y + i, b ? reinterpret_cast<V8d2>(f)(v, _mm512_loadu_pd(b + i)) : reinterpret_cast<V8d>(f)(v));
    }
}
__attribute__((target("avx2"))) void mvec_loop2(void* f, const float* x, const float* b, float* y, std::size_t n) {
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
        const __m256 v = _mm256_loadu_ps(x + i);
        _mm256_storeu_ps(y + i, b ? reinterpret_cast<V8f2>(f)(v, _mm256_loadu_ps(b + i)) : reinterpret_cast<V8f>(f)(v));
    }
}
__attribute__((target("avx2"))) void mvec_loop2(void* f, const double* x, const double* b, double* y, std::size_t n) {
    for (std::size_t i = 0; i + 4 <= n; i += 4) {
        const __m256d v = _mm256_loadu_pd(x + i);
        _mm256_storeu_pd(y + i, b ? reinterpret_cast<V4d2>(f)(v, _mm256_loadu_pd(b + i)) : reinterpret_cast<V4d>(f)(v));
    }
}

// One function's arguments and its five ways of computing them.
template <typename T>
struct Subject {
    std::string name;
    std::vector<T> x, b;  // b empty for one-argument functions
    void (*k512)(const T*, T*, std::size_t) = nullptr;
    void (*k2)(const T*, T*, std::size_t) = nullptr;
    void (*k512_2)(const T*, const T*, T*, std::size_t) = nullptr;
    void (*k2_2)(const T*, const T*, T*, std::size_t) = nullptr;
    T (*scalar)(T, report_t) = nullptr;
    T (*scalar_2)(T, T, report_t) = nullptr;
    T (*host)(T) = nullptr;
    T (*host_2)(T, T) = nullptr;
    const char* mvec512 = nullptr;
    const char* mvec2 = nullptr;
};

void finish(benchmark::State& state) {
    state.counters["ns_per_elem"] = benchmark::Counter(static_cast<double>(COUNT) * 1e-9,
                                                       benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
}

template <typename T>
void register_subject(const Subject<T>& s) {
    const bool two = !s.b.empty();
    auto add = [&](const std::string& how, auto body) {
        benchmark::RegisterBenchmark(("batch/" + s.name + "/" + how).c_str(), [s, body](benchmark::State& st) {
            std::vector<T> y(COUNT);
            if (!body(s, y.data(), true)) {
                st.SkipWithError("not available on this host");
                return;
            }
            for (auto _ : st) {
                body(s, y.data(), false);
                benchmark::DoNotOptimize(y.data());
                benchmark::ClobberMemory();
            }
            finish(st);
        });
    };
    add("kalm_avx512", [two](const Subject<T>& s, T* y, bool probe) {
        if (probe) return cpu_has(CPU_AVX512);
        if (two) s.k512_2(s.x.data(), s.b.data(), y, COUNT);
        else s.k512(s.x.data(), y, COUNT);
        return true;
    });
    add("kalm_avx2", [two](const Subject<T>& s, T* y, bool probe) {
        if (probe) return cpu_has(CPU_AVX2);
        if (two) s.k2_2(s.x.data(), s.b.data(), y, COUNT);
        else s.k2(s.x.data(), y, COUNT);
        return true;
    });
    add("kalm_scalar_export", [two](const Subject<T>& s, T* y, bool probe) {
        if (probe) return true;
        for (std::size_t i = 0; i < COUNT; ++i) y[i] = two ? s.scalar_2(s.x[i], s.b[i], 0) : s.scalar(s.x[i], 0);
        return true;
    });
    add("glibc_scalar", [two](const Subject<T>& s, T* y, bool probe) {
        if (probe) return true;
        for (std::size_t i = 0; i < COUNT; ++i) y[i] = two ? s.host_2(s.x[i], s.b[i]) : s.host(s.x[i]);
        return true;
    });
    add("libmvec_avx512", [two](const Subject<T>& s, T* y, bool probe) {
        void* f = libmvec() ? dlsym(libmvec(), s.mvec512) : nullptr;
        if (probe) return f != nullptr && cpu_has(CPU_AVX512);
        mvec_loop(f, s.x.data(), two ? s.b.data() : nullptr, y, COUNT);
        return true;
    });
    add("libmvec_avx2", [two](const Subject<T>& s, T* y, bool probe) {
        void* f = libmvec() ? dlsym(libmvec(), s.mvec2) : nullptr;
        if (probe) return f != nullptr && cpu_has(CPU_AVX2);
        mvec_loop2(f, s.x.data(), two ? s.b.data() : nullptr, y, COUNT);
        return true;
    });
}

float host_expf(float x) { return ::expf(x); }
float host_logf(float x) { return ::logf(x); }
float host_log10f(float x) { return ::log10f(x); }
float host_powf(float x, float y) { return ::powf(x, y); }
double host_exp(double x) { return ::exp(x); }
double host_log(double x) { return ::log(x); }
double host_log10(double x) { return ::log10(x); }
double host_pow(double x, double y) { return ::pow(x, y); }

[[maybe_unused]] const bool registered = [] {
    using namespace kalm::lib::batch;
    {
        Subject<float> s{"expf", uniform<float>(-80, 80, 1), {}};
        s.k512 = expf_avx512, s.k2 = expf_avx2, s.scalar = exported::expf, s.host = host_expf;
        s.mvec512 = "_ZGVeN16v_expf", s.mvec2 = "_ZGVdN8v_expf";
        register_subject(s);
    }
    {
        Subject<float> s{"logf", spread<float>(-30, 30, 2), {}};
        s.k512 = logf_avx512, s.k2 = logf_avx2, s.scalar = exported::logf, s.host = host_logf;
        s.mvec512 = "_ZGVeN16v_logf", s.mvec2 = "_ZGVdN8v_logf";
        register_subject(s);
    }
    {
        Subject<float> s{"log10f", spread<float>(-30, 30, 3), {}};
        s.k512 = log10f_avx512, s.k2 = log10f_avx2, s.scalar = exported::log10f, s.host = host_log10f;
        s.mvec512 = "_ZGVeN16v_log10f", s.mvec2 = "_ZGVdN8v_log10f";
        register_subject(s);
    }
    {
        Subject<float> s{"log10f_near_pow2", near_powers_of_two<float>(11), {}};
        s.k512 = log10f_avx512, s.k2 = log10f_avx2, s.scalar = exported::log10f, s.host = host_log10f;
        s.mvec512 = "_ZGVeN16v_log10f", s.mvec2 = "_ZGVdN8v_log10f";
        register_subject(s);
    }
    {
        Subject<float> s{"powf", uniform<float>(0.01, 10, 4), uniform<float>(-20, 20, 5)};
        s.k512_2 = powf_avx512, s.k2_2 = powf_avx2, s.scalar_2 = exported::powf, s.host_2 = host_powf;
        s.mvec512 = "_ZGVeN16vv_powf", s.mvec2 = "_ZGVdN8vv_powf";
        register_subject(s);
    }
    {
        Subject<double> s{"exp", uniform<double>(-700, 700, 6), {}};
        s.k512 = exp_avx512, s.k2 = exp_avx2, s.scalar = exported::exp, s.host = host_exp;
        s.mvec512 = "_ZGVeN8v_exp", s.mvec2 = "_ZGVdN4v_exp";
        register_subject(s);
    }
    {
        Subject<double> s{"log", spread<double>(-300, 300, 7), {}};
        s.k512 = log_avx512, s.k2 = log_avx2, s.scalar = exported::log, s.host = host_log;
        s.mvec512 = "_ZGVeN8v_log", s.mvec2 = "_ZGVdN4v_log";
        register_subject(s);
    }
    {
        Subject<double> s{"log10", spread<double>(-300, 300, 8), {}};
        s.k512 = log10_avx512, s.k2 = log10_avx2, s.scalar = exported::log10, s.host = host_log10;
        s.mvec512 = "_ZGVeN8v_log10", s.mvec2 = "_ZGVdN4v_log10";
        register_subject(s);
    }
    {
        Subject<double> s{"log10_near_pow2", near_powers_of_two<double>(12), {}};
        s.k512 = log10_avx512, s.k2 = log10_avx2, s.scalar = exported::log10, s.host = host_log10;
        s.mvec512 = "_ZGVeN8v_log10", s.mvec2 = "_ZGVdN4v_log10";
        register_subject(s);
    }
    {
        Subject<double> s{"pow", uniform<double>(0.01, 10, 9), uniform<double>(-100, 100, 10)};
        s.k512_2 = pow_avx512, s.k2_2 = pow_avx2, s.scalar_2 = exported::pow, s.host_2 = host_pow;
        s.mvec512 = "_ZGVeN8vv_pow", s.mvec2 = "_ZGVdN4vv_pow";
        register_subject(s);
    }
    return true;
}();

}  // namespace

#endif
