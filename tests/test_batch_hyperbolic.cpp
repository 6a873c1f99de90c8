// SPDX-License-Identifier: MIT
// The hyperbolic batch kernels (sinh, cosh, tanh and single versions) against
// their scalar exports, bit for bit: every argument of the export's vector
// file, the special values, each band edge of the scalar routine and its
// neighbours (tests/data/batch_hyperbolic_edges.txt), random arguments over
// every band up to the overflow, every length up to 40 (tails, in place,
// nothing written past the end). A kernel the CPU cannot run is skipped.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
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

namespace lib = kalm::lib;
template <typename T>
using Bits = kalm::test::Bits<T>;

struct Kernel {
    std::string name, isa;
    std::function<void(const float*, float*, std::size_t)> kf;
    std::function<float(float)> sf;
    std::function<void(const double*, double*, std::size_t)> kd;
    std::function<double(double)> sd;
};

[[maybe_unused]] Kernel make(const char* n, const char* isa, void (*k)(KALM_BATCH_PARAMS_F_F),
                             float (*s)(float, lib::report_t)) {
    return {n, isa, k, [s](float x) { return s(x, 0); }, {}, {}};
}
[[maybe_unused]] Kernel make(const char* n, const char* isa, void (*k)(KALM_BATCH_PARAMS_D_D),
                             double (*s)(double, lib::report_t)) {
    return {n, isa, {}, {}, k, [s](double x) { return s(x, 0); }};
}

std::vector<Kernel> kernels() {
    std::vector<Kernel> v;
#define KALM_ROW(name, sig, isa) v.push_back(make(#name, #isa, &lib::batch::name##_##isa, &lib::exported::name));
    KALM_BATCH_KERNELS_HYPERBOLIC(KALM_ROW)
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

// The first argument word of each line of a file of NAME WORD ... lines: the
// export's vector file (with its "->" results) or the edges file (with comments).
std::vector<std::uint64_t> words(const std::string& path, const std::string& name) {
    std::ifstream in(path);
    std::vector<std::uint64_t> out;
    std::string line, tok;
    while (std::getline(in, line)) {
        std::istringstream ls(line.substr(0, line.find('#')));
        if ((ls >> tok) && tok == name && (ls >> tok)) out.push_back(std::stoull(tok, nullptr, 16));
    }
    return out;
}

template <typename T>
T from(std::uint64_t w) {
    return std::bit_cast<T>(static_cast<Bits<T>>(w));
}

// Zeros, the smallest and largest numbers, infinities, NaNs (with payloads,
// quiet and signalling), both signs.
template <typename T>
std::vector<T> special_values() {
    using L = std::numeric_limits<T>;
    std::vector<T> v = {T(0), L::denorm_min(), L::min(), L::max(), L::infinity(), L::quiet_NaN(),
                        L::signaling_NaN(), T(1), T(0.5), L::epsilon(), from<T>(sizeof(T) == 4 ? 0x7FC12345u : 0x7FF8000012345678ull)};
    const std::size_t n = v.size();
    for (std::size_t i = 0; i < n; ++i) v.push_back(-v[i]);
    return v;
}

// Random arguments: any bit pattern, |x| log-uniform from 2^-60 to 2^10 (every
// band, the overflow included), uniform over the two exponential ranges.
template <typename T>
std::vector<T> random_args(std::size_t n) {
    static std::mt19937_64 g(0x6879706572626174ull);
    const double top = sizeof(T) == 4 ? 90.0 : 711.0;
    std::uniform_real_distribution<double> e(-60.0, 10.0), wide(-top, top), narrow(-23.0, 23.0);
    std::vector<T> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        switch (i % 4) {
            case 0: v[i] = from<T>(g()); break;
            case 1: v[i] = static_cast<T>(std::exp2(e(g)) * ((g() & 1) ? -1 : 1)); break;
            case 2: v[i] = static_cast<T>(wide(g)); break;
            default: v[i] = static_cast<T>(narrow(g)); break;
        }
    }
    return v;
}

