// SPDX-License-Identifier: MIT
// The C++ interface as a <cmath> user meets it: every vector line through the
// overloaded names (a float argument must reach the single function, with its
// own results, flags and raises), integer and mixed arguments computed in
// double, and the using-declarations that keep <cmath>'s names out of the way.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "kalmlib/kalmlib.hpp"
#include "vectors.hpp"

namespace {

using Words = std::vector<std::uint32_t>;
using Call = std::uint64_t (*)(const Words&);

double d(const Words& w, std::size_t i) {
    return std::bit_cast<double>(static_cast<std::uint64_t>(w[i]) | static_cast<std::uint64_t>(w[i + 1]) << 32);
}
float f(const Words& w, std::size_t i) { return std::bit_cast<float>(w[i]); }

// The overload must return exactly R: a float call that came back as double
// went to the double function.
template <class R, class T>
std::uint64_t bits(T r) {
    static_assert(std::is_same_v<R, T>, "the overload returns the argument's type");
    if constexpr (std::is_same_v<T, float>)
        return std::bit_cast<std::uint32_t>(r);
    else
        return std::bit_cast<std::uint64_t>(r);
}

#define D1(fn) [](const Words& w) { return bits<double>(kalm::fn(d(w, 0))); }
#define D2(fn) [](const Words& w) { return bits<double>(kalm::fn(d(w, 0), d(w, 2))); }
#define F1(fn) [](const Words& w) { return bits<float>(kalm::fn(f(w, 0))); }
#define F2(fn) [](const Words& w) { return bits<float>(kalm::fn(f(w, 0), f(w, 1))); }

// Each export by the name a <cmath> user writes, the argument types choosing it.
const std::map<std::string, Call> overloads = {
    {"_y0", D1(y0)},       {"_y1", D1(y1)},
    {"_yn", [](const Words& w) { return bits<double>(kalm::yn(static_cast<int>(w[0]), d(w, 1))); }},
    {"acos", D1(acos)},    {"acosf", F1(acos)},   {"asin", D1(asin)},    {"asinf", F1(asin)},
    {"atan", D1(atan)},    {"atan2", D2(atan2)},  {"atan2f", F2(atan2)}, {"atanf", F1(atan)},
    {"ceil", D1(ceil)},    {"ceilf", F1(ceil)},   {"cos", D1(cos)},      {"cosf", F1(cos)},
    {"cosh", D1(cosh)},    {"coshf", F1(cosh)},   {"exp", D1(exp)},      {"expf", F1(exp)},
    {"fabsf", F1(fabs)},   {"floor", D1(floor)},  {"floorf", F1(floor)}, {"fmod", D2(fmod)},
    {"fmodf", F2(fmod)},   {"log", D1(log)},      {"log10", D1(log10)},  {"log10f", F1(log10)},
    {"logf", F1(log)},     {"pow", D2(pow)},      {"powf", F2(pow)},     {"sin", D1(sin)},
    {"sinf", F1(sin)},     {"sinh", D1(sinh)},    {"sinhf", F1(sinh)},   {"sqrt", D1(sqrt)},
    {"sqrtf", F1(sqrt)},   {"tan", D1(tan)},      {"tanf", F1(tan)},     {"tanh", D1(tanh)},
    {"tanhf", F1(tanh)},
};

const void* object_base(const void* addr) {
    Dl_info info{};
    return dladdr(addr, &info) ? info.dli_fbase : nullptr;
}

// "@app" when the raise names this test's code (the overload's call), "@lib"
// when it names the library.
std::string where(std::uintptr_t addr) {
    const void* at = object_base(reinterpret_cast<const void*>(addr));
    if (at && at == object_base(reinterpret_cast<const void*>(&object_base))) return "app";
    if (at && at == object_base(reinterpret_cast<const void*>(&kalm_export_by_name))) return "lib";
    return "?";
}

kalmtool::Outcome run(Call call, const Words& w) {
    kalmtool::Outcome o;
    kalm_set_raise_handler(nullptr, nullptr);
    {
        kalm::ScopedControlWord masked(KALM_MASK_ALL);
        kalm::clear_flags();
        o.result = call(w);
        o.flags = kalm::status() & KALM_FLAGS_ALL;
    }
    kalm::ScopedUnmask all(KALM_MASK_ALL);
    try {
        (void)call(w);
    } catch (const kalm::FpException& e) {
        char code[16];
        std::snprintf(code, sizeof code, "%08" PRIX32 "@", e.status_code());
        o.raise = code + where(e.report_address());
    }
    return o;
}

TEST(CxxOverloads, EveryExportHasItsOverload) {
    for (std::size_t i = 0; i < kalm_export_count(); ++i)
        EXPECT_TRUE(overloads.count(kalm_export_at(i)->name)) << kalm_export_at(i)->name;
}

TEST(CxxOverloads, EveryVectorLineThroughTheOverloads) {
    long lines = 0;
    for (std::size_t i = 0; i < kalm_export_count(); ++i) {
        const std::string name = kalm_export_at(i)->name;
        const auto call = overloads.find(name);
        ASSERT_NE(call, overloads.end()) << name;
        const std::string path = std::string(KALM_VECTOR_DIR) + "/" + name + ".txt";
        std::ifstream in(path);
        ASSERT_TRUE(in) << path;
        std::string line, error;
        for (int n = 1; std::getline(in, line); ++n) {
            kalmtool::Vector v;
            ASSERT_TRUE(kalmtool::parse_vector(line, v, error)) << path << ":" << n << ": " << error;
            if (!v.fn || !v.expected) continue;
            const kalmtool::Outcome got = run(call->second, v.words);
            EXPECT_EQ(kalmtool::format_outcome(v, got), kalmtool::format_outcome(v, *v.expected))
                << path << ":" << n << ": " << v.input;
            ++lines;
        }
    }
    EXPECT_GT(lines, 2000);
}

TEST(CxxOverloads, IntegersAndMixedArgumentsComputeInDouble) {
    static_assert(std::is_same_v<decltype(kalm::sin(1)), double>);
    static_assert(std::is_same_v<decltype(kalm::pow(2.0f, 3)), double>);
    static_assert(std::is_same_v<decltype(kalm::pow(2.0f, 0.5)), double>);
    static_assert(std::is_same_v<decltype(kalm::pow(2.0f, 0.5f)), float>);
    static_assert(std::is_same_v<decltype(kalm::atan2(1, 2.0f)), double>);
    static_assert(std::is_same_v<decltype(kalm::y0(1.0f)), double>);  // no single Bessel function
    const auto same = [](double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); };
    for (int i = -40; i <= 40; ++i) {
        EXPECT_TRUE(same(kalm::sin(i), kalm_sin(i))) << i;
        EXPECT_TRUE(same(kalm::exp(static_cast<short>(i)), kalm_exp(i))) << i;
        EXPECT_TRUE(same(kalm::sqrt(static_cast<unsigned long>(i * i)), kalm_sqrt(i * i))) << i;
        EXPECT_TRUE(same(kalm::pow(1.1f, i), kalm_pow(static_cast<double>(1.1f), i))) << i;
        EXPECT_TRUE(same(kalm::atan2(i, 3.0f), kalm_atan2(i, 3.0))) << i;
        EXPECT_TRUE(same(kalm::fmod(0.7f, static_cast<double>(i)), kalm_fmod(static_cast<double>(0.7f), i))) << i;
    }
}

