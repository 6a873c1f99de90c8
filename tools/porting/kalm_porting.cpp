// SPDX-License-Identifier: MIT
// kalm_porting: writes docs/porting.md, the porting reference. For each
// export: where its results and flags differ from the C99 Annex F special
// values (POSIX's for the Bessel functions), which depends on this library
// alone; then, marked as the host's, where the host libm differs on the
// vector inputs and the ulp distribution against it on a fixed sample.
//
//   kalm_porting --vectors DIR --write FILE   regenerate the reference
//   kalm_porting --vectors DIR --check FILE   fail if FILE's host-independent
//                                             text is not what it would be now
// The host's blocks (between "<!-- host -->" and "<!-- /host -->") move with
// the host's libm and CPU, so --check leaves them out.
#include <gnu/libc-version.h>

#include <bit>
#include <cfenv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "commands.hpp"
#include "kalmlib/kalmlib.h"
#include "options.hpp"
#include "vectors.hpp"

namespace {

using kalmtool::Function;
using Words = std::vector<std::uint32_t>;

// Exceptions as one set: the device's flag bits, and 0x02 for divide-by-zero,
// which the device only ever raises.
constexpr unsigned INV = 0x01, DBZ = 0x02, OVF = 0x04, UNF = 0x08, INX = 0x10;

std::string exc_names(unsigned e) {
    std::string s;
    const std::pair<unsigned, const char*> names[] = {
        {INV, "invalid"}, {DBZ, "divide-by-zero"}, {OVF, "overflow"}, {UNF, "underflow"}, {INX, "inexact"}};
    for (auto [bit, name] : names)
        if (e & bit) s += (s.empty() ? "" : ", ") + std::string(name);
    return s.empty() ? "none" : s;
}

unsigned exc_of_status(std::uint32_t status) {
    switch (status) {
        case KALM_STATUS_FLOAT_INVALID_OPERATION: return INV;
        case KALM_STATUS_FLOAT_DIVIDE_BY_ZERO: return DBZ;
        case KALM_STATUS_FLOAT_OVERFLOW: return OVF;
        case KALM_STATUS_FLOAT_UNDERFLOW: return UNF;
        default: return INX;
    }
}

bool is_single(const Function& f) { return f.signature == KALM_SIG_F_F || f.signature == KALM_SIG_FF_F; }

bool is_nan(const Function& f, std::uint64_t b) {
    return is_single(f) ? (b & 0x7FFFFFFFu) > 0x7F800000u : (b & ~(1ull << 63)) > 0x7FF0000000000000ull;
}

// Calls an export or the host's function of the same name with the device's
// argument words, exactly (a single NaN argument is never widened).
std::uint64_t call(const Function& f, kalmtool::VoidFn fn, const Words& w) {
    const auto d = [&](std::size_t i) {
        return std::bit_cast<double>(static_cast<std::uint64_t>(w[i]) | static_cast<std::uint64_t>(w[i + 1]) << 32);
    };
    const auto s = [&](std::size_t i) { return std::bit_cast<float>(w[i]); };
    switch (f.signature) {
        case KALM_SIG_D_D: return std::bit_cast<std::uint64_t>(reinterpret_cast<kalmtool::D1>(fn)(d(0)));
        case KALM_SIG_DD_D: return std::bit_cast<std::uint64_t>(reinterpret_cast<kalmtool::D2>(fn)(d(0), d(2)));
        case KALM_SIG_ID_D:
            return std::bit_cast<std::uint64_t>(reinterpret_cast<kalmtool::DN>(fn)(static_cast<int>(w[0]), d(1)));
        case KALM_SIG_F_F: return std::bit_cast<std::uint32_t>(reinterpret_cast<kalmtool::F1>(fn)(s(0)));
        default: return std::bit_cast<std::uint32_t>(reinterpret_cast<kalmtool::F2>(fn)(s(0), s(1)));
    }
}

struct Result {
    std::uint64_t bits = 0;
    unsigned flags = 0;   // sticky flags after the call, everything masked
    unsigned raised = 0;  // every exception raised with everything unmasked
};

void record(std::uint32_t status, int, std::uintptr_t, void* user) { *static_cast<unsigned*>(user) |= exc_of_status(status); }

Result device(const Function& f, const Words& w) {
    Result r;
    kalm_set_raise_handler(nullptr, nullptr);
    kalm_set_control_word(KALM_MASK_ALL);
    kalm_clear_flags();
    r.bits = call(f, f.kalm, w);
    r.flags = kalm_status() & KALM_FLAGS_ALL;
    // A handler that returns lets the call go on, so every raise is seen.
    kalm_set_raise_handler(record, &r.raised);
    kalm_set_control_word(0);
    (void)call(f, f.kalm, w);
    kalm_set_control_word(KALM_MASK_ALL);
    kalm_set_raise_handler(nullptr, nullptr);
    return r;
}

Result host(const Function& f, const Words& w) {
    Result r;
    std::feclearexcept(FE_ALL_EXCEPT);
    r.bits = call(f, f.host, w);
    const int e = std::fetestexcept(FE_ALL_EXCEPT);
    r.flags = (e & FE_INVALID ? INV : 0) | (e & FE_DIVBYZERO ? DBZ : 0) | (e & FE_OVERFLOW ? OVF : 0) |
              (e & FE_UNDERFLOW ? UNF : 0) | (e & FE_INEXACT ? INX : 0);
    std::feclearexcept(FE_ALL_EXCEPT);
    return r;
}

// ---- Values and their text ------------------------------------------------

std::string hex_bits(const Function& f, std::uint64_t b) {
    char buf[32];
    if (is_single(f))
        std::snprintf(buf, sizeof buf, "0x%08" PRIX64, b);
    else
        std::snprintf(buf, sizeof buf, "0x%016" PRIX64, b);
    return buf;
}

// A value as a reader recognises it: -0, inf, NaN with its bits, 0.5, pi/2...
std::string show(const Function& f, std::uint64_t b) {
    const double v = is_single(f) ? static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(b)))
                                  : std::bit_cast<double>(b);
    if (is_nan(f, b)) return "NaN " + hex_bits(f, b);
    if (std::isinf(v)) return v > 0 ? "+inf" : "-inf";
    if (v == 0) return std::signbit(v) ? "-0" : "+0";
    char buf[48];
    std::snprintf(buf, sizeof buf, is_single(f) ? "%.9g" : "%.17g", v);
    std::string s = buf;
    if (!(std::abs(v) >= 0x1p-20 && std::abs(v) < 0x1p30 && v == std::nearbyint(v))) s += " (" + hex_bits(f, b) + ")";
    return s;
}

