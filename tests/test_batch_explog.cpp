// SPDX-License-Identifier: MIT
// The exp/log/pow batch kernels against their scalar exports, bit for bit, on
// every instruction set this CPU runs (a set it lacks is skipped): the vector
// files' arguments, special values, both sides of every threshold the scalar
// routines test, random arguments, and every array length up to 40 (tails,
// in place, nothing written past the end).
//
// Opt-in: KALM_BATCH_EXHAUSTIVE=1 (or a list: =logf,pow) compares every float
// for each one-argument single function, and 10^8 random arguments
// (KALM_BATCH_COUNT to change it) for each double and two-argument function
// over its special ranges, on every instruction set at once; the counts and
// the time are printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "host/cpu_features.hpp"
#include "support/batch_compare.hpp"
#include "vectors.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

using namespace kalm::lib;
namespace batch = kalm::lib::batch;
using kalm::test::BatchReport;

namespace {

enum class Sig { F_F, D_D, FF_F, DD_D };

// One kernel: the export it reproduces, its instruction set, the entry.
struct Kernel {
    std::string name, isa;
    Sig sig;
    void (*f_f)(const float*, float*, std::size_t) = nullptr;
    void (*d_d)(const double*, double*, std::size_t) = nullptr;
    void (*ff_f)(const float*, const float*, float*, std::size_t) = nullptr;
    void (*dd_d)(const double*, const double*, double*, std::size_t) = nullptr;
};

// gtest names a parameter by this (test names and failure messages).
void PrintTo(const Kernel& k, std::ostream* os) { *os << k.name << "_" << k.isa; }

[[maybe_unused]] Kernel make(const char* name, const char* isa, void (*k)(const float*, float*, std::size_t)) {
    Kernel r{name, isa, Sig::F_F};
    r.f_f = k;
    return r;
}
[[maybe_unused]] Kernel make(const char* name, const char* isa, void (*k)(const double*, double*, std::size_t)) {
    Kernel r{name, isa, Sig::D_D};
    r.d_d = k;
    return r;
}
[[maybe_unused]] Kernel make(const char* name, const char* isa, void (*k)(const float*, const float*, float*, std::size_t)) {
    Kernel r{name, isa, Sig::FF_F};
    r.ff_f = k;
    return r;
}
[[maybe_unused]] Kernel make(const char* name, const char* isa, void (*k)(const double*, const double*, double*, std::size_t)) {
    Kernel r{name, isa, Sig::DD_D};
    r.dd_d = k;
    return r;
}

std::vector<Kernel> kernels() {
    std::vector<Kernel> all;
#define KALM_ROW(name, sig, isa) all.push_back(make(#name, #isa, &batch::name##_##isa));
    KALM_BATCH_KERNELS_EXPLOG(KALM_ROW)
#undef KALM_ROW
    return all;
}

bool runnable(const Kernel& k) {
    return k.isa == "avx512" ? cpu_has(CPU_AVX512)
         : k.isa == "avx2"   ? cpu_has(CPU_AVX2)
         : k.isa == "neon"   ? cpu_has(CPU_NEON)
                             : false;
}

// The scalar exports, by name.
float scalar_f(const std::string& name, float x) {
    if (name == "expf") return exported::expf(x, 0);
    if (name == "logf") return exported::logf(x, 0);
    if (name == "log10f") return exported::log10f(x, 0);
    ADD_FAILURE() << "no scalar export for " << name;
    return 0;
}
double scalar_d(const std::string& name, double x) {
    if (name == "exp") return exported::exp(x, 0);
    if (name == "log") return exported::log(x, 0);
    if (name == "log10") return exported::log10(x, 0);
    ADD_FAILURE() << "no scalar export for " << name;
    return 0;
}
float scalar_ff(const std::string& name, float x, float y) {
    if (name == "powf") return exported::powf(x, y, 0);
    ADD_FAILURE() << "no scalar export for " << name;
    return 0;
}
double scalar_dd(const std::string& name, double x, double y) {
    if (name == "pow") return exported::pow(x, y, 0);
    ADD_FAILURE() << "no scalar export for " << name;
    return 0;
}

// ---- Arguments ------------------------------------------------------------------

// The thresholds each scalar routine tests its argument's word against
// (magnitude words; high words for doubles), and the interval its ordinary
// arguments come from.
struct Bands {
    std::vector<std::uint64_t> edges;
    double lo, hi;
};
Bands bands(const std::string& name) {
    // expf: tiny, ln2/2, 1.5 ln2, overflow, underflow, the subnormal-result scaling (k = -125).
    if (name == "expf") return {{0x31800000, 0x3EB17218, 0x3F851591, 0x42B17217, 0x42CFF1B5, 0x42AE0000, 0x42AC0000}, -104, 89};
    if (name == "logf" || name == "log10f")
        // zero, subnormals, inf; the halving at significand 0x3504E0; the short
        // series (significand 0 or 0x7FFFF1 up); the f²/2 band 0x30A3D0..0x35C288.
        return {{0x00000000, 0x00800000, 0x7F7FFFFF, 0x7F800000, 0x3F800000, 0x3F3504E0, 0x3FB504E0, 0x3FFFFFF1,
                 0x3F7FFFF1, 0x3F30A3D0, 0x3F35C288, 0x3FB0A3D0, 0x3FB5C288},
                0, 1e6};
    // exp: tiny (2^-28), ln2/2, 1.5 ln2, the limits, k = -1021.
    if (name == "exp") return {{0x3E300000, 0x3FD62E42, 0x3FF0A2B1, 0x40862E42, 0x40874910, 0x40862000, 0x40861000}, -746, 710};
    if (name == "log" || name == "log10")
        // the same for doubles: halving at 0x6A09C, the f²/2 band 0x6147A..0x6B851.
        return {{0x00000000, 0x00100000, 0x7FEFFFFF, 0x7FF00000, 0x3FF00000, 0x3FE6A09C, 0x3FF6A09C, 0x3FE6147A,
                 0x3FE6B851, 0x3FF6147A, 0x3FF6B851, 0x3FFFFFFF},
                0, 1e6};
    return {{}, -10, 10};
}

template <typename T>
std::vector<T> vector_file_args(const std::string& name, int which) {
    std::vector<T> out;
    std::ifstream in(std::string(KALM_VECTOR_DIR) + "/" + name + ".txt");
    std::string line, error;
    while (std::getline(in, line)) {
        kalmtool::Vector v;
        if (!kalmtool::parse_vector(line, v, error) || v.fn == nullptr) continue;
        if constexpr (sizeof(T) == 4) {
            if (static_cast<std::size_t>(which) < v.words.size()) out.push_back(std::bit_cast<float>(v.words[which]));
        } else {
            const std::size_t w = static_cast<std::size_t>(which) * 2;
            if (w + 1 < v.words.size())
                out.push_back(std::bit_cast<double>((std::uint64_t{v.words[w + 1]} << 32) | v.words[w]));
        }
    }
    EXPECT_FALSE(out.empty()) << "no vector lines for " << name;
    return out;
}

// Special values of either width.
template <typename T>
std::vector<T> specials() {
    using B = kalm::test::Bits<T>;
    constexpr int mant = sizeof(T) == 4 ? 23 : 52;
    constexpr B sign = B{1} << (sizeof(T) * 8 - 1);
    constexpr B inf = (sign - 1) & ~((B{1} << mant) - 1);
    const B words[] = {0, 1, 2, (B{1} << mant) - 1, B{1} << mant, inf - 1, inf, inf + 1, inf | (B{1} << (mant - 1)),
                       inf | (B{1} << (mant - 1)) | 0x1234, inf + 0x1234};
    std::vector<T> out;
    for (B w : words) {
        out.push_back(std::bit_cast<T>(w));
        out.push_back(std::bit_cast<T>(static_cast<B>(w | sign)));
    }
    return out;
}

// Both sides of each threshold, both signs; a double edge is a high word, met
// with low words 0, 1 and all ones.
template <typename T>
std::vector<T> edges(const Bands& b) {
    std::vector<T> out;
    for (std::uint64_t e : b.edges) {
        for (int d = -3; d <= 3; ++d) {
            for (std::uint64_t s : {std::uint64_t{0}, std::uint64_t{1} << 31}) {
                if constexpr (sizeof(T) == 4) {
                    out.push_back(std::bit_cast<float>(static_cast<std::uint32_t>((e + d) | s)));
                } else {
                    for (std::uint64_t lo : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{0xFFFFFFFF}})
                        out.push_back(std::bit_cast<double>((((e + d) | s) << 32) | lo));
                }
            }
        }
    }
    return out;
}

