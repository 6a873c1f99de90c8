// SPDX-License-Identifier: MIT
// The catalogue of exports for the accuracy and speed commands: for each of
// the library's exports (src/abi/export_list.hpp) its C entry, the host libm's
// function of the same name, and from tools/catalogue.inc the MPFR function
// that gives the exact value and the input ranges worth sampling.
#include <math.h>

#include <bit>
#include <cfloat>
#include <cinttypes>
#include <cstring>
#include <map>

#include "abi/export_list.hpp"
#include "abi/words.hpp"
#include "commands.hpp"

namespace kalmtool {
namespace {

constexpr double PIO2 = 1.5707963267948966;
constexpr double PIO4 = 0.7853981633974483;

Axis U(double lo, double hi) { return {Dist::Uniform, lo, hi}; }
Axis L(double lo, double hi) { return {Dist::LogUniform, lo, hi}; }
Axis SL(double lo, double hi) { return {Dist::SignedLog, lo, hi}; }
Axis ANY() { return {Dist::AnyFinite, 0, 0}; }
Axis POS() { return {Dist::PositiveFinite, 0, 0}; }
Axis INT(double lo, double hi) { return {Dist::Integer, lo, hi}; }
Axis HALF(double lo, double hi) { return {Dist::HalfInteger, lo, hi}; }

Range R(std::string label, Axis x, Axis y = {}) { return {std::move(label), x, y, 0, 0}; }
Range RN(std::string label, int n_lo, int n_hi, Axis x) { return {std::move(label), x, {}, n_lo, n_hi}; }

template <class T>
VoidFn vf(T f) {
    return reinterpret_cast<VoidFn>(f);
}

#define REF0(fn) [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr, long, mpfr_rnd_t) { return fn(r, a); }
#define REF1(fn) [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr, long, mpfr_rnd_t m) { return fn(r, a, m); }
#define REF2(fn) [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr b, long, mpfr_rnd_t m) { return fn(r, a, b, m); }
#define REFN(fn) [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr, long n, mpfr_rnd_t m) { return fn(r, n, a, m); }
#define RANGES(...) std::vector<Range>{__VA_ARGS__}

struct Entry {
    RefFn ref;
    double cost;
    std::vector<Range> ranges;
    Range bench;
};

const std::map<std::string, Entry>& entries() {
    static const std::map<std::string, Entry> m = [] {
        std::map<std::string, Entry> t;
#define KALM_CATALOGUE(name, ref, cost, ranges, bench, bands, plot, sources, batch) t[#name] = {ref, cost, ranges, bench};
#include "../catalogue.inc"
#undef KALM_CATALOGUE
        return t;
    }();
    return m;
}

bool is_float_sig(int s) { return s == KALM_SIG_F_F || s == KALM_SIG_FF_F; }

}  // namespace

std::uint64_t mix64(std::uint64_t z) {
    z += 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

std::uint64_t hash_name(const std::string& s) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : s) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

namespace {

std::uint64_t next(std::uint64_t& s) {
    s += 0x9e3779b97f4a7c15ull;
    std::uint64_t z = s;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

double unit(std::uint64_t& s) { return static_cast<double>(next(s) >> 11) * 0x1p-53; }

double draw_axis(const Axis& a, bool single, std::uint64_t& s) {
    double v = 0.0;
    switch (a.dist) {
        case Dist::None: return 0.0;
        case Dist::Uniform: v = a.lo + (a.hi - a.lo) * unit(s); break;
        case Dist::LogUniform:
        case Dist::SignedLog: {
            const double l0 = ::log2(a.lo), l1 = ::log2(a.hi);
            v = ::exp2(l0 + (l1 - l0) * unit(s));
            if (!(v <= a.hi)) v = a.hi;
            if (v < a.lo) v = a.lo;
            if (a.dist == Dist::SignedLog && (next(s) & 1)) v = -v;
            break;
        }
        case Dist::AnyFinite:
        case Dist::PositiveFinite:
            for (;;) {
                std::uint64_t b = next(s);
                if (single) {
                    std::uint32_t w = static_cast<std::uint32_t>(b >> 32);
                    if (a.dist == Dist::PositiveFinite) w &= 0x7fffffffu;
                    if ((w & 0x7f800000u) == 0x7f800000u) continue;
                    return static_cast<double>(std::bit_cast<float>(w));
                }
                if (a.dist == Dist::PositiveFinite) b &= 0x7fffffffffffffffull;
                if ((b & 0x7ff0000000000000ull) == 0x7ff0000000000000ull) continue;
                return std::bit_cast<double>(b);
            }
        case Dist::Integer:
        case Dist::HalfInteger: {
            const double span = a.hi - a.lo + 1;
            v = a.lo + ::floor(span * unit(s));
            if (a.dist == Dist::HalfInteger) v += 0.5;
            break;
        }
    }
    if (single) {
        float f = static_cast<float>(v);
        if (f > FLT_MAX) f = FLT_MAX;
        if (f < -FLT_MAX) f = -FLT_MAX;
        return static_cast<double>(f);
    }
    return v;
}

}  // namespace

Input draw(const Range& r, bool single, std::uint64_t& state) {
    Input in;
    if (r.n_hi > r.n_lo || r.n_lo != 0)
        in.n = r.n_lo + static_cast<int>(next(state) % static_cast<std::uint64_t>(r.n_hi - r.n_lo + 1));
    in.x = draw_axis(r.x, single, state);
    in.y = draw_axis(r.y, single, state);
    return in;
}

double in_format(const Function& f, double v) {
    if (!f.single) return v;
    volatile float r = static_cast<float>(v);
    return static_cast<double>(r);
}

std::vector<Input> special_inputs(const Function& f) {
    std::vector<double> v;
    const double inf = __builtin_inf(), nan = __builtin_nan("");
    if (f.single) {
        v = {0.0, -0.0, inf, -inf, nan, 0x1p-149, -0x1p-149, FLT_MIN, -FLT_MIN, FLT_MAX, -FLT_MAX,
             1.0, -1.0, 0.5, -0.5, 2.0, -2.0};
    } else {
        v = {0.0, -0.0, inf, -inf, nan, 0x1p-1074, -0x1p-1074, DBL_MIN, -DBL_MIN, DBL_MAX, -DBL_MAX,
             1.0, -1.0, 0.5, -0.5, 2.0, -2.0};
    }
    std::vector<Input> out;
    if (f.signature == KALM_SIG_ID_D) {
        for (int n : {-2, -1, 0, 1, 2, 50})
            for (double x : v) out.push_back({x, 0.0, n});
    } else if (f.arity == 2) {
        for (double x : v)
            for (double y : v) out.push_back({x, y, 0});
    } else {
        for (double x : v) out.push_back({x, 0.0, 0});
        if (f.name == "exp") {
            for (double x : {709.7827128933840, 709.7827128933841, -745.1332191019411, -745.1332191019412})
                out.push_back({x, 0.0, 0});
        }
    }
    return out;
}

namespace {

// The C entries and signatures, in ordinal order, from the one list of exports.
// The host libm's function is the one of the export's C name.
struct Listed {
    const char* name;
    const char* stem;
    int signature;
    VoidFn entry;
    VoidFn host;
};
using Host_D_D = D1;
using Host_DD_D = D2;
using Host_ID_D = DN;
using Host_F_F = F1;
using Host_FF_F = F2;
#define KALM_LISTED(name, stem, sig, kind) \
    {#name, #stem, KALM_SIG_##sig, reinterpret_cast<VoidFn>(&kalm_##stem), vf(static_cast<Host_##sig>(&::stem))},
const Listed kListed[] = {KALM_EXPORT_LIST(KALM_LISTED)};
#undef KALM_LISTED
static_assert(std::size(kListed) == kalm::exports::count);

}  // namespace

const std::vector<Function>& catalogue() {
    static const std::vector<Function> all = [] {
        std::vector<Function> out;
        for (const Listed& l : kListed) {
            auto it = entries().find(l.name);
            if (it == entries().end()) continue;  // uncatalogued_exports() names it; the tests fail on it
            Function f;
            f.e = kalm_export_by_name(l.name);
            f.name = l.name;
            f.signature = l.signature;
            f.single = is_float_sig(l.signature);
            f.arity = l.signature == KALM_SIG_DD_D || l.signature == KALM_SIG_FF_F ? 2 : 1;
            f.kalm = l.entry;
            f.host = l.host;
            f.host_name = l.stem;
            f.ref = it->second.ref;
            f.ranges = it->second.ranges;
            f.bench = it->second.bench;
            f.cost = it->second.cost;
            out.push_back(std::move(f));
        }
        return out;
    }();
    return all;
}

const std::vector<std::string>& all_export_names() {
    static const std::vector<std::string> names(std::begin(kalm::exports::names), std::end(kalm::exports::names));
    return names;
}

std::vector<std::string> uncatalogued_exports() {
    std::vector<std::string> v;
    for (const auto& n : all_export_names())
        if (entries().count(n) == 0) v.push_back(n);
    return v;
}

const Function* find_function(const std::string& name, std::string& error) {
    // "#31" by ordinal; "kalm_sin" and "y0" as the C and C++ names call them.
    if (name.size() > 1 && name[0] == '#') {
        std::int32_t ord = 0;
        const std::string digits = name.substr(1);
        if (digits.find_first_not_of("0123456789") == std::string::npos && digits.size() <= 3 && digits[0] != '0') {
            ord = std::stoi(digits);
            for (const auto& f : catalogue())
                if (f.e->ordinal == ord) return &f;
        }
        error = "no export has the ordinal '" + name + "' (1 to " + std::to_string(catalogue().size()) +
                "; see 'kalm exports')";
        return nullptr;
    }
    const std::string stem = name.rfind("kalm_", 0) == 0 ? name.substr(5) : name;
    for (const auto& f : catalogue())
        if (f.name == stem || (f.name[0] == '_' && f.name.substr(1) == stem)) return &f;
    error = "unknown export '" + name + "' (see 'kalm exports')";
    return nullptr;
}

namespace {

// The device's argument words of one call.
std::size_t words_of(const Function& f, const Input& in, std::uint32_t* w) {
    using kalm::words::put;
    const float fx = static_cast<float>(in.x), fy = static_cast<float>(in.y);
    std::uint32_t* end = w;
    switch (f.signature) {
        case KALM_SIG_D_D: end = put(w, in.x); break;
        case KALM_SIG_DD_D: end = put(put(w, in.x), in.y); break;
        case KALM_SIG_ID_D: end = put(put(w, in.n), in.x); break;
        case KALM_SIG_F_F: end = put(w, fx); break;
        default: end = put(put(w, fx), fy); break;
    }
    return static_cast<std::size_t>(end - w);
}

}  // namespace

double call_kalm(const Function& f, const Input& in) {
    const float fx = static_cast<float>(in.x), fy = static_cast<float>(in.y);
    switch (f.signature) {
        case KALM_SIG_D_D: return reinterpret_cast<D1>(f.kalm)(in.x);
        case KALM_SIG_DD_D: return reinterpret_cast<D2>(f.kalm)(in.x, in.y);
        case KALM_SIG_ID_D: return reinterpret_cast<DN>(f.kalm)(in.n, in.x);
        case KALM_SIG_F_F: return static_cast<double>(reinterpret_cast<F1>(f.kalm)(fx));
        default: return static_cast<double>(reinterpret_cast<F2>(f.kalm)(fx, fy));
    }
}

double call_kalm_words(const Function& f, const Input& in, int* rc) {
    std::uint32_t w[4], r[2] = {0, 0};
    const std::size_t n = words_of(f, in, w);
    const int status = kalm_call(f.e->ordinal, w, n, r, 2, 0);
    if (rc != nullptr) *rc = status;
    if (f.single) return static_cast<double>(kalm::words::float_at(r));
    return kalm::words::double_at(r);
}

double call_host(const Function& f, const Input& in) {
    const float fx = static_cast<float>(in.x), fy = static_cast<float>(in.y);
    switch (f.signature) {
        case KALM_SIG_D_D: return reinterpret_cast<D1>(f.host)(in.x);
        case KALM_SIG_DD_D: return reinterpret_cast<D2>(f.host)(in.x, in.y);
        case KALM_SIG_ID_D: return reinterpret_cast<DN>(f.host)(in.n, in.x);
        case KALM_SIG_F_F: return static_cast<double>(reinterpret_cast<F1>(f.host)(fx));
        default: return static_cast<double>(reinterpret_cast<F2>(f.host)(fx, fy));
    }
}

std::string format_input(const Function& f, const Input& in, bool with_decimal) {
    auto one = [&](double v) {
        char buf[64];
        if (f.single) {
            const float s = static_cast<float>(v);
            if (with_decimal)
                std::snprintf(buf, sizeof buf, "0x%08" PRIx32 " (%.9g)", std::bit_cast<std::uint32_t>(s), v);
            else
                std::snprintf(buf, sizeof buf, "0x%08" PRIx32, std::bit_cast<std::uint32_t>(s));
        } else if (with_decimal) {
            std::snprintf(buf, sizeof buf, "0x%016" PRIx64 " (%.17g)", std::bit_cast<std::uint64_t>(v), v);
        } else {
            std::snprintf(buf, sizeof buf, "0x%016" PRIx64, std::bit_cast<std::uint64_t>(v));
        }
        return std::string(buf);
    };
    if (f.signature == KALM_SIG_ID_D) return std::to_string(in.n) + ", " + one(in.x);
    if (f.arity == 2) return one(in.x) + ", " + one(in.y);
    return one(in.x);
}

}  // namespace kalmtool