std::string show_args(const Function& f, const Words& w) {
    std::string s;
    if (f.signature == KALM_SIG_ID_D) {
        Function d = f;
        d.signature = KALM_SIG_D_D;
        return std::to_string(static_cast<std::int32_t>(w[0])) + ", " +
               show(d, static_cast<std::uint64_t>(w[1]) | static_cast<std::uint64_t>(w[2]) << 32);
    }
    const bool single = is_single(f);
    for (std::size_t i = 0; i < w.size(); i += single ? 1 : 2) {
        const std::uint64_t b = single ? w[i] : (static_cast<std::uint64_t>(w[i]) | static_cast<std::uint64_t>(w[i + 1]) << 32);
        if (!s.empty()) s += ", ";
        std::string one = show(f, b);
        const auto paren = one.find(" (");  // arguments read best without their bits
        if (paren != std::string::npos && !is_nan(f, b)) one = one.substr(0, paren);
        s += one;
    }
    return s;
}

// ---- The C99 Annex F (POSIX for y0, y1, yn) special values ----------------

constexpr double INF = __builtin_inf(), QNAN = __builtin_nan("");
constexpr std::uint64_t NAN_ANY = 1;  // the expected result is any NaN

struct Case {
    std::vector<double> args;  // for yn: n, x
    std::uint64_t expect_double;  // bits, or NAN_ANY
    unsigned exceptions;          // besides inexact, which Annex F leaves open
};

