// SPDX-License-Identifier: MIT
// kalm bench --bands [NAME...]: the cost of each export across argument
// magnitudes. Positive arguments uniform in [a, 2a], a = 1, 10, 1e3, 1e6,
// 1e15, 1e300 wherever the band lies in the function's domain and its results
// stay finite (both arguments of atan2; _yn's order as in its usual range),
// timed beside the host libm with the speed engine,
// and each band set against the export's time on its usual range. A band
// more than 3x the usual time is flagged: the cost there grows with the
// argument, which is either the operation count the method prescribes or
// work worth taking out.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.hpp"
#include "rows.hpp"

namespace kalmtool {
namespace {

struct BandDef {
    double lo;
    const char* label;
};
constexpr BandDef kBands[] = {{1, "[1,2]"},         {10, "[10,20]"},         {1e3, "[1e3,2e3]"},
                              {1e6, "[1e6,2e6]"},   {1e15, "[1e15,2e15]"},   {1e300, "[1e300,2e300]"}};

// The exports whose cost may depend on the size of the argument, with the
// largest argument whose result is finite (a band is timed when its top is
// at most that), from tools/catalogue.inc: trigonometric, inverse
// trigonometric, exponential and logarithm, hyperbolic, Bessel. The rest take
// arguments of one size ([-1, 1] for asin) or are not meant to be timed this
// way (pow, fmod: two independent magnitudes; the rounding functions: a few
// integer operations).
struct Family {
    const char* name;
    double max;
};
#define BANDS_TO(max) max
#define NO_BANDS 0.0
#define KALM_CATALOGUE(name, ref, cost, ranges, bench, bands, plot, sources, batch) {#name, bands},
constexpr Family kCatalogued[] = {
#include "../catalogue.inc"
};
#undef KALM_CATALOGUE
#undef BANDS_TO
#undef NO_BANDS

const Family* family_of(const Function& f) {
    for (const Family& fam : kCatalogued)
        if (fam.max > 0 && f.name == fam.name) return &fam;
    return nullptr;
}

constexpr double kFlatLimit = 3.0;  // a band above this multiple of the usual time is flagged

}  // namespace

int bench_bands(BenchPlan plan, RowWriter& rows, const std::vector<std::string>& names) {
    std::string err;
    std::vector<const Function*> fns;
    if (names.empty()) {
        std::vector<const Function*> all;
        if (!select_functions({}, all, err)) return bad_input(err);
        for (const Function* f : all)
            if (family_of(*f)) fns.push_back(f);
    } else {
        if (!select_functions(names, fns, err)) return bad_input(err);
        for (const Function* f : fns)
            if (!family_of(*f))
                return bad_input("bench --bands: " + f->name +
                                 " has no magnitude bands (trigonometric, inverse trigonometric, exp/log, "
                                 "hyperbolic and Bessel exports have)");
    }
    if (!rows.open("bench", err)) return err.rfind("cannot", 0) == 0 ? io_error(err) : bad_input(err);
    const bool text = !rows.owns_stdout();
    plan.progress = stderr_is_tty();
    // The bands are compared with each other over a run many times longer than
    // a plain one: counted in the thread's CPU time, so that the time slices a
    // busy machine gives to other work do not land on one band and not another.
    plan.thread_clock = true;
    rows.about({str("method", bench_method(plan) + " Bands: arguments uniform in [a,2a], timed by the thread's CPU "
                                                   "clock; x_usual: kalm's ns in the band over its ns on the "
                                                   "export's usual range."),
                num("reps", static_cast<long long>(plan.reps)), num("flat_limit", kFlatLimit)});
    if (text) {
        std::printf("%-7s %-24s %9s %9s %9s %8s %6s\n", "export", "band", "kalm ns", "libm ns", "kalm/libm",
                    "x usual", "disp");
        std::fflush(stdout);
    }
    std::vector<std::string> above;
    InterruptGuard guard;
    for (const Function* f : fns) {
        if (g_interrupted.load()) break;
        const Family& fam = *family_of(*f);
        // The usual range first, then each band within the domain.
        struct Slot {
            std::string label;
            bool usual;
            double lo, hi;
        };
        std::vector<Slot> slots{{"usual " + f->bench.label, true, 0, 0}};
        for (const BandDef& b : kBands)
            if (2 * b.lo <= fam.max) slots.push_back({b.label, false, b.lo, 2 * b.lo});
        double usual = 0, worst = 0;
        std::string worst_label;
        for (const Slot& s : slots) {
            if (g_interrupted.load()) break;
            BenchPlan p = plan;
            p.functions = {f};
            p.has_interval = !s.usual;
            p.lo = s.lo;
            p.hi = s.hi;
            p.log_uniform = false;
            const BenchRow r = run_bench(p).front();
            if (s.usual) usual = r.kalm_tput;
            const double x_usual = usual > 0 ? r.kalm_tput / usual : 0;
            if (!s.usual && x_usual > worst) {
                worst = x_usual;
                worst_label = s.label;
            }
            rows.row({str("export", f->name), str("band", s.usual ? "usual" : s.label), str("inputs", r.inputs),
                      num("kalm_ns", r.kalm_tput), num("libm_ns", r.host_tput), num("ratio", r.tput_ratio),
                      num("ratio_dispersion", r.tput_disp), num("kalm_latency_ns", r.kalm_lat),
                      num("libm_latency_ns", r.host_lat), num("latency_ratio", r.lat_ratio),
                      num("x_usual", x_usual), flag("above_limit", !s.usual && x_usual > kFlatLimit)});
            if (text) {
                std::printf("%-7s %-24s %9.1f %9.1f %8.2fx %7.2fx %6.1f%%\n", f->name.c_str(),
                            s.label.substr(0, 24).c_str(), r.kalm_tput, r.host_tput, r.tput_ratio, x_usual,
                            r.tput_disp * 100);
                std::fflush(stdout);
            }
        }
        if (worst > kFlatLimit) above.push_back(f->name + " " + worst_label);
        if (text && !worst_label.empty())
            std::printf("%-7s worst band %s: %.2fx its usual time%s\n", f->name.c_str(), worst_label.c_str(), worst,
                        worst > kFlatLimit ? "  ABOVE 3x" : "");
    }
    if (text) {
        std::printf("bands above %.0fx the usual time: %zu", kFlatLimit, above.size());
        for (std::size_t i = 0; i < above.size(); ++i) std::printf("%s%s", i ? ", " : " (", above[i].c_str());
        std::printf("%s\n", above.empty() ? "" : ")");
    }
    std::string list;
    for (const auto& a : above) list += (list.empty() ? "" : ", ") + a;
    const bool stopped = g_interrupted.load();
    if (!rows.finish({num("bands_above_limit", static_cast<long long>(above.size())), str("above_limit", list),
                      flag("interrupted", stopped)},
                     err))
        return io_error(err);
    return stopped ? 130 : 0;
}

}  // namespace kalmtool
