// The foundation's costs beside the host's hardware: division, square root,
// and the frame itself. Latency: a dependent chain; throughput: an array.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "common/exports.hpp"
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

// Latency chains: each result feeds the next operand.
void BM_div_hw_latency(benchmark::State& s) {
    double x = 1.2345, y = 1.0000001;
    for (auto _ : s) {
        x = x / y;
        benchmark::DoNotOptimize(x);
    }
}
void BM_soft_ddiv_latency(benchmark::State& s) {
    double x = 1.2345, y = 1.0000001;
    for (auto _ : s) {
        x = soft_ddiv(x, y, 0);
        benchmark::DoNotOptimize(x);
    }
}
void BM_sdiv_hw_latency(benchmark::State& s) {
    float x = 1.2345f, y = 1.0001f;
    for (auto _ : s) {
        x = x / y;
        benchmark::DoNotOptimize(x);
    }
}
void BM_soft_sdiv_latency(benchmark::State& s) {
    float x = 1.2345f, y = 1.0001f;
    for (auto _ : s) {
        x = soft_sdiv(x, y);
        benchmark::DoNotOptimize(x);
    }
}
void BM_sqrt_hw_latency(benchmark::State& s) {
    double x = 2.5;
    for (auto _ : s) {
        x = std::sqrt(x) + 1.5;
        benchmark::DoNotOptimize(x);
    }
}
void BM_sqrt_latency(benchmark::State& s) {
    double x = 2.5;
    for (auto _ : s) {
        x = kalm::lib::sqrt(x, 0) + 1.5;
        benchmark::DoNotOptimize(x);
    }
}
void BM_sqrtf_hw_latency(benchmark::State& s) {
    float x = 2.5f;
    for (auto _ : s) {
        x = std::sqrt(x) + 1.5f;
        benchmark::DoNotOptimize(x);
    }
}
void BM_sqrtf_latency(benchmark::State& s) {
    float x = 2.5f;
    for (auto _ : s) {
        x = kalm::lib::sqrtf(x, 0) + 1.5f;
        benchmark::DoNotOptimize(x);
    }
}

// Throughput over an array of independent inputs.
void BM_soft_ddiv_throughput(benchmark::State& s) {
    auto a = inputs(1024, 0.5, 4), b = inputs(1024, 0.5, 4);
    for (auto _ : s)
        for (std::size_t i = 0; i < a.size(); ++i) benchmark::DoNotOptimize(soft_ddiv(a[i], b[i], 0));
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
        benchmark::DoNotOptimize(x);
    }
}
void BM_call_framed_flags_clear(benchmark::State& s) {
    double x = 1.5;
    clear_sticky();
    for (auto _ : s) {
        x = framed(x);
        benchmark::DoNotOptimize(x);
    }
}
void BM_call_framed_flags_set(benchmark::State& s) {  // pays the status write every call
    double x = 1.5;
    for (auto _ : s) {
        write_sticky(0x10);
        x = framed(x);
        benchmark::DoNotOptimize(x);
    }
    clear_sticky();
}
void BM_status_write(benchmark::State& s) {
    for (auto _ : s) write_sticky(0x10);
    clear_sticky();
}

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
BENCHMARK(BM_sqrt_hw_throughput);
BENCHMARK(BM_sqrt_throughput);
BENCHMARK(BM_call_unframed);
BENCHMARK(BM_call_framed_flags_clear);
BENCHMARK(BM_call_framed_flags_set);
BENCHMARK(BM_status_write);

}  // namespace
