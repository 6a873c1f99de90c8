// SPDX-License-Identifier: MIT
// The accuracy engine of `kalm accuracy` and `kalm report`: the error of each
// export in ulps of MPFR's exact value (ulp.hpp), on random inputs from
// per-function ranges (or every float input).
#include <cinttypes>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>

#include "commands.hpp"
#include "ulp.hpp"

namespace kalmtool {
namespace {

constexpr long long kChunk = 2048;              // random samples per work item
constexpr long long kShard = 1ll << 18;         // float inputs per exhaustive work item
// Default samples of an export of cost 1: all exports in about a minute on
// two cores (some 2 us per sample, the MPFR reference being most of it).
constexpr double kDefaultBase = 1000000;
constexpr std::size_t kExamples = 3;

// The oracle of one worker thread: MPFR variables allocated once.
class Oracle {
public:
    Oracle() {
        mpfr_init2(a_, 64);
        mpfr_init2(b_, 64);
        mpfr_init2(exact_, 192);
        mpfr_init2(diff_, 256);
    }
    ~Oracle() {
        mpfr_clear(a_);
        mpfr_clear(b_);
        mpfr_clear(exact_);
        mpfr_clear(diff_);
    }
    Oracle(const Oracle&) = delete;
    Oracle& operator=(const Oracle&) = delete;

    void use(const Function& f) {
        // Far beyond what telling the nearest float or double apart needs.
        const mpfr_prec_t p = f.single ? 128 : 192;
        if (mpfr_get_prec(exact_) != p) mpfr_set_prec(exact_, p);
    }

    void measure(const Function& f, const Input& in, UlpStats& s) {
        const double got = call_kalm(f, in);
        const double host = call_host(f, in);
        mpfr_set_d(a_, in.x, MPFR_RNDN);
        mpfr_set_d(b_, in.y, MPFR_RNDN);
        f.ref(exact_, a_, b_, in.n, MPFR_RNDN);
        const double ref = rounded(f.single);

        ++s.count;
        const int cg = cls(got), cr = cls(ref);
        if (cg != cr && (cg != kFinite || cr != kFinite)) {
            if (cg == kNan || cr == kNan) ++s.nan_diff;
            else if (cg == kPosInf || cg == kNegInf || cr == kPosInf || cr == kNegInf) ++s.inf_diff;
            else ++s.zero_diff;
            if (s.examples.size() < kExamples) s.examples.push_back({in, got, ref});
        }
        if ((std::isnan(got) && std::isnan(ref)) ||
            std::bit_cast<std::uint64_t>(got) == std::bit_cast<std::uint64_t>(ref))
            ++s.correctly_rounded;
        const kalm::ulp::Format fmt = f.single ? kalm::ulp::binary32 : kalm::ulp::binary64;
        const double err = kalm::ulp::error(got, exact_, fmt, diff_);
        if (std::isfinite(err)) {
            s.note_worst({err, in, got, ref});
            ++s.measured;
            s.sum += err;
            if (!s.has_at || err > s.max) {
                s.max = err;
                s.at = in;
                s.has_at = true;
            }
        }
        const double herr = kalm::ulp::error(host, exact_, fmt, diff_);
        last_err_ = err;
        last_host_err_ = herr;
        if (std::isfinite(herr)) {
            ++s.libm_measured;
            if (herr > s.libm_max) s.libm_max = herr;
        }
    }

    double last_err() const { return last_err_; }
    double last_host_err() const { return last_host_err_; }

private:
    double last_err_ = 0, last_host_err_ = 0;
    enum { kNan, kPosInf, kNegInf, kPosZero, kNegZero, kFinite };
    static int cls(double v) {
        if (std::isnan(v)) return kNan;
        if (std::isinf(v)) return v > 0 ? kPosInf : kNegInf;
        if (v == 0) return std::signbit(v) ? kNegZero : kPosZero;
        return kFinite;
    }

    // The correctly rounded double or float of the exact value (MPFR rounds
    // straight to the subnormal spacing below the normal range).
    double rounded(bool single) {
        return single ? static_cast<double>(mpfr_get_flt(exact_, MPFR_RNDN)) : mpfr_get_d(exact_, MPFR_RNDN);
    }

