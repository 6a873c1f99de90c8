// SPDX-License-Identifier: MIT
// Loops of the kinds a port runs, over an array of the usual arguments, on the
// default path and inside a device-environment scope (Scope/1): a framed export
// alone, framed and rounding exports mixed, and unframed singles with a
// rounding export, where the scope's clearing writes are the only register
// work left. `kalm_bench --benchmark_filter=Mixed` prints both sides of each.
#include <benchmark/benchmark.h>

#include <vector>

#include "kalmlib/kalmlib.h"

namespace {

constexpr int kN = 512;

const std::vector<double>& inputs() {
    static const std::vector<double> x = [] {
        std::vector<double> v(kN);
        for (int i = 0; i < kN; ++i) v[i] = -10.0 + 20.0 * (i + 0.5) / kN;
        return v;
    }();
    return x;
}

template <double (*F)(double)>
void mixed(benchmark::State& s) {
    const std::vector<double>& x = inputs();
    std::vector<double> y(kN);
    kalm_set_control_word(KALM_MASK_ALL);
    const bool scope = s.range(0) != 0;
    if (scope) kalm_enter_device_env();
    for (auto _ : s) {
        for (int i = 0; i < kN; ++i) y[i] = F(x[i]);
        benchmark::ClobberMemory();
    }
    if (scope) kalm_leave_device_env();
    s.SetItemsProcessed(s.iterations() * kN);
}

double sin_alone(double v) { return kalm_sin(v); }
double ceil_of_sin(double v) { return kalm_ceil(kalm_sin(v)); }
double root_and_ceil(double v) { return kalm_sqrt(v * v) + kalm_ceil(v); }
double floorf_of_expf(double v) { return kalm_floorf(kalm_expf(static_cast<float>(v))); }

}  // namespace

BENCHMARK(mixed<sin_alone>)->Name("Mixed/sin")->ArgName("scope")->Arg(0)->Arg(1);
BENCHMARK(mixed<ceil_of_sin>)->Name("Mixed/ceil_of_sin")->ArgName("scope")->Arg(0)->Arg(1);
BENCHMARK(mixed<root_and_ceil>)->Name("Mixed/sqrt_plus_ceil")->ArgName("scope")->Arg(0)->Arg(1);
BENCHMARK(mixed<floorf_of_expf>)->Name("Mixed/floorf_of_expf")->ArgName("scope")->Arg(0)->Arg(1);
