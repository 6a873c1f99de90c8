// SPDX-License-Identifier: MIT
// kalm batch-check NAME... [--isa ISA|all] [--exhaustive | --random N]: the
// batch entry of each export against its scalar export, bit for bit, on each
// instruction set selected: every float argument (one-argument single
// functions), or N random arguments (half every bit pattern alike, NaNs,
// infinities and subnormals included; half from the export's accuracy ranges).
// Status 1 when an element differs.
#include <bit>
#include <chrono>
#include <cstdio>

#include "batch_bench.hpp"
#include "batch_compare.hpp"
#include "commands.hpp"

namespace kalmtool {
namespace {

using kalm::test::BatchReport;

template <class T>
using Bits = kalm::test::Bits<T>;

// One argument: every bit pattern alike, or from one of the export's ranges.
template <class T>
T random_arg(const Function& f, std::uint64_t& state, std::size_t i, Input& drawn) {
    if (i % 2 == 0) {
        state = mix64(state + 0x9E3779B97F4A7C15ull);
        return std::bit_cast<T>(static_cast<Bits<T>>(state));
    }
    const Range& r = f.ranges[(i / 2) % f.ranges.size()];
    drawn = draw(r, f.single, state);
    return static_cast<T>(drawn.x);
}

template <class T>
void random_check(const Function& f, std::uint64_t count, std::uint64_t seed, BatchReport& rep) {
    constexpr std::size_t kChunk = 65521;
    std::vector<T> a(kChunk), b(kChunk);
    std::uint64_t state = mix64(seed ^ hash_name(f.name));
    const VoidFn entry = batch_entry(f.e);
    for (std::uint64_t done = 0; done < count;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, count - done));
        int order = 0;
        for (std::size_t i = 0; i < n; ++i) {
            Input in;
            a[i] = random_arg<T>(f, state, i, in);
            if (i % 2 == 1 && f.arity == 2) b[i] = static_cast<T>(in.y);
            else b[i] = random_arg<T>(f, state, i + 1, in);
            if (i == 1) order = in.n;  // _yn: one order per chunk, from the export's ranges
        }
        if (f.signature == KALM_SIG_ID_D) {
            kalm::test::compare_batch<double>(
                rep,
                [order, entry](const double* x, double* y, std::size_t m) {
                    reinterpret_cast<int (*)(int, const double*, double*, std::size_t)>(entry)(order, x, y, m);
                },
                [order, &f](double x) { return reinterpret_cast<DN>(f.kalm)(order, x); },
                reinterpret_cast<const double*>(a.data()), n);
        } else if (f.arity == 1) {
            kalm::test::compare_batch<T>(
                rep,
                [entry](const T* x, T* y, std::size_t m) {
                    reinterpret_cast<int (*)(const T*, T*, std::size_t)>(entry)(x, y, m);
                },
                [&f](T x) { return reinterpret_cast<T (*)(T)>(f.kalm)(x); }, a.data(), n);
        } else {
            kalm::test::compare_batch2<T>(
                rep,
                [entry](const T* x, const T* z, T* y, std::size_t m) {
                    reinterpret_cast<int (*)(const T*, const T*, T*, std::size_t)>(entry)(x, z, y, m);
                },
                [&f](T x, T z) { return reinterpret_cast<T (*)(T, T)>(f.kalm)(x, z); }, a.data(), b.data(), n);
        }
        done += n;
    }
}

}  // namespace

int cmd_batch_check(int argc, char** argv) {
    Options options = command_options("batch-check");
    std::string isa_name = "all";
    bool exhaustive = false;
    long long count = 1000000;
    std::uint64_t seed = 1;
    options.text("--isa", isa_name, "ISA", "scalar, avx2, avx512, neon or all (default: every set this CPU runs)")
        .flag("--exhaustive", exhaustive, "every float argument (one-argument single functions)")
        .count("--random", count, 1, 1000000000000LL, "random arguments per export (default 1000000)")
        .u64("--seed", seed, "seed of the random arguments (default 1)");
    std::vector<std::string> names;
    int status = 0;
    if (!parse_command_line(options, argc, argv, names, status)) return status;
    if (names.empty()) return bad_input("batch-check: name at least one export");
    std::vector<int> isas;
    static const char* const kIsa[] = {"scalar", "avx2", "avx512", "neon"};
    const int best = kalm_batch_isa();
    for (int i = 0; i <= KALM_BATCH_NEON; ++i) {
        if (isa_name != "all" && isa_name != kIsa[i]) continue;
        if (kalm_batch_set_isa(i) != KALM_OK) {
            if (isa_name != "all") return bad_input("batch-check: this CPU or build cannot run " + isa_name);
            continue;
        }
        isas.push_back(i);
    }
    kalm_batch_set_isa(best);
    if (isas.empty()) return bad_input("batch-check: --isa is scalar, avx2, avx512, neon or all");
    std::vector<const Function*> fns;
    std::string err;
    if (!select_functions(names, fns, err)) return bad_input(err);
    if (exhaustive)
        for (const Function* f : fns)
            if (f->signature != KALM_SIG_F_F) return bad_input("--exhaustive: " + f->name + " is not float(float)");
    bool clean = true;
    for (const Function* f : fns) {
        for (int isa : isas) {
            kalm_batch_set_isa(isa);
            BatchReport rep;
            const auto t0 = std::chrono::steady_clock::now();
            if (exhaustive) {
                const VoidFn entry = batch_entry(f->e);
                kalm::test::compare_every_float(
                    rep,
                    [entry](const float* x, float* y, std::size_t m) {
                        reinterpret_cast<int (*)(const float*, float*, std::size_t)>(entry)(x, y, m);
                    },
                    [f](float x) { return reinterpret_cast<F1>(f->kalm)(x); });
            } else if (f->single) {
                random_check<float>(*f, static_cast<std::uint64_t>(count), seed, rep);
            } else {
                random_check<double>(*f, static_cast<std::uint64_t>(count), seed, rep);
            }
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            std::printf("%s on %s: %zu %s compared, %zu differ (%.1f s)\n", f->name.c_str(), kIsa[isa], rep.compared,
                        exhaustive ? "floats (all)" : "random arguments", rep.mismatches, s);
            std::fflush(stdout);
            if (rep.mismatches) {
                rep.print((f->name + " on " + kIsa[isa]).c_str());
                clean = false;
            }
        }
    }
    kalm_batch_set_isa(best);
    kalm_clear_flags();
    return clean ? 0 : 1;
}

}  // namespace kalmtool