class BatchHyperbolic : public ::testing::TestWithParam<Kernel> {
  protected:
    void SetUp() override {
        if (!runnable(GetParam())) GTEST_SKIP() << GetParam().isa << " not available on this CPU";
    }

    template <typename T>
    std::vector<T> quick_args() {
        const Kernel& k = GetParam();
        std::vector<T> v = special_values<T>();
        for (std::uint64_t w : words(std::string(KALM_VECTOR_DIR) + "/" + k.name + ".txt", k.name)) v.push_back(from<T>(w));
        const std::uint64_t sign = std::uint64_t{1} << (8 * sizeof(T) - 1);
        for (std::uint64_t w : words(KALM_BATCH_HYPERBOLIC_EDGES, k.name))
            for (int d = -8; d <= 8; ++d) {
                const std::uint64_t m = w + static_cast<std::uint64_t>(static_cast<std::int64_t>(d));
                v.push_back(from<T>(m));
                v.push_back(from<T>(m | sign));
            }
        const auto r = random_args<T>(100000);
        v.insert(v.end(), r.begin(), r.end());
        return v;
    }
};

TEST_P(BatchHyperbolic, MatchesScalarOnEveryQuickArgument) {
    const Kernel& k = GetParam();
    kalm::test::BatchReport rep;
    if (k.kf) {
        const auto v = quick_args<float>();
        kalm::test::compare_batch<float>(rep, k.kf, k.sf, v.data(), v.size());
    } else {
        const auto v = quick_args<double>();
        kalm::test::compare_batch<double>(rep, k.kd, k.sd, v.data(), v.size());
    }
    if (rep.mismatches) rep.print((k.name + "_" + k.isa).c_str());
    EXPECT_EQ(rep.mismatches, 0u);
    EXPECT_GT(rep.compared, 100000u);
}

// Every length 0..40 at three offsets, apart and in place; nothing written
// outside y[0..n).
template <typename T, typename K, typename S>
void check_tails(const K& kernel, const S& scalar) {
    constexpr T GUARD = T(-12345.0);
    auto pool = random_args<T>(200);
    const auto sp = special_values<T>();
    for (std::size_t i = 0; i < sp.size(); ++i) pool[7 * i % pool.size()] = sp[i];
    for (std::size_t n = 0; n <= 40; ++n) {
        for (std::size_t off = 0; off < 3; ++off) {
            const std::vector<T> x(pool.begin() + static_cast<std::ptrdiff_t>(n + off),
                                   pool.begin() + static_cast<std::ptrdiff_t>(2 * n + off));
            std::vector<T> buf(n + 2 * off + 2, GUARD);
            T* y = buf.data() + off + 1;
            kernel(x.data(), y, n);
            std::vector<T> inplace = x;
            kernel(inplace.data(), inplace.data(), n);
            for (std::size_t i = 0; i < n; ++i) {
                const auto want = std::bit_cast<Bits<T>>(scalar(x[i]));
                ASSERT_EQ(std::bit_cast<Bits<T>>(y[i]), want) << "n=" << n << " i=" << i;
                ASSERT_EQ(std::bit_cast<Bits<T>>(inplace[i]), want) << "in place n=" << n << " i=" << i;
            }
            for (std::size_t i = 0; i < off + 1; ++i) ASSERT_EQ(buf[i], GUARD) << "written before y, n=" << n;
            for (std::size_t i = n + off + 1; i < buf.size(); ++i) ASSERT_EQ(buf[i], GUARD) << "written past y+n, n=" << n;
        }
    }
}

TEST_P(BatchHyperbolic, EveryLengthUpTo40InPlaceAndApart) {
    const Kernel& k = GetParam();
    if (k.kf) check_tails<float>(k.kf, k.sf);
    else check_tails<double>(k.kd, k.sd);
}

std::string kernel_name(const ::testing::TestParamInfo<Kernel>& info) { return info.param.name + "_" + info.param.isa; }

INSTANTIATE_TEST_SUITE_P(Kernels, BatchHyperbolic, ::testing::ValuesIn(kernels()), kernel_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(BatchHyperbolic);

}  // namespace
