// SPDX-License-Identifier: MIT
// The foundation's costs beside the host's hardware: division, square root,
// and the frame itself. Latency: a dependent chain; throughput: an array.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "abi/exports.hpp"
#include "exact/division.hpp"
#include "frame/frame.hpp"

using namespace kalm::lib;

namespace {

std::vector<double> inputs(std::size_t n, double lo, double hi) {
    std::mt19937_64 g(1);
    std::uniform_real_distribution<double> d(lo, hi);
    std::vector<double> v(n);
    for (auto& x : v) x = d(g);
    return v;
}

// Keeps a chain's value where it is, in a floating register, while hiding it
// from the optimiser. benchmark::DoNotOptimize takes it through a general
// register or memory, which adds a transfer each way to every step: on Zen 5
// that made divsd look 2.2-2.6 ns slower than it is.
template <typename T>
inline void keep(T& x) {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("" : "+x"(x));
#elif defined(__aarch64__) || (defined(__arm__) && defined(__ARM_PCS_VFP))
    asm volatile("" : "+w"(x));
#else
    benchmark::DoNotOptimize(x);
#endif
}

// Latency chains: each result feeds the next operand.
void BM_div_hw_latency(benchmark::State& s) {
    double x = 1.2345, y = 1.0000001;
    for (auto _ : s) {
        x = x / y;
        keep(x);
    }
}
void BM_soft_ddiv_latency(benchmark::State& s) {
    double x = 1.2345, y = 1.0000001;
    for (auto _ : s) {
        x = soft_ddiv(x, y, 0);
        keep(x);
    }
}
void BM_sdiv_hw_latency(benchmark::State& s) {
    float x = 1.2345f, y = 1.0001f;
    for (auto _ : s) {
        x = x / y;
        keep(x);
    }
}
void BM_soft_sdiv_latency(benchmark::State& s) {
    float x = 1.2345f, y = 1.0001f;
    for (auto _ : s) {
        x = soft_sdiv(x, y);
        keep(x);
    }
}
// The same chains with a divisor that changes every step (drawn from a table,
// off the chain), so that nothing about it can be prepared outside the loop.
template <typename T, typename Div>
void divide_chain(benchmark::State& s, Div div) {
    std::vector<T> ys(1024);
    std::mt19937 g(3);
    for (auto& y : ys) y = static_cast<T>(1.0 + std::uniform_real_distribution<double>(0, 1e-3)(g));
    T x = static_cast<T>(1.2345);
    std::size_t i = 0;
    for (auto _ : s) {
        x = div(x, ys[i]);
        i = (i + 1) & 1023;
        keep(x);
        if (i == 0) x = x * static_cast<T>(1.6);  // keeps x near 1 (1024 quotients by ~1.0005)
    }
}
// The integer methods alone, which hosts without AVX-512 run (soft_ddiv and
// soft_sdiv above take the instruction where the host has it).
void BM_integer_ddiv_latency_varying(benchmark::State& s) {
    divide_chain<double>(s, [](double x, double y) { return integer_ddiv(x, y, 0); });
}
void BM_integer_sdiv_latency_varying(benchmark::State& s) {
    divide_chain<float>(s, [](float x, float y) { return integer_sdiv(x, y); });
}
void BM_div_hw_latency_varying(benchmark::State& s) {
    divide_chain<double>(s, [](double x, double y) { return x / y; });
}
void BM_soft_ddiv_latency_varying(benchmark::State& s) {
    divide_chain<double>(s, [](double x, double y) { return soft_ddiv(x, y, 0); });
}
void BM_sdiv_hw_latency_varying(benchmark::State& s) {
    divide_chain<float>(s, [](float x, float y) { return x / y; });
}
void BM_soft_sdiv_latency_varying(benchmark::State& s) {
    divide_chain<float>(s, [](float x, float y) { return soft_sdiv(x, y); });
}
void BM_sqrt_hw_latency(benchmark::State& s) {
    double x = 2.5;
    for (auto _ : s) {
        x = std::sqrt(x) + 1.5;
        keep(x);
    }
}
void BM_sqrt_latency(benchmark::State& s) {
    double x = 2.5;
    for (auto _ : s) {
        x = kalm::lib::sqrt(x, 0) + 1.5;
        keep(x);
    }
}
void BM_sqrtf_hw_latency(benchmark::State& s) {
    float x = 2.5f;
    for (auto _ : s) {
        x = std::sqrt(x) + 1.5f;
        keep(x);
    }
}
void BM_sqrtf_latency(benchmark::State& s) {
    float x = 2.5f;
    for (auto _ : s) {
        x = kalm::lib::sqrtf(x, 0) + 1.5f;
        keep(x);
    }
}

// Throughput over an array of independent inputs.
void BM_soft_ddiv_throughput(benchmark::State& s) {
    auto a = inputs(1024, 0.5, 4), b = inputs(1024, 0.5, 4);
    for (auto _ : s)
        for (std::size_t i = 0; i < a.size(); ++i) benchmark::DoNotOptimize(soft_ddiv(a[i], b[i], 0));
    s.SetItemsProcessed(s.iterations() * 1024);
}
void BM_integer_ddiv_throughput(benchmark::State& s) {
    auto a = inputs(1024, 0.5, 4), b = inputs(1024, 0.5, 4);
    for (auto _ : s)
        for (std::size_t i = 0; i < a.size(); ++i) benchmark::DoNotOptimize(integer_ddiv(a[i], b[i], 0));
    s.SetItemsProcessed(s.iterations() * 1024);
}
void BM_div_hw_throughput(benchmark::State& s) {
    auto a = inputs(1024, 0.5, 4), b = inputs(1024, 0.5, 4);
    for (auto _ : s)
        for (std::size_t i = 0; i < a.size(); ++i) benchmark::DoNotOptimize(a[i] / b[i]);
    s.SetItemsProcessed(s.iterations() * 1024);
}
void BM_sqrt_throughput(benchmark::State& s) {
    auto a = inputs(1024, 0, 1e6);
    for (auto _ : s)
        for (double x : a) benchmark::DoNotOptimize(kalm::lib::sqrt(x, 0));
    s.SetItemsProcessed(s.iterations() * 1024);
}
void BM_sqrt_hw_throughput(benchmark::State& s) {
    auto a = inputs(1024, 0, 1e6);
    for (auto _ : s)
        for (double x : a) benchmark::DoNotOptimize(std::sqrt(x));
    s.SetItemsProcessed(s.iterations() * 1024);
}

// The frame: an empty framed call (clear on entry, check on exit) beside the
// same call without the frame.
__attribute__((noinline)) double unframed(double x) { return x; }
__attribute__((noinline)) double framed(double x) {
    fp_clear_flags();
    return fp_check_flags(x, 0);
}
void BM_call_unframed(benchmark::State& s) {
    double x = 1.5;
    for (auto _ : s) {
        x = unframed(x);
        keep(x);
    }
}
void BM_call_framed_flags_clear(benchmark::State& s) {
    double x = 1.5;
    clear_sticky();
    for (auto _ : s) {
        x = framed(x);
        keep(x);
    }
}
void BM_call_framed_flags_set(benchmark::State& s) {  // pays the status write every call
    double x = 1.5;
    for (auto _ : s) {
        write_sticky(0x10);
        x = framed(x);
        keep(x);
    }
    clear_sticky();
}
void BM_status_write(benchmark::State& s) {
    for (auto _ : s) write_sticky(0x10);
    clear_sticky();
}

#if defined(__x86_64__) && !defined(KALM_PORTABLE_FENV)
// What an entry clearing costs in a loop of calls, each of which leaves
// inexact set for the next (a short call's worth of independent arithmetic
// per step): no register access, the read alone, the read and a constant
// written after a branch on it (what the library does), the read and its own
// value written back with the flags cleared (a read-modify-write), a constant
// written without a read.
template <int Mode>
void status_pattern(benchmark::State& s) {
    auto a = inputs(512, 1, 2);
    std::size_t i = 0;
    for (auto _ : s) {
        if constexpr (Mode == 1) benchmark::DoNotOptimize(host_status_raw());
        if constexpr (Mode == 2) {
            if (host_status_raw() & HOST_MASK) host_status_write_const<DEVICE_CONTROL>();
        }
        if constexpr (Mode == 3) host_status_write(host_status_raw() & ~HOST_MASK);
        if constexpr (Mode == 4) host_status_write_const<DEVICE_CONTROL>();
        double y = a[i] * 1.25 + 0.5;
        y = y * a[i] + 0.25;
        keep(y);
        i = (i + 1) & 511;
    }
}
void BM_status_none(benchmark::State& s) { status_pattern<0>(s); }
void BM_status_read(benchmark::State& s) { status_pattern<1>(s); }
void BM_status_read_constant_write(benchmark::State& s) { status_pattern<2>(s); }
void BM_status_read_dependent_write(benchmark::State& s) { status_pattern<3>(s); }
void BM_status_constant_write(benchmark::State& s) { status_pattern<4>(s); }
BENCHMARK(BM_status_none);
BENCHMARK(BM_status_read);
BENCHMARK(BM_status_read_constant_write);
BENCHMARK(BM_status_read_dependent_write);
BENCHMARK(BM_status_constant_write);
#endif

BENCHMARK(BM_div_hw_latency_varying);
BENCHMARK(BM_soft_ddiv_latency_varying);
BENCHMARK(BM_integer_ddiv_latency_varying);
BENCHMARK(BM_sdiv_hw_latency_varying);
BENCHMARK(BM_soft_sdiv_latency_varying);
BENCHMARK(BM_integer_sdiv_latency_varying);
BENCHMARK(BM_div_hw_latency);
BENCHMARK(BM_soft_ddiv_latency);
BENCHMARK(BM_sdiv_hw_latency);
BENCHMARK(BM_soft_sdiv_latency);
BENCHMARK(BM_sqrt_hw_latency);
BENCHMARK(BM_sqrt_latency);
BENCHMARK(BM_sqrtf_hw_latency);
BENCHMARK(BM_sqrtf_latency);
BENCHMARK(BM_div_hw_throughput);
BENCHMARK(BM_soft_ddiv_throughput);
BENCHMARK(BM_integer_ddiv_throughput);
BENCHMARK(BM_sqrt_hw_throughput);
BENCHMARK(BM_sqrt_throughput);
BENCHMARK(BM_call_unframed);
BENCHMARK(BM_call_framed_flags_clear);
BENCHMARK(BM_call_framed_flags_set);
BENCHMARK(BM_status_write);

}  // namespace
