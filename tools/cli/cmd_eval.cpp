// SPDX-License-Identifier: MIT
// kalm eval NAME ARG... [--unmask LIST]...: one call through the export
// table. Each argument is read correctly rounded for its type (a float
// literal straight to float, never through double), and echoed as bits; the
// result and sticky flags with everything masked, the first exception raised
// with everything unmasked (and with the --unmask set, when given), the exact
// value from MPFR and the error of the result in ulps.
#include <mpfr.h>

#include <bit>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "abi/words.hpp"
#include "commands.hpp"
#include "kalmlib/kalmlib.hpp"
#include "ulp.hpp"
#include "vectors.hpp"

namespace kalmtool {
namespace {

bool parse_unmask(const std::string& list, std::uint32_t& mask) {
    std::uint32_t add = 0;
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        std::string item = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (item == "inexact") add |= KALM_MASK_INEXACT;
        else if (item == "underflow") add |= KALM_MASK_UNDERFLOW;
        else if (item == "overflow") add |= KALM_MASK_OVERFLOW;
        else if (item == "divbyzero" || item == "divide-by-zero") add |= KALM_MASK_DIVBYZERO;
        else if (item == "invalid") add |= KALM_MASK_INVALID;
        else if (item == "all") add |= KALM_MASK_ALL;
        else return false;
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    mask |= add;  // every --unmask adds to the set
    return true;
}

std::string mask_names(std::uint32_t m) {
    std::string s;
    auto add = [&](const char* n) { s += s.empty() ? n : std::string(",") + n; };
    if (m & KALM_MASK_INVALID) add("invalid");
    if (m & KALM_MASK_DIVBYZERO) add("divbyzero");
    if (m & KALM_MASK_OVERFLOW) add("overflow");
    if (m & KALM_MASK_UNDERFLOW) add("underflow");
    if (m & KALM_MASK_INEXACT) add("inexact");
    return s;
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

// "1.00000012 = 0x1.000002p+0 (0x3f800001)", from the bits (a float's in the
// low half), so that a signalling NaN is shown as it is.
std::string show_bits(std::uint64_t bits, bool single) {
    char buf[128];
    const double v = single ? static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits)))
                            : std::bit_cast<double>(bits);
    const int w = single ? 8 : 16;
    if (std::isnan(v)) std::snprintf(buf, sizeof buf, "%snan (0x%0*" PRIx64 ")", bits >> (single ? 31 : 63) ? "-" : "", w, bits);
    else if (std::isinf(v)) std::snprintf(buf, sizeof buf, "%g (0x%0*" PRIx64 ")", v, w, bits);
    else std::snprintf(buf, sizeof buf, "%.*g = %a (0x%0*" PRIx64 ")", single ? 9 : 17, v, v, w, bits);
    return buf;
}

std::uint64_t bits_of(double v, bool single) {
    return single ? std::bit_cast<std::uint32_t>(static_cast<float>(v)) : std::bit_cast<std::uint64_t>(v);
}
std::string show(double v, bool single) { return show_bits(bits_of(v, single), single); }

}  // namespace

bool parse_real_arg(const std::string& text, bool single, std::uint64_t& bits, std::string& error,
                    std::string& warning) {
    double value = 0;
    const char* const type = single ? "a float" : "a double";
    std::string low = text;
    for (auto& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // 0x and exactly 8 (float) or 16 (double) hex digits: the IEEE bits as
    // they are (a signalling NaN stays one). A hex-float literal has a 'p'.
    if (low.rfind("0x", 0) == 0 && low.find_first_of(".p") == std::string::npos) {
        std::vector<std::uint32_t> w;
        if (!parse_value(low, single, w, error)) {
            error += "; a hexadecimal value is written with an exponent, e.g. 0x1.8p+1";
            return false;
        }
        bits = single ? w[0] : (static_cast<std::uint64_t>(w[1]) << 32 | w[0]);  // the low word first
        return true;
    }
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) {
        error = "'" + text + "' is not a number";
        return false;
    }
    errno = 0;
    char* end = nullptr;
    // strtof rounds the literal once, to float; strtod then a conversion
    // would round twice.
    if (single) value = static_cast<double>(std::strtof(text.c_str(), &end));
    else value = std::strtod(text.c_str(), &end);
    const bool range = errno == ERANGE;
    if (end != text.c_str() + text.size() || end == text.c_str()) {
        error = "'" + text + "' is not a number (decimal, hex-float 0x1.8p+1, inf, nan, or 0x + " +
                (single ? "8" : "16") + " hex digits of IEEE bits)";
        return false;
    }
    if (range && std::isinf(value)) {
        error = "'" + text + "' overflows " + type + " (write inf for an infinity)";
        return false;
    }
    if (range && value == 0) {
        error = "'" + text + "' underflows " + type + " to zero (write 0 for a zero)";
        return false;
    }
    bits = bits_of(value, single);
    if (range) warning = "'" + text + "' is below the normal range of " + type + ": rounded to the subnormal " +
                         show(value, single);
    return true;
}