std::uint64_t D(double v) { return std::bit_cast<std::uint64_t>(v); }
constexpr std::uint64_t PI = 0x400921FB54442D18ull, PI_2 = 0x3FF921FB54442D18ull, PI_4 = 0x3FE921FB54442D18ull,
                        PI3_4 = 0x4002D97C7F3321D2ull;
std::uint64_t neg(std::uint64_t b) { return b ^ (1ull << 63); }

// The cases of a double function; its single version takes the same ones,
// with its own overflow arguments.
std::vector<Case> annex_f(const std::string& base, bool single) {
    // Arguments that overflow (big, huge) and underflow (tiny) in the format.
    const double big = single ? 100 : 1000, huge = single ? 40 : 400, tiny = single ? -200 : -1000;
    const std::uint64_t N = NAN_ANY;
    std::vector<Case> c;
    if (base == "acos") c = {{{1}, D(0), 0}, {{2}, N, INV}, {{-2}, N, INV}, {{INF}, N, INV}, {{-INF}, N, INV}};
    if (base == "asin")
        c = {{{0.0}, D(0.0), 0}, {{-0.0}, D(-0.0), 0}, {{2}, N, INV}, {{-2}, N, INV}, {{INF}, N, INV}, {{-INF}, N, INV}};
    if (base == "atan")
        c = {{{0.0}, D(0.0), 0}, {{-0.0}, D(-0.0), 0}, {{INF}, PI_2, 0}, {{-INF}, neg(PI_2), 0}};
    if (base == "atan2")
        c = {{{0.0, -0.0}, PI, 0},       {{-0.0, -0.0}, neg(PI), 0}, {{0.0, 0.0}, D(0.0), 0},
             {{-0.0, 0.0}, D(-0.0), 0},  {{0.0, -1}, PI, 0},         {{-0.0, -1}, neg(PI), 0},
             {{0.0, 1}, D(0.0), 0},      {{-0.0, 1}, D(-0.0), 0},    {{-1, 0.0}, neg(PI_2), 0},
             {{-1, -0.0}, neg(PI_2), 0}, {{1, 0.0}, PI_2, 0},        {{1, -0.0}, PI_2, 0},
             {{1, -INF}, PI, 0},         {{-1, -INF}, neg(PI), 0},   {{1, INF}, D(0.0), 0},
             {{-1, INF}, D(-0.0), 0},    {{INF, 1}, PI_2, 0},        {{-INF, 1}, neg(PI_2), 0},
             {{INF, -INF}, PI3_4, 0},    {{-INF, -INF}, neg(PI3_4), 0}, {{INF, INF}, PI_4, 0},
             {{-INF, INF}, neg(PI_4), 0}};
    if (base == "ceil" || base == "floor")
        c = {{{0.0}, D(0.0), 0}, {{-0.0}, D(-0.0), 0}, {{INF}, D(INF), 0}, {{-INF}, D(-INF), 0},
             {{base == "ceil" ? -0.5 : 0.5}, D(base == "ceil" ? -0.0 : 0.0), 0}};
    if (base == "cos") c = {{{0.0}, D(1), 0}, {{-0.0}, D(1), 0}, {{INF}, N, INV}, {{-INF}, N, INV}};
    if (base == "sin" || base == "tan")
        c = {{{0.0}, D(0.0), 0}, {{-0.0}, D(-0.0), 0}, {{INF}, N, INV}, {{-INF}, N, INV}};
    if (base == "cosh")
        c = {{{0.0}, D(1), 0}, {{-0.0}, D(1), 0}, {{INF}, D(INF), 0}, {{-INF}, D(INF), 0}, {{big}, D(INF), OVF},
             {{-big}, D(INF), OVF}};
    if (base == "sinh")
        c = {{{0.0}, D(0.0), 0}, {{-0.0}, D(-0.0), 0}, {{INF}, D(INF), 0}, {{-INF}, D(-INF), 0},
             {{big}, D(INF), OVF}, {{-big}, D(-INF), OVF}};
    if (base == "tanh")
        c = {{{0.0}, D(0.0), 0}, {{-0.0}, D(-0.0), 0}, {{INF}, D(1), 0}, {{-INF}, D(-1), 0}};
    if (base == "exp")
        c = {{{0.0}, D(1), 0}, {{-0.0}, D(1), 0}, {{-INF}, D(0.0), 0}, {{INF}, D(INF), 0}, {{big}, D(INF), OVF},
             {{tiny}, D(0.0), UNF}};
    if (base == "fabs") c = {{{0.0}, D(0.0), 0}, {{-0.0}, D(0.0), 0}, {{INF}, D(INF), 0}, {{-INF}, D(INF), 0}};
    if (base == "fmod")
        c = {{{0.0, 1}, D(0.0), 0}, {{-0.0, 1}, D(-0.0), 0}, {{INF, 1}, N, INV}, {{-INF, 1}, N, INV},
             {{1, 0.0}, N, INV},    {{1, -0.0}, N, INV},     {{1, INF}, D(1), 0}, {{-1, -INF}, D(-1), 0}};
    if (base == "log" || base == "log10")
        c = {{{0.0}, D(-INF), DBZ}, {{-0.0}, D(-INF), DBZ}, {{1}, D(0.0), 0},
             {{-1}, N, INV},        {{-INF}, N, INV},       {{INF}, D(INF), 0}};
    if (base == "pow")
        c = {{{0.0, -3}, D(INF), DBZ},  {{-0.0, -3}, D(-INF), DBZ}, {{0.0, -2}, D(INF), DBZ},
             {{-0.0, -2}, D(INF), DBZ}, {{-0.0, -0.5}, D(INF), DBZ}, {{0.0, 3}, D(0.0), 0},
             {{-0.0, 3}, D(-0.0), 0},   {{-0.0, 2}, D(0.0), 0},     {{-0.0, 0.5}, D(0.0), 0},
             {{-1, INF}, D(1), 0},      {{-1, -INF}, D(1), 0},      {{1, 2}, D(1), 0},
             {{1, INF}, D(1), 0},       {{1, -INF}, D(1), 0},       {{1, QNAN}, D(1), 0},
             {{2, 0.0}, D(1), 0},       {{2, -0.0}, D(1), 0},       {{0.0, 0.0}, D(1), 0},
             {{INF, 0.0}, D(1), 0},     {{QNAN, 0.0}, D(1), 0},     {{-2, 0.5}, N, INV},
             {{0.5, -INF}, D(INF), 0},  {{2, -INF}, D(0.0), 0},     {{0.5, INF}, D(0.0), 0},
             {{2, INF}, D(INF), 0},     {{-INF, -3}, D(-0.0), 0},   {{-INF, -2}, D(0.0), 0},
             {{-INF, 3}, D(-INF), 0},   {{-INF, 2}, D(INF), 0},     {{INF, -1}, D(0.0), 0},
             {{INF, 1}, D(INF), 0},     {{10, huge}, D(INF), OVF},  {{10, -huge - 10}, D(0.0), UNF}};
    if (base == "sqrt")
        c = {{{0.0}, D(0.0), 0}, {{-0.0}, D(-0.0), 0}, {{INF}, D(INF), 0}, {{-1}, N, INV}, {{-INF}, N, INV}};
    if (base == "_y0" || base == "_y1")
        c = {{{0.0}, D(-INF), DBZ}, {{-0.0}, D(-INF), DBZ}, {{-1}, N, INV}, {{-INF}, N, INV}, {{INF}, D(0.0), 0}};
    if (base == "_yn")
        c = {{{2, 0.0}, D(-INF), DBZ}, {{2, -0.0}, D(-INF), DBZ}, {{2, -1}, N, INV}, {{2, INF}, D(0.0), 0}};
    // A quiet NaN argument gives a NaN and raises nothing (pow's exceptions above).
    const std::size_t arity = (base == "atan2" || base == "fmod" || base == "pow") ? 2 : 1;
    if (base == "_yn")
        c.push_back({{2, QNAN}, N, 0});
    else if (arity == 1)
        c.push_back({{QNAN}, N, 0});
    else {
        c.push_back({{QNAN, 2}, N, 0});
        c.push_back({{2, QNAN}, N, 0});
    }
    return c;
}

