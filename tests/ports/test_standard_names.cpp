// SPDX-License-Identifier: MIT
// A program linked with libkalmlib_libm before the host libm: every vector
// line through the standard C names (sin, sinf, ..., _y0 and y0), results,
// flags and first raise, the raise against this program's call; a function
// outside the 40 still from the host libm.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <math.h>

#include <bit>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "abi/export_list.hpp"
#include "kalmlib/kalmlib.hpp"
#include "vectors.hpp"

// The device's names of the Bessel functions, which <math.h> does not declare.
extern "C" double _y0(double) noexcept;
extern "C" double _y1(double) noexcept;
extern "C" double _yn(int, double) noexcept;

namespace {

using Words = std::vector<std::uint32_t>;

double d(const Words& w, std::size_t i) {
    return std::bit_cast<double>(static_cast<std::uint64_t>(w[i]) | static_cast<std::uint64_t>(w[i + 1]) << 32);
}
float f(const Words& w, std::size_t i) { return std::bit_cast<float>(w[i]); }
std::uint64_t bits(double r) { return std::bit_cast<std::uint64_t>(r); }
std::uint64_t bits(float r) { return std::bit_cast<std::uint32_t>(r); }

using Call = std::uint64_t (*)(const Words&);
#define KALM_CALL_D_D(fn) [](const Words& w) { return bits(fn(d(w, 0))); }
#define KALM_CALL_DD_D(fn) [](const Words& w) { return bits(fn(d(w, 0), d(w, 2))); }
#define KALM_CALL_ID_D(fn) [](const Words& w) { return bits(fn(static_cast<int>(w[0]), d(w, 1))); }
#define KALM_CALL_F_F(fn) [](const Words& w) { return bits(fn(f(w, 0))); }
#define KALM_CALL_FF_F(fn) [](const Words& w) { return bits(fn(f(w, 0), f(w, 1))); }

// Plain calls of the global names, bound by the linker (the PLT), as any C
// program calls them; the list names them as the device does.
#define KALM_STD_CALL(name, stem, sig, kind) {#name, KALM_CALL_##sig(::name)},
const std::map<std::string, Call> device_names = {KALM_EXPORT_LIST(KALM_STD_CALL)};
#undef KALM_STD_CALL
const std::map<std::string, Call> posix_names = {
    {"_y0", KALM_CALL_D_D(::y0)}, {"_y1", KALM_CALL_D_D(::y1)}, {"_yn", KALM_CALL_ID_D(::yn)}};

const void* object_base(const void* addr) {
    Dl_info info{};
    return dladdr(addr, &info) ? info.dli_fbase : nullptr;
}
std::string object_name(const void* addr) {
    Dl_info info{};
    return dladdr(addr, &info) && info.dli_fname ? info.dli_fname : "?";
}

struct FirstRaise {
    std::uint32_t status = 0;
    std::uintptr_t where = 0;
};
// The exceptions go to a handler: the callers of the standard names are C
// code (and <math.h> declares them noexcept), through which nothing can throw.
void record(std::uint32_t status, int, std::uintptr_t where, void* user) {
    auto* r = static_cast<FirstRaise*>(user);
    if (r->status == 0) *r = {status, where};
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
    FirstRaise first;
    kalm_set_raise_handler(record, &first);
    {
        kalm::ScopedUnmask all(KALM_MASK_ALL);
        (void)call(w);
    }
    kalm_set_raise_handler(nullptr, nullptr);
    if (first.status) {
        char code[16];
        std::snprintf(code, sizeof code, "%08" PRIX32 "@", first.status);
        const void* at = object_base(reinterpret_cast<const void*>(first.where));
        o.raise = code + std::string(at == object_base(reinterpret_cast<const void*>(&object_base)) ? "app"
                                     : at == object_base(reinterpret_cast<const void*>(&kalm_call))  ? "lib"
                                                                                                       : "?");
    }
    return o;
}

void check_file(const std::string& name, Call call, long& lines) {
    const std::string path = std::string(KALM_VECTOR_DIR) + "/" + name + ".txt";
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    std::string line, error;
    for (int n = 1; std::getline(in, line); ++n) {
        kalmtool::Vector v;
        ASSERT_TRUE(kalmtool::parse_vector(line, v, error)) << path << ":" << n << ": " << error;
        if (!v.fn || !v.expected) continue;
        EXPECT_EQ(kalmtool::format_outcome(v, run(call, v.words)), kalmtool::format_outcome(v, *v.expected))
            << path << ":" << n << ": " << v.input;
        ++lines;
    }
}

TEST(StandardNames, EveryVectorLineThroughTheCNames) {
    long lines = 0;
    for (const auto& [name, call] : device_names) check_file(name, call, lines);
    for (const auto& [name, call] : posix_names) check_file(name, call, lines);
    EXPECT_GT(lines, 2000);
}

TEST(StandardNames, TakenFromTheReplacementAndTheRestFromTheHost) {
    EXPECT_NE(object_name(dlsym(RTLD_DEFAULT, "sin")).find("libkalmlib_libm"), std::string::npos);
    EXPECT_NE(object_name(dlsym(RTLD_DEFAULT, "y0")).find("libkalmlib_libm"), std::string::npos);
    EXPECT_NE(object_name(dlsym(RTLD_DEFAULT, "hypot")).find("libm.so"), std::string::npos);
    volatile double three = 3.0;
    EXPECT_EQ(::hypot(three, 4.0), 5.0);
    // The device's tanh keeps no negative zero; the host's does.
    volatile double minus_zero = -0.0;
    EXPECT_EQ(bits(::tanh(minus_zero)), 0u);
}

// KALM_DEVICE_ENV=1, read at a thread's first call: that thread calls inside a
// device-environment scope from then on; without it, outside.
TEST(StandardNames, DeviceEnvVariableEntersAScopePerThread) {
    unsigned without = 9, with = 9;
    volatile double r = 0;
    unsetenv("KALM_DEVICE_ENV");
    std::thread([&] {
        r = sin(0.5);
        without = kalm_device_env_depth();
    }).join();
    setenv("KALM_DEVICE_ENV", "1", 1);
    std::thread([&] {
        r = sin(0.5);
        with = kalm_device_env_depth();
        r = sin(0.5);
        with += kalm_device_env_depth();
    }).join();
    unsetenv("KALM_DEVICE_ENV");
    EXPECT_EQ(without, 0u);
    EXPECT_EQ(with, 2u);  // entered once, at the first call
    (void)r;
}

}  // namespace