// The way the header documents for <cmath> users: using-declarations inside a
// namespace of one's own hide the global names from <math.h>.
namespace app {
using kalm::sin;
using kalm::sqrt;
double sine(double x) { return sin(x); }
float sine(float x) { return sin(x); }
double root(double x) { return sqrt(x); }
}  // namespace app

TEST(CxxOverloads, UsingDeclarationsReachTheLibraryBesideCmath) {
    // Inputs where the host's sin rounds differently: the call must give kalm's.
    int differing = 0;
    for (int i = 1; i < 20000; ++i) {
        const double x = i * 0.0123;
        const double host = std::sin(x);
        const double mine = app::sine(x);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(mine), std::bit_cast<std::uint64_t>(kalm_sin(x))) << x;
        differing += std::bit_cast<std::uint64_t>(mine) != std::bit_cast<std::uint64_t>(host);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(app::sine(static_cast<float>(x))),
                  std::bit_cast<std::uint32_t>(kalm_sinf(static_cast<float>(x))));
    }
    EXPECT_GT(differing, 0) << "no input tells the host's sin from the library's";
    // The device's sqrt of a negative number raises directly and leaves no flag.
    kalm::ScopedControlWord masked(KALM_MASK_ALL);
    kalm::clear_flags();
    (void)app::root(-1.0);
    EXPECT_EQ(kalm::status() & KALM_FLAGS_ALL, 0u);
}

TEST(CxxFlagTypes, WordsKeepTheirCValues) {
    static_assert(std::uint32_t{KALM_MASK_ALL & ~KALM_MASK_INEXACT} == 0x1Eu);
    static_assert(std::uint32_t{KALM_FLAGS_ALL} ==
                  std::uint32_t{KALM_FLAG_INVALID | KALM_FLAG_OVERFLOW | KALM_FLAG_UNDERFLOW | KALM_FLAG_INEXACT});
    kalm::ScopedUnmask unmask(KALM_MASK_OVERFLOW | KALM_MASK_INEXACT);
    EXPECT_EQ(kalm::control_word(), KALM_MASK_ALL & ~(KALM_MASK_OVERFLOW | KALM_MASK_INEXACT));
    EXPECT_EQ(kalm_control_word(), 0x1Au);
}

}  // namespace