// The export's name without the single suffix: "sinf" -> "sin", "fabsf" -> "fabs".
std::string base_name(const Function& f) {
    if (is_single(f)) return f.name.substr(0, f.name.size() - 1);
    return f.name;
}

Words words_of(const Function& f, const std::vector<double>& args) {
    Words w;
    if (f.signature == KALM_SIG_ID_D) {
        kalmtool::append_words(w, static_cast<int>(args[0]));
        kalmtool::append_words(w, args[1]);
        return w;
    }
    for (double a : args) {
        if (is_single(f))
            kalmtool::append_words(w, static_cast<float>(a));
        else
            kalmtool::append_words(w, a);
    }
    return w;
}

std::uint64_t expected_bits(const Function& f, std::uint64_t e) {
    if (e == NAN_ANY || !is_single(f)) return e;
    // The single format's nearest value (pi/2 and friends round again).
    return std::bit_cast<std::uint32_t>(static_cast<float>(std::bit_cast<double>(e)));
}

std::string show_expected(const Function& f, const Case& c) {
    const std::uint64_t e = expected_bits(f, c.expect_double);
    std::string s = e == NAN_ANY ? "NaN" : show(f, e);
    if (c.exceptions) s += "; " + exc_names(c.exceptions);
    return s;
}

std::string show_device(const Function& f, const Result& r) {
    std::string s = show(f, r.bits);
    s += "; flags: " + exc_names(r.flags);
    const unsigned direct = r.raised & ~r.flags;
    if (direct) s += "; raised, no flag: " + exc_names(direct);
    return s;
}

