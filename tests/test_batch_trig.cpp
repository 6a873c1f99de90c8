// SPDX-License-Identifier: MIT
// The trigonometric batch kernels (sin, cos, tan, asin, acos, atan, atan2 and
// single versions, AVX-512 and AVX2) against their scalar exports, bit for
// bit: every argument of the export's vector file, the special values, each band edge of the
// scalar routine and its neighbours (tests/data/batch_trig_edges.txt), random
// arguments over the ranges the routines distinguish, every length up to 40
// (tails, in place, nothing written past the end). A kernel the CPU cannot run
// is skipped. KALM_BATCH_EXHAUSTIVE=1 adds every float for the one-argument
// single functions and 10^8 random arguments for the double ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "host/cpu_features.hpp"
#include "support/batch_compare.hpp"

namespace {

using kalm::test::BatchReport;
namespace lib = kalm::lib;

using KernelF = std::function<void(const float*, float*, std::size_t)>;
using KernelD = std::function<void(const double*, double*, std::size_t)>;
using KernelFF = std::function<void(const float*, const float*, float*, std::size_t)>;
using KernelDD = std::function<void(const double*, const double*, double*, std::size_t)>;

struct Kernel {
    std::string name, isa;
    KernelF kf;
    std::function<float(float)> sf;
    KernelD kd;
    std::function<double(double)> sd;
    KernelFF kff;
    std::function<float(float, float)> sff;
    KernelDD kdd;
    std::function<double(double, double)> sdd;
};

[[maybe_unused]] Kernel make(const char* n, const char* isa, void (*k)(KALM_BATCH_PARAMS_F_F),
                             float (*s)(float, lib::report_t)) {
    Kernel r;
    r.name = n;
    r.isa = isa;
    r.kf = k;
    r.sf = [s](float x) { return s(x, 0); };
    return r;
}
[[maybe_unused]] Kernel make(const char* n, const char* isa, void (*k)(KALM_BATCH_PARAMS_D_D),
                             double (*s)(double, lib::report_t)) {
    Kernel r;
    r.name = n;
    r.isa = isa;
    r.kd = k;
    r.sd = [s](double x) { return s(x, 0); };
    return r;
}
[[maybe_unused]] Kernel make(const char* n, const char* isa, void (*k)(KALM_BATCH_PARAMS_FF_F),
                             float (*s)(float, float, lib::report_t)) {
    Kernel r;
    r.name = n;
    r.isa = isa;
    r.kff = k;
    r.sff = [s](float a, float b) { return s(a, b, 0); };
    return r;
}
[[maybe_unused]] Kernel make(const char* n, const char* isa, void (*k)(KALM_BATCH_PARAMS_DD_D),
                             double (*s)(double, double, lib::report_t)) {
    Kernel r;
    r.name = n;
    r.isa = isa;
    r.kdd = k;
    r.sdd = [s](double a, double b) { return s(a, b, 0); };
    return r;
}

std::vector<Kernel> kernels() {
    std::vector<Kernel> v;
#define KALM_ROW(name, sig, isa) v.push_back(make(#name, #isa, &lib::batch::name##_##isa, &lib::exported::name));
    KALM_BATCH_KERNELS_TRIG(KALM_ROW)
    KALM_BATCH_KERNELS_INVTRIG(KALM_ROW)
#undef KALM_ROW
    return v;
}

void PrintTo(const Kernel& k, std::ostream* os) { *os << k.name << "_" << k.isa; }

bool runnable(const Kernel& k) {
    if (k.isa == "avx512") return lib::cpu_has(lib::CPU_AVX512);
    if (k.isa == "avx2") return lib::cpu_has(lib::CPU_AVX2);
    if (k.isa == "neon") return lib::cpu_has(lib::CPU_NEON);
    return false;
}

// Argument words of the lines of the export's vector file (one or two per line).
std::vector<std::vector<std::uint64_t>> vector_file_args(const std::string& name) {
    std::ifstream in(std::string(KALM_VECTOR_DIR) + "/" + name + ".txt");
    std::vector<std::vector<std::uint64_t>> out;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string tok;
        if (!(ls >> tok) || tok != name) continue;
        std::vector<std::uint64_t> args;
        while (ls >> tok && tok != "->") args.push_back(std::stoull(tok, nullptr, 16));
        if (!args.empty()) out.push_back(args);
    }
    return out;
}

