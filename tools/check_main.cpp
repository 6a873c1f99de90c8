// kalm_check: the vector runner alone, for hosts where the full tool's
// dependencies are not at hand (cross builds run under an emulator).
//   kalm_check [--host-tolerant] [--caller-env NAME[,NAME...]|each] FILE...
// --host-tolerant accepts an underflow flag detected before rounding (see
// vectors.hpp) and names every line it accepts; by default nothing differs.
#include <cstdio>
#include <cstring>
#include <iostream>

#include "vectors.hpp"

int main(int argc, char** argv) {
    kalmtool::Tally tally;
    kalmtool::RunnerOptions opts;
    std::vector<std::string> files;
    std::string error;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--host-tolerant") == 0) {
            kalmtool::set_host_tolerant(true);
            continue;
        }
        if (int used = kalmtool::parse_runner_option(argc, argv, i, opts, error)) {
            if (used < 0) {
                std::fprintf(stderr, "kalm_check: %s\n", error.c_str());
                return 2;
            }
            i += used - 1;
            continue;
        }
        files.push_back(argv[i]);
    }
    if (!kalmtool::run_vector_files(files, opts, std::cout, tally, false, error)) {
        std::fprintf(stderr, "kalm_check: %s\n", error.c_str());
        return 2;
    }
    std::printf("%ld passed, %ld failed\n", tally.passed, tally.failed);
    if (kalmtool::tolerated_count()) std::printf("(%ld host differences tolerated)\n", kalmtool::tolerated_count());
    return tally.failed ? 1 : 0;
}