// ---- The host libm on the vector inputs -----------------------------------

// Distance in representable values between two results of one sign.
std::uint64_t ulp_distance(const Function& f, std::uint64_t a, std::uint64_t b) {
    const auto key = [&](std::uint64_t x) -> std::int64_t {
        if (is_single(f)) {
            const auto v = static_cast<std::int32_t>(static_cast<std::uint32_t>(x));
            return v < 0 ? -static_cast<std::int64_t>(v & 0x7FFFFFFF) : v;
        }
        const auto v = static_cast<std::int64_t>(x);
        return v < 0 ? -(v & 0x7FFFFFFFFFFFFFFFll) : v;
    };
    const std::int64_t d = key(a) - key(b);
    return static_cast<std::uint64_t>(d < 0 ? -d : d);
}

std::string libm_label() { return std::string("glibc ") + gnu_get_libc_version(); }

struct HostLine {
    std::string input, device, host;
};

void host_on_vectors(std::ostream& out, const Function& f, const std::string& dir) {
    std::ifstream in(dir + "/" + f.name + ".txt");
    std::string line, error;
    long lines = 0, same = 0, one = 0, more = 0, nan_bits = 0;
    std::uint64_t max_ulp = 0;
    std::vector<HostLine> specials;
    std::map<std::string, std::pair<long, HostLine>> flag_patterns;
    while (std::getline(in, line)) {
        kalmtool::Vector v;
        if (!kalmtool::parse_vector(line, v, error) || !v.fn || !v.expected) continue;
        ++lines;
        const kalmtool::Outcome& dev = *v.expected;
        const Result h = host(f, v.words);
        const unsigned dev_exc = dev.flags | (dev.raise.rfind("C000008E", 0) == 0 ? DBZ : 0);
        HostLine hl{show_args(f, v.words), show(f, dev.result) + "; " + exc_names(dev_exc), show(f, h.bits) + "; " + exc_names(h.flags)};
        if (h.bits == dev.result) {
            ++same;
        } else if (is_nan(f, h.bits) && is_nan(f, dev.result)) {
            ++nan_bits;
        } else if (!is_nan(f, h.bits) && !is_nan(f, dev.result) && ((h.bits ^ dev.result) >> (is_single(f) ? 31 : 63)) == 0 &&
                   ulp_distance(f, h.bits, dev.result) <= 4 && std::isfinite(std::bit_cast<double>(h.bits)) == std::isfinite(std::bit_cast<double>(dev.result))) {
            const std::uint64_t u = ulp_distance(f, h.bits, dev.result);
            (u == 1 ? one : more) += 1;
            if (u > max_ulp) max_ulp = u;
        } else {
            specials.push_back(hl);
        }
        // Flags: the device's (divide-by-zero from its direct raise) against the host's.
        if (dev_exc != h.flags) {
            const std::string key = "device " + exc_names(dev_exc & ~h.flags) + " / host " + exc_names(h.flags & ~dev_exc);
            auto& p = flag_patterns[key];
            if (p.first++ == 0) p.second = hl;
        }
    }
    out << "<!-- host -->\n";
    out << "Host libm (" << libm_label() << ") on the " << lines << " vector inputs: same result on " << same;
    if (one) out << ", 1 ulp apart on " << one;
    if (more) out << ", 2-4 ulps apart on " << more << " (at most " << max_ulp << ")";
    if (nan_bits) out << ", another NaN on " << nan_bits;
    if (!specials.empty()) out << ", another kind of value on " << specials.size();
    out << ".\n";
    if (!specials.empty()) {
        out << "\n| input | device | host libm |\n|---|---|---|\n";
        std::size_t shown = 0;
        for (const HostLine& s : specials) {
            if (++shown > 8) {
                out << "| ... " << specials.size() - 8 << " more | | |\n";
                break;
            }
            out << "| " << s.input << " | " << s.device << " | " << s.host << " |\n";
        }
    }
    if (!flag_patterns.empty()) {
        out << "\nExceptions that differ (only the device's / only the host's; divide-by-zero is the device's direct raise):\n\n";
        out << "| lines | difference | e.g. input | device | host libm |\n|---|---|---|---|---|\n";
        for (const auto& [key, p] : flag_patterns)
            out << "| " << p.first << " | " << key << " | " << p.second.input << " | " << p.second.device << " | "
                << p.second.host << " |\n";
    }
    out << "<!-- /host -->\n";
}

