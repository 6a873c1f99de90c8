// SPDX-License-Identifier: MIT
// kalm exports: the export table as the library reports it.
#include <cstdio>

#include "commands.hpp"

namespace kalmtool {
namespace {

const char* sig_text(int s) {
    switch (s) {
        case KALM_SIG_D_D: return "double(double)";
        case KALM_SIG_DD_D: return "double(double, double)";
        case KALM_SIG_ID_D: return "double(int, double)";
        case KALM_SIG_F_F: return "float(float)";
        default: return "float(float, float)";
    }
}

}  // namespace

int cmd_exports(int argc, char** argv) {
    Options options = command_options("exports");
    std::vector<std::string> operands;
    int status = 0;
    if (!parse_command_line(options, argc, argv, operands, status)) return status;
    if (!operands.empty()) return bad_input("exports: unexpected argument '" + operands[0] + "'");
    std::printf("%-8s %-7s %-24s %s\n", "ordinal", "name", "signature", "words in/out");
    for (std::size_t i = 0; i < kalm_export_count(); ++i) {
        const kalm_export* e = kalm_export_at(i);
        std::printf("%-8d %-7s %-24s %d/%d\n", e->ordinal, e->name, sig_text(e->signature), e->arg_words, e->result_words);
    }
    return 0;
}

}  // namespace kalmtool