// Random words over every value, and random values of the ordinary interval.
template <typename T>
std::vector<T> random_args(const Bands& b, std::size_t count, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> in(b.lo, b.hi);
    std::vector<T> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 2) out[i] = static_cast<T>(in(rng));
        else out[i] = std::bit_cast<T>(static_cast<kalm::test::Bits<T>>(rng()));
    }
    return out;
}

// Doubles within 2^-20 of 1, where log's short series and its general form
// both apply and, now and then (a few in ten thousand), round differently.
std::vector<double> near_one(std::size_t count) {
    std::mt19937_64 rng(0x0AE1);
    std::vector<double> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t above = 0x3FF0000000000000ull | (rng() & 0xFFFFFFFF);     // high significand 0
        const std::uint64_t below = 0x3FEFFFFE00000000ull | (rng() & 0x1FFFFFFFFull);  // 0xFFFFE and up
        out[i] = std::bit_cast<double>(i % 2 ? above : below);
    }
    // Found where the two differ.
    for (std::uint64_t w : {0x3FEFFFFEA23A51DCull, 0x3FF00000EE43BBD4ull, 0x3FF00000E9F657DFull, 0x3FEFFFFE8836ED86ull})
        out.push_back(std::bit_cast<double>(w));
    return out;
}

// All the quick arguments of a one-argument function.
template <typename T>
std::vector<T> quick_args(const std::string& name) {
    const Bands b = bands(name);
    std::vector<T> all = vector_file_args<T>(name, 0);
    for (T v : specials<T>()) all.push_back(v);
    for (T v : edges<T>(b)) all.push_back(v);
    for (T v : random_args<T>(b, 100000, 0x5EED)) all.push_back(v);
    if constexpr (sizeof(T) == 8)
        if (name == "log" || name == "log10")
            for (T v : near_one(50000)) all.push_back(v);
    return all;
}

