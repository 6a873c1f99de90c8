// SPDX-License-Identifier: MIT
// kalm accuracy [NAME...] | NAME LO HI [COUNT]: the accuracy engine's table,
// one export at a time, each row printed (or written as JSON or CSV) as soon
// as its export is done; the worst inputs as exact bits with the result and
// the correctly rounded value; --max-ulp makes it a check (status 1).
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "commands.hpp"
#include "rows.hpp"

namespace kalmtool {
namespace {

std::string hex_result(const Function& f, double v) {
    char buf[24];
    if (f.single) std::snprintf(buf, sizeof buf, "0x%08" PRIx32, std::bit_cast<std::uint32_t>(static_cast<float>(v)));
    else std::snprintf(buf, sizeof buf, "0x%016" PRIx64, std::bit_cast<std::uint64_t>(v));
    return buf;
}

std::string hex_input(const Function& f, const Input& in) { return format_input(f, in, false); }

void print_row(const std::string& name, const std::string& range, const Function& f, const UlpStats& s) {
    std::printf("%-7s %-44s %10lld %9s %9s %6.2f%% %4lld %4lld %4lld %9s  %s\n", name.c_str(), range.c_str(), s.count,
                fmt_ulp(s.max).c_str(), fmt_ulp(s.mean()).c_str(), s.cr_share() * 100, s.nan_diff, s.inf_diff,
                s.zero_diff, s.libm_measured ? fmt_ulp(s.libm_max).c_str() : "-",
                s.has_at && s.max > 0 ? hex_input(f, s.at).c_str() : "-");
}

Row data_row(const Function& f, const std::string& range, const UlpStats& s) {
    const bool w = !s.worst.empty() && s.worst.front().err > 0;
    return {str("export", f.name),
            str("range", range),
            num("inputs", s.count),
            num("max_ulp", s.max),
            str("max_ulp_input", w ? hex_input(f, s.worst.front().in) : ""),
            str("max_ulp_got", w ? hex_result(f, s.worst.front().got) : ""),
            str("max_ulp_want", w ? hex_result(f, s.worst.front().ref) : ""),
            num("mean_ulp", s.mean()),
            num("correctly_rounded_share", s.cr_share()),
            num("nan_diffs", s.nan_diff),
            num("inf_diffs", s.inf_diff),
            num("zero_diffs", s.zero_diff),
            num("libm_max_ulp", s.libm_measured ? s.libm_max : 0.0)};
}

bool parse_real(const std::string& s, double& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size() && std::isfinite(v);
}

}  // namespace

int cmd_accuracy(int argc, char** argv) {
    AccuracyPlan plan;
    plan.threads = std::max(1u, std::thread::hardware_concurrency());
    long long samples = -1, threads = plan.threads;
    double max_ulp = -1;
    bool no_specials = false;
    RowWriter rows;
    Options options = command_options("accuracy");
    options.count("--samples", samples, 1, 1ll << 40, "random inputs per export (default: sized for about a minute on 2 cores)")
        .u64("--seed", plan.seed, "seed of the random inputs (default 1)")
        .flag("--exhaustive", plan.exhaustive, "every float input of the single-precision one-argument exports instead")
        .flag("--log-uniform", plan.log_uniform, "with LO HI: magnitudes log-uniform in [LO, HI] (0 < LO) instead of uniform")
        .flag("--no-specials", no_specials, "leave out the special values (zeros, infinities, NaN, extremes)")
        .custom("--max-ulp", "U", "exit with status 1 when an export's max ulp error exceeds U",
                [&max_ulp](const std::string& v, std::string& error) {
                    if (parse_real(v, max_ulp) && max_ulp >= 0) return true;
                    error = "'" + v + "' is not a finite number >= 0";
                    return false;
                })
        .count("--threads", threads, 1, 1024, "worker threads (default: one per core)");
    rows.add_options(options);
    std::vector<std::string> names;
    int status = 0;
    if (!parse_command_line(options, argc, argv, names, status)) return status;
    plan.specials = !no_specials;
    // NAME LO HI [COUNT]: an interval of one export.
    double lo = 0, hi = 0;
    if (names.size() >= 2 && parse_real(names[1], lo)) {
        if (names.size() < 3 || !parse_real(names[2], hi))
            return bad_input("accuracy NAME LO HI [COUNT]: LO and HI, two finite numbers");
        if (!(lo < hi)) return bad_input("accuracy NAME LO HI: LO must be below HI");
        if (plan.log_uniform && !(lo > 0)) return bad_input("--log-uniform needs 0 < LO");
        if (names.size() > 4) return bad_input("accuracy NAME LO HI [COUNT]: too many operands");
        if (names.size() == 4) {
            if (samples >= 0) return bad_input("COUNT and --samples exclude each other");
            if (!parse_count(names[3], 1, 1ll << 40, samples))
                return bad_input("COUNT: '" + names[3] + "' is not a count from 1 to 2^40");
        }
        if (plan.exhaustive) return bad_input("--exhaustive covers every float; it takes no interval");
        plan.has_interval = true;
        plan.lo = lo;
        plan.hi = hi;
        names.resize(1);
    } else if (plan.log_uniform) {
        return bad_input("--log-uniform goes with an interval: accuracy NAME LO HI");
    }
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
    if (!rows.open("accuracy", err)) return err.rfind("cannot", 0) == 0 ? io_error(err) : bad_input(err);
    const bool text = !rows.owns_stdout();

    // The sample set, stated so that two tables can be compared.
    char seed[32];
    std::snprintf(seed, sizeof seed, "%" PRIu64, plan.seed);
    std::string how;
    if (plan.exhaustive) how = "every float input";
    else if (plan.has_interval)
        how = std::string(plan.log_uniform ? "log-uniform" : "uniform") + " random inputs in the interval" +
              (samples >= 0 ? " (" + std::to_string(samples) + ")" : " (the export's default count)");
    else
        how = std::string("random inputs") +
              (samples >= 0 ? " (" + std::to_string(samples) + " per export)" : " (each export's default count)") +
              " split evenly over the export's ranges";
    if (plan.specials) how += ", plus the special values";
    Row about{str("samples", how), str("seed", seed), str("mpfr", mpfr_get_version())};
    if (max_ulp >= 0) about.push_back(num("max_ulp_limit", max_ulp));
    rows.about(about);
    if (text) {
        std::printf("kalm accuracy: %zu export(s); sample set: %s; seed %s (the same command line draws the same "
                    "inputs); reference MPFR %s\n",
                    plan.functions.size(), how.c_str(), seed, mpfr_get_version());
        std::printf("%-7s %-44s %10s %9s %9s %7s %4s %4s %4s %9s  %s\n", "export", "range", "inputs", "max ulp",
                    "mean ulp", "cr", "nan", "inf", "zero", "libm max", "input of the max ulp");
        std::fflush(stdout);
    }

    plan.progress = stderr_is_tty();
    InterruptGuard guard;
    long long done = 0, planned = 0;
    double seconds = 0;
    bool interrupted = false;
    std::vector<std::string> over;
    const std::vector<const Function*> all = plan.functions;
    for (const Function* fn : all) {
        if (g_interrupted.load()) {
            interrupted = true;
            break;
        }
        plan.functions = {fn};
        const AccuracyOutcome r = run_accuracy(plan);
        done += r.done;
        planned += r.planned;
        seconds += r.seconds;
        interrupted = interrupted || r.interrupted;
        const AccuracyResult& res = r.results.front();
        if (res.total.count == 0) continue;
        const Function& f = *res.f;
        if (max_ulp >= 0 && res.total.max > max_ulp) over.push_back(f.name + " " + fmt_ulp(res.total.max));
        rows.row(data_row(f, "all", res.total));
        if (res.ranges.size() > 1)
            for (const auto& [label, s] : res.ranges)
                if (s.count) rows.row(data_row(f, label, s));
        if (!text) continue;
        print_row(f.name, "all", f, res.total);
        if (res.ranges.size() > 1)
            for (const auto& [label, s] : res.ranges)
                if (s.count) print_row("", "  " + label, f, s);
        for (const auto& w : res.total.worst) {
            if (!(w.err > 0)) continue;
            std::printf("%-7s   worst: %s(%s) = %s, correctly rounded %s: %s ulp\n", "", f.name.c_str(),
                        hex_input(f, w.in).c_str(), hex_result(f, w.got).c_str(), hex_result(f, w.ref).c_str(),
                        fmt_ulp(w.err).c_str());
        }
        for (const auto& ex : res.total.examples)
            std::printf("%-7s   special: %s(%s) = %s, correctly rounded %s\n", "", f.name.c_str(),
                        hex_input(f, ex.in).c_str(), hex_result(f, ex.got).c_str(), hex_result(f, ex.ref).c_str());
        std::fflush(stdout);
    }
    if (text) {
        std::printf("ulp: |result - exact| in units in the last place of the exact value; cr: share of correctly "
                    "rounded results;\nnan/inf/zero: NaN, infinite or zero results (or missing ones) that differ from "
                    "the correctly rounded value; libm max: the host libm on the same inputs.\n");
        if (interrupted) std::printf("interrupted: %lld of %lld inputs measured (partial table)\n", done, planned);
        std::printf("%lld inputs in %.1f s\n", done, seconds);
        if (max_ulp >= 0) {
            std::printf("max ulp limit %s: ", fmt_ulp(max_ulp).c_str());
            if (over.empty()) std::printf("every export within it\n");
            for (std::size_t i = 0; i < over.size(); ++i)
                std::printf("%s%s%s", i ? ", " : "exceeded by ", over[i].c_str(), i + 1 == over.size() ? "\n" : "");
        }
    }
    const int result = interrupted ? 130 : over.empty() ? 0 : 1;
    if (!rows.finish({num("inputs", done), num("seconds", seconds), flag("interrupted", interrupted),
                      num("exports_over_limit", static_cast<long long>(over.size())),
                      num("exit_status", static_cast<long long>(result))},
                     err))
        return io_error(err);
    return result;
}

}  // namespace kalmtool