// Band edges of tests/data/batch_trig_edges.txt for one function.
std::vector<std::vector<std::uint64_t>> edges(const std::string& name) {
    std::ifstream in(KALM_BATCH_EDGES);
    std::vector<std::vector<std::uint64_t>> out;
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream ls(line);
        std::string tok;
        if (!(ls >> tok) || tok != name) continue;
        std::vector<std::uint64_t> args;
        while (ls >> tok) args.push_back(std::stoull(tok, nullptr, 16));
        out.push_back(args);
    }
    return out;
}

template <typename T>
using Bits = kalm::test::Bits<T>;
template <typename T>
T from(std::uint64_t w) {
    return std::bit_cast<T>(static_cast<Bits<T>>(w));
}

// Values every function meets at its borders.
template <typename T>
std::vector<T> special_values() {
    using L = std::numeric_limits<T>;
    std::vector<T> v = {T(0), L::denorm_min(), L::min(), L::max(), L::infinity(), L::quiet_NaN(), L::signaling_NaN(),
                        T(1), T(0.5), T(2), T(3), T(100), T(1e10), L::epsilon()};
    if constexpr (sizeof(T) == 4) {
        v.push_back(from<float>(0x7FC12345u));  // a NaN with a payload
        v.push_back(from<float>(0x7F812345u));  // a signalling one
    } else {
        v.push_back(from<double>(0x7FF8000012345678ull));
        v.push_back(from<double>(0x7FF0000012345678ull));
    }
    const std::size_t n = v.size();
    for (std::size_t i = 0; i < n; ++i) v.push_back(-v[i]);
    return v;
}

// x and its neighbours up to `k` ulps away, both signs.
template <typename T>
void add_neighbours(std::vector<T>& v, std::uint64_t w, int k) {
    const std::uint64_t sign = std::uint64_t{1} << (8 * sizeof(T) - 1);
    for (int d = -k; d <= k; ++d) {
        const std::uint64_t m = (w & ~sign) + static_cast<std::uint64_t>(static_cast<std::int64_t>(d));
        if (m >= sign) continue;  // below zero or past the NaNs
        v.push_back(from<T>(m));
        v.push_back(from<T>(m | sign));
    }
}

std::mt19937_64& rng() {
    static std::mt19937_64 g(0x6B616C6D62617463ull);
    return g;
}

// Random arguments over the ranges the trigonometric routines tell apart:
// any bit pattern, small ones, the medium reduction's range and a little beyond,
// and arguments close to multiples of pi/2.
template <typename T>
std::vector<T> random_args(std::size_t n, double medium) {
    std::vector<T> v(n);
    auto& g = rng();
    std::uniform_real_distribution<double> small(-4.0, 4.0), mid(-1.25 * medium, 1.25 * medium), unit(-1.0, 1.0);
    std::uniform_int_distribution<int> multiple(1, static_cast<int>(medium / 1.5707963267948966));
    for (std::size_t i = 0; i < n; ++i) {
        switch (i % 4) {
            case 0: v[i] = from<T>(g()); break;
            case 1: v[i] = static_cast<T>(small(g)); break;
            case 2: v[i] = static_cast<T>(mid(g)); break;
            default: {
                const double m = multiple(g) * 1.5707963267948966;
                const T c = static_cast<T>(m * (unit(g) < 0 ? -1 : 1));
                // Up to 2^12 (floats) or 2^30 (doubles) ulps away: from the
                // lanes whose reduction cancels a few bits to those the
                // scalar routine reduces with more pieces of pi/2.
                const std::uint64_t b = std::bit_cast<Bits<T>>(c);
                const int span = static_cast<int>(g() % (sizeof(T) == 4 ? 13 : 31));
                const std::uint64_t d = g() & ((std::uint64_t{2} << span) - 1);
                v[i] = from<T>(b + d - (std::uint64_t{1} << span));
                break;
            }
        }
    }
    return v;
}