    mpfr_t a_, b_, exact_, diff_;
};

struct Item {
    int fn;
    int range;  // index into ranges; -1 special values; -2 an exhaustive shard
    long long start, count;
};

long long units_of(const Function& f, long long samples) {
    return samples * std::max<long long>(1, std::llround(f.cost * 4));
}

}  // namespace

void UlpStats::merge(const UlpStats& o) {
    count += o.count;
    measured += o.measured;
    correctly_rounded += o.correctly_rounded;
    sum += o.sum;
    if (o.has_at && (!has_at || o.max > max)) {
        max = o.max;
        at = o.at;
        has_at = true;
    }
    libm_measured += o.libm_measured;
    libm_max = std::max(libm_max, o.libm_max);
    nan_diff += o.nan_diff;
    inf_diff += o.inf_diff;
    zero_diff += o.zero_diff;
    for (const auto& e : o.examples)
        if (examples.size() < kExamples) examples.push_back(e);
    for (const auto& w : o.worst) note_worst(w);
}

void UlpStats::note_worst(const Worst& w) {
    if (worst.size() == kWorst && !(w.err > worst.back().err)) return;
    auto at = worst.begin();
    while (at != worst.end() && at->err >= w.err) ++at;
    worst.insert(at, w);
    if (worst.size() > kWorst) worst.pop_back();
}

Range interval_range(const Function& f, double lo, double hi, bool log_uniform) {
    char label[96];
    std::snprintf(label, sizeof label, "%s [%.17g,%.17g]", log_uniform ? "log-uniform" : "uniform", lo, hi);
    const Axis a{log_uniform ? Dist::LogUniform : Dist::Uniform, lo, hi};
    Range r;
    r.label = label;
    r.x = a;
    if (f.arity == 2 && f.signature != KALM_SIG_ID_D) r.y = a;
    if (f.signature == KALM_SIG_ID_D && !f.ranges.empty()) {
        r.n_lo = f.ranges.front().n_lo;
        r.n_hi = f.ranges.front().n_hi;
        r.label = "n " + std::to_string(r.n_lo) + ".." + std::to_string(r.n_hi) + ", x " + label;
    }
    return r;
}

double ulp_error_at(const Function& f, const Input& in, double* host_err) {
    static Oracle oracle;  // the plot's, on one thread
    UlpStats scratch;
    oracle.use(f);
    oracle.measure(f, in, scratch);
    if (host_err) *host_err = oracle.last_host_err();
    return oracle.last_err();
}

long long default_samples(const Function& f, double scale) {
    // Round to two significant digits so that the count reads well.
    double n = kDefaultBase * scale / f.cost;
    if (n < 100) n = 100;
    const double p = std::pow(10.0, std::floor(std::log10(n)) - 1);
    return static_cast<long long>(std::round(n / p) * p);
}

AccuracyOutcome run_accuracy(const AccuracyPlan& plan) {
    const auto t0 = std::chrono::steady_clock::now();
    AccuracyOutcome out;
    std::vector<Item> items;
    for (std::size_t fi = 0; fi < plan.functions.size(); ++fi) {
        const Function& f = *plan.functions[fi];
        AccuracyResult r;
        r.f = &f;
        const int fn = static_cast<int>(fi);
        if (plan.exhaustive) {
            r.ranges.push_back({"all 2^32 inputs", {}});
            // Shards in bit-reversed order: every stretch of the run samples
            // the whole range, so the ETA holds and an interrupted run is
            // still representative.
            constexpr int bits = 32 - std::countr_zero(static_cast<std::uint64_t>(kShard));
            for (std::uint32_t i = 0; i < (1u << bits); ++i) {
                std::uint32_t rev = 0;
                for (int b = 0; b < bits; ++b) rev |= ((i >> b) & 1u) << (bits - 1 - b);
                items.push_back({fn, -2, static_cast<long long>(rev) * kShard, kShard});
            }
        } else {
            const long long n = plan.samples >= 0 ? plan.samples : default_samples(f, plan.default_scale);
            const long long nr = plan.has_interval ? 1 : static_cast<long long>(f.ranges.size());
            for (long long ri = 0; ri < nr; ++ri) {
                r.ranges.push_back({plan.has_interval ? interval_range(f, plan.lo, plan.hi, plan.log_uniform).label
                                                      : f.ranges[static_cast<std::size_t>(ri)].label,
                                    {}});
                const long long share = n / nr + (ri < n % nr ? 1 : 0);
                for (long long s = 0; s < share; s += kChunk)
                    items.push_back({fn, static_cast<int>(ri), s, std::min(kChunk, share - s)});
            }
            if (plan.specials) {
                r.ranges.push_back({"special values", {}});
                items.push_back({fn, -1, 0, static_cast<long long>(special_inputs(f).size())});
            }
        }
        out.results.push_back(std::move(r));
    }
    long long planned_units = 0;
    for (const auto& it : items) {
        out.planned += it.count;
        planned_units += units_of(*plan.functions[static_cast<std::size_t>(it.fn)], it.count);
    }

    std::vector<UlpStats> stats(items.size());
    std::atomic<std::size_t> next{0};
    std::atomic<long long> done{0}, done_units{0};
    std::atomic<unsigned> finished{0};
    std::atomic<int> current_fn{0};

    auto worker = [&] {
        kalm_set_control_word(KALM_MASK_ALL);
        auto oracle = std::make_unique<Oracle>();
        for (;;) {
            if (g_interrupted.load()) break;
            const std::size_t i = next.fetch_add(1);
            if (i >= items.size()) break;
            const Item& it = items[i];
            const Function& f = *plan.functions[static_cast<std::size_t>(it.fn)];
            current_fn.store(it.fn);
            oracle->use(f);
            UlpStats& s = stats[i];
            const long long unit = units_of(f, 1);
            long long pending = 0;
            auto tick = [&](bool force) {
                if (!force) ++pending;
                if (pending >= 256 || (force && pending)) {
                    done.fetch_add(pending);
                    done_units.fetch_add(pending * unit);
                    pending = 0;
                }
            };
            if (it.range == -2) {
                for (long long k = it.start; k < it.start + it.count; ++k) {
                    if ((k & 1023) == 0 && g_interrupted.load()) break;
                    Input in;
                    in.x = static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(k)));
                    oracle->measure(f, in, s);
                    tick(false);
                }
            } else if (it.range == -1) {
                for (const Input& in : special_inputs(f)) {
                    oracle->measure(f, in, s);
                    tick(false);
                }
            } else {
                const Range r = plan.has_interval ? interval_range(f, plan.lo, plan.hi, plan.log_uniform)
                                                  : f.ranges[static_cast<std::size_t>(it.range)];
                std::uint64_t state = mix64(plan.seed ^ mix64(hash_name(f.name) + 0x1000193ull * static_cast<std::uint64_t>(it.range)) ^
                                            mix64(static_cast<std::uint64_t>(it.start) + 0x51ed27ull));
                for (long long k = 0; k < it.count; ++k) {
                    if ((k & 255) == 0 && g_interrupted.load()) break;
                    oracle->measure(f, draw(r, f.single, state), s);
                    tick(false);
                }
            }
            tick(true);
        }
        // MPFR keeps constants and integer pools per thread.
        oracle.reset();
        mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE);
        finished.fetch_add(1);
    };

    const unsigned nt = std::max(1u, plan.threads);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < nt; ++t) threads.emplace_back(worker);
    while (finished.load() < nt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (plan.progress) {
            const double el = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            const double share = planned_units ? static_cast<double>(done_units.load()) / static_cast<double>(planned_units) : 1.0;
            char counts[64];
            std::snprintf(counts, sizeof counts, "  %.1fM of %.1fM inputs", static_cast<double>(done.load()) / 1e6,
                          static_cast<double>(out.planned) / 1e6);
            draw_progress(plan.functions[static_cast<std::size_t>(current_fn.load())]->name + counts, share, el);
        }
    }
    for (auto& t : threads) t.join();
    mpfr_free_cache();
    if (plan.progress) clear_progress();

    for (std::size_t i = 0; i < items.size(); ++i) {
        AccuracyResult& r = out.results[static_cast<std::size_t>(items[i].fn)];
        const std::size_t slot = items[i].range >= 0 ? static_cast<std::size_t>(items[i].range)
                                                     : r.ranges.size() - 1;  // specials or the one exhaustive row
        r.ranges[slot].second.merge(stats[i]);
    }
    for (auto& r : out.results)
        for (auto& [label, s] : r.ranges) r.total.merge(s);
    out.done = done.load();
    out.interrupted = g_interrupted.load() && out.done < out.planned;
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return out;
}

}  // namespace kalmtool