// Random pairs: a fifth random words, a fifth ordinary bases and exponents, a
// fifth bases near 1 with huge exponents, a fifth negative bases with integer
// exponents, a fifth any positive base with a small exponent.
template <typename T>
void random_pairs(std::vector<T>& xs, std::vector<T>& ys, std::size_t count, std::mt19937_64& rng) {
    using B = kalm::test::Bits<T>;
    constexpr bool single = sizeof(T) == 4;
    auto add = [&](T x, T y) {
        xs.push_back(x);
        ys.push_back(y);
    };
    std::uniform_real_distribution<double> ux(0, 10), uy(-60, 60), unear(-1e-5, 1e-5), ubig(-3e9, 3e9);
    for (std::size_t i = 0; i < count; ++i) {
        switch (i % 5) {
        case 0: add(std::bit_cast<T>(static_cast<B>(rng())), std::bit_cast<T>(static_cast<B>(rng()))); break;
        case 1: add(static_cast<T>(ux(rng)), static_cast<T>(uy(rng))); break;
        case 2: add(static_cast<T>(1 + unear(rng)), static_cast<T>(ubig(rng))); break;
        case 3: add(static_cast<T>(-ux(rng)), static_cast<T>(std::round(uy(rng)))); break;
        default: add(std::bit_cast<T>(static_cast<B>(rng() & (single ? 0x7FFFFFFFu : 0x7FFFFFFFFFFFFFFFull))),
                     static_cast<T>(uy(rng) / 8));
        }
    }
}