// The ulp distance between the device's and the host's results on the usual
// range of the export (the speed command's), a fixed sample.
constexpr int kSample = 20000;

std::string ulp_sample(const Function& f) {
    std::uint64_t state = kalmtool::hash_name(f.name) ^ 0x5eedull;
    long buckets[5] = {0, 0, 0, 0, 0};  // 0, 1, 2, 3-10, more or special
    std::uint64_t max_ulp = 0;
    kalm_set_control_word(KALM_MASK_ALL);
    for (int i = 0; i < kSample; ++i) {
        const kalmtool::Input in = kalmtool::draw(f.bench, f.single, state);
        Words w;
        if (f.signature == KALM_SIG_ID_D) {
            kalmtool::append_words(w, in.n);
            kalmtool::append_words(w, in.x);
        } else {
            const double a[2] = {in.x, in.y};
            for (int k = 0; k < f.arity; ++k) {
                if (is_single(f))
                    kalmtool::append_words(w, static_cast<float>(a[k]));
                else
                    kalmtool::append_words(w, a[k]);
            }
        }
        const std::uint64_t d = call(f, f.kalm, w), h = host(f, w).bits;
        std::uint64_t u = ulp_distance(f, d, h);
        if (is_nan(f, d) || is_nan(f, h) || ((d ^ h) >> (is_single(f) ? 31 : 63)) != 0) u = ~0ull;
        buckets[u == 0 ? 0 : u == 1 ? 1 : u == 2 ? 2 : u <= 10 ? 3 : 4]++;
        if (u != ~0ull && u > max_ulp) max_ulp = u;
    }
    char buf[160];
    const auto pct = [](long n) { return 100.0 * static_cast<double>(n) / kSample; };
    std::snprintf(buf, sizeof buf, "%.2f%% | %.2f%% | %.2f%% | %.2f%% | %.2f%% | %" PRIu64, pct(buckets[0]),
                  pct(buckets[1]), pct(buckets[2]), pct(buckets[3]), pct(buckets[4]), max_ulp);
    return buf;
}

