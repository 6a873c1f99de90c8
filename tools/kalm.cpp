// kalm: evaluate exports, list the export table, check or generate vectors,
// measure accuracy and speed, and report on the whole library.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "commands.hpp"
#include "kalmlib/kalmlib.hpp"
#include "vectors.hpp"

using namespace kalmtool;

namespace {

int usage_error(const std::string& msg) {
    std::fprintf(stderr, "kalm: %s\n", msg.c_str());
    return 2;
}

const char* sig_text(int s) {
    switch (s) {
        case KALM_SIG_D_D: return "double(double)";
        case KALM_SIG_DD_D: return "double(double, double)";
        case KALM_SIG_ID_D: return "double(int, double)";
        case KALM_SIG_F_F: return "float(float)";
        default: return "float(float, float)";
    }
}

int cmd_exports() {
    std::printf("%-8s %-7s %-24s %s\n", "ordinal", "name", "signature", "words in/out");
    for (std::size_t i = 0; i < kalm_export_count(); ++i) {
        const kalm_export* e = kalm_export_at(i);
        std::printf("%-8d %-7s %-24s %d/%d\n", e->ordinal, e->name, sig_text(e->signature), e->arg_words, e->result_words);
    }
    return 0;
}

bool parse_unmask(const std::string& list, std::uint32_t& mask) {
    mask = 0;
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        std::string item = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (item == "inexact") mask |= KALM_MASK_INEXACT;
        else if (item == "underflow") mask |= KALM_MASK_UNDERFLOW;
        else if (item == "overflow") mask |= KALM_MASK_OVERFLOW;
        else if (item == "divbyzero" || item == "divide-by-zero") mask |= KALM_MASK_DIVBYZERO;
        else if (item == "invalid") mask |= KALM_MASK_INVALID;
        else if (item == "all") mask |= KALM_MASK_ALL;
        else return false;
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    return true;
}

std::string flag_names(std::uint32_t f) {
    std::string s;
    auto add = [&](const char* n) { s += s.empty() ? n : std::string(",") + n; };
    if (f & KALM_FLAG_INVALID) add("invalid");
    if (f & KALM_FLAG_OVERFLOW) add("overflow");
    if (f & KALM_FLAG_UNDERFLOW) add("underflow");
    if (f & KALM_FLAG_INEXACT) add("inexact");
    return s.empty() ? "none" : s;
}

int cmd_eval(int argc, char** argv) {
    std::uint32_t unmask = 0;
    std::vector<std::string> pos;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--unmask") {
            if (i + 1 >= argc) return usage_error("--unmask needs a list (inexact,underflow,overflow,divbyzero,invalid,all)");
            if (!parse_unmask(argv[++i], unmask)) return usage_error(std::string("bad --unmask list '") + argv[i] + "'");
        } else {
            pos.push_back(a);
        }
    }
    if (pos.empty()) return usage_error("eval needs NAME ARG...");
    const kalm_export* e = kalm_export_by_name(pos[0].c_str());
    if (!e) return usage_error("unknown export '" + pos[0] + "' (see 'kalm exports')");
    const std::size_t nargs = e->signature == KALM_SIG_D_D || e->signature == KALM_SIG_F_F ? 1 : 2;
    if (pos.size() - 1 != nargs) return usage_error(pos[0] + " takes " + std::to_string(nargs) + " argument(s)");
    std::vector<std::uint32_t> words;
    const bool is_float = e->signature == KALM_SIG_F_F || e->signature == KALM_SIG_FF_F;
    for (std::size_t i = 1; i < pos.size(); ++i) {
        std::string err;
        if (e->signature == KALM_SIG_ID_D && i == 1) {
            std::int32_t n;
            if (!parse_int(pos[i], n)) return usage_error("'" + pos[i] + "' is not a 32-bit integer");
            words.push_back(static_cast<std::uint32_t>(n));
        } else if (!parse_value(pos[i], is_float, words, err)) {
            return usage_error(err);
        }
    }
    std::uint32_t res[2] = {0, 0};
    const std::uint32_t saved = kalm_control_word();
    kalm_set_control_word(KALM_MASK_ALL & ~unmask);
    kalm_clear_flags();
    int rc = 0;
    try {
        kalm_call(e->ordinal, words.data(), words.size(), res, 2, app_report_address());
        const std::uint32_t flags = kalm_status() & 0x1Du;
        if (e->result_words == 2) {
            std::uint64_t b = (static_cast<std::uint64_t>(res[1]) << 32) | res[0];
            double d;
            std::memcpy(&d, &b, 8);
            std::printf("%.17g  0x%016" PRIx64 "\n", d, b);
        } else {
            float f;
            std::memcpy(&f, &res[0], 4);
            std::printf("%.9g  0x%08" PRIx32 "\n", static_cast<double>(f), res[0]);
        }
        std::printf("flags: %02x (%s)\n", flags, flag_names(flags).c_str());
        if (unmask) std::printf("raised: none\n");
    } catch (const kalm::FpException& ex) {
        std::printf("raised: %s (0x%08" PRIX32 ") against 0x%" PRIxPTR " (%s)\n", kalm::status_name(ex.status_code()),
                    ex.status_code(), ex.report_address(),
                    classify_address(ex.report_address()) == "app" ? "the caller's call" : "inside the library");
        rc = 0;
    }
    kalm_set_control_word(saved);
    return rc;
}

