// SPDX-License-Identifier: MIT
// kalm bench [NAME...] | NAME LO HI: the speed engine's table, throughput and
// latency, with the dispersion of each ratio over the repetitions and a
// warning for the noisy ones, and geometric means; one export at a time,
// each row out as soon as it is timed (text, JSON or CSV).
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "batch_bench.hpp"
#include "commands.hpp"
#include "rows.hpp"

namespace kalmtool {
namespace {

// The 14 single-precision exports that leave their flags to the caller and
// raise only through the functions they call: all but ceilf, floorf and
// fabsf (plain, like ceil and floor) and fmodf and sqrtf (framed, like the
// doubles).
bool unframed_single(const Function& f) {
    static const char* const others[] = {"ceilf", "floorf", "fabsf", "fmodf", "sqrtf"};
    if (!f.single) return false;
    for (const char* n : others)
        if (f.name == n) return false;
    return true;
}

struct Means {
    double tput = 0, lat = 0;
    int n = 0;
    double t() const { return n ? std::exp(tput / n) : 0; }
    double l() const { return n ? std::exp(lat / n) : 0; }
};

bool parse_real(const std::string& s, double& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size() && std::isfinite(v);
}

std::string pct(double d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f%%", d * 100);
    return buf;
}

// --batch: ns per element of the batch entries beside the scalar loops and libmvec.
int batch_table(const std::vector<const Function*>& fns, int reps, RowWriter& rows) {
    const std::vector<std::string> cols = batch_bench_columns();
    const bool text = !rows.owns_stdout();
    rows.about({str("method", "ns per element (the thread's CPU time) over 4096 of each export's usual inputs, "
                              "every column timed in turn in each repetition, median of the repetitions"),
                num("reps", static_cast<long long>(reps))});
    if (text) {
        std::printf("%-7s", "export");
        for (const auto& c : cols) std::printf(" %14s", c.c_str());
        std::printf(" %12s %12s\n", "glibc/batch", "batch/mvec");
    }
    InterruptGuard guard;
    for (const Function* f : fns) {
        if (g_interrupted.load()) break;
        const BatchBenchRow r = run_batch_bench(*f, reps, 2.0);
        // The best batch column (the first: the widest set this CPU runs),
        // against glibc's scalar function and its fastest libmvec entry.
        const double batch = r.ns.at(cols.front());
        double mvec = 0;
        for (const char* m : {"libmvec avx512", "libmvec avx2"})
            if (r.ns.count(m) && (mvec == 0 || r.ns.at(m) < mvec)) mvec = r.ns.at(m);
        const double vs_glibc = r.ns.count("glibc scalar") ? r.ns.at("glibc scalar") / batch : 0;
        const double vs_mvec = mvec > 0 ? batch / mvec : 0;
        std::vector<Field> fields = {str("export", f->name), str("inputs", r.inputs)};
        for (const auto& c : cols) {
            std::string key = c;
            for (char& ch : key) ch = ch == ' ' ? '_' : ch;
            fields.push_back(num(key + "_ns", r.ns.count(c) ? r.ns.at(c) : 0.0));
        }
        fields.push_back(num("glibc_over_batch", vs_glibc));
        fields.push_back(num("batch_over_libmvec", vs_mvec));
        rows.row(fields);
        if (text) {
            std::printf("%-7s", f->name.c_str());
            for (const auto& c : cols) {
                if (r.ns.count(c)) std::printf(" %14.2f", r.ns.at(c));
                else std::printf(" %14s", "-");
            }
            if (vs_glibc > 0) std::printf(" %11.2fx", vs_glibc);
            else std::printf(" %12s", "-");
            if (vs_mvec > 0) std::printf(" %11.2fx", vs_mvec);
            else std::printf(" %12s", "-");
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    std::string err;
    const bool stopped = g_interrupted.load();
    if (!rows.finish({flag("interrupted", stopped)}, err)) return io_error(err);
    return stopped ? 130 : 0;
}

}  // namespace

// bench_bands.cpp
int bench_bands(BenchPlan plan, RowWriter& rows, const std::vector<std::string>& names);

int cmd_bench(int argc, char** argv) {
    BenchPlan plan;
    long long reps = plan.reps;
    bool batch = false;
    bool bands = false;
    RowWriter rows;
    Options options = command_options("bench");
    options.count("--reps", reps, 3, 1000, "timed repetitions per export and side (default 7)")
        .flag("--log-uniform", plan.log_uniform, "with LO HI: magnitudes log-uniform in [LO, HI] (0 < LO)")
        .flag("--batch", batch,
              "ns per element of the batch entries on each instruction set, beside the scalar export, the host "
              "libm and glibc's libmvec")
        .flag("--scope", plan.scope,
              "also the kalm_* entries inside a device-environment scope (kalm_enter_device_env), timed in the "
              "same slots: their ratios to libm and their gain over the default path")
        .flag("--thread-clock", plan.thread_clock,
              "time by the thread's CPU clock instead of the wall clock: steadier on a busy machine")
        .flag("--bands", bands,
              "each export over magnitude bands [a,2a], a = 1, 10, 1e3, 1e6, 1e15, 1e300 where in its domain, "
              "against its usual range; flags bands above 3x");
    rows.add_options(options);
    std::vector<std::string> names;
    int status = 0;
    if (!parse_command_line(options, argc, argv, names, status)) return status;
    plan.reps = static_cast<int>(reps);
    if (bands && batch) return bad_input("--bands and --batch are two different tables: one at a time");
    if (bands) {
        if (plan.log_uniform) return bad_input("--bands takes export names only, not --log-uniform");
        for (const auto& n : names) {
            double v;
            if (parse_real(n, v)) return bad_input("--bands takes export names only, not an interval");
        }
        return bench_bands(plan, rows, names);
    }
    if (names.size() >= 2 && parse_real(names[1], plan.lo)) {
        if (names.size() != 3 || !parse_real(names[2], plan.hi))
            return bad_input("bench NAME LO HI: LO and HI, two finite numbers");
        if (!(plan.lo < plan.hi)) return bad_input("bench NAME LO HI: LO must be below HI");
        if (plan.log_uniform && !(plan.lo > 0)) return bad_input("--log-uniform needs 0 < LO");
        plan.has_interval = true;
        names.resize(1);
    } else if (plan.log_uniform) {
        return bad_input("--log-uniform goes with an interval: bench NAME LO HI");
    }
    if (batch && plan.has_interval) return bad_input("--batch times each export's usual inputs: no LO HI");
    std::string err;
    if (!select_functions(names, plan.functions, err)) return bad_input(err);
    if (!rows.open("bench", err)) return err.rfind("cannot", 0) == 0 ? io_error(err) : bad_input(err);
    if (batch) return batch_table(plan.functions, plan.reps, rows);
    const bool text = !rows.owns_stdout();
    plan.progress = stderr_is_tty();
    rows.about({str("method", bench_method(plan)), num("reps", static_cast<long long>(plan.reps)),
                num("noisy_above", kNoisyDispersion)});
    if (text) {
        std::printf("%-7s %-30s %9s %9s %9s %6s   %9s %9s %9s %6s", "export", "inputs", "kalm ns", "libm ns",
                    "kalm/libm", "disp", "kalm lat", "libm lat", "kalm/libm", "disp");
        if (plan.scope)
            std::printf("   %9s %10s %9s %10s %10s", "scope ns", "scope/libm", "scope lat", "scope/libm", "gain");
        std::printf("\n");
        std::fflush(stdout);
    }
    Means all, singles, scope_all, scope_singles;
    double gain_singles = 0, lat_gain_singles = 0;
    std::vector<std::string> noisy;
    InterruptGuard guard;
    const std::vector<const Function*> fns = plan.functions;
    for (const Function* f : fns) {
        if (g_interrupted.load()) break;
        plan.functions = {f};
        const BenchRow r = run_bench(plan).front();
        const bool is_noisy = r.tput_disp > kNoisyDispersion || r.lat_disp > kNoisyDispersion;
        if (is_noisy) noisy.push_back(f->name);
        if (r.has_host) {
            for (Means* m : {&all, &singles}) {
                if (m == &singles && !unframed_single(*f)) continue;
                m->tput += std::log(r.tput_ratio);
                m->lat += std::log(r.lat_ratio);
                ++m->n;
            }
            if (plan.scope) {
                for (Means* m : {&scope_all, &scope_singles}) {
                    if (m == &scope_singles && !unframed_single(*f)) continue;
                    m->tput += std::log(r.scope_tput_ratio);
                    m->lat += std::log(r.scope_lat_ratio);
                    ++m->n;
                }
                if (unframed_single(*f)) {
                    gain_singles += std::log(r.scope_gain);
                    lat_gain_singles += std::log(r.scope_lat_gain);
                }
            }
        }
        rows.row({str("export", f->name), str("inputs", r.inputs), num("kalm_ns", r.kalm_tput),
                  num("libm_ns", r.host_tput), num("ratio", r.tput_ratio), num("ratio_dispersion", r.tput_disp),
                  num("kalm_latency_ns", r.kalm_lat), num("libm_latency_ns", r.host_lat),
                  num("latency_ratio", r.lat_ratio), num("latency_ratio_dispersion", r.lat_disp),
                  num("scope_ns", r.scope_tput), num("scope_ratio", r.scope_tput_ratio),
                  num("scope_latency_ns", r.scope_lat), num("scope_latency_ratio", r.scope_lat_ratio),
                  num("scope_gain", r.scope_gain), flag("noisy", is_noisy)});
        if (text) {
            std::printf("%-7s %-30s %9.1f %9.1f %8.2fx %6s   %9.1f %9.1f %8.2fx %6s", f->name.c_str(),
                        r.inputs.c_str(), r.kalm_tput, r.host_tput, r.tput_ratio, pct(r.tput_disp).c_str(), r.kalm_lat,
                        r.host_lat, r.lat_ratio, pct(r.lat_disp).c_str());
            if (plan.scope)
                std::printf("   %9.1f %9.2fx %9.1f %9.2fx %9.2fx", r.scope_tput, r.scope_tput_ratio, r.scope_lat,
                            r.scope_lat_ratio, r.scope_gain);
            std::printf("%s\n", is_noisy ? "  noisy" : "");
            std::fflush(stdout);
        }
    }
    if (text) {
        if (all.n >= 2) {
            std::printf("geometric mean kalm/libm: %d exports %.2fx throughput, %.2fx latency", all.n, all.t(), all.l());
            if (singles.n > 0)
                std::printf("; %d unframed single-precision %.2fx, %.2fx", singles.n, singles.t(), singles.l());
            std::printf("\n");
        }
        if (plan.scope && scope_all.n >= 2) {
            std::printf("inside a scope: %d exports %.2fx throughput, %.2fx latency", scope_all.n, scope_all.t(),
                        scope_all.l());
            if (scope_singles.n > 0)
                std::printf("; %d unframed single-precision %.2fx, %.2fx, %.2fx faster than outside (latency %.2fx)",
                            scope_singles.n, scope_singles.t(), scope_singles.l(),
                            std::exp(gain_singles / scope_singles.n), std::exp(lat_gain_singles / scope_singles.n));
            std::printf("\n");
        }
        std::printf("method: %s\n", bench_method(plan).c_str());
    }
    if (!noisy.empty()) {
        std::string list;
        for (const auto& n : noisy) list += (list.empty() ? "" : ", ") + n;
        std::fprintf(stderr,
                     "kalm bench: warning: the ratios of %zu export(s) vary by more than %s between repetitions (%s): "
                     "the machine is busy; compare with care or rerun with more --reps\n",
                     noisy.size(), pct(kNoisyDispersion).c_str(), list.c_str());
    }
    const bool stopped = g_interrupted.load();
    if (!rows.finish({num("geomean_ratio", all.t()), num("geomean_latency_ratio", all.l()),
                      num("noisy_exports", static_cast<long long>(noisy.size())), flag("interrupted", stopped)},
                     err))
        return io_error(err);
    return stopped ? 130 : 0;
}

}  // namespace kalmtool
