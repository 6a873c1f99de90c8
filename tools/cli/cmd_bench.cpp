// SPDX-License-Identifier: MIT
// kalm bench [NAME...]: the speed engine's table, throughput and latency,
// with geometric means; --csv for a file.
#include <cmath>
#include <cstdio>

#include "commands.hpp"

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

void print_geometric_means(const std::vector<BenchRow>& rows) {
    struct Mean {
        double tput = 0, lat = 0;
        int n = 0;
    } all, singles;
    for (const auto& r : rows) {
        if (!r.has_host) continue;
        for (Mean* m : {&all, &singles}) {
            if (m == &singles && !unframed_single(*r.f)) continue;
            m->tput += std::log(r.tput_ratio);
            m->lat += std::log(r.lat_ratio);
            ++m->n;
        }
    }
    if (all.n < 2) return;
    std::printf("geometric mean kalm/libm: %d exports %.2fx throughput, %.2fx latency", all.n,
                std::exp(all.tput / all.n), std::exp(all.lat / all.n));
    if (singles.n > 0)
        std::printf("; %d unframed single-precision %.2fx, %.2fx", singles.n, std::exp(singles.tput / singles.n),
                    std::exp(singles.lat / singles.n));
    std::printf("\n");
}

}  // namespace

int cmd_bench(int argc, char** argv) {
    BenchPlan plan;
    long long reps = plan.reps;
    std::string csv;
    Options options = command_options("bench");
    options.count("--reps", reps, 1, 1000, "timed repetitions per export and side (default 7)")
        .text("--csv", csv, "FILE", "also write the table to FILE (written whole or not at all)");
    std::vector<std::string> names;
    int status = 0;
    if (!parse_command_line(options, argc, argv, names, status)) return status;
    plan.reps = static_cast<int>(reps);
    std::string err;
    if (!select_functions(names, plan.functions, err)) return bad_input(err);
    AtomicFile out;
    if (!csv.empty() && !out.open(csv, err)) return bad_input(err);
    plan.progress = stderr_is_tty();

    const auto rows = run_bench(plan);
    std::printf("%-7s %-30s %9s %9s %9s   %9s %9s %9s\n", "export", "inputs", "kalm ns", "libm ns", "kalm/libm",
                "kalm lat", "libm lat", "kalm/libm");
    for (const auto& r : rows) {
        std::printf("%-7s %-30s %9.1f %9.1f %8.2fx   %9.1f %9.1f %8.2fx\n", r.f->name.c_str(), r.f->bench.label.c_str(),
                    r.kalm_tput, r.host_tput, r.tput_ratio, r.kalm_lat, r.host_lat, r.lat_ratio);
    }
    print_geometric_means(rows);
    std::printf("method: %s\n", bench_method(plan).c_str());
    if (!csv.empty()) {
        std::fprintf(out.get(), "export,inputs,kalm_ns,libm_ns,ratio,kalm_latency_ns,libm_latency_ns,latency_ratio\n");
        for (const auto& r : rows)
            if (r.has_host)
                std::fprintf(out.get(), "%s,\"%s\",%.3f,%.3f,%.4f,%.3f,%.3f,%.4f\n", r.f->name.c_str(),
                             r.f->bench.label.c_str(), r.kalm_tput, r.host_tput, r.tput_ratio, r.kalm_lat,
                             r.host_lat, r.lat_ratio);
        if (!out.commit(err)) return bad_input(err);
    }
    return 0;
}

}  // namespace kalmtool
