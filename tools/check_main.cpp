// kalm_check: the vector runner alone, for hosts where the full tool's
// dependencies are not at hand (cross builds run under an emulator).
//   kalm_check [--host-tolerant] FILE...
// --host-tolerant accepts an underflow flag detected before rounding (see
// vectors.hpp) and names every line it accepts; by default nothing differs.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "vectors.hpp"

int main(int argc, char** argv) {
    kalmtool::Tally tally;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--host-tolerant") == 0) {
            kalmtool::set_host_tolerant(true);
            continue;
        }
        std::ifstream in(argv[i]);
        if (!in) {
            std::fprintf(stderr, "kalm_check: cannot read '%s'\n", argv[i]);
            return 2;
        }
        kalmtool::process_stream(in, argv[i], std::cout, tally);
    }
    std::printf("%ld passed, %ld failed\n", tally.passed, tally.failed);
    if (kalmtool::tolerated_count()) std::printf("(%ld host differences tolerated)\n", kalmtool::tolerated_count());
    return tally.failed ? 1 : 0;
}
