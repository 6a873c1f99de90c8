// SPDX-License-Identifier: MIT
// kalm_batch_check [--caller-env NAME[,NAME...]|each] [--random N [--seed S]]
// FILE...: every vector line through the batch entries (kalmlib_batch.h) on
// every instruction set this CPU runs: the lines of an export as one array, in
// place, and in short pieces; result bits as the line says, the caller's
// register exactly as it was (sticky flags included), no raise with every
// exception unmasked. With --random N, also N arguments per export with SIMD
// kernels, drawn over its special ranges (batch_random.hpp), through the batch
// entry on each set and compared with the scalar export bit for bit. Built in
// every configuration, so that the <cfenv> layer and the cross builds (under
// qemu, where the AArch64 build runs its NEON kernels) check their own way of
// setting the environment aside. Status: 0 when every line and element
// passes, 1 when one does not, 2 for a bad command line or a malformed line or
// file.
#include <chrono>
#include <cstdio>
#include <string>

#include "batch_random.hpp"
#include "batch_vectors.hpp"

namespace {

const char* isa_name(int isa) {
    switch (isa) {
        case KALM_BATCH_SCALAR: return "scalar";
        case KALM_BATCH_AVX2: return "avx2";
        case KALM_BATCH_AVX512: return "avx512";
        case KALM_BATCH_NEON: return "neon";
        default: return "?";
    }
}

}  // namespace

int main(int argc, char** argv) {
    kalmtool::RunnerOptions opts;
    kalmtool::Options options("kalm_batch_check", "FILE...",
                              "check vector lines through the batch entries, on every instruction set this CPU runs");
    kalmtool::add_runner_options(options, opts);
    long long random = 0;
    std::uint64_t seed = 1;
    options.count("--random", random, 0, 1000000000000LL,
                  "also N random arguments per export with SIMD kernels against the scalar export (default 0)")
        .u64("--seed", seed, "seed of the random arguments (default 1)");
    std::vector<std::string> files;
    switch (options.parse(argc - 1, argv + 1, files)) {
        case kalmtool::Options::Status::Help: std::fputs(options.usage().c_str(), stdout); return 0;
        case kalmtool::Options::Status::Version: std::printf("%s %s\n", "kalm_batch_check", KALM_VERSION); return 0;
        case kalmtool::Options::Status::Error:
            std::fprintf(stderr, "kalm_batch_check: %s\n", options.error().c_str());
            return 2;
        case kalmtool::Options::Status::Ok: break;
    }
    if (files.empty()) {
        std::fprintf(stderr, "kalm_batch_check: no vector file given (see 'kalm_batch_check --help')\n");
        return 2;
    }
    std::vector<kalmtool::Vector> lines;
    std::vector<std::string> where;
    for (const auto& f : files) {
        std::string error;
        if (!kalmtool::read_vector_lines(f, lines, where, error)) {
            std::fprintf(stderr, "kalm_batch_check: %s\n", error.c_str());
            return 2;
        }
    }
    std::vector<const kalmtool::CallerEnv*> envs = opts.envs;
    if (envs.empty()) envs.push_back(&kalmtool::caller_envs().front());
    const int best = kalm_batch_isa();
    long failures = 0, runs = 0, calls = 0;
    std::string isas;
    for (int isa = KALM_BATCH_SCALAR; isa <= KALM_BATCH_NEON; ++isa) {
        if (kalm_batch_set_isa(isa) != KALM_OK) continue;
        isas += std::string(isas.empty() ? "" : ",") + isa_name(isa);
        for (const kalmtool::CallerEnv* env : envs) {
            kalmtool::BatchTally t;
            kalmtool::check_batch_lines(lines, where, *env, t);
            for (const auto& m : t.messages) std::printf("%s\n", m.c_str());
            if (t.failures != 0)
                std::printf("instruction set %s, caller environment %s: %ld failures\n", isa_name(isa), env->name,
                            t.failures);
            failures += t.failures;
            calls += t.calls;
            ++runs;
        }
        // The scalar loop is the scalar export's own routine: the random
        // arguments are for the kernels.
        if (random > 0 && isa != KALM_BATCH_SCALAR) {
            const auto t0 = std::chrono::steady_clock::now();
            long long compared = 0, differ = 0;
            for (const std::string& name : kalmtool::batch_kernel_exports()) {
                kalmtool::RandomTally t;
                kalmtool::random_batch_check(name, static_cast<std::uint64_t>(random), seed, t);
                for (const auto& m : t.messages) std::printf("%s on %s\n", m.c_str(), isa_name(isa));
                if (t.mismatches != 0) std::printf("%s on %s: %lld of %lld random arguments differ\n", name.c_str(),
                                                   isa_name(isa), t.mismatches, t.compared);
                compared += t.compared;
                differ += t.mismatches;
            }
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            std::printf("random arguments on %s: %zu exports, %lld compared, %lld differ (%.1f s)\n", isa_name(isa),
                        kalmtool::batch_kernel_exports().size(), compared, differ, s);
            failures += differ != 0;
        }
    }
    kalm_batch_set_isa(best);
    std::printf("batch entries: %zu lines, instruction sets %s (best %s), %zu caller environments: %ld calls, %ld failures\n",
                lines.size(), isas.c_str(), isa_name(best), envs.size(), calls, failures);
    return failures == 0 && !lines.empty() ? 0 : 1;
}