// ---- The document ---------------------------------------------------------

const char* kIntro = R"(# Porting reference

<!-- Generated by `build/tools/porting/kalm_porting --vectors tests/vectors --write docs/porting.md`
     (tools/porting/); do not edit. ctest runs it with --check, which compares everything outside the
     host blocks. -->

What a program ported from the device meets when it swaps the device's math library for another one, export by
export: where the device's results and exceptions differ from the special values of C99 Annex F (POSIX for `_y0`,
`_y1`, `_yn`), which holds wherever this library runs; and, in the blocks marked as the host's, where the host libm
of the machine that generated this file differs on the vector inputs, and how far apart the two are on a sample.
Use the device's results through kalmlib (`kalm_*`, `kalm::`, or `libkalmlib_libm.so` under the standard names; see
docs/ports.md) wherever they matter.

How to read the tables: a result is shown as a value (its bits where it is not a short exact number); exceptions are
the sticky flags a call leaves with everything masked ("flags") and those it raises only when unmasked, leaving no
flag ("raised, no flag"). The device has no divide-by-zero flag: it only ever raises divide-by-zero. Annex F leaves
inexact open, so inexact is never counted as a difference from it.

## What a port must keep

To keep the device's results in the code around the calls, and to build kalmlib itself:

- **No FMA contraction.** `-ffp-contract=off` (GCC contracts `a * b + c` into one rounding by default wherever the
  target has FMA: AArch64, x86-64 with `-march=haswell` or later, 32-bit ARM with VFPv4). The device rounds twice.
- **No fast-math.** `-fno-fast-math`, and none of its parts (`-ffinite-math-only`, `-fassociative-math`,
  `-freciprocal-math`, `-fno-signed-zeros`, `-funsafe-math-optimizations`); `-Ofast` includes them. Keep
  `-frounding-math` (no constant folding across the flags) and `-fno-builtin` (no call answered by the compiler).
- **SSE2 on 32-bit x86.** `-msse2 -mfpmath=sse` (and `-fexcess-precision=standard`): the x87 computes in 80 bits and
  rounds twice on storing. The device computed in IEEE double and single precision.
- **Round to nearest, subnormals kept.** The library installs its environment for each call whatever the caller has
  set, but the caller's own arithmetic follows the caller's: no flush-to-zero or denormals-are-zero (`-Ofast` and
  `-ffast-math` set both at program start on x86), no other rounding mode.
- **Exceptions by the device's rules.** Read the flags with `kalm_status()` (the four sticky flags; `fetestexcept`
  sees the same host bits on x86-64 and ARM, but no divide-by-zero from the library), and unmask through
  `kalm_set_control_word`, not `feenableexcept`: a raise is a call of the thread's raise handler or a
  `kalm::FpException`, never a `SIGFPE`.

)";

