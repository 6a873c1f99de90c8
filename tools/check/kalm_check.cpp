// SPDX-License-Identifier: MIT
// kalm_check: the vector runner alone, for hosts where the full tool's
// dependencies are not at hand (cross builds run it under an emulator).
//   kalm_check [--host-tolerant] [--caller-env NAME[,NAME...]|each] FILE...|-
// --host-tolerant accepts an underflow flag detected before rounding (see
// vectors.hpp) and names every line it accepts; by default nothing differs.
// Status: 0 when every line passes, 1 when one does not, 2 for a bad command
// line or a malformed line, 3 for a file that cannot be read.
#include <cstdio>
#include <iostream>

#include "vectors.hpp"

int main(int argc, char** argv) {
    bool tolerant = false;
    kalmtool::RunnerOptions opts;
    kalmtool::Options options("kalm_check", "FILE...|-",
                              "check vector lines (FILE - is standard input); bare input lines print their outcome");
    options.flag("--host-tolerant", tolerant,
                 "accept an underflow flag detected before rounding, and name every line so accepted");
    kalmtool::add_runner_options(options, opts);
    std::vector<std::string> files;
    switch (options.parse(argc - 1, argv + 1, files)) {
        case kalmtool::Options::Status::Help: std::fputs(options.usage().c_str(), stdout); return 0;
        case kalmtool::Options::Status::Version: std::printf("%s %s\n", "kalm_check", KALM_VERSION); return 0;
        case kalmtool::Options::Status::Error: std::fprintf(stderr, "kalm_check: %s\n", options.error().c_str()); return 2;
        case kalmtool::Options::Status::Ok: break;
    }
    // No file would check nothing and pass: a glob that matched nothing, say.
    if (files.empty()) {
        std::fprintf(stderr, "kalm_check: no vector file given (see 'kalm_check --help')\n");
        return 2;
    }
    kalmtool::set_host_tolerant(tolerant);
    kalmtool::Tally tally;
    std::string error;
    kalmtool::TextSink sink(std::cout);
    if (const int io = kalmtool::run_vector_files(files, opts, sink, tally, error); io != 0) {
        std::cout.flush();
        std::fprintf(stderr, "kalm_check: %s\n", error.c_str());
        return io;
    }
    std::printf("%ld passed, %ld failed", tally.passed, tally.failed);
    if (tally.malformed) std::printf(", %ld malformed", tally.malformed);
    std::printf("\n");
    if (kalmtool::tolerated_count()) std::printf("(%ld host differences tolerated)\n", kalmtool::tolerated_count());
    return kalmtool::exit_status(tally);
}