// The largest argument each function's vector path reduces itself (beyond, the
// scalar export takes the lane): the random ranges cover it and some more.
double medium_limit(const std::string& name) {
    if (name.rfind("as", 0) == 0 || name.rfind("ac", 0) == 0) return 1.6;  // asin, acos: |x| <= 2, past +-1
    if (name.back() == 'f') return 201.0;
    return 1647100.0;
}

// Random pairs for atan2: any bit patterns, ordinary magnitudes, and quotients
// over every exponent gap the routine tells apart (|y/x| from 2^-75 to 2^75).
template <typename T>
void random_pairs(std::size_t n, std::vector<T>& a, std::vector<T>& b) {
    auto& g = rng();
    std::uniform_real_distribution<double> mid(-10.0, 10.0), unit(0.5, 1.0);
    std::uniform_int_distribution<int> gap(-75, 75), scale(-60, 60);
    for (std::size_t i = 0; i < n; ++i) {
        T y, x;
        switch (i % 3) {
            case 0: y = from<T>(g()); x = from<T>(g()); break;
            case 1: y = static_cast<T>(mid(g)); x = static_cast<T>(mid(g)); break;
            default: {
                const double xs = std::ldexp(unit(g), scale(g)) * (g() & 1 ? -1 : 1);
                x = static_cast<T>(xs);
                y = static_cast<T>(xs * std::ldexp(unit(g), gap(g)) * (g() & 1 ? -1 : 1));
                break;
            }
        }
        a.push_back(y);
        b.push_back(x);
    }
}

class BatchTrig : public ::testing::TestWithParam<Kernel> {
  protected:
    void SetUp() override {
        if (!runnable(GetParam())) GTEST_SKIP() << GetParam().isa << " not available on this CPU";
    }

    // All arguments of the quick checks, for a one-argument function.
    template <typename T>
    std::vector<T> quick_args() {
        const Kernel& k = GetParam();
        std::vector<T> v = special_values<T>();
        for (const auto& a : vector_file_args(k.name)) v.push_back(from<T>(a[0]));
        for (const auto& e : edges(k.name)) add_neighbours(v, e[0], 8);
        const auto r = random_args<T>(100000, medium_limit(k.name));
        v.insert(v.end(), r.begin(), r.end());
        return v;
    }

    // The same for a two-argument function: pairs a[i], b[i].
    template <typename T>
    void quick_pairs(std::vector<T>& a, std::vector<T>& b) {
        const Kernel& k = GetParam();
        const std::vector<T> sp = special_values<T>();
        for (T u : sp)
            for (T w : sp) {
                a.push_back(u);
                b.push_back(w);
            }
        for (const auto& l : vector_file_args(k.name)) {
            a.push_back(from<T>(l.at(0)));
            b.push_back(from<T>(l.at(1)));
        }
        for (const auto& e : edges(k.name)) {
            std::vector<T> na, nb;
            add_neighbours(na, e.at(0), 8);
            add_neighbours(nb, e.at(1), 8);
            for (T u : na) {
                a.push_back(u);
                b.push_back(from<T>(e.at(1)));
                a.push_back(u);
                b.push_back(-from<T>(e.at(1)));
            }
            for (T w : nb) {
                a.push_back(from<T>(e.at(0)));
                b.push_back(w);
                a.push_back(-from<T>(e.at(0)));
                b.push_back(w);
            }
        }
        random_pairs<T>(100000, a, b);
    }
};