// Pairs for pow and powf: the vector files' pairs; every special value against
// every special exponent; bases at the routine's significand thresholds and
// near 1 against ordinary and huge exponents; exponents putting y·log2 x at the
// overflow, underflow and subnormal-result thresholds; random pairs (words,
// ordinary bases and exponents, negative bases with integer exponents).
template <typename T>
void pow_pairs(std::vector<T>& xs, std::vector<T>& ys, std::size_t count) {
    using B = kalm::test::Bits<T>;
    constexpr bool single = sizeof(T) == 4;
    auto add = [&](T x, T y) {
        xs.push_back(x);
        ys.push_back(y);
    };
    {
        const std::string name = single ? "powf" : "pow";
        const std::vector<T> a = vector_file_args<T>(name, 0), b = vector_file_args<T>(name, 1);
        for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) add(a[i], b[i]);
    }
    std::vector<T> ex = specials<T>();
    for (double v : {0.5, 2.0, 3.0, -1.0, 1.0, -2.0, 0.25, 1.5, -0.5, 1.0 / 3, 1e-3, 1e3, 127.0, 128.0, -149.0,
                     -150.0, 1023.0, 1024.0, -1074.0, -1075.0, 16777216.0, 16777217.0, 134217728.0, 2147483648.0,
                     4294967296.0, 9007199254740992.0})
        ex.push_back(static_cast<T>(v));
    const B huge_y = single ? 0x4D000000 : 0x41E00000;  // the huge-exponent threshold (high word for doubles)
    for (int d = -2; d <= 2; ++d) {
        if constexpr (single) {
            ex.push_back(std::bit_cast<T>(static_cast<B>(huge_y + d)));
        } else {
            ex.push_back(std::bit_cast<T>(static_cast<B>((huge_y + d) << 32)));
            ex.push_back(std::bit_cast<T>(static_cast<B>(((huge_y + d) << 32) | 0xFFFFFFFF)));
        }
    }
    std::vector<T> bases = specials<T>();
    for (double v : {2.0, 0.5, 10.0, 3.0, -2.0, -3.0, -0.5, 1.0000001, 0.9999999, 1e-10, 1e10}) bases.push_back(static_cast<T>(v));
    // Significand thresholds (pivot choice) and |x| within a few ulp of 1.
    const std::uint64_t sig[] = {single ? 0x3F9CC471u : 0x3FF3988Eu, single ? 0x3FDDB3D6u : 0x3FFBB67Au,
                                 single ? 0x3F800000u : 0x3FF00000u};
    for (std::uint64_t w : sig) {
        for (int d = -9; d <= 9; ++d) {
            if constexpr (single) bases.push_back(std::bit_cast<T>(static_cast<B>(w + d)));
            else bases.push_back(std::bit_cast<T>(static_cast<B>(((w + d) << 32) | (d & 1 ? 0xFFFFFFFFu : 0u))));
        }
    }
    for (T x : bases)
        for (T y : ex) add(x, y);
    // y·log2 x at the thresholds: x = 2 and 10 against exponents around the
    // overflow, underflow and subnormal limits, in single steps of y.
    const double limits[] = {single ? 128.0 : 1024.0, single ? -150.0 : -1075.0, single ? -126.0 : -1022.0,
                             single ? -149.0 : -1074.0};
    for (double base : {2.0, 10.0, 0.5, 1.5}) {
        for (double lim : limits) {
            const T y0 = static_cast<T>(lim / std::log2(base));
            T y = y0;
            for (int i = 0; i < 40; ++i) y = std::nextafter(y, static_cast<T>(-1e300));
            for (int i = 0; i < 80; ++i, y = std::nextafter(y, static_cast<T>(1e300))) add(static_cast<T>(base), y);
        }
    }
    std::mt19937_64 rng(0x9047);
    random_pairs<T>(xs, ys, count, rng);
}

// ---- Running a kernel -------------------------------------------------------------

template <typename T>
void run1(const Kernel& k, const T* x, T* y, std::size_t n) {
    if constexpr (sizeof(T) == 4) k.f_f(x, y, n);
    else k.d_d(x, y, n);
}
template <typename T>
T scalar1(const Kernel& k, T x) {
    if constexpr (sizeof(T) == 4) return scalar_f(k.name, x);
    else return scalar_d(k.name, x);
}

