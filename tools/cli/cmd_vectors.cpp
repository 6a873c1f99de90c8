// SPDX-License-Identifier: MIT
// kalm vectors [--summary] [--caller-env ...] [FILE...|-]: the vector runner
// on files or standard input. Status 1 when a line fails.
#include <cstdio>
#include <iostream>

#include "commands.hpp"
#include "vectors.hpp"

namespace kalmtool {

int cmd_vectors(int argc, char** argv) {
    bool summary_only = false;
    RunnerOptions opts;
    Options options = command_options("vectors");
    options.flag("--summary", summary_only, "leave out the outcomes of bare input lines (failures are still listed)");
    add_runner_options(options, opts);
    std::vector<std::string> files;
    int status = 0;
    if (!parse_command_line(options, argc, argv, files, status)) return status;
    if (files.empty()) files.push_back("-");
    Tally tally;
    std::string error;
    if (!run_vector_files(files, opts, std::cout, tally, summary_only, error)) return bad_input(error);
    if (tally.passed + tally.failed > 0 || tally.generated == 0)
        std::printf("%ld passed, %ld failed\n", tally.passed, tally.failed);
    return tally.failed ? 1 : 0;
}

}  // namespace kalmtool