TEST_P(BatchTrig, MatchesScalarOnEveryQuickArgument) {
    const Kernel& k = GetParam();
    BatchReport rep;
    if (k.kf) {
        const auto v = quick_args<float>();
        kalm::test::compare_batch<float>(rep, k.kf, k.sf, v.data(), v.size());
    } else if (k.kd) {
        const auto v = quick_args<double>();
        kalm::test::compare_batch<double>(rep, k.kd, k.sd, v.data(), v.size());
    } else if (k.kff) {
        std::vector<float> a, b;
        quick_pairs<float>(a, b);
        kalm::test::compare_batch2<float>(rep, k.kff, k.sff, a.data(), b.data(), a.size());
    } else {
        std::vector<double> a, b;
        quick_pairs<double>(a, b);
        kalm::test::compare_batch2<double>(rep, k.kdd, k.sdd, a.data(), b.data(), a.size());
    }
    if (rep.mismatches) rep.print((k.name + "_" + k.isa).c_str());
    EXPECT_EQ(rep.mismatches, 0u);
    EXPECT_GT(rep.compared, 100000u);
}

// Every length 0..40 at every alignment of the first element within a
// register, into a separate array and in place; nothing is written past y[n).
template <typename T, typename K, typename S>
void check_tails(const K& kernel, const S& scalar, const std::vector<T>& pool) {
    constexpr T GUARD = T(-12345.0);
    for (std::size_t n = 0; n <= 40; ++n) {
        for (std::size_t off = 0; off < 3; ++off) {
            std::vector<T> x(pool.begin() + static_cast<std::ptrdiff_t>(n + off),
                             pool.begin() + static_cast<std::ptrdiff_t>(2 * n + off));
            std::vector<T> buf(n + 2 * off + 2, GUARD);
            T* y = buf.data() + off + 1;
            kernel(x.data(), y, n);
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(std::bit_cast<Bits<T>>(y[i]), std::bit_cast<Bits<T>>(scalar(x[i]))) << "n=" << n << " i=" << i;
            for (std::size_t i = 0; i < off + 1; ++i) ASSERT_EQ(buf[i], GUARD) << "written before y, n=" << n;
            for (std::size_t i = n + off + 1; i < buf.size(); ++i) ASSERT_EQ(buf[i], GUARD) << "written past y+n, n=" << n;
            std::vector<T> inplace = x;
            kernel(inplace.data(), inplace.data(), n);
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(std::bit_cast<Bits<T>>(inplace[i]), std::bit_cast<Bits<T>>(scalar(x[i]))) << "in place n=" << n;
        }
    }
}

// The same for two arguments, in place into either argument.
template <typename T, typename K, typename S>
void check_tails2(const K& kernel, const S& scalar, const std::vector<T>& pa, const std::vector<T>& pb) {
    constexpr T GUARD = T(-12345.0);
    for (std::size_t n = 0; n <= 40; ++n) {
        for (std::size_t off = 0; off < 3; ++off) {
            const auto from_pool = [&](const std::vector<T>& p) {
                return std::vector<T>(p.begin() + static_cast<std::ptrdiff_t>(n + off),
                                      p.begin() + static_cast<std::ptrdiff_t>(2 * n + off));
            };
            const std::vector<T> a = from_pool(pa), b = from_pool(pb);
            std::vector<T> buf(n + 2 * off + 2, GUARD);
            T* y = buf.data() + off + 1;
            kernel(a.data(), b.data(), y, n);
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(std::bit_cast<Bits<T>>(y[i]), std::bit_cast<Bits<T>>(scalar(a[i], b[i]))) << "n=" << n;
            for (std::size_t i = 0; i < off + 1; ++i) ASSERT_EQ(buf[i], GUARD) << "written before y, n=" << n;
            for (std::size_t i = n + off + 1; i < buf.size(); ++i) ASSERT_EQ(buf[i], GUARD) << "written past y+n, n=" << n;
            std::vector<T> ia = a, ib = b;
            kernel(ia.data(), b.data(), ia.data(), n);
            kernel(a.data(), ib.data(), ib.data(), n);
            for (std::size_t i = 0; i < n; ++i) {
                const auto want = std::bit_cast<Bits<T>>(scalar(a[i], b[i]));
                ASSERT_EQ(std::bit_cast<Bits<T>>(ia[i]), want) << "in place of a, n=" << n;
                ASSERT_EQ(std::bit_cast<Bits<T>>(ib[i]), want) << "in place of b, n=" << n;
            }
        }
    }
}