int cmd_vectors(int argc, char** argv) {
    Tally tally;
    bool summary_only = false;
    RunnerOptions opts;
    std::vector<std::string> files;
    std::string error;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--summary") == 0) {
            summary_only = true;
        } else if (int used = parse_runner_option(argc, argv, i, opts, error)) {
            if (used < 0) return usage_error(error);
            i += used - 1;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty()) files.push_back("-");
    if (!run_vector_files(files, opts, std::cout, tally, summary_only, error)) return usage_error(error);
    if (tally.passed + tally.failed > 0 || tally.generated == 0)
        std::printf("%ld passed, %ld failed\n", tally.passed, tally.failed);
    return tally.failed ? 1 : 0;
}

void usage() {
    std::fprintf(stderr,
                 "usage: kalm eval NAME ARG... [--unmask LIST]   evaluate one call\n"
                 "       kalm exports                            the export table\n"
                 "       kalm vectors [--summary] [--caller-env NAME[,NAME...]|each] [FILE...|-]\n"
                 "             check (or generate) vector lines, every call under the caller floating-point\n"
                 "             environment NAME (each: all of this host's; an unknown NAME lists them)\n"
                 "       kalm accuracy [NAME...] [--samples N] [--seed S] [--exhaustive] [--threads T] [--csv FILE]\n"
                 "             ulp error against MPFR on N random inputs per export (default: sized for about a\n"
                 "             minute on 2 cores), or on every float input of single one-argument exports\n"
                 "       kalm bench [NAME...] [--reps N] [--csv FILE]\n"
                 "             ns/call beside the host libm: throughput and latency\n"
                 "       kalm report [--samples N] [--no-speed]\n"
                 "             vectors, accuracy and speed on one screen; status 0 only if every vector passes\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage();
        return 2;
    }
    std::string cmd = argv[1];
    if (cmd == "eval") return cmd_eval(argc - 2, argv + 2);
    if (cmd == "exports") return cmd_exports();
    if (cmd == "vectors") return cmd_vectors(argc - 2, argv + 2);
    if (cmd == "accuracy" || cmd == "bench" || cmd == "report")
        for (int i = 2; i < argc; ++i)
            if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
                usage();
                return 0;
            }
    if (cmd == "accuracy") return cmd_accuracy(argc - 2, argv + 2);
    if (cmd == "bench") return cmd_bench(argc - 2, argv + 2);
    if (cmd == "report") return cmd_report(argc - 2, argv + 2);
    if (cmd == "-h" || cmd == "--help" || cmd == "help") {
        usage();
        return 0;
    }
    usage();
    return usage_error("unknown command '" + cmd + "'");
}
