// SPDX-License-Identifier: MIT
// kalm_batch_check [--caller-env NAME[,NAME...]|each] FILE...: every vector
// line through the batch entries (kalmlib_batch.h) on every instruction set
// this CPU runs: the lines of an export as one array, in place, and in short
// pieces; result bits as the line says, the caller's register exactly as it
// was (sticky flags included), no raise with every exception unmasked. Built
// in every configuration, so that the <cfenv> layer and the cross builds
// (under qemu) check their own way of setting the environment aside.
// Status: 0 when every line passes, 1 when one does not, 2 for a bad command
// line or a malformed line or file.
#include <cstdio>
#include <string>

#include "batch_vectors.hpp"

int main(int argc, char** argv) {
    kalmtool::RunnerOptions opts;
    kalmtool::Options options("kalm_batch_check", "FILE...",
                              "check vector lines through the batch entries, on every instruction set this CPU runs");
    kalmtool::add_runner_options(options, opts);
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
    for (int isa = KALM_BATCH_SCALAR; isa <= best; ++isa) {
        if (kalm_batch_set_isa(isa) != KALM_OK) continue;
        isas += (isas.empty() ? "" : ",") + std::to_string(isa);
        for (const kalmtool::CallerEnv* env : envs) {
            kalmtool::BatchTally t;
            kalmtool::check_batch_lines(lines, where, *env, t);
            for (const auto& m : t.messages) std::printf("%s\n", m.c_str());
            if (t.failures != 0)
                std::printf("instruction set %d, caller environment %s: %ld failures\n", isa, env->name, t.failures);
            failures += t.failures;
            calls += t.calls;
            ++runs;
        }
    }
    kalm_batch_set_isa(best);
    std::printf("batch entries: %zu lines, instruction sets %s, %zu caller environments: %ld calls, %ld failures\n",
                lines.size(), isas.c_str(), envs.size(), calls, failures);
    return failures == 0 && !lines.empty() ? 0 : 1;
}