TEST_P(BatchTrig, EveryLengthUpTo40InPlaceAndApart) {
    const Kernel& k = GetParam();
    if (k.kf) {
        auto pool = random_args<float>(200, medium_limit(k.name));
        const auto sp = special_values<float>();
        for (std::size_t i = 0; i < sp.size(); ++i) pool[7 * i % pool.size()] = sp[i];
        check_tails<float>(k.kf, k.sf, pool);
    } else if (k.kd) {
        auto pool = random_args<double>(200, medium_limit(k.name));
        const auto sp = special_values<double>();
        for (std::size_t i = 0; i < sp.size(); ++i) pool[7 * i % pool.size()] = sp[i];
        check_tails<double>(k.kd, k.sd, pool);
    } else if (k.kff) {
        std::vector<float> a, b;
        random_pairs<float>(120, a, b);
        a[5] = b[9] = 0.0f;
        a[11] = std::numeric_limits<float>::quiet_NaN();
        b[17] = 1.0f;
        check_tails2<float>(k.kff, k.sff, a, b);
    } else {
        std::vector<double> a, b;
        random_pairs<double>(120, a, b);
        a[5] = b[9] = 0.0;
        a[11] = std::numeric_limits<double>::quiet_NaN();
        b[17] = 1.0;
        check_tails2<double>(k.kdd, k.sdd, a, b);
    }
}

// Every float whose magnitude bits are at most `max_bits`, and every
// infinity and NaN, both signs, in prime-length chunks (every tail length is
// met): the scalar export's result computed once, each runnable kernel of the
// function compared with it.
void every_float(const std::string& name, std::uint32_t min_bits, std::uint32_t max_bits) {
    std::vector<Kernel> ks;
    for (const Kernel& k : kernels())
        if (k.name == name && runnable(k)) ks.push_back(k);
    if (ks.empty()) GTEST_SKIP() << "no kernel of " << name << " runs here";
    constexpr std::size_t CHUNK = 65521;
    std::vector<float> x(CHUNK), want(CHUNK), got(CHUNK);
    std::vector<BatchReport> rep(ks.size());
    const auto t0 = std::chrono::steady_clock::now();
    for (std::uint32_t sign : {0u, 0x80000000u}) {
        for (std::uint64_t lo : {std::uint64_t{min_bits}, std::uint64_t{0x7F800000}}) {
            const std::uint64_t hi = lo == min_bits ? std::uint64_t{max_bits} + 1 : 0x80000000ull;
            for (std::uint64_t w = lo; w < hi; w += CHUNK) {
                const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(CHUNK, hi - w));
                for (std::size_t i = 0; i < n; ++i) {
                    x[i] = std::bit_cast<float>(static_cast<std::uint32_t>(w + i) | sign);
                    want[i] = ks[0].sf(x[i]);
                }
                for (std::size_t k = 0; k < ks.size(); ++k) {
                    ks[k].kf(x.data(), got.data(), n);
                    for (std::size_t i = 0; i < n; ++i) {
                        const auto g = std::bit_cast<std::uint32_t>(got[i]), e = std::bit_cast<std::uint32_t>(want[i]);
                        if (g != e) rep[k].add(std::bit_cast<std::uint32_t>(x[i]), 0, g, e);
                    }
                    rep[k].compared += n;
                }
            }
        }
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    for (std::size_t k = 0; k < ks.size(); ++k) {
        const std::string what = name + "_" + ks[k].isa;
        std::fprintf(stderr, "%s: %zu floats (magnitudes %#x to %#x, infinities, NaNs), %zu differ, %.0f s for all ISAs\n",
                     what.c_str(), rep[k].compared, min_bits, max_bits, rep[k].mismatches, secs);
        if (rep[k].mismatches) rep[k].print(what.c_str());
        EXPECT_EQ(rep[k].mismatches, 0u) << what;
    }
}