template <typename T>
void compare1(const Kernel& k, const std::vector<T>& args, BatchReport& rep) {
    kalm::test::compare_batch<T>(
        rep, [&](const T* x, T* y, std::size_t n) { run1<T>(k, x, y, n); }, [&](T x) { return scalar1<T>(k, x); },
        args.data(), args.size());
}

// Every length 0..40, from every offset 0..3 of a shared pool of arguments (so
// that rare lanes fall in the tail too), out of place and in place; the
// element after the last must be left alone.
template <typename T>
void compare_lengths(const Kernel& k, const std::vector<T>& pool, BatchReport& rep) {
    const T guard = std::bit_cast<T>(static_cast<kalm::test::Bits<T>>(0x5A5A5A5A5A5A5A5Aull));
    for (std::size_t n = 0; n <= 40; ++n) {
        for (std::size_t off = 0; off < 4; ++off) {
            std::vector<T> x(pool.begin() + off * 41, pool.begin() + off * 41 + n);
            std::vector<T> y(n + 1, guard), inplace = x;
            inplace.push_back(guard);
            run1<T>(k, x.data(), y.data(), n);
            run1<T>(k, inplace.data(), inplace.data(), n);
            for (std::size_t i = 0; i < n; ++i) {
                const auto want = std::bit_cast<kalm::test::Bits<T>>(scalar1<T>(k, x[i]));
                const auto got = std::bit_cast<kalm::test::Bits<T>>(y[i]);
                const auto got_in = std::bit_cast<kalm::test::Bits<T>>(inplace[i]);
                if (got != want) rep.add(std::bit_cast<kalm::test::Bits<T>>(x[i]), n, got, want);
                if (got_in != want) rep.add(std::bit_cast<kalm::test::Bits<T>>(x[i]), n, got_in, want);
            }
            rep.compared += 2 * n;
            EXPECT_EQ(std::bit_cast<kalm::test::Bits<T>>(y[n]), std::bit_cast<kalm::test::Bits<T>>(guard))
                << k.name << "_" << k.isa << " wrote past n = " << n;
            EXPECT_EQ(std::bit_cast<kalm::test::Bits<T>>(inplace[n]), std::bit_cast<kalm::test::Bits<T>>(guard))
                << k.name << "_" << k.isa << " wrote past n = " << n << " (in place)";
        }
    }
}

// A pool for the length test: ordinary arguments with a special value or an
// edge every few elements.
template <typename T>
std::vector<T> length_pool(const std::string& name) {
    const Bands b = bands(name);
    std::vector<T> pool = random_args<T>(b, 41 * 4 + 41, 0x7A11);
    const std::vector<T> sp = specials<T>(), ed = edges<T>(b);
    for (std::size_t i = 0; i < pool.size(); i += 7) pool[i] = (i / 7) % 2 ? sp[(i / 7) % sp.size()] : ed[(i / 7) % ed.size()];
    for (std::size_t i = 3; i < pool.size(); i += 7) pool[i] = static_cast<T>(b.lo + (b.hi - b.lo) * (i % 13) / 13.0);
    return pool;
}

template <typename T>
void run2(const Kernel& k, const T* x, const T* b, T* y, std::size_t n) {
    if constexpr (sizeof(T) == 4) k.ff_f(x, b, y, n);
    else k.dd_d(x, b, y, n);
}
template <typename T>
T scalar2(const Kernel& k, T x, T b) {
    if constexpr (sizeof(T) == 4) return scalar_ff(k.name, x, b);
    else return scalar_dd(k.name, x, b);
}

template <typename T>
void compare2(const Kernel& k, const std::vector<T>& xs, const std::vector<T>& ys, BatchReport& rep) {
    kalm::test::compare_batch2<T>(
        rep, [&](const T* x, const T* b, T* y, std::size_t n) { run2<T>(k, x, b, y, n); },
        [&](T x, T b) { return scalar2<T>(k, x, b); }, xs.data(), ys.data(), xs.size());
}

