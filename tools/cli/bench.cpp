// SPDX-License-Identifier: MIT
// The speed engine of `kalm bench` and `kalm report`: nanoseconds per call of
// each export beside the host libm's function of the same name, both called
// through function pointers, timed in turn within one run so that a busy
// machine slows both sides alike.
#include <gnu/libc-version.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <span>
#include <thread>

#include <time.h>

#include "commands.hpp"

namespace kalmtool {
namespace {

constexpr int kInputs = 512;  // a power of two; the arrays stay in L1

struct Arrays {
    std::vector<double> x, y;
    std::vector<float> fx, fy;
    std::vector<int> n;
    std::vector<std::uint64_t> xb;
    std::vector<std::uint32_t> fxb;
    mutable std::vector<double> out;
    mutable std::vector<float> fout;
};

Arrays make_inputs(const Function& f, const Range& range) {
    Arrays a;
    std::uint64_t state = mix64(hash_name(f.name) ^ 0xbe4c4ull);
    for (int i = 0; i < kInputs; ++i) {
        const Input in = draw(range, f.single, state);
        a.x.push_back(in.x);
        a.y.push_back(in.y);
        a.n.push_back(in.n);
        a.fx.push_back(static_cast<float>(in.x));
        a.fy.push_back(static_cast<float>(in.y));
        a.xb.push_back(std::bit_cast<std::uint64_t>(in.x));
        a.fxb.push_back(std::bit_cast<std::uint32_t>(static_cast<float>(in.x)));
    }
    a.out.resize(kInputs);
    a.fout.resize(kInputs);
    return a;
}

// Hides a value from the optimiser, so that calls through `fn` stay calls and
// the chain below keeps its dependence on each result.
template <class T>
inline void opaque(T& v) {
    asm volatile("" : "+r"(v));
}

// Throughput: independent calls over the array, results stored.
template <int SIG>
__attribute__((noinline)) void run_tput(VoidFn fn, const Arrays& a, long passes) {
    for (long p = 0; p < passes; ++p) {
        opaque(fn);
        for (int i = 0; i < kInputs; ++i) {
            if constexpr (SIG == KALM_SIG_D_D) a.out[i] = reinterpret_cast<D1>(fn)(a.x[i]);
            else if constexpr (SIG == KALM_SIG_DD_D) a.out[i] = reinterpret_cast<D2>(fn)(a.x[i], a.y[i]);
            else if constexpr (SIG == KALM_SIG_ID_D) a.out[i] = reinterpret_cast<DN>(fn)(a.n[i], a.x[i]);
            else if constexpr (SIG == KALM_SIG_F_F) a.fout[i] = reinterpret_cast<F1>(fn)(a.fx[i]);
            else a.fout[i] = reinterpret_cast<F2>(fn)(a.fx[i], a.fy[i]);
        }
        asm volatile("" ::: "memory");
    }
}

// Latency: each call's (first floating) argument is the next input with the
// previous result folded in through a mask that is zero at run time.
template <int SIG>
__attribute__((noinline)) double run_lat(VoidFn fn, const Arrays& a, long passes) {
    std::uint64_t mask = 0;
    std::uint32_t fmask = 0;
    opaque(mask);
    opaque(fmask);
    opaque(fn);
    double v = a.x[0];
    float fv = a.fx[0];
    for (long p = 0; p < passes; ++p) {
        for (int i = 0; i < kInputs; ++i) {
            const int j = (i + 1) & (kInputs - 1);
            if constexpr (SIG == KALM_SIG_F_F || SIG == KALM_SIG_FF_F) {
                float r;
                if constexpr (SIG == KALM_SIG_F_F) r = reinterpret_cast<F1>(fn)(fv);
                else r = reinterpret_cast<F2>(fn)(fv, a.fy[i]);
                fv = std::bit_cast<float>(a.fxb[j] | (std::bit_cast<std::uint32_t>(r) & fmask));
            } else {
                double r;
                if constexpr (SIG == KALM_SIG_D_D) r = reinterpret_cast<D1>(fn)(v);
                else if constexpr (SIG == KALM_SIG_DD_D) r = reinterpret_cast<D2>(fn)(v, a.y[i]);
                else r = reinterpret_cast<DN>(fn)(a.n[i], v);
                v = std::bit_cast<double>(a.xb[j] | (std::bit_cast<std::uint64_t>(r) & mask));
            }
        }
    }
    return v + static_cast<double>(fv);
}

double g_sink = 0;
bool g_thread_clock = false;  // BenchPlan::thread_clock of the run in progress

double now_ns() {
    if (g_thread_clock) {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
    }
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// ns per call of one timed run.
double timed(const Function& f, VoidFn fn, const Arrays& a, bool latency, long passes) {
    const double t0 = now_ns();
    switch (f.signature) {
#define KALM_CASE(S)                                      \
    case S:                                               \
        if (latency) g_sink += run_lat<S>(fn, a, passes); \
        else run_tput<S>(fn, a, passes);                  \
        break;
        KALM_CASE(KALM_SIG_D_D)
        KALM_CASE(KALM_SIG_DD_D)
        KALM_CASE(KALM_SIG_ID_D)
        KALM_CASE(KALM_SIG_F_F)
        KALM_CASE(KALM_SIG_FF_F)
#undef KALM_CASE
    }
    return (now_ns() - t0) / (static_cast<double>(passes) * kInputs);
}

long calibrate(const Function& f, VoidFn fn, const Arrays& a, bool latency, double target_ms) {
    timed(f, fn, a, latency, 1);  // warm the caches and the branch predictors
    const double per_pass = timed(f, fn, a, latency, 1) * kInputs;
    const double passes = target_ms * 1e6 / std::max(per_pass, 1.0);
    return std::clamp(static_cast<long>(passes), 1L, 1000000L);
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Median absolute deviation over the median.
double dispersion(const std::vector<double>& v) {
    const double m = median(v);
    if (v.size() < 2 || !(m > 0)) return 0;
    std::vector<double> d;
    for (double x : v) d.push_back(std::fabs(x - m));
    return median(d) / m;
}

}  // namespace

std::vector<BenchRow> run_bench(const BenchPlan& plan) {
    kalm_set_control_word(KALM_MASK_ALL);
    g_thread_clock = plan.thread_clock;
    struct Job {
        const Function* f = nullptr;
        Arrays a;
        long passes[3][2] = {{1, 1}, {1, 1}, {1, 1}};  // [kalm/host/kalm in a scope][tput/lat]
        std::vector<double> ns[3][2];
        std::vector<double> ratio[2];  // kalm/host per slot, [tput/lat]
        std::vector<double> scope_ratio[2], scope_gain[2];  // scope/host, kalm/scope
    };
    // Side 2 is side 0 inside a device-environment scope.
    auto time_side = [](const Job& j, int side, bool latency, long passes) {
        if (side < 2) return timed(*j.f, side ? j.f->host : j.f->kalm, j.a, latency, passes);
        kalm_enter_device_env();
        const double t = timed(*j.f, j.f->kalm, j.a, latency, passes);
        kalm_leave_device_env();
        return t;
    };
    const int sides = plan.scope ? 3 : 2;
    std::vector<Job> jobs;
    for (auto* f : plan.functions) {
        Job j;
        j.f = f;
        j.a = make_inputs(*f, plan.has_interval ? interval_range(*f, plan.lo, plan.hi, plan.log_uniform) : f->bench);
        jobs.push_back(std::move(j));
    }
    const int modes = plan.latency ? 2 : 1;
    for (auto& j : jobs)
        for (int side = 0; side < sides; ++side)
            for (int m = 0; m < modes; ++m)
                j.passes[side][m] =
                    calibrate(*j.f, side == 1 ? j.f->host : j.f->kalm, j.a, m == 1, plan.target_ms / 2);

    const auto t0 = std::chrono::steady_clock::now();
    for (int rep = 0; rep < plan.reps; ++rep) {
        for (std::size_t ji = 0; ji < jobs.size(); ++ji) {
            Job& j = jobs[ji];
            if (plan.progress) {
                const double el = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
                draw_progress(j.f->name, (rep * static_cast<double>(jobs.size()) + static_cast<double>(ji)) /
                                             (plan.reps * static_cast<double>(jobs.size())), el);
            }
            // Each side runs twice in an A-B-B-A pattern (which side is A
            // alternates), so that a machine getting faster or slower during
            // the slot weighs on both alike; the ratio is taken per slot.
            const int first = static_cast<int>((static_cast<std::size_t>(rep) + ji) % 2);
            // With the scope side, A-B-C-C-B-A, the sides turning round.
            for (int m = 0; m < modes; ++m) {
                double sum[3] = {0, 0, 0};
                static constexpr int two[] = {0, 1, 1, 0}, three[] = {0, 1, 2, 2, 1, 0};
                for (int k : plan.scope ? std::span<const int>(three) : std::span<const int>(two)) {
                    const int side = plan.scope ? (k + rep + static_cast<int>(ji)) % 3 : k ^ first;
                    sum[side] += time_side(j, side, m == 1, j.passes[side][m]);
                }
                for (int side = 0; side < sides; ++side) j.ns[side][m].push_back(sum[side] / 2);
                j.ratio[m].push_back(sum[0] / sum[1]);
                if (plan.scope) {
                    j.scope_ratio[m].push_back(sum[2] / sum[1]);
                    j.scope_gain[m].push_back(sum[0] / sum[2]);
                }
            }
        }
    }
    if (plan.progress) clear_progress();

    std::vector<BenchRow> rows;
    for (auto* f : plan.functions) {
        BenchRow r;
        r.f = f;
        r.inputs = plan.has_interval ? interval_range(*f, plan.lo, plan.hi, plan.log_uniform).label : f->bench.label;
        for (auto& j : jobs) {
            if (j.f != f) continue;
            r.has_host = true;
            r.kalm_tput = median(j.ns[0][0]);
            r.host_tput = median(j.ns[1][0]);
            r.tput_ratio = median(j.ratio[0]);
            r.tput_disp = dispersion(j.ratio[0]);
            if (plan.latency) {
                r.kalm_lat = median(j.ns[0][1]);
                r.host_lat = median(j.ns[1][1]);
                r.lat_ratio = median(j.ratio[1]);
                r.lat_disp = dispersion(j.ratio[1]);
            }
            if (plan.scope) {
                r.scope_tput = median(j.ns[2][0]);
                r.scope_tput_ratio = median(j.scope_ratio[0]);
                r.scope_gain = median(j.scope_gain[0]);
                if (plan.latency) {
                    r.scope_lat = median(j.ns[2][1]);
                    r.scope_lat_ratio = median(j.scope_ratio[1]);
                    r.scope_lat_gain = median(j.scope_gain[1]);
                }
            }
        }
        rows.push_back(r);
    }
    return rows;
}

std::string bench_method(const BenchPlan& plan) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "kalm_* entries vs host libm (glibc %s) through function pointers, %d inputs from each export's "
                  "usual range (or the interval given); throughput: independent calls%s; %sns: median of %d reps of ~%.0f ms per side, "
                  "interleaved kalm-libm-libm-kalm (with --scope kalm-libm-scope-scope-libm-kalm, turning); ratio: median of per-rep ratios; disp: their median absolute "
                  "deviation over their median.",
                  gnu_get_libc_version(), kInputs,
                  plan.latency ? ", latency: each argument depends on the previous result" : "",
                  plan.thread_clock ? "timed by the thread's CPU clock; " : "", plan.reps,
                  plan.target_ms);
    return buf;
}

}  // namespace kalmtool