std::string generate(const std::string& dir) {
    std::ostringstream out;
    out << kIntro;
    // Summary against Annex F.
    std::ostringstream sections, summary, host_summary;
    summary << "## Against C99 Annex F, in brief\n\n| export | cases | differ | where |\n|---|---|---|---|\n";
    host_summary << "## Against the host libm, in brief\n\n<!-- host -->\nThe host: " << libm_label()
                 << ". Ulp distance between the device's results and the host's on " << kSample
                 << " inputs drawn from each export's usual range (the ranges of `kalm bench`), fixed seed.\n\n"
                 << "| export | range | same | 1 ulp | 2 ulps | 3-10 | more, or another kind | max ulps |\n"
                 << "|---|---|---|---|---|---|---|---|\n";
    for (const Function& f : kalmtool::catalogue()) {
        const std::string base = base_name(f);
        std::vector<std::pair<std::string, std::string>> diffs;  // call, "expected | device"
        std::vector<std::string> rows;
        const std::vector<Case> cases = annex_f(base, is_single(f));
        for (const Case& c : cases) {
            const Words w = words_of(f, c.args);
            const Result r = device(f, w);
            const std::uint64_t e = expected_bits(f, c.expect_double);
            const bool result_ok = e == NAN_ANY ? is_nan(f, r.bits) : r.bits == e;
            const bool flags_ok = (r.flags & ~INX) == (c.exceptions & ~INX);
            if (result_ok && flags_ok) continue;
            std::string what = result_ok ? "exceptions" : flags_ok ? "result" : "result, exceptions";
            rows.push_back("| `" + f.name + "(" + show_args(f, w) + ")` | " + show_expected(f, c) + " | " +
                           show_device(f, r) + " | " + what + " |");
        }
        summary << "| [`" << f.name << "`](#" << f.name << ") | " << cases.size() << " | " << rows.size() << " | ";
        {
            std::string where;
            for (const std::string& r : rows) {
                const auto a = r.find('`'), b = r.find('`', a + 1);
                if (where.size() < 90) where += (where.empty() ? "" : ", ") + r.substr(a + 1, b - a - 1);
                else if (where.back() != '.') where += ", ...";
            }
            summary << (where.empty() ? "-" : where) << " |\n";
        }
        sections << "### " << f.name << "\n\n";
        const char* standard = base[0] == '_' ? "POSIX" : "C99 Annex F";
        if (rows.empty())
            sections << "All " << cases.size() << " " << standard << " special cases as the standard has them.\n\n";
        else {
            sections << rows.size() << " of " << cases.size() << " " << standard << " special cases differ:\n\n"
                     << "| call | " << standard << " | device | differs in |\n|---|---|---|---|\n";
            for (const std::string& r : rows) sections << r << "\n";
            sections << "\n";
        }
        host_on_vectors(sections, f, dir);
        sections << "\n";
        host_summary << "| `" << f.name << "` | " << f.bench.label << " | " << ulp_sample(f) << " |\n";
    }
    host_summary << "<!-- /host -->\n\n";
    out << summary.str() << "\n" << host_summary.str() << "## Export by export\n\n" << sections.str();
    return out.str();
}

// The text outside the host blocks.
std::string host_independent(const std::string& text) {
    std::string out;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t a = text.find("<!-- host -->", pos);
        if (a == std::string::npos) break;
        out += text.substr(pos, a - pos);
        const std::size_t b = text.find("<!-- /host -->", a);
        if (b == std::string::npos) return out + "<unterminated host block>";
        pos = b + std::strlen("<!-- /host -->");
    }
    return out + text.substr(pos);
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = "tests/vectors", write_to, check;
    kalmtool::Options options("kalm_porting", "", "writes the porting reference (docs/porting.md) or checks it");
    options.text("--vectors", dir, "DIR", "the vector files (default tests/vectors)");
    options.text("--write", write_to, "FILE", "write the reference to FILE");
    options.text("--check", check, "FILE", "compare FILE's text outside the host blocks with a fresh one");
    std::vector<std::string> operands;
    switch (options.parse(argc - 1, argv + 1, operands)) {
        case kalmtool::Options::Status::Help: std::printf("%s", options.usage().c_str()); return 0;
        case kalmtool::Options::Status::Error: std::fprintf(stderr, "kalm_porting: %s\n", options.error().c_str()); return 2;
        default: break;
    }
    if (write_to.empty() == check.empty() || !operands.empty()) {
        std::fprintf(stderr, "kalm_porting: give one of --write FILE or --check FILE\n");
        return 2;
    }
    const std::string text = generate(dir);
    if (!write_to.empty()) {
        std::ofstream o(write_to);
        o << text;
        return o ? 0 : 1;
    }
    std::ifstream in(check);
    if (!in) {
        std::fprintf(stderr, "kalm_porting: cannot read %s\n", check.c_str());
        return 1;
    }
    std::stringstream committed;
    committed << in.rdbuf();
    if (host_independent(committed.str()) != host_independent(text)) {
        std::fprintf(stderr, "kalm_porting: %s is out of date; regenerate it with --write\n", check.c_str());
        return 1;
    }
    std::printf("%s: up to date (host blocks not compared)\n", check.c_str());
    return 0;
}
