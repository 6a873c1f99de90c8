// SPDX-License-Identifier: MIT
// A guest call (kalm_guest_call: argument words, the guest's control and status
// words in and out, the host thread's state given back) beside a direct call of
// the same export, for sqrt, sin, pow and fabsf, and beside a direct call whose
// caller then reads the flags (kalm_status): a guest call hands the guest its
// flags on every call, so it reads the status register once more than a bare
// direct call in the device's environment, which reads it only at entry. All
// loops make independent calls over the same 512 inputs; compare from one run:
//   build/bench/kalm_bench --benchmark_filter='Guest|Direct' --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "kalmlib/kalmlib.h"

namespace {

constexpr int kInputs = 512;

std::vector<double> doubles(double lo, double hi) {
    std::vector<double> v(kInputs);
    std::uint64_t s = 0x9E3779B97F4A7C15ull;
    for (double& x : v) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        x = lo + (hi - lo) * static_cast<double>(s >> 11) * 0x1p-53;
    }
    return v;
}

struct Words {
    std::vector<std::uint32_t> w;
    int per;
};

Words words_of(const std::vector<double>& a, const std::vector<double>* b = nullptr) {
    Words out{{}, b ? 4 : 2};
    for (int i = 0; i < kInputs; ++i) {
        const auto x = std::bit_cast<std::uint64_t>(a[i]);
        out.w.push_back(static_cast<std::uint32_t>(x));
        out.w.push_back(static_cast<std::uint32_t>(x >> 32));
        if (b) {
            const auto y = std::bit_cast<std::uint64_t>((*b)[i]);
            out.w.push_back(static_cast<std::uint32_t>(y));
            out.w.push_back(static_cast<std::uint32_t>(y >> 32));
        }
    }
    return out;
}

void guest_loop(benchmark::State& state, int ordinal, const Words& in, std::size_t nargs) {
    std::uint32_t status = 0, res[2];
    kalm_guest_raise raise;
    for (auto _ : state) {
        for (int i = 0; i < kInputs; ++i) {
            kalm_guest_call(ordinal, in.w.data() + static_cast<std::size_t>(i) * in.per, nargs, res, 2, 0x10000u,
                            KALM_MASK_ALL, &status, &raise);
            benchmark::DoNotOptimize(res);
        }
    }
    state.SetItemsProcessed(state.iterations() * kInputs);
}

const std::vector<double> kSqrtIn = doubles(0, 1e6), kSinIn = doubles(-10, 10), kPowX = doubles(0, 10),
                          kPowY = doubles(-10, 10), kFabsIn = doubles(-1, 1);

void BM_Direct_sqrt(benchmark::State& state) {
    for (auto _ : state)
        for (double x : kSqrtIn) benchmark::DoNotOptimize(kalm_sqrt(x));
    state.SetItemsProcessed(state.iterations() * kInputs);
}
void BM_Guest_sqrt(benchmark::State& state) { guest_loop(state, 35, words_of(kSqrtIn), 2); }

void BM_Direct_sin(benchmark::State& state) {
    for (auto _ : state)
        for (double x : kSinIn) benchmark::DoNotOptimize(kalm_sin(x));
    state.SetItemsProcessed(state.iterations() * kInputs);
}
void BM_DirectFlags_sin(benchmark::State& state) {
    for (auto _ : state)
        for (double x : kSinIn) {
            benchmark::DoNotOptimize(kalm_sin(x));
            benchmark::DoNotOptimize(kalm_status());
        }
    state.SetItemsProcessed(state.iterations() * kInputs);
}
void BM_Guest_sin(benchmark::State& state) { guest_loop(state, 31, words_of(kSinIn), 2); }

void BM_Direct_pow(benchmark::State& state) {
    for (auto _ : state)
        for (int i = 0; i < kInputs; ++i) benchmark::DoNotOptimize(kalm_pow(kPowX[i], kPowY[i]));
    state.SetItemsProcessed(state.iterations() * kInputs);
}
void BM_DirectFlags_pow(benchmark::State& state) {
    for (auto _ : state)
        for (int i = 0; i < kInputs; ++i) {
            benchmark::DoNotOptimize(kalm_pow(kPowX[i], kPowY[i]));
            benchmark::DoNotOptimize(kalm_status());
        }
    state.SetItemsProcessed(state.iterations() * kInputs);
}
void BM_Guest_pow(benchmark::State& state) { guest_loop(state, 29, words_of(kPowX, &kPowY), 4); }

void BM_Direct_fabsf(benchmark::State& state) {
    std::vector<float> in(kFabsIn.begin(), kFabsIn.end());
    for (auto _ : state)
        for (float x : in) benchmark::DoNotOptimize(kalm_fabsf(x));
    state.SetItemsProcessed(state.iterations() * kInputs);
}
void BM_Guest_fabsf(benchmark::State& state) {
    Words in{{}, 1};
    for (double x : kFabsIn) in.w.push_back(std::bit_cast<std::uint32_t>(static_cast<float>(x)));
    guest_loop(state, 20, in, 1);
}

}  // namespace

BENCHMARK(BM_Direct_sqrt);
BENCHMARK(BM_Guest_sqrt);
BENCHMARK(BM_Direct_sin);
BENCHMARK(BM_DirectFlags_sin);
BENCHMARK(BM_Guest_sin);
BENCHMARK(BM_Direct_pow);
BENCHMARK(BM_DirectFlags_pow);
BENCHMARK(BM_Guest_pow);
BENCHMARK(BM_Direct_fabsf);
BENCHMARK(BM_Guest_fabsf);
