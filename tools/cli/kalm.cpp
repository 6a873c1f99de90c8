// SPDX-License-Identifier: MIT
// kalm: evaluate exports, list the export table, check or generate vectors,
// measure accuracy and speed, and report on the whole library. One entry per
// command below; `kalm help` is made from the table, `kalm help NAME` and
// `kalm NAME --help` from the command's options.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.hpp"

namespace kalmtool {

const Command kCommands[] = {
    {"eval", "NAME ARG...", "evaluate one call: result bits, flags, and the exception an unmasked call raises",
     cmd_eval},
    {"exports", "", "the export table: ordinals, names, signatures, words in and out", cmd_exports},
    {"vectors", "[FILE...|-]", "check vector files (default: stdin); with --generate, complete bare input lines",
     cmd_vectors},
    {"accuracy", "[NAME...] | NAME LO HI [COUNT]",
     "ulp error against MPFR on random inputs per export (or in [LO, HI]), or on every float input", cmd_accuracy},
    {"bench", "[NAME...] | NAME LO HI | --bands [NAME...] | --batch [NAME...]", "ns/call beside the host libm: throughput and latency, with their dispersion",
     cmd_bench},
    {"batch-check", "NAME...",
     "the batch entries against the scalar exports, bit for bit: random arguments, or every float",
     cmd_batch_check},
    {"plot", "NAME [LO HI]", "draw the ulp error against the input (two inputs: a heat map) with gnuplot", cmd_plot},
    {"report", "", "vectors, accuracy and speed on one screen; status 0 only if every vector passes", cmd_report},
    {"help", "[COMMAND]", "this list, or one command's options", cmd_help},
    {nullptr, nullptr, nullptr, nullptr},
};

namespace {

const char* const kExitStatuses =
    "exit status: 0 ok, 1 a mismatch or a limit exceeded, 2 a bad command line or malformed input, "
    "3 an I/O error (130 interrupted)\n";

const Command* find_command(const std::string& name) {
    for (const Command* c = kCommands; c->name != nullptr; ++c)
        if (name == c->name) return c;
    return nullptr;
}

void print_commands(std::FILE* to) {
    std::fprintf(to, "usage: kalm COMMAND [ARG...]   (kalm help COMMAND, or kalm COMMAND --help: its options)\n");
    for (const Command* c = kCommands; c->name != nullptr; ++c) {
        const std::string call = std::string(c->name) + (*c->operands ? " " : "") + c->operands;
        if (call.size() > 22) std::fprintf(to, "  %s\n  %-22s %s\n", call.c_str(), "", c->help);
        else std::fprintf(to, "  %-22s %s\n", call.c_str(), c->help);
    }
    std::fputs(kExitStatuses, to);
}

}  // namespace

Options command_options(const char* name) {
    for (const Command* c = kCommands; c->name != nullptr; ++c)
        if (std::strcmp(c->name, name) == 0) return Options(std::string("kalm ") + c->name, c->operands, c->help);
    return Options(std::string("kalm ") + name, "");
}

bool parse_command_line(Options& options, int argc, char** argv, std::vector<std::string>& operands, int& status) {
    switch (options.parse(argc, argv, operands)) {
        case Options::Status::Ok: return true;
        case Options::Status::Help:
            std::fputs(options.usage().c_str(), stdout);
            std::fputs(kExitStatuses, stdout);
            status = 0;
            return false;
        case Options::Status::Version:
            std::printf("kalm %s\n", KALM_VERSION);
            status = 0;
            return false;
        case Options::Status::Error: break;
    }
    std::fprintf(stderr, "%s: %s\n", options.program().c_str(), options.error().c_str());
    status = 2;
    return false;
}

int cmd_help(int argc, char** argv) {
    if (argc == 0) {
        print_commands(stdout);
        return 0;
    }
    if (argc > 1) return bad_input("help: one command at most (see 'kalm help')");
    const Command* c = find_command(argv[0]);
    if (c == nullptr) return bad_input(std::string("unknown command '") + argv[0] + "' (see 'kalm help')");
    if (c->run == cmd_help) {
        print_commands(stdout);
        return 0;
    }
    char help[] = "--help";
    char* args[] = {help, nullptr};
    return c->run(1, args);
}

}  // namespace kalmtool

int main(int argc, char** argv) {
    using namespace kalmtool;
    if (argc < 2) {
        print_commands(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help") return cmd_help(0, nullptr);
    if (name == "--version") {
        std::printf("kalm %s\n", KALM_VERSION);
        return 0;
    }
    const Command* c = find_command(name);
    if (c == nullptr) return bad_input("unknown command '" + name + "' (see 'kalm help')");
    return c->run(argc - 2, argv + 2);
}
