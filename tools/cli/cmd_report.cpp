// SPDX-License-Identifier: MIT
// kalm report: one screen on the state of the library — every embedded test
// vector checked bit for bit, a quick accuracy sample against MPFR and a quick
// speed comparison with the host libm.
#include <gnu/libc-version.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "commands.hpp"
#include "vectors.hpp"

#ifndef KALM_VERSION
#define KALM_VERSION "?"
#endif

namespace kalmtool {
namespace {

struct Conformance {
    long passed = 0, failed = 0;
    int files = 0;
    std::map<std::string, std::pair<long, long>> per_name;  // passed, failed
    std::vector<std::string> messages;
};

std::string first_token(const std::string& line) {
    const std::string code = line.substr(0, line.find('#'));
    std::istringstream is(code);
    std::string t;
    is >> t;
    return t;
}

// Checks every embedded vector file with the vector runner. Each file is run
// once per export it names, with the other lines blanked, so that passes and
// failures can be told per export while the line numbers stay those of the file.
Conformance check_vectors() {
    Conformance c;
    for (const EmbeddedFile* ef = kEmbeddedVectors; ef->name != nullptr; ++ef) {
        ++c.files;
        std::vector<std::string> lines;
        std::istringstream in(ef->text);
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        std::vector<std::string> names;
        std::set<std::string> seen;
        for (const auto& l : lines) {
            const std::string t = first_token(l);
            if (!t.empty() && seen.insert(t).second) names.push_back(t);
        }
        for (const auto& name : names) {
            std::string text;
            for (const auto& l : lines) text += (first_token(l) == name ? l : std::string()) + "\n";
            std::istringstream s(text);
            std::ostringstream msgs;
            Tally tally;
            process_stream(s, std::string("tests/vectors/") + ef->name, msgs, tally, true);
            auto& pf = c.per_name[name];
            pf.first += tally.passed;
            pf.second += tally.failed + tally.malformed;
            c.passed += tally.passed;
            c.failed += tally.failed + tally.malformed;
            if (kalm_export_by_name(name.c_str()) == nullptr) {
                // One line for a name that is no export, not one per vector.
                c.messages.push_back(std::string("tests/vectors/") + ef->name + ": " + std::to_string(tally.malformed) +
                                     " line(s) for '" + name + "', which is not an export");
            } else {
                std::istringstream ms(msgs.str());
                for (std::string m; std::getline(ms, m);) c.messages.push_back(m);
            }
        }
    }
    return c;
}

}  // namespace

int cmd_report(int argc, char** argv) {
    long long samples = -1;
    bool no_speed = false;
    Options options = command_options("report");
    options.count("--samples", samples, 1, 1ll << 40, "random inputs per export (default: a twentieth of accuracy's)")
        .flag("--no-speed", no_speed, "leave out the speed comparison");
    std::vector<std::string> operands;
    int status = 0;
    if (!parse_command_line(options, argc, argv, operands, status)) return status;
    if (!operands.empty()) return bad_input("report: unexpected argument '" + operands[0] + "' (see 'kalm report --help')");
    const bool speed = !no_speed;
    const auto t0 = std::chrono::steady_clock::now();
    const bool tty = stderr_is_tty();
    if (tty) std::fprintf(stderr, "checking vectors...");
    const Conformance conf = check_vectors();
    if (tty) clear_progress();

    std::vector<const Function*> fns;
    for (const auto& f : catalogue()) fns.push_back(&f);

    AccuracyPlan ap;
    ap.functions = fns;
    ap.samples = samples;
    ap.default_scale = 0.05;
    ap.threads = std::max(1u, std::thread::hardware_concurrency());
    ap.progress = tty;
    InterruptGuard guard;
    const AccuracyOutcome acc = run_accuracy(ap);

    BenchPlan bp;
    bp.functions = fns;
    bp.reps = 7;
    bp.target_ms = 4;
    bp.latency = false;
    bp.progress = tty;
    std::vector<BenchRow> speed_rows;
    if (speed && !g_interrupted.load()) speed_rows = run_bench(bp);

    // ---- the screen
    std::printf("kalm report: kalmlib %s, %zu exports; host glibc %s, MPFR %s\n", KALM_VERSION,
                all_export_names().size(), gnu_get_libc_version(), mpfr_get_version());
    std::printf("conformance: %ld/%ld vector lines passed (%d files built in; result bits, sticky flags, raised "
                "exception)\n\n",
                conf.passed, conf.passed + conf.failed, conf.files);

    std::printf("%-7s %9s  %9s %-38s %9s   %8s %8s %7s\n", "export", "vectors", "max ulp", "at input", "libm max",
                "kalm ns", "libm ns", "ratio");
    auto vec_cell = [&](const std::string& name) {
        auto it = conf.per_name.find(name);
        if (it == conf.per_name.end()) return std::string("-");
        const long p = it->second.first, t = it->second.first + it->second.second;
        return std::to_string(p) + "/" + std::to_string(t) + (it->second.second ? "!" : "");
    };
    // Every export in ordinal order; then any name in the vectors that is no export at all.
    std::vector<std::string> rows = all_export_names();
    for (const auto& [name, pf] : conf.per_name)
        if (std::find(rows.begin(), rows.end(), name) == rows.end()) rows.push_back(name);
    for (const auto& name : rows) {
        std::size_t i = 0;
        while (i < fns.size() && fns[i]->name != name) ++i;
        if (i == fns.size()) {
            const bool known = std::find(all_export_names().begin(), all_export_names().end(), name) !=
                               all_export_names().end();
            std::printf("%-7s %9s  %s\n", name.c_str(), vec_cell(name).c_str(),
                        known ? "(no catalogue entry in kalm)" : "(vector lines naming no export)");
            continue;
        }
        const Function& f = *fns[i];
        const UlpStats& s = acc.results[i].total;
        std::string sp = "       -        -       -";
        for (const auto& r : speed_rows)
            if (r.f == &f && r.has_host) {
                char buf[64];
                std::snprintf(buf, sizeof buf, "%8.1f %8.1f %6.2fx", r.kalm_tput, r.host_tput, r.tput_ratio);
                sp = buf;
            }
        std::string at = s.has_at && s.max > 0 ? format_input(f, s.at, false) : "-";
        std::printf("%-7s %9s  %9s %-38s %9s   %s\n", f.name.c_str(), vec_cell(f.name).c_str(),
                    s.count ? fmt_ulp(s.max).c_str() : "-", at.c_str(),
                    s.libm_measured ? fmt_ulp(s.libm_max).c_str() : "-", sp.c_str());
    }

    long long per = 0;
    for (auto& r : acc.results) per += r.total.count;
    std::printf("\naccuracy: %lld inputs in all (random ones from each export's ranges, cost-scaled, plus special values) "
                "against MPFR;\n  max ulp of kalmlib and of the host libm on the same inputs%s.\n",
                per, acc.interrupted ? " (interrupted: partial)" : "");
    if (speed && !speed_rows.empty()) std::printf("speed: %s\n", bench_method(bp).c_str());
    if (!conf.messages.empty()) {
        std::printf("\nvector failures:\n");
        const std::size_t shown = std::min<std::size_t>(conf.messages.size(), 12);
        for (std::size_t i = 0; i < shown; ++i) std::printf("  %s\n", conf.messages[i].c_str());
        if (shown < conf.messages.size())
            std::printf("  ... %zu more line(s); 'kalm vectors tests/vectors/*.txt' lists them all\n",
                        conf.messages.size() - shown);
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const bool ok = conf.failed == 0;
    std::printf("\n%s: %ld/%ld vectors passed (report took %.1f s)\n", ok ? "PASS" : "FAIL", conf.passed,
                conf.passed + conf.failed, secs);
    if (g_interrupted.load()) return 130;
    return ok ? 0 : 1;
}

}  // namespace kalmtool
