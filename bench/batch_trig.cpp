// SPDX-License-Identifier: MIT
// ns per element of the trigonometric batch kernels (sin, cos, tan, atan2 and
// single versions) beside, in the same run: the scalar export called per
// element, glibc's scalar function, and glibc's libmvec (AVX-512 and AVX2
// entries, loaded with dlopen). Arrays of 4096 arguments in [-10, 10] (both
// arguments for atan2), and for the one-argument functions also in [-pi/4,
// pi/4] (no reduction) and [-1000, 1000] (the single functions reduce that
// range in the vector, the double ones too). Read the `ns/elt` counter.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(_WIN32)

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <immintrin.h>
#include <math.h>

#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "host/cpu_features.hpp"

namespace {

namespace lib = kalm::lib;
constexpr std::size_t N = 4096;

template <typename T>
std::vector<T> args(double lo, double hi, std::uint64_t seed) {
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> d(lo, hi);
    std::vector<T> v(N);
    for (auto& x : v) x = static_cast<T>(d(g));
    return v;
}

void per_element(benchmark::State& s) {
    s.counters["ns/elt"] = benchmark::Counter(static_cast<double>(N) * 1e-9,
                                              benchmark::Counter::kIsIterationInvariantRate |
                                                  benchmark::Counter::kInvert);
}

void* libmvec() {
    static void* h = dlopen("libmvec.so.1", RTLD_NOW);
    return h;
}

// libmvec's entries take and return whole registers.
typedef __m512 (*MvF16)(__m512);
typedef __m256 (*MvF8)(__m256);
typedef __m512d (*MvD8)(__m512d);
typedef __m256d (*MvD4)(__m256d);
typedef __m512 (*MvFF16)(__m512, __m512);
typedef __m256 (*MvFF8)(__m256, __m256);
typedef __m512d (*MvDD8)(__m512d, __m512d);
typedef __m256d (*MvDD4)(__m256d, __m256d);

#define AVX512 __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl")))
#define AVX2 __attribute__((target("avx2,fma")))

AVX512 void mv_f16(MvF16 f, const float* x, float* y) {
    for (std::size_t i = 0; i < N; i += 16) _mm512_storeu_ps(y + i, f(_mm512_loadu_ps(x + i)));
}
AVX2 void mv_f8(MvF8 f, const float* x, float* y) {
    for (std::size_t i = 0; i < N; i += 8) _mm256_storeu_ps(y + i, f(_mm256_loadu_ps(x + i)));
}
AVX512 void mv_d8(MvD8 f, const double* x, double* y) {
    for (std::size_t i = 0; i < N; i += 8) _mm512_storeu_pd(y + i, f(_mm512_loadu_pd(x + i)));
}
AVX2 void mv_d4(MvD4 f, const double* x, double* y) {
    for (std::size_t i = 0; i < N; i += 4) _mm256_storeu_pd(y + i, f(_mm256_loadu_pd(x + i)));
}
AVX512 void mv_ff16(MvFF16 f, const float* a, const float* b, float* y) {
    for (std::size_t i = 0; i < N; i += 16) _mm512_storeu_ps(y + i, f(_mm512_loadu_ps(a + i), _mm512_loadu_ps(b + i)));
}
AVX2 void mv_ff8(MvFF8 f, const float* a, const float* b, float* y) {
    for (std::size_t i = 0; i < N; i += 8) _mm256_storeu_ps(y + i, f(_mm256_loadu_ps(a + i), _mm256_loadu_ps(b + i)));
}
AVX512 void mv_dd8(MvDD8 f, const double* a, const double* b, double* y) {
    for (std::size_t i = 0; i < N; i += 8) _mm512_storeu_pd(y + i, f(_mm512_loadu_pd(a + i), _mm512_loadu_pd(b + i)));
}
AVX2 void mv_dd4(MvDD4 f, const double* a, const double* b, double* y) {
    for (std::size_t i = 0; i < N; i += 4) _mm256_storeu_pd(y + i, f(_mm256_loadu_pd(a + i), _mm256_loadu_pd(b + i)));
}

template <typename T>
struct Unary {
    const char* name;
    void (*k512)(const T*, T*, std::size_t);
    void (*k2)(const T*, T*, std::size_t);
    T (*scalar)(T, lib::report_t);
    T (*glibc)(T);
    const char* mv512;  // libmvec names
    const char* mv2;
};

template <typename T>
void register_unary(const Unary<T>& f, const char* range, double lo, double hi) {
    const std::string base = std::string(f.name) + "/" + range + "/";
    auto add = [&](const std::string& who, auto body) {
        benchmark::RegisterBenchmark((base + who).c_str(), [=](benchmark::State& s) {
            const auto x = args<T>(lo, hi, 7);
            std::vector<T> y(N);
            for (auto _ : s) {
                body(x.data(), y.data());
                benchmark::DoNotOptimize(y.data());
                benchmark::ClobberMemory();
            }
            per_element(s);
        });
    };
    const auto scalar = f.scalar;
    const auto glibc = f.glibc;
    add("kalm_scalar", [=](const T* x, T* y) {
        for (std::size_t i = 0; i < N; ++i) y[i] = scalar(x[i], 0);
    });
    add("glibc_scalar", [=](const T* x, T* y) {
        for (std::size_t i = 0; i < N; ++i) y[i] = glibc(x[i]);
    });
    if (lib::cpu_has(lib::CPU_AVX512)) {
        const auto k = f.k512;
        add("kalm_avx512", [=](const T* x, T* y) { k(x, y, N); });
        if (void* p = libmvec() ? dlsym(libmvec(), f.mv512) : nullptr) {
            if constexpr (sizeof(T) == 4)
                add("libmvec_avx512", [=](const T* x, T* y) { mv_f16(reinterpret_cast<MvF16>(p), x, y); });
            else
                add("libmvec_avx512", [=](const T* x, T* y) { mv_d8(reinterpret_cast<MvD8>(p), x, y); });
        }
    }
    if (lib::cpu_has(lib::CPU_AVX2)) {
        const auto k = f.k2;
        add("kalm_avx2", [=](const T* x, T* y) { k(x, y, N); });
        if (void* p = libmvec() ? dlsym(libmvec(), f.mv2) : nullptr) {
            if constexpr (sizeof(T) == 4)
                add("libmvec_avx2", [=](const T* x, T* y) { mv_f8(reinterpret_cast<MvF8>(p), x, y); });
            else
                add("libmvec_avx2", [=](const T* x, T* y) { mv_d4(reinterpret_cast<MvD4>(p), x, y); });
        }
    }
}

template <typename T>
struct Binary {
    const char* name;
    void (*k512)(const T*, const T*, T*, std::size_t);
    void (*k2)(const T*, const T*, T*, std::size_t);
    T (*scalar)(T, T, lib::report_t);
    T (*glibc)(T, T);
    const char* mv512;
    const char* mv2;
};

template <typename T>
void register_binary(const Binary<T>& f) {
    const std::string base = std::string(f.name) + "/-10,10/";
    auto add = [&](const std::string& who, auto body) {
        benchmark::RegisterBenchmark((base + who).c_str(), [=](benchmark::State& s) {
            const auto a = args<T>(-10, 10, 7), b = args<T>(-10, 10, 8);
            std::vector<T> y(N);
            for (auto _ : s) {
                body(a.data(), b.data(), y.data());
                benchmark::DoNotOptimize(y.data());
                benchmark::ClobberMemory();
            }
            per_element(s);
        });
    };
    const auto scalar = f.scalar;
    const auto glibc = f.glibc;
    add("kalm_scalar", [=](const T* a, const T* b, T* y) {
        for (std::size_t i = 0; i < N; ++i) y[i] = scalar(a[i], b[i], 0);
    });
    add("glibc_scalar", [=](const T* a, const T* b, T* y) {
        for (std::size_t i = 0; i < N; ++i) y[i] = glibc(a[i], b[i]);
    });
    if (lib::cpu_has(lib::CPU_AVX512)) {
        const auto k = f.k512;
        add("kalm_avx512", [=](const T* a, const T* b, T* y) { k(a, b, y, N); });
        if (void* p = libmvec() ? dlsym(libmvec(), f.mv512) : nullptr) {
            if constexpr (sizeof(T) == 4)
                add("libmvec_avx512", [=](const T* a, const T* b, T* y) { mv_ff16(reinterpret_cast<MvFF16>(p), a, b, y); });
            else
                add("libmvec_avx512", [=](const T* a, const T* b, T* y) { mv_dd8(reinterpret_cast<MvDD8>(p), a, b, y); });
        }
    }
    if (lib::cpu_has(lib::CPU_AVX2)) {
        const auto k = f.k2;
        add("kalm_avx2", [=](const T* a, const T* b, T* y) { k(a, b, y, N); });
        if (void* p = libmvec() ? dlsym(libmvec(), f.mv2) : nullptr) {
            if constexpr (sizeof(T) == 4)
                add("libmvec_avx2", [=](const T* a, const T* b, T* y) { mv_ff8(reinterpret_cast<MvFF8>(p), a, b, y); });
            else
                add("libmvec_avx2", [=](const T* a, const T* b, T* y) { mv_dd4(reinterpret_cast<MvDD4>(p), a, b, y); });
        }
    }
}

const int registered = [] {
    namespace b = lib::batch;
    namespace e = lib::exported;
    const Unary<float> singles[] = {
        {"sinf", b::sinf_avx512, b::sinf_avx2, e::sinf, ::sinf, "_ZGVeN16v_sinf", "_ZGVdN8v_sinf"},
        {"cosf", b::cosf_avx512, b::cosf_avx2, e::cosf, ::cosf, "_ZGVeN16v_cosf", "_ZGVdN8v_cosf"},
        {"tanf", b::tanf_avx512, b::tanf_avx2, e::tanf, ::tanf, "_ZGVeN16v_tanf", "_ZGVdN8v_tanf"},
    };
    const Unary<double> doubles[] = {
        {"sin", b::sin_avx512, b::sin_avx2, e::sin, ::sin, "_ZGVeN8v_sin", "_ZGVdN4v_sin"},
        {"cos", b::cos_avx512, b::cos_avx2, e::cos, ::cos, "_ZGVeN8v_cos", "_ZGVdN4v_cos"},
        {"tan", b::tan_avx512, b::tan_avx2, e::tan, ::tan, "_ZGVeN8v_tan", "_ZGVdN4v_tan"},
    };
    const struct {
        const char* name;
        double half_width;
    } ranges[] = {{"-pi/4,pi/4", 0.78}, {"-10,10", 10.0}, {"-1000,1000", 1000.0}};
    for (const auto& r : ranges) {
        for (const auto& f : singles) register_unary(f, r.name, -r.half_width, r.half_width);
        for (const auto& f : doubles) register_unary(f, r.name, -r.half_width, r.half_width);
    }
    register_binary(Binary<float>{"atan2f", b::atan2f_avx512, b::atan2f_avx2, e::atan2f, ::atan2f,
                                  "_ZGVeN16vv_atan2f", "_ZGVdN8vv_atan2f"});
    register_binary(Binary<double>{"atan2", b::atan2_avx512, b::atan2_avx2, e::atan2, ::atan2, "_ZGVeN8vv_atan2",
                                   "_ZGVdN4vv_atan2"});
    return 0;
}();

}  // namespace

#endif