int cmd_eval(int argc, char** argv) {
    std::uint32_t unmask = 0;
    bool have_unmask = false;
    Options options = command_options("eval");
    options.custom("--unmask", "LIST",
                   "also call with these exceptions unmasked (comma-separated, repeatable: inexact, underflow, "
                   "overflow, divbyzero, invalid, all)",
                   [&](const std::string& v, std::string& error) {
                       have_unmask = true;
                       if (parse_unmask(v, unmask)) return true;
                       error = "bad list '" + v + "'";
                       return false;
                   });
    std::vector<std::string> pos;
    int status = 0;
    if (!parse_command_line(options, argc, argv, pos, status)) return status;
    if (pos.empty()) return bad_input("eval needs NAME ARG... (see 'kalm eval --help')");
    std::string err;
    const Function* f = find_function(pos[0], err);
    if (f == nullptr) return bad_input(err);
    const kalm_export* e = f->e;
    const std::size_t nargs = e->signature == KALM_SIG_D_D || e->signature == KALM_SIG_F_F ? 1 : 2;
    if (pos.size() - 1 != nargs)
        return bad_input(f->name + " takes " + std::to_string(nargs) + " argument" + (nargs == 1 ? "" : "s") + ", got " +
                         std::to_string(pos.size() - 1));
    Input in;
    std::vector<std::uint32_t> words;
    std::vector<std::string> shown;
    for (std::size_t i = 1; i < pos.size(); ++i) {
        if (e->signature == KALM_SIG_ID_D && i == 1) {
            std::int32_t n;
            if (!parse_int(pos[i], n)) return bad_input("'" + pos[i] + "' is not a 32-bit integer");
            in.n = n;
            append_words(words, static_cast<int>(n));
            shown.push_back("n = " + std::to_string(n));
            continue;
        }
        std::uint64_t bits = 0;
        std::string warning;
        if (!parse_real_arg(pos[i], f->single, bits, err, warning)) return bad_input(err);
        if (!warning.empty()) std::fprintf(stderr, "kalm eval: warning: %s\n", warning.c_str());
        // The words from the bits: a signalling NaN must reach the call unquieted.
        double v;
        if (f->single) {
            const float fv = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
            append_words(words, fv);
            v = static_cast<double>(fv);  // for MPFR; a NaN is a NaN there whatever its bits
        } else {
            v = std::bit_cast<double>(bits);
            append_words(words, v);
        }
        (i == 1 || e->signature == KALM_SIG_ID_D ? in.x : in.y) = v;
        shown.push_back((i == 1 || e->signature == KALM_SIG_ID_D ? "x = " : "y = ") + show_bits(bits, f->single));
    }
    std::printf("%s(", f->name.c_str());
    for (std::size_t i = 0; i < shown.size(); ++i) std::printf("%s%s", i ? ", " : "", shown[i].c_str());
    std::printf(")   [ordinal %d, kalm_%s]\n", e->ordinal, f->name[0] == '_' ? f->name.c_str() + 1 : f->name.c_str());

    // The call as the vector runner makes it: masked for the result and
    // flags, unmasked for the first raise, against this tool's call.
    Vector v;
    v.fn = e;
    v.words = words;
    const Outcome o = run_vector(v);
    const double result = e->result_words == 2 ? std::bit_cast<double>(o.result)
                                               : static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(o.result)));
    std::printf("result   %s\n", show_bits(o.result, e->result_words == 1).c_str());
    std::printf("flags    %02x (%s), every exception masked\n", o.flags, flag_names(o.flags).c_str());
    auto raised = [](const std::string& r) {
        if (r == "-") return std::string("nothing");
        const std::uint32_t code = static_cast<std::uint32_t>(std::strtoul(r.substr(0, 8).c_str(), nullptr, 16));
        return std::string(kalm::status_name(code)) + " (0x" + r.substr(0, 8) + ") reported against " +
               (r.substr(9) == "app" ? "the caller's call" : "a call inside the library");
    };
    std::printf("raises   %s, every exception unmasked\n", raised(o.raise).c_str());
    if (have_unmask) {
        // The same call with only the chosen exceptions unmasked.
        std::string r = "-";
        std::uint32_t res[2] = {0, 0};
        const std::uint32_t saved = kalm_control_word();
        kalm_set_control_word(KALM_MASK_ALL & ~unmask);
        try {
            kalm_call(e->ordinal, words.data(), words.size(), res, 2, app_report_address());
        } catch (const kalm::FpException& ex) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "%08" PRIX32 "@", ex.status_code());
            r = buf + classify_address(ex.report_address());
        }
        kalm_set_control_word(saved);
        kalm_clear_flags();
        std::printf("raises   %s, with %s unmasked\n", raised(r).c_str(), mask_names(unmask).c_str());
    }

    // The exact value, and the error of the result.
    mpfr_t a, b, exact, scratch;
    mpfr_inits2(64, a, b, static_cast<mpfr_ptr>(nullptr));
    mpfr_init2(exact, 192);
    mpfr_init2(scratch, 256);
    mpfr_set_d(a, in.x, MPFR_RNDN);
    mpfr_set_d(b, in.y, MPFR_RNDN);
    f->ref(exact, a, b, in.n, MPFR_RNDN);
    const double cr = f->single ? static_cast<double>(mpfr_get_flt(exact, MPFR_RNDN)) : mpfr_get_d(exact, MPFR_RNDN);
    const double ulp = kalm::ulp::error(result, exact, f->single ? kalm::ulp::binary32 : kalm::ulp::binary64, scratch);
    char exact_text[96];
    mpfr_snprintf(exact_text, sizeof exact_text, "%.30Rg", exact);
    std::printf("exact    %s (MPFR %s)\n", exact_text, mpfr_get_version());
    std::printf("rounded  %s, correctly rounded\n", show(cr, f->single).c_str());
    std::printf("error    %s ulp%s\n", fmt_ulp(ulp).c_str(),
                std::bit_cast<std::uint64_t>(cr) == std::bit_cast<std::uint64_t>(result) ||
                        (std::isnan(cr) && std::isnan(result))
                    ? " (the correctly rounded result)"
                    : "");
    mpfr_clears(a, b, exact, scratch, static_cast<mpfr_ptr>(nullptr));
    mpfr_free_cache();
    return 0;
}

}  // namespace kalmtool
