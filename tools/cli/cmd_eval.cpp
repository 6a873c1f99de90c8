// SPDX-License-Identifier: MIT
// kalm eval NAME ARG... [--unmask LIST]: one call through the export table,
// with its result, sticky flags and (with --unmask) the exception it raises.
#include <cinttypes>
#include <cstdio>

#include "abi/words.hpp"
#include "commands.hpp"
#include "kalmlib/kalmlib.hpp"
#include "vectors.hpp"

namespace kalmtool {
namespace {

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

}  // namespace

int cmd_eval(int argc, char** argv) {
    std::uint32_t unmask = 0;
    Options options = command_options("eval");
    options.custom("--unmask", "LIST",
                   "exceptions to unmask, comma-separated: inexact, underflow, overflow, divbyzero, invalid, all",
                   [&unmask](const std::string& v, std::string& error) {
                       if (parse_unmask(v, unmask)) return true;
                       error = "bad list '" + v + "'";
                       return false;
                   });
    std::vector<std::string> pos;
    int status = 0;
    if (!parse_command_line(options, argc, argv, pos, status)) return status;
    if (pos.empty()) return bad_input("eval needs NAME ARG...");
    const kalm_export* e = kalm_export_by_name(pos[0].c_str());
    if (!e) return bad_input("unknown export '" + pos[0] + "' (see 'kalm exports')");
    const std::size_t nargs = e->signature == KALM_SIG_D_D || e->signature == KALM_SIG_F_F ? 1 : 2;
    if (pos.size() - 1 != nargs) return bad_input(pos[0] + " takes " + std::to_string(nargs) + " argument(s)");
    std::vector<std::uint32_t> words;
    const bool is_float = e->signature == KALM_SIG_F_F || e->signature == KALM_SIG_FF_F;
    for (std::size_t i = 1; i < pos.size(); ++i) {
        std::string err;
        if (e->signature == KALM_SIG_ID_D && i == 1) {
            std::int32_t n;
            if (!parse_int(pos[i], n)) return bad_input("'" + pos[i] + "' is not a 32-bit integer");
            append_words(words, static_cast<int>(n));
        } else if (!parse_value(pos[i], is_float, words, err)) {
            return bad_input(err);
        }
    }
    std::uint32_t res[2] = {0, 0};
    const std::uint32_t saved = kalm_control_word();
    kalm_set_control_word(KALM_MASK_ALL & ~unmask);
    kalm_clear_flags();
    try {
        kalm_call(e->ordinal, words.data(), words.size(), res, 2, app_report_address());
        const std::uint32_t flags = kalm_status() & 0x1Du;
        const std::uint64_t bits = kalm::words::result_bits(res, static_cast<std::size_t>(e->result_words));
        if (e->result_words == 2)
            std::printf("%.17g  0x%016" PRIx64 "\n", kalm::words::double_at(res), bits);
        else
            std::printf("%.9g  0x%08" PRIx64 "\n", static_cast<double>(kalm::words::float_at(res)), bits);
        std::printf("flags: %02x (%s)\n", flags, flag_names(flags).c_str());
        if (unmask) std::printf("raised: none\n");
    } catch (const kalm::FpException& ex) {
        std::printf("raised: %s (0x%08" PRIX32 ") against 0x%" PRIxPTR " (%s)\n", kalm::status_name(ex.status_code()),
                    ex.status_code(), ex.report_address(),
                    classify_address(ex.report_address()) == "app" ? "the caller's call" : "inside the library");
    }
    kalm_set_control_word(saved);
    return 0;
}

}  // namespace kalmtool