bool exhaustive() {
    const char* e = std::getenv("KALM_BATCH_EXHAUSTIVE");
    return e != nullptr && std::string(e) == "1";
}

// Opt-in: every float for the single functions, 10^8 random arguments (the
// quick mixture: any bit pattern, |x| < 4, the medium range, near multiples of
// pi/2) for the double ones.
TEST_P(BatchTrig, Exhaustive) {
    if (!exhaustive()) GTEST_SKIP() << "set KALM_BATCH_EXHAUSTIVE=1";
    const Kernel& k = GetParam();
    BatchReport rep;
    const auto t0 = std::chrono::steady_clock::now();
    if (k.kf) {
        GTEST_SKIP() << "every float: BatchTrigEveryFloat";
    } else if (k.kd) {
        for (int chunk = 0; chunk < 1000; ++chunk) {
            const auto v = random_args<double>(100000, medium_limit(k.name));
            kalm::test::compare_batch<double>(rep, k.kd, k.sd, v.data(), v.size());
        }
    } else {
        // 10^8 random pairs, the quick mixture.
        for (int chunk = 0; chunk < 1000; ++chunk) {
            if (k.kff) {
                std::vector<float> a, b;
                random_pairs<float>(100000, a, b);
                kalm::test::compare_batch2<float>(rep, k.kff, k.sff, a.data(), b.data(), a.size());
            } else {
                std::vector<double> a, b;
                random_pairs<double>(100000, a, b);
                kalm::test::compare_batch2<double>(rep, k.kdd, k.sdd, a.data(), b.data(), a.size());
            }
        }
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::fprintf(stderr, "%s_%s: %zu compared, %zu differ, %.1f s\n", k.name.c_str(), k.isa.c_str(), rep.compared,
                 rep.mismatches, s);
    if (rep.mismatches) rep.print((k.name + "_" + k.isa).c_str());
    EXPECT_EQ(rep.mismatches, 0u);
}

// Opt-in: every float through each single kernel. KALM_BATCH_EXHAUSTIVE_MIN and
// _MAX (hex magnitude bits) limit the walk to magnitudes between them, with the
// infinities and NaNs: above 201.06 every lane is the scalar export's own call,
// and those arguments cost the scalar reduction about 100 ns each.
class BatchTrigEveryFloat : public ::testing::TestWithParam<std::string> {};

TEST_P(BatchTrigEveryFloat, MatchesScalar) {
    if (!exhaustive()) GTEST_SKIP() << "set KALM_BATCH_EXHAUSTIVE=1";
    const char* lo = std::getenv("KALM_BATCH_EXHAUSTIVE_MIN");
    const char* hi = std::getenv("KALM_BATCH_EXHAUSTIVE_MAX");
    every_float(GetParam(), lo ? static_cast<std::uint32_t>(std::stoul(lo, nullptr, 16)) : 0u,
                hi ? static_cast<std::uint32_t>(std::stoul(hi, nullptr, 16)) : 0x7F7FFFFFu);
}

std::vector<std::string> single_names() {
    std::vector<std::string> v;
    for (const Kernel& k : kernels())
        if (k.kf && (v.empty() || v.back() != k.name)) v.push_back(k.name);
    return v;
}

INSTANTIATE_TEST_SUITE_P(Kernels, BatchTrigEveryFloat, ::testing::ValuesIn(single_names()));
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(BatchTrigEveryFloat);

std::string kernel_name(const ::testing::TestParamInfo<Kernel>& info) { return info.param.name + "_" + info.param.isa; }

INSTANTIATE_TEST_SUITE_P(Kernels, BatchTrig, ::testing::ValuesIn(kernels()), kernel_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(BatchTrig);

}  // namespace
