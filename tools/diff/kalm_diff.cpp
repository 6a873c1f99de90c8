// SPDX-License-Identifier: MIT
// kalm_diff: calls every export of two builds of the shared library with the
// same argument words, control words, flags left by "earlier" calls and raise
// handlers, and reports any difference in result words, sticky flags, or the
// raises (code, and whether they were reported against the caller). A change
// made for speed must not change a single one of them.
//
//   kalm_diff OLD.so NEW.so [--calls N] [--seed S]
//   kalm_diff OLD.so NEW.so --all-floats NAME     every float argument, two threads
//   kalm_diff OLD.so NEW.so --band A [--names N1,N2,...]
//     every floating argument of magnitude uniform in [A, 2A] (either sign), for
//     the exports named (default: all): a speed change's own magnitude band.
// Status: 0 when nothing differs, 1 when something does, 2 for a bad command
// line or a library without the library's entries, 3 for a library that
// cannot be loaded.
#include <dlfcn.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "abi/words.hpp"
#include "kalmlib/kalmlib.h"
#include "options.hpp"

namespace {

using kalm::words::put;

constexpr std::uintptr_t CALLER = 0x00401234u;  // the report address handed in

// The host's floating-point status register, and its bits that are the sticky flags.
#if defined(__x86_64__)
constexpr std::uint32_t HOST_STICKY = 0x39u;
std::uint32_t host_register() {
    std::uint32_t m;
    asm volatile("stmxcsr %0" : "=m"(m));
    return m;
}
#else
constexpr std::uint32_t HOST_STICKY = ~0u;
std::uint32_t host_register() { return 0; }
#endif

struct Raise {
    int code;
    bool at_caller;
    bool operator==(const Raise&) const = default;
};
struct Record {
    std::vector<Raise> raises;
};

void record(uint32_t, int code, uintptr_t address, void* user) {
    auto* r = static_cast<Record*>(user);
    if (r->raises.size() < 8) r->raises.push_back({code, address == CALLER});
}

struct Lib {
    void* handle = nullptr;
    decltype(&kalm_call) call;
    decltype(&kalm_set_control_word) set_control_word;
    decltype(&kalm_set_status) set_status;
    decltype(&kalm_status) status;
    decltype(&kalm_set_raise_handler) set_handler;
    decltype(&kalm_export_count) count;
    decltype(&kalm_export_at) at;

    template <typename F>
    void get(F& f, const char* name) {
        f = reinterpret_cast<F>(dlsym(handle, name));
        if (!f) {
            std::fprintf(stderr, "kalm_diff: %s: %s\n", name, dlerror());
            std::exit(2);
        }
    }
    explicit Lib(std::string path) {
        // A bare file name would be looked up on the library path, and could
        // load an installed copy instead of the file named.
        if (path.find('/') == std::string::npos) path = "./" + path;
        // RTLD_LOCAL|RTLD_DEEPBIND: both copies export the same names.
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
        if (!handle) {
            std::fprintf(stderr, "kalm_diff: %s\n", dlerror());
            std::exit(3);
        }
        get(call, "kalm_call");
        get(set_control_word, "kalm_set_control_word");
        get(set_status, "kalm_set_status");
        get(status, "kalm_status");
        get(set_handler, "kalm_set_raise_handler");
        get(count, "kalm_export_count");
        get(at, "kalm_export_at");
    }
};

struct Outcome {
    int rc;
    uint32_t words[2];
    uint32_t status;
    Record rec;
};

Outcome run(Lib& lib, int ordinal, const uint32_t* args, size_t nargs, uint32_t cw, uint32_t pre) {
    Outcome o{};
    lib.set_handler(record, &o.rec);
    lib.set_control_word(cw);
    lib.set_status(pre);
    o.rc = lib.call(ordinal, args, nargs, o.words, 2, CALLER);
    o.status = lib.status() & 0x1Du;
    lib.set_status(0);
    lib.set_control_word(0x1F);
    lib.set_handler(nullptr, nullptr);
    return o;
}

// Argument words: mostly values in the ranges the functions are used on, with
// special values, boundaries and arbitrary bit patterns mixed in.
struct Inputs {
    std::mt19937_64 g;
    double band = 0;  // > 0: every floating argument of magnitude uniform in [band, 2 band]
    explicit Inputs(std::uint64_t seed) : g(seed) {}