// Lengths 0..40 for two arguments: out of place, in place over x and over b.
template <typename T>
void compare_lengths2(const Kernel& k, const std::vector<T>& px, const std::vector<T>& py, BatchReport& rep) {
    using B = kalm::test::Bits<T>;
    const T guard = std::bit_cast<T>(static_cast<B>(0x5A5A5A5A5A5A5A5Aull));
    for (std::size_t n = 0; n <= 40; ++n) {
        for (std::size_t off = 0; off < 4; ++off) {
            const std::size_t at = off * 97 % (px.size() - 41);
            std::vector<T> x(px.begin() + at, px.begin() + at + n), b(py.begin() + at, py.begin() + at + n);
            std::vector<T> y(n + 1, guard), over_x = x, over_b = b;
            over_x.push_back(guard);
            over_b.push_back(guard);
            run2<T>(k, x.data(), b.data(), y.data(), n);
            run2<T>(k, over_x.data(), b.data(), over_x.data(), n);
            run2<T>(k, x.data(), over_b.data(), over_b.data(), n);
            for (std::size_t i = 0; i < n; ++i) {
                const B want = std::bit_cast<B>(scalar2<T>(k, x[i], b[i]));
                for (T got : {y[i], over_x[i], over_b[i]})
                    if (std::bit_cast<B>(got) != want) rep.add(std::bit_cast<B>(x[i]), std::bit_cast<B>(b[i]), std::bit_cast<B>(got), want);
            }
            rep.compared += 3 * n;
            for (T g : {y[n], over_x[n], over_b[n]})
                EXPECT_EQ(std::bit_cast<B>(g), std::bit_cast<B>(guard)) << k.name << "_" << k.isa << " wrote past n = " << n;
        }
    }
}

// Long arrays whose blocks are nearly all set aside: a special argument every
// 8 elements (so in every block of every width), and whole runs of threshold
// arguments (subnormals, redone by the log kernels' second tier; the short
// series, a branch of their first; rare ones). Lengths around the stretch
// after which set-aside blocks are redone
// (16 blocks of 16: 256 floats; one whole block after a full stretch, and a
// tail), out of place and in place.
template <typename T>
std::vector<T> stretch_pattern(const std::string& name, int which) {
    const Bands b = bands(name);
    std::vector<T> out = random_args<T>(b, 1100, 0x57E7 + which);
    const std::vector<T> sp = specials<T>(), ed = b.edges.empty() ? sp : edges<T>(b);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (which == 0 && i % 8 == 5) out[i] = sp[(i / 8) % sp.size()];
        if (which == 1) out[i] = ed[i % ed.size()];
    }
    return out;
}

template <typename T>
void compare_stretches(const Kernel& k, BatchReport& rep) {
    using B = kalm::test::Bits<T>;
    const bool two = k.sig == Sig::FF_F || k.sig == Sig::DD_D;
    for (int which = 0; which < 2; ++which) {
        const std::vector<T> pool = stretch_pattern<T>(k.name, which);
        // powf and pow: the pattern as bases over ordinary exponents, and as exponents of 2.
        const std::vector<T> other(pool.size(), static_cast<T>(which ? 2.0 : 0.75));
        for (std::size_t n : {255u, 256u, 257u, 272u, 277u, 512u, 787u, 1100u}) {
            std::vector<T> x(pool.begin(), pool.begin() + n), b(other.begin(), other.begin() + n);
            if (two && which == 1) std::swap(x, b);
            std::vector<T> y(n), inplace = x;
            if (two) {
                run2<T>(k, x.data(), b.data(), y.data(), n);
                run2<T>(k, inplace.data(), b.data(), inplace.data(), n);
            } else {
                run1<T>(k, x.data(), y.data(), n);
                run1<T>(k, inplace.data(), inplace.data(), n);
            }
            for (std::size_t i = 0; i < n; ++i) {
                const B want = std::bit_cast<B>(two ? scalar2<T>(k, x[i], b[i]) : scalar1<T>(k, x[i]));
                for (T got : {y[i], inplace[i]})
                    if (std::bit_cast<B>(got) != want) rep.add(std::bit_cast<B>(x[i]), n, std::bit_cast<B>(got), want);
            }
            rep.compared += 2 * n;
        }
    }
}

class BatchExplog : public ::testing::TestWithParam<Kernel> {};

