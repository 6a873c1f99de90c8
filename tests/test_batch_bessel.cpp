// SPDX-License-Identifier: MIT
// The Bessel batch kernels (_y0, _y1, _yn with one order and with an order per
// element) called directly against the scalar exports, bit for bit: the
// vector files' arguments, special values, each band edge of the scalar
// routines with its neighbours (tests/data/batch_bessel_edges.txt), random
// arguments over the bands, orders of either sign and parity up to the
// extremes, every length 0..40 in place and apart. A kernel the CPU cannot run
// is skipped. KALM_BATCH_EXHAUSTIVE=1 (or a list: =_y0,_yn_orders) adds 10^8
// random arguments per kernel through the batch entries on every instruction
// set the CPU runs, drawn over the bands (tools/vectors/batch_random.hpp).
#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "batch_random.hpp"
#include "host/cpu_features.hpp"
#include "kalmlib/kalmlib_batch.h"

namespace {

namespace lib = kalm::lib;

using D1 = void (*)(KALM_BATCH_PARAMS_D_D);
using DN = void (*)(KALM_BATCH_PARAMS_ID_D);
using DO = void (*)(KALM_BATCH_PARAMS_ND_D);

struct Kernel {
    std::string name, isa;
    D1 d1 = nullptr;  // _y0, _y1
    DN dn = nullptr;  // _yn, one order
    DO dorders = nullptr;  // _yn, an order per element
};

[[maybe_unused]] Kernel make(const char* name, const char* isa, D1 k) { return {name, isa, k, nullptr, nullptr}; }
[[maybe_unused]] Kernel make(const char* name, const char* isa, DN k) { return {name, isa, nullptr, k, nullptr}; }
[[maybe_unused]] Kernel make(const char* name, const char* isa, DO k) { return {name, isa, nullptr, nullptr, k}; }

std::vector<Kernel> kernels() {
    std::vector<Kernel> v;
#define KALM_ROW(name, sig, isa) v.push_back(make(#name, #isa, &lib::batch::name##_##isa));
    KALM_BATCH_KERNELS_BESSEL(KALM_ROW)
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

double from(std::uint64_t w) { return std::bit_cast<double>(w); }
std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

double scalar(const std::string& name, int order, double x) {
    if (name == "_y0") return lib::exported::_y0(x, 0);
    if (name == "_y1") return lib::exported::_y1(x, 0);
    return lib::exported::_yn(order, x, 0);
}

// The arguments of the three vector files (the argument after _yn's order).
std::vector<double> vector_file_args() {
    std::vector<double> out;
    for (const char* name : {"_y0", "_y1", "_yn"}) {
        std::ifstream in(std::string(KALM_VECTOR_DIR) + "/" + name + ".txt");
        std::string line, tok;
        while (std::getline(in, line)) {
            std::istringstream ls(line);
            if (!(ls >> tok) || tok != name) continue;
            if (tok == "_yn") ls >> tok;
            if (ls >> tok) out.push_back(from(std::stoull(tok, nullptr, 16)));
        }
    }
    return out;
}

// The edges for one kernel, each with its neighbours up to 8 ulps, both signs.
std::vector<double> edge_args(const std::string& kernel) {
    std::ifstream in(KALM_BESSEL_EDGES);
    std::vector<double> out;
    std::string line, name, word;
    while (std::getline(in, line)) {
        std::istringstream ls(line.substr(0, line.find('#')));
        if (!(ls >> name >> word) || (name != "*" && kernel.rfind(name, 0) != 0)) continue;
        const std::uint64_t w = std::stoull(word, nullptr, 16);
        for (int d = -8; d <= 8; ++d) {
            const std::uint64_t m = w + static_cast<std::uint64_t>(static_cast<std::int64_t>(d));
            if (m >= 0x8000000000000000ull) continue;
            out.push_back(from(m));
            out.push_back(-from(m));
        }
    }
    return out;
}

// Random arguments over the bands: (0, 2), [2, 100], tiny, up to 2^21, huge, any bits.
std::vector<double> random_args(std::size_t n) {
    static std::mt19937_64 g(0x62657373656c6b);
    std::uniform_real_distribution<double> near(0.0, 2.0), far(2.0, 100.0), unit(1.0, 2.0);
    std::uniform_int_distribution<int> small(-70, 0), mid(1, 21), huge(22, 1023);
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        switch (i % 6) {
            case 0: v[i] = near(g); break;
            case 1: v[i] = far(g); break;
            case 2: v[i] = std::ldexp(unit(g), small(g)); break;
            case 3: v[i] = std::ldexp(unit(g), mid(g)); break;
            case 4: v[i] = std::ldexp(unit(g), huge(g)); break;
            default: v[i] = from(g()); break;
        }
    }
    return v;
}

std::vector<double> quick_args(const std::string& name) {
    using L = std::numeric_limits<double>;
    std::vector<double> v = {0.0, -0.0, L::infinity(), -L::infinity(), L::quiet_NaN(), -L::quiet_NaN(),
                             from(0x7FF0000012345678ull), from(0xFFF8000012345678ull), 1.0, 2.0, -1.0};
    for (double x : vector_file_args()) v.push_back(x);
    for (double x : edge_args(name)) v.push_back(x);
    for (double x : random_args(20000)) v.push_back(x);
    return v;
}

// Orders of each sign and parity, 0 and +-1 apart, and a long recurrence.
const int kOrders[] = {0, 1, -1, 2, -2, 3, -3, 5, -6, 10, 33, -50, 200};

// The kernel on x[0..n) into y (y may be x), with one order or the orders o.
void run(const Kernel& k, int order, const int* o, const double* x, double* y, std::size_t n) {
    if (k.d1) k.d1(x, y, n);
    else if (k.dn) k.dn(order, x, y, n);
    else k.dorders(o, x, y, n);
}

class BatchBessel : public ::testing::TestWithParam<Kernel> {
  protected:
    void SetUp() override {
        if (!runnable(GetParam())) GTEST_SKIP() << GetParam().isa << " not available on this CPU";
    }
    // Every argument at each order the kernel takes (one pass without orders).
    void check_all(const std::vector<double>& x) {
        const Kernel& k = GetParam();
        std::size_t bad = 0;
        for (int order : kOrders) {
            std::vector<int> o(x.size());
            for (std::size_t i = 0; i < x.size(); ++i) o[i] = kOrders[(i + static_cast<std::size_t>(order & 7)) % std::size(kOrders)];
            std::vector<double> y(x.size());
            run(k, order, o.data(), x.data(), y.data(), x.size());
            for (std::size_t i = 0; i < x.size(); ++i) {
                const int n = k.dorders ? o[i] : order;
                const double want = scalar(k.name, n, x[i]);
                if (bits(y[i]) != bits(want) && ++bad <= 8)
                    ADD_FAILURE() << k.name << "_" << k.isa << " order " << n << " x=" << std::hexfloat << x[i]
                                  << ": batch " << y[i] << ", scalar " << want;
            }
            if (k.d1) break;
        }
        EXPECT_EQ(bad, 0u);
    }
};

TEST_P(BatchBessel, MatchesScalarOnEveryQuickArgument) { check_all(quick_args(GetParam().name)); }

// The orders' extremes: -2^31 is the order 2^31 (even), 2^31 - 1 odd; on
// arguments below 1 the recurrence reaches -inf within a few hundred steps.
TEST_P(BatchBessel, ExtremeOrders) {
    const Kernel& k = GetParam();
    if (k.d1) GTEST_SKIP() << "no order";
    const std::vector<double> x = {0.25, 1e-3, 0.9, 1e-300, 0.5, 0.75, 0.01, 3e-5, 0.125};
    for (int order : {INT_MIN, INT_MAX, INT_MIN + 1}) {
        std::vector<int> o(x.size(), order);
        std::vector<double> y(x.size());
        run(k, order, o.data(), x.data(), y.data(), x.size());
        for (std::size_t i = 0; i < x.size(); ++i)
            EXPECT_EQ(bits(y[i]), bits(scalar(k.name, order, x[i]))) << "order " << order << " x=" << x[i];
    }
}

// Every length 0..40 at three offsets, apart and in place; nothing written
// outside y[0..n).
TEST_P(BatchBessel, EveryLengthUpTo40InPlaceAndApart) {
    const Kernel& k = GetParam();
    constexpr double GUARD = -12345.0;
    std::vector<double> pool = random_args(200);
    pool[7] = 0.0, pool[19] = std::numeric_limits<double>::quiet_NaN(), pool[30] = -1.0, pool[44] = 1e300;
    std::vector<int> opool(200);
    for (std::size_t i = 0; i < opool.size(); ++i) opool[i] = kOrders[i % std::size(kOrders)];
    const int order = 4;
    for (std::size_t n = 0; n <= 40; ++n) {
        for (std::size_t off = 0; off < 3; ++off) {
            const std::vector<double> x(pool.begin() + static_cast<std::ptrdiff_t>(n + off),
                                        pool.begin() + static_cast<std::ptrdiff_t>(2 * n + off));
            const int* o = opool.data() + n + off;
            std::vector<double> buf(n + 2 * off + 2, GUARD);
            double* y = buf.data() + off + 1;
            run(k, order, o, x.data(), y, n);
            std::vector<double> inplace = x;
            run(k, order, o, inplace.data(), inplace.data(), n);
            for (std::size_t i = 0; i < n; ++i) {
                const double want = scalar(k.name, k.dorders ? o[i] : order, x[i]);
                ASSERT_EQ(bits(y[i]), bits(want)) << "n=" << n << " i=" << i;
                ASSERT_EQ(bits(inplace[i]), bits(want)) << "in place, n=" << n << " i=" << i;
            }
            for (std::size_t i = 0; i < off + 1; ++i) ASSERT_EQ(buf[i], GUARD) << "written before y, n=" << n;
            for (std::size_t i = n + off + 1; i < buf.size(); ++i) ASSERT_EQ(buf[i], GUARD) << "written past y+n, n=" << n;
        }
    }
}

// Opt-in: 10^8 random arguments (and orders) per kernel through its batch entry.
TEST(BatchBesselRandom, HundredMillionPerKernel) {
    const char* e = std::getenv("KALM_BATCH_EXHAUSTIVE");
    if (e == nullptr) GTEST_SKIP() << "set KALM_BATCH_EXHAUSTIVE=1";
    const std::string want = std::string(",") + e + ",";
    const int best = kalm_batch_isa();
    for (const char* name : {"_y0", "_y1", "_yn", "_yn_orders"}) {
        if (want != ",1," && want.find(std::string(",") + name + ",") == std::string::npos) continue;
        for (int isa : {KALM_BATCH_AVX2, KALM_BATCH_AVX512, KALM_BATCH_NEON}) {
            if (kalm_batch_set_isa(isa) != KALM_OK) continue;
            kalmtool::RandomTally t;
            const auto t0 = std::chrono::steady_clock::now();
            ASSERT_TRUE(kalmtool::random_batch_check(name, 100000000, 11, t));
            const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            std::fprintf(stderr, "%s on instruction set %d: %lld compared, %lld differ, %.0f s\n", name, isa, t.compared,
                         t.mismatches, secs);
            EXPECT_EQ(t.mismatches, 0) << name << " on instruction set " << isa;
            for (const auto& m : t.messages) ADD_FAILURE() << m;
        }
    }
    kalm_batch_set_isa(best);
}

std::string kernel_name(const ::testing::TestParamInfo<Kernel>& info) { return info.param.name + "_" + info.param.isa; }

INSTANTIATE_TEST_SUITE_P(Kernels, BatchBessel, ::testing::ValuesIn(kernels()), kernel_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(BatchBessel);

}  // namespace