    double in_band() {
        const double u = static_cast<double>(g() >> 11) * 0x1p-53;
        const double v = band + band * u;
        return (g() & 1) ? -v : v;
    }
    double dbl() { return band > 0 ? in_band() : std::bit_cast<double>(dbl_bits()); }
    float flt() { return band > 0 ? static_cast<float>(in_band()) : std::bit_cast<float>(flt_bits()); }

    std::uint64_t dbl_bits() {
        static const std::uint64_t special[] = {0, 0x8000000000000000ull, 0x7FF0000000000000ull, 0xFFF0000000000000ull,
                                                0x7FF8000000000000ull, 0x7FF4000000000000ull, 0x0000000000000001ull,
                                                0x000FFFFFFFFFFFFFull, 0x0010000000000000ull, 0x7FEFFFFFFFFFFFFFull,
                                                0x3FF0000000000000ull, 0xBFF0000000000000ull, 0x3FE0000000000000ull,
                                                0x4000000000000000ull, 0x400921FB54442D18ull, 0x3FF921FB54442D18ull};
        switch (g() % 8) {
            case 0: return special[g() % std::size(special)];
            case 1: return g();
            case 2: {  // near a special value, a few ulps away
                const std::uint64_t s = special[g() % std::size(special)];
                return s + (g() % 9) - 4;
            }
            default: {  // |x| in [2^-30, 2^30) (or wider), either sign
                const int e = static_cast<int>(g() % 61) - 30 + ((g() % 16) == 0 ? static_cast<int>(g() % 1800) - 900 : 0);
                const std::uint64_t exp = static_cast<std::uint64_t>(std::clamp(1023 + e, 1, 2046));
                return (g() & 0x8000000000000000ull) | (exp << 52) | (g() & 0x000FFFFFFFFFFFFFull);
            }
        }
    }
    std::uint32_t flt_bits() {
        static const std::uint32_t special[] = {0, 0x80000000u, 0x7F800000u, 0xFF800000u, 0x7FC00000u, 0x7FA00000u,
                                                1u, 0x007FFFFFu, 0x00800000u, 0x7F7FFFFFu, 0x3F800000u, 0xBF800000u,
                                                0x3F000000u, 0x40000000u, 0x40490FDBu, 0x3FC90FDBu};
        switch (g() % 8) {
            case 0: return special[g() % std::size(special)];
            case 1: return static_cast<std::uint32_t>(g());
            case 2: return special[g() % std::size(special)] + static_cast<std::uint32_t>(g() % 9) - 4u;
            default: {
                const int e = static_cast<int>(g() % 41) - 20 + ((g() % 16) == 0 ? static_cast<int>(g() % 250) - 125 : 0);
                const std::uint32_t exp = static_cast<std::uint32_t>(std::clamp(127 + e, 1, 254));
                return (static_cast<std::uint32_t>(g()) & 0x80000000u) | (exp << 23) | (static_cast<std::uint32_t>(g()) & 0x007FFFFFu);
            }
        }
    }
    std::uint32_t control_word() {
        switch (g() % 4) {
            case 0: return static_cast<std::uint32_t>(g()) & 0x1Fu;  // some unmasked: handler records the raises
            case 1: return 0x1Eu;                                     // inexact unmasked
            default: return 0x1Fu;
        }
    }
    std::uint32_t preset() { return (g() % 2) ? 0x10u : static_cast<std::uint32_t>(g()) & 0x1Du; }
};

std::string show(const Outcome& o) {
    char buf[160];
    int n = std::snprintf(buf, sizeof buf, "rc %d words %08X %08X flags %02X raises", o.rc, o.words[0], o.words[1], o.status);
    std::string s(buf, static_cast<size_t>(n));
    for (const Raise& r : o.rec.raises) s += " " + std::to_string(r.code) + (r.at_caller ? "@caller" : "@lib");
    return s;
}

// Every one of the 2^32 argument words of a one-argument single export, with
// the flags clear and every exception masked, then once more with inexact
// unmasked for a sample; split between two threads (control words, flags and
// handlers are per thread).
int all_floats(Lib& a, Lib& b, const char* name) {
    const kalm_export* x = nullptr;
    for (size_t e = 0; e < a.count(); ++e)
        if (!std::strcmp(a.at(e)->name, name)) x = a.at(e);
    if (!x || x->signature != KALM_SIG_F_F) {
        std::fprintf(stderr, "kalm_diff: %s is not a one-argument single export\n", name);
        return 2;
    }
    long diffs[2] = {0, 0}, env_changes[2] = {0, 0};
    // One call: flags cleared first, result word and flags after. The new
    // build must also leave the rest of the host register as it found it.
    auto quick = [&](Lib& lib, uint32_t arg, uint32_t& flags, bool check_env, int t) {
        uint32_t r[2] = {0, 0};
        lib.set_status(0);
        const std::uint32_t before = host_register();
        lib.call(x->ordinal, &arg, 1, r, 2, CALLER);
        const std::uint32_t after = host_register();
        if (check_env && (after & ~HOST_STICKY) != (before & ~HOST_STICKY) && ++env_changes[t] <= 3)
            std::printf("%s %08X: host register %08X -> %08X\n", name, arg, before, after);
        flags = lib.status() & 0x1Du;
        return r[0];
    };
    auto part = [&](int t) {
        for (std::uint64_t w = static_cast<std::uint64_t>(t); w < (1ull << 32); w += 2) {
            const uint32_t arg = static_cast<uint32_t>(w);
            bool same;
            if ((w & 0xFFF) < 2) {  // a sample with raises, through the full protocol
                const Outcome oa = run(a, x->ordinal, &arg, 1, 0x00u, 0x10u);
                const Outcome ob = run(b, x->ordinal, &arg, 1, 0x00u, 0x10u);
                same = oa.words[0] == ob.words[0] && oa.status == ob.status && oa.rec.raises == ob.rec.raises;
            } else {
                uint32_t fa, fb;
                same = quick(a, arg, fa, false, t) == quick(b, arg, fb, true, t) && fa == fb;
            }
            if (!same && ++diffs[t] <= 3) {
                const Outcome oa = run(a, x->ordinal, &arg, 1, 0x1Fu, 0), ob = run(b, x->ordinal, &arg, 1, 0x1Fu, 0);
                std::printf("%s %08X\n  old: %s\n  new: %s\n", name, arg, show(oa).c_str(), show(ob).c_str());
            }
        }
    };
    std::thread t1(part, 1);
    part(0);
    t1.join();
    std::printf("%s: 2^32 arguments, %ld differences, %ld changes of the caller's environment\n", name,
                diffs[0] + diffs[1], env_changes[0] + env_changes[1]);
    return diffs[0] + diffs[1] + env_changes[0] + env_changes[1] == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    long long calls = 200000;
    std::uint64_t seed = 1;
    std::string all_floats_name, names;
    double band = 0;
    kalmtool::Options options("kalm_diff", "OLD.so NEW.so",
                              "every export of two builds called alike; any difference in results, flags or raises "
                              "fails");
    options.count("--calls", calls, 1, 1ll << 40, "calls per export (default 200000)")
        .u64("--seed", seed, "seed of the arguments, control words and preset flags (default 1)")
        .text("--all-floats", all_floats_name, "NAME",
              "instead: every float argument of the one-argument single export NAME, two threads")
        .custom("--band", "A", "floating arguments of magnitude uniform in [A, 2A], either sign (A > 0)",
                [&](const std::string& v, std::string& error) {
                    char* end = nullptr;
                    band = std::strtod(v.c_str(), &end);
                    if (v.empty() || end != v.c_str() + v.size() || !(band > 0) || !std::isfinite(2 * band)) {
                        error = "--band: a positive magnitude A with 2A finite, not '" + v + "'";
                        return false;
                    }
                    return true;
                })
        .text("--names", names, "N1,N2,...", "only these exports");
    std::vector<std::string> libs;
    switch (options.parse(argc - 1, argv + 1, libs)) {
        case kalmtool::Options::Status::Help: std::fputs(options.usage().c_str(), stdout); return 0;
        case kalmtool::Options::Status::Version: std::printf("%s %s\n", "kalm_diff", KALM_VERSION); return 0;
        case kalmtool::Options::Status::Error: std::fprintf(stderr, "kalm_diff: %s\n", options.error().c_str()); return 2;
        case kalmtool::Options::Status::Ok: break;
    }
    if (libs.size() != 2) {
        std::fprintf(stderr, "kalm_diff: wanted two libraries, OLD.so NEW.so, got %zu (see 'kalm_diff --help')\n",
                     libs.size());
        return 2;
    }
    Lib a(libs[0]), b(libs[1]);
    if (!all_floats_name.empty()) return all_floats(a, b, all_floats_name.c_str());
    const size_t n = a.count();
    if (n != b.count()) {
        std::printf("export counts differ: %zu vs %zu\n", n, b.count());
        return 1;
    }
    Inputs in(seed);
    in.band = band;
    std::vector<std::string> only;
    for (std::size_t at = 0; !names.empty() && at <= names.size();) {
        const std::size_t comma = std::min(names.find(',', at), names.size());
        only.push_back(names.substr(at, comma - at));
        at = comma + 1;
    }
    for (const std::string& name : only) {
        bool known = false;
        for (size_t e = 0; e < n; ++e) known = known || name == a.at(e)->name;
        if (!known) {
            std::fprintf(stderr, "kalm_diff: --names: no export %s\n", name.c_str());
            return 2;
        }
    }
    long diffs = 0, total = 0;
    for (size_t e = 0; e < n; ++e) {
        const kalm_export* x = a.at(e);
        const kalm_export* y = b.at(e);
        if (std::strcmp(x->name, y->name) != 0 || x->signature != y->signature || x->arg_words != y->arg_words) {
            std::printf("export %zu differs: %s vs %s\n", e, x->name, y->name);
            return 1;
        }
        if (!only.empty() && std::find(only.begin(), only.end(), std::string(x->name)) == only.end()) continue;
        long bad = 0;
        for (long long c = 0; c < calls; ++c) {
            uint32_t w[4];
            switch (x->signature) {
                case KALM_SIG_D_D: put(w, in.dbl()); break;
                case KALM_SIG_DD_D: {
                    const double d0 = in.dbl();
                    put(put(w, d0), in.dbl());
                    break;
                }
                case KALM_SIG_ID_D: {  // orders kept small: the largest ones take seconds
                    const double d = in.dbl();
                    put(put(w, static_cast<int>(in.g() % 401) - 200), d);
                    break;
                }
                case KALM_SIG_F_F: put(w, in.flt()); break;
                default: {
                    const float f0 = in.flt();
                    put(put(w, f0), in.flt());
                    break;
                }
            }
            const uint32_t cw = in.control_word(), pre = in.preset();
            const Outcome oa = run(a, x->ordinal, w, static_cast<size_t>(x->arg_words), cw, pre);
            const Outcome ob = run(b, x->ordinal, w, static_cast<size_t>(x->arg_words), cw, pre);
            ++total;
            const bool same = oa.rc == ob.rc && oa.status == ob.status && oa.rec.raises == ob.rec.raises &&
                              std::memcmp(oa.words, ob.words, sizeof oa.words) == 0;
            if (!same && ++bad <= 3) {
                std::printf("%s args", x->name);
                for (int i = 0; i < x->arg_words; ++i) std::printf(" %08X", w[i]);
                std::printf(" cw %02X pre %02X\n  old: %s\n  new: %s\n", cw, pre, show(oa).c_str(), show(ob).c_str());
            }
        }
        diffs += bad;
    }
    std::printf("%ld calls, %ld differences\n", total, diffs);
    return diffs == 0 ? 0 : 1;
}
