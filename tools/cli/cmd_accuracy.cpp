// SPDX-License-Identifier: MIT
// kalm accuracy [NAME...]: the accuracy engine's table, with the input of each
// maximum and the host libm's maximum on the same inputs; --csv for a file.
#include <cinttypes>
#include <cstdio>
#include <thread>

#include "commands.hpp"

namespace kalmtool {
namespace {

void print_row(const std::string& name, const std::string& range, const Function& f, const UlpStats& s) {
    std::printf("%-7s %-38s %10lld %9s %9s %6.2f%% %4lld %4lld %4lld %9s  %s\n", name.c_str(), range.c_str(), s.count,
                fmt_ulp(s.max).c_str(), fmt_ulp(s.mean()).c_str(), s.cr_share() * 100, s.nan_diff, s.inf_diff,
                s.zero_diff, s.libm_measured ? fmt_ulp(s.libm_max).c_str() : "-",
                s.has_at && s.max > 0 ? format_input(f, s.at).c_str() : "-");
}

void csv_row(std::FILE* o, const Function& f, const std::string& range, const UlpStats& s) {
    std::string at = s.has_at && s.max > 0 ? format_input(f, s.at) : "";
    std::string hex, dec;
    // "0x.. (d), 0x.. (d)" -> hex part and decimal part, each ';'-joined for pairs.
    std::size_t pos = 0;
    while (pos < at.size()) {
        std::size_t comma = at.find(", ", pos);
        std::string part = at.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        pos = comma == std::string::npos ? at.size() : comma + 2;
        const auto sp = part.find(" (");
        if (!hex.empty()) hex += ";", dec += ";";
        if (sp == std::string::npos) {
            hex += part;
            dec += part;
        } else {
            hex += part.substr(0, sp);
            dec += part.substr(sp + 2, part.size() - sp - 3);
        }
    }
    std::fprintf(o, "%s,\"%s\",%lld,%.6g,%s,%s,%.6g,%.6f,%lld,%lld,%lld,%.6g\n", f.name.c_str(), range.c_str(), s.count,
                 s.max, hex.c_str(), dec.c_str(), s.mean(), s.cr_share(), s.nan_diff, s.inf_diff, s.zero_diff,
                 s.libm_max);
}

}  // namespace

int cmd_accuracy(int argc, char** argv) {
    AccuracyPlan plan;
    plan.threads = std::max(1u, std::thread::hardware_concurrency());
    long long samples = -1, threads = plan.threads;
    std::string csv;
    Options options = command_options("accuracy");
    options.count("--samples", samples, 1, 1ll << 40, "random inputs per export (default: sized for about a minute on 2 cores)")
        .u64("--seed", plan.seed, "seed of the random inputs (default 1)")
        .flag("--exhaustive", plan.exhaustive, "every float input of the single-precision one-argument exports instead")
        .count("--threads", threads, 1, 1024, "worker threads (default: one per core)")
        .text("--csv", csv, "FILE", "also write the table to FILE (written whole or not at all)");
    std::vector<std::string> names;
    int status = 0;
    if (!parse_command_line(options, argc, argv, names, status)) return status;
    const bool have_samples = samples >= 0;
    plan.samples = samples;
    plan.threads = static_cast<unsigned>(threads);
    std::string err;
    if (!select_functions(names, plan.functions, err)) return bad_input(err);
    if (plan.exhaustive) {
        if (have_samples) return bad_input("--samples and --exhaustive exclude each other");
        if (names.empty()) {
            plan.functions.clear();
            for (const auto& f : catalogue())
                if (f.signature == KALM_SIG_F_F) plan.functions.push_back(&f);
        }
        for (auto* f : plan.functions)
            if (f->signature != KALM_SIG_F_F)
                return bad_input("--exhaustive covers single-precision one-argument exports; '" + f->name + "' is not one");
        plan.specials = false;
    }
    AtomicFile out;
    if (!csv.empty() && !out.open(csv, err)) return bad_input(err);

    plan.progress = stderr_is_tty();
    InterruptGuard guard;
    AccuracyOutcome r = run_accuracy(plan);

    std::printf("kalm accuracy: %zu export(s), %s, seed %" PRIu64 ", %u thread(s); references: MPFR %s\n",
                plan.functions.size(), plan.exhaustive ? "every float input" : "random samples per range + special values",
                plan.seed, plan.threads, mpfr_get_version());
    std::printf("%-7s %-38s %10s %9s %9s %7s %4s %4s %4s %9s  %s\n", "export", "range", "inputs", "max ulp", "mean ulp",
                "cr", "nan", "inf", "zero", "libm max", "input of the max ulp");
    for (const auto& res : r.results) {
        if (res.total.count == 0) continue;
        print_row(res.f->name, "all", *res.f, res.total);
        if (res.ranges.size() > 1)
            for (const auto& [label, s] : res.ranges)
                if (s.count) print_row("", "  " + label, *res.f, s);
        for (const auto& ex : res.total.examples) {
            const char* fmt = res.f->single ? "%.9g" : "%.17g";
            char got[40], ref[40];
            std::snprintf(got, sizeof got, fmt, ex.got);
            std::snprintf(ref, sizeof ref, fmt, ex.ref);
            std::printf("%-7s   special: %s(%s) = %s, correctly rounded %s\n", "", res.f->name.c_str(),
                        format_input(*res.f, ex.in).c_str(), got, ref);
        }
    }
    std::printf("ulp: |result - exact| in units in the last place of the exact value; cr: share of correctly rounded "
                "results;\nnan/inf/zero: NaN, infinite or zero results (or missing ones) that differ from the correctly "
                "rounded value; libm max: the host libm on the same inputs.\n");
    if (r.interrupted)
        std::printf("interrupted: %lld of %lld inputs measured (partial table)\n", r.done, r.planned);
    std::printf("%lld inputs in %.1f s\n", r.done, r.seconds);

    if (!csv.empty()) {
        std::fprintf(out.get(), "export,range,inputs,max_ulp,max_ulp_input_hex,max_ulp_input,mean_ulp,"
                                "correctly_rounded_share,nan_diffs,inf_diffs,zero_diffs,libm_max_ulp\n");
        for (const auto& res : r.results) {
            if (res.total.count == 0) continue;
            csv_row(out.get(), *res.f, "all", res.total);
            if (res.ranges.size() > 1)
                for (const auto& [label, s] : res.ranges)
                    if (s.count) csv_row(out.get(), *res.f, label, s);
        }
        if (!out.commit(err)) return bad_input(err);
    }
    return r.interrupted ? 130 : 0;
}

}  // namespace kalmtool
