// SPDX-License-Identifier: MIT
// kalm bench --batch: ns per element of the batch entries on each instruction
// set, beside the scalar export, the host libm's scalar function and glibc's
// libmvec (batch_bench.cpp).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "commands.hpp"

namespace kalmtool {

struct BatchBenchRow {
    const Function* f = nullptr;
    std::string inputs;
    std::map<std::string, double> ns;    // column -> median ns per element
    std::map<std::string, double> disp;  // column -> dispersion over the repetitions
};

// The columns this machine can have, in table order ("batch avx512", ...,
// "kalm scalar", "glibc scalar", "libmvec avx512", "libmvec avx2"); a row
// lacks the libmvec ones where glibc has no vector form of the function.
std::vector<std::string> batch_bench_columns();
BatchBenchRow run_batch_bench(const Function& f, int reps, double target_ms);

// The batch entry kalm_batch_<stem> of an export, as an untyped pointer.
VoidFn batch_entry(const kalm_export* e);

}  // namespace kalmtool