TEST_P(BatchExplog, LongStretchesOfSetAsideBlocks) {
    const Kernel& k = GetParam();
    if (!runnable(k)) GTEST_SKIP() << "this CPU has no " << k.isa;
    BatchReport rep;
    if (k.sig == Sig::F_F || k.sig == Sig::FF_F) compare_stretches<float>(k, rep);
    else compare_stretches<double>(k, rep);
    if (rep.mismatches) rep.print((k.name + "_" + k.isa).c_str());
    EXPECT_EQ(rep.mismatches, 0u) << k.name << "_" << k.isa << ": " << rep.compared << " compared";
}

TEST_P(BatchExplog, MatchesScalarExport) {
    const Kernel& k = GetParam();
    if (!runnable(k)) GTEST_SKIP() << "this CPU has no " << k.isa;
    BatchReport rep;
    if (k.sig == Sig::F_F) {
        compare1<float>(k, quick_args<float>(k.name), rep);
        compare_lengths<float>(k, length_pool<float>(k.name), rep);
    } else if (k.sig == Sig::D_D) {
        compare1<double>(k, quick_args<double>(k.name), rep);
        compare_lengths<double>(k, length_pool<double>(k.name), rep);
    } else if (k.sig == Sig::FF_F) {
        std::vector<float> xs, ys;
        pow_pairs<float>(xs, ys, 100000);
        compare2<float>(k, xs, ys, rep);
        compare_lengths2<float>(k, xs, ys, rep);
    } else {
        std::vector<double> xs, ys;
        pow_pairs<double>(xs, ys, 100000);
        compare2<double>(k, xs, ys, rep);
        compare_lengths2<double>(k, xs, ys, rep);
    }
    if (rep.mismatches) rep.print((k.name + "_" + k.isa).c_str());
    EXPECT_EQ(rep.mismatches, 0u) << k.name << "_" << k.isa << ": " << rep.compared << " compared";
    EXPECT_GT(rep.compared, 100000u);
}

// ---- Opt-in exhaustive runs -------------------------------------------------------
// One pass per function: each argument's scalar result is computed once and
// every kernel of the function this CPU runs is compared with it.
// KALM_BATCH_EXHAUSTIVE=1 runs every function, =logf,pow a list.

bool exhaustive(const std::string& name) {
    const char* e = std::getenv("KALM_BATCH_EXHAUSTIVE");
    if (e == nullptr) return false;
    const std::string list = std::string(",") + e + ",";
    return list == ",1," || list.find("," + name + ",") != std::string::npos;
}

std::size_t random_count() {
    const char* c = std::getenv("KALM_BATCH_COUNT");
    return c ? std::strtoull(c, nullptr, 10) : 100000000u;
}

// Compares every runnable kernel of `name` on one chunk against `want`.
template <typename T>
void check_chunk(const std::vector<Kernel>& ks, const std::vector<T>& x, const std::vector<T>* b,
                 const std::vector<T>& want, std::vector<BatchReport>& reps) {
    using B = kalm::test::Bits<T>;
    std::vector<T> y(x.size());
    for (std::size_t k = 0; k < ks.size(); ++k) {
        if (b) run2<T>(ks[k], x.data(), b->data(), y.data(), x.size());
        else run1<T>(ks[k], x.data(), y.data(), x.size());
        for (std::size_t i = 0; i < x.size(); ++i)
            if (std::bit_cast<B>(y[i]) != std::bit_cast<B>(want[i]))
                reps[k].add(std::bit_cast<B>(x[i]), b ? std::bit_cast<B>((*b)[i]) : 0, std::bit_cast<B>(y[i]),
                            std::bit_cast<B>(want[i]));
        reps[k].compared += x.size();
    }
}

void exhaustive_run(const std::string& name) {
    std::vector<Kernel> ks;
    for (const Kernel& k : kernels())
        if (k.name == name && runnable(k)) ks.push_back(k);
    if (ks.empty()) GTEST_SKIP() << "no kernel of " << name << " runs on this CPU";
    std::vector<BatchReport> reps(ks.size());
    const auto start = std::chrono::steady_clock::now();
    const Sig sig = ks[0].sig;
    if (sig == Sig::F_F) {
        // Every float, in prime-length chunks (every tail length is met).
        constexpr std::size_t CHUNK = 65521;
        std::vector<float> x, want;
        for (std::uint64_t w = 0; w <= 0xFFFFFFFFull; w += x.size()) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(CHUNK, 0x100000000ull - w));
            x.resize(n);
            want.resize(n);
            for (std::size_t i = 0; i < n; ++i) {
                x[i] = std::bit_cast<float>(static_cast<std::uint32_t>(w + i));
                want[i] = scalar_f(name, x[i]);
            }
            check_chunk<float>(ks, x, nullptr, want, reps);
        }
    } else if (sig == Sig::D_D) {
        // A third random words, a third the ordinary interval, a third near the
        // thresholds (random low bits under each edge's high word).
        const Bands bd = bands(name);
        const std::vector<double> edge = edges<double>(bd);
        std::mt19937_64 rng(0xE8A);
        std::uniform_real_distribution<double> in(bd.lo, bd.hi);
        std::vector<double> x(1 << 16), want(x.size());
        for (std::size_t done = 0; done < random_count(); done += x.size()) {
            for (std::size_t i = 0; i < x.size(); ++i) {
                const std::uint64_t r = rng();
                if (i % 3 == 0) x[i] = std::bit_cast<double>(r);
                else if (i % 3 == 1) x[i] = in(rng);
                else
                    x[i] = std::bit_cast<double>((std::bit_cast<std::uint64_t>(edge[r % edge.size()]) & 0xFFFFFFFF00000000ull) |
                                                 (rng() & 0xFFFFFFFFull));
                want[i] = scalar_d(name, x[i]);
            }
            check_chunk<double>(ks, x, nullptr, want, reps);
        }
    } else {
        std::mt19937_64 rng(0xE8B);
        for (std::size_t done = 0; done < random_count(); done += 1 << 16) {
            if (sig == Sig::FF_F) {
                std::vector<float> xs, ys, want;
                random_pairs<float>(xs, ys, 1 << 16, rng);
                for (std::size_t i = 0; i < xs.size(); ++i) want.push_back(scalar_ff(name, xs[i], ys[i]));
                check_chunk<float>(ks, xs, &ys, want, reps);
            } else {
                std::vector<double> xs, ys, want;
                random_pairs<double>(xs, ys, 1 << 16, rng);
                for (std::size_t i = 0; i < xs.size(); ++i) want.push_back(scalar_dd(name, xs[i], ys[i]));
                check_chunk<double>(ks, xs, &ys, want, reps);
            }
        }
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (std::size_t k = 0; k < ks.size(); ++k) {
        const std::string what = name + "_" + ks[k].isa;
        std::printf("%s: %zu compared, %zu differ (%.1f s for the function's pass)\n", what.c_str(), reps[k].compared,
                    reps[k].mismatches, secs);
        if (reps[k].mismatches) reps[k].print(what.c_str());
        EXPECT_EQ(reps[k].mismatches, 0u) << what;
    }
}

class BatchExplogExhaustive : public ::testing::TestWithParam<std::string> {};

TEST_P(BatchExplogExhaustive, EveryKernelOfTheFunction) {
    if (!exhaustive(GetParam())) GTEST_SKIP() << "KALM_BATCH_EXHAUSTIVE=1 (or a list of names) runs it";
    exhaustive_run(GetParam());
}

std::vector<std::string> function_names() {
    std::vector<std::string> names;
    for (const Kernel& k : kernels())
        if (std::find(names.begin(), names.end(), k.name) == names.end()) names.push_back(k.name);
    return names;
}

INSTANTIATE_TEST_SUITE_P(Functions, BatchExplogExhaustive, ::testing::ValuesIn(function_names()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(BatchExplogExhaustive);

std::string kernel_name(const ::testing::TestParamInfo<Kernel>& i) { return i.param.name + "_" + i.param.isa; }

INSTANTIATE_TEST_SUITE_P(Kernels, BatchExplog, ::testing::ValuesIn(kernels()), kernel_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(BatchExplog);

}  // namespace

#endif
