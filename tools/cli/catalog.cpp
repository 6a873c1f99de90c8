// SPDX-License-Identifier: MIT
// The catalogue of exports for the accuracy and speed commands: for each of
// the library's exports (src/abi/export_list.hpp) its C entry, the host libm's
// function of the same name, the MPFR function that gives the exact value, and
// the input ranges worth sampling.
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

#define REF1(fn) [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr, long, mpfr_rnd_t m) { return fn(r, a, m); }
#define REF2(fn) [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr b, long, mpfr_rnd_t m) { return fn(r, a, b, m); }

struct Entry {
    VoidFn host;
    RefFn ref;
    double cost;
    std::vector<Range> ranges;
    Range bench;
};

// Ranges shared by a double export and its single version, with the limits
// of each format.
std::vector<Range> trig_ranges(bool s) {
    return {R("[-pi/4,pi/4]", U(-PIO4, PIO4)), R("[-100,100]", U(-100, 100)),
            R("|x|<2^20*pi/2", U(-1048576 * PIO2, 1048576 * PIO2)),
            R("log-uniform to max", SL(s ? 0x1p-30 : 0x1p-60, s ? FLT_MAX : DBL_MAX))};
}

const std::map<std::string, Entry>& entries() {
    static const std::map<std::string, Entry> m = [] {
        std::map<std::string, Entry> t;
        const double DM = DBL_MAX;
        // Exponential, logarithm, power.
        t["exp"] = {vf(static_cast<D1>(&::exp)), REF1(mpfr_exp), 1,
                    {R("[-745,710]", U(-745, 710)), R("[-1,1]", U(-1, 1)), R("|x| in [2^-60,1]", SL(0x1p-60, 1))},
                    R("[-50,50]", U(-50, 50))};
        t["expf"] = {vf(static_cast<F1>(&::expf)), REF1(mpfr_exp), 0.8,
                     {R("[-104,89]", U(-104, 89)), R("[-1,1]", U(-1, 1)), R("|x| in [2^-30,1]", SL(0x1p-30, 1))},
                     R("[-20,20]", U(-20, 20))};
        for (const char* n : {"log", "log10"}) {
            const bool ten = n[3] == '1';
            t[n] = {ten ? vf(static_cast<D1>(&::log10)) : vf(static_cast<D1>(&::log)),
                    ten ? RefFn(REF1(mpfr_log10)) : RefFn(REF1(mpfr_log)), 1.6,
                    {R("all binades", POS()), R("[0.5,2]", U(0.5, 2)), R("(0,100]", U(0, 100))},
                    R("log-uniform [1e-5,1e5]", L(1e-5, 1e5))};
        }
        for (const char* n : {"logf", "log10f"}) {
            const bool ten = n[3] == '1';
            t[n] = {ten ? vf(&::log10f) : vf(&::logf), ten ? RefFn(REF1(mpfr_log10)) : RefFn(REF1(mpfr_log)), 1,
                    {R("all binades", POS()), R("[0.5,2]", U(0.5, 2)), R("(0,100]", U(0, 100))},
                    R("log-uniform [1e-5,1e5]", L(1e-5, 1e5))};
        }
        t["pow"] = {vf(static_cast<D2>(&::pow)), REF2(mpfr_pow), 1.6,
                    {R("x in (0,10], y in [-100,100]", U(0, 10), U(-100, 100)),
                     R("|x| in [2^-8,2^8], y integer [-50,50]", SL(0x1p-8, 0x1p8), INT(-50, 50)),
                     R("x in [2^-8,2^8], y half-integer", L(0x1p-8, 0x1p8), HALF(-40, 40)),
                     R("x near 1, |y| in [1,2^20]", U(0.999, 1.001), SL(1, 0x1p20)),
                     R("any pair", ANY(), ANY())},
                    R("x in (0,10], y in [-10,10]", U(0, 10), U(-10, 10))};
        t["powf"] = {vf(&::powf), REF2(mpfr_pow), 1.2,
                     {R("x in (0,10], y in [-30,30]", U(0, 10), U(-30, 30)),
                      R("|x| in [2^-4,2^4], y integer [-20,20]", SL(0x1p-4, 0x1p4), INT(-20, 20)),
                      R("x in [2^-4,2^4], y half-integer", L(0x1p-4, 0x1p4), HALF(-20, 20)),
                      R("x near 1, |y| in [1,2^12]", U(0.99, 1.01), SL(1, 0x1p12)), R("any pair", ANY(), ANY())},
                     R("x in (0,10], y in [-10,10]", U(0, 10), U(-10, 10))};
        // Trigonometric.
        t["sin"] = {vf(static_cast<D1>(&::sin)), REF1(mpfr_sin), 1, trig_ranges(false), R("[-10,10]", U(-10, 10))};
        t["cos"] = {vf(static_cast<D1>(&::cos)), REF1(mpfr_cos), 1, trig_ranges(false), R("[-10,10]", U(-10, 10))};
        t["tan"] = {vf(static_cast<D1>(&::tan)), REF1(mpfr_tan), 1, trig_ranges(false), R("[-10,10]", U(-10, 10))};
        t["sinf"] = {vf(&::sinf), REF1(mpfr_sin), 0.8, trig_ranges(true), R("[-10,10]", U(-10, 10))};
        t["cosf"] = {vf(&::cosf), REF1(mpfr_cos), 0.8, trig_ranges(true), R("[-10,10]", U(-10, 10))};
        t["tanf"] = {vf(&::tanf), REF1(mpfr_tan), 0.8, trig_ranges(true), R("[-10,10]", U(-10, 10))};
        // Inverse trigonometric.
        for (const char* n : {"asin", "acos", "asinf", "acosf"}) {
            const bool s = n[4] == 'f', c = n[1] == 'c';
            VoidFn h = s ? (c ? vf(&::acosf) : vf(&::asinf))
                         : (c ? vf(static_cast<D1>(&::acos)) : vf(static_cast<D1>(&::asin)));
            t[n] = {h, c ? RefFn(REF1(mpfr_acos)) : RefFn(REF1(mpfr_asin)), 1,
                    {R("[-1,1]", U(-1, 1)), R("[0.5,1]", U(0.5, 1)), R("|x| in [2^-30,1]", SL(0x1p-30, 1))},
                    R("[-1,1]", U(-1, 1))};
        }
        t["atan"] = {vf(static_cast<D1>(&::atan)), REF1(mpfr_atan), 1,
                     {R("all binades", ANY()), R("[-1,1]", U(-1, 1)), R("[-16,16]", U(-16, 16))},
                     R("[-10,10]", U(-10, 10))};
        t["atanf"] = {vf(&::atanf), REF1(mpfr_atan), 0.8,
                      {R("all binades", ANY()), R("[-1,1]", U(-1, 1)), R("[-16,16]", U(-16, 16))},
                      R("[-10,10]", U(-10, 10))};
        t["atan2"] = {vf(static_cast<D2>(&::atan2)), REF2(mpfr_atan2), 2.2,
                      {R("[-1,1]^2", U(-1, 1), U(-1, 1)), R("[-100,100]^2", U(-100, 100), U(-100, 100)),
                       R("any pair", ANY(), ANY())},
                      R("[-10,10]^2", U(-10, 10), U(-10, 10))};
        t["atan2f"] = {vf(&::atan2f), REF2(mpfr_atan2), 1.5,
                       {R("[-1,1]^2", U(-1, 1), U(-1, 1)), R("[-100,100]^2", U(-100, 100), U(-100, 100)),
                        R("any pair", ANY(), ANY())},
                       R("[-10,10]^2", U(-10, 10), U(-10, 10))};
        // Hyperbolic.
        for (const char* n : {"sinh", "cosh", "sinhf", "coshf"}) {
            const bool s = n[4] == 'f', c = n[0] == 'c';
            const double lim = s ? 89.5 : 710.5;
            VoidFn h = s ? (c ? vf(&::coshf) : vf(&::sinhf))
                         : (c ? vf(static_cast<D1>(&::cosh)) : vf(static_cast<D1>(&::sinh)));
            t[n] = {h, c ? RefFn(REF1(mpfr_cosh)) : RefFn(REF1(mpfr_sinh)), 1,
                    {R(s ? "[-89.5,89.5]" : "[-710.5,710.5]", U(-lim, lim)), R("[-1,1]", U(-1, 1)),
                     R("|x| in [2^-30,1]", SL(0x1p-30, 1))},
                    R("[-10,10]", U(-10, 10))};
        }
        t["tanh"] = {vf(static_cast<D1>(&::tanh)), REF1(mpfr_tanh), 0.7,
                     {R("[-20,20]", U(-20, 20)), R("[-1,1]", U(-1, 1)), R("all binades", ANY())},
                     R("[-5,5]", U(-5, 5))};
        t["tanhf"] = {vf(&::tanhf), REF1(mpfr_tanh), 0.6,
                      {R("[-10,10]", U(-10, 10)), R("[-1,1]", U(-1, 1)), R("all binades", ANY())},
                      R("[-5,5]", U(-5, 5))};
        // Rounding, remainder, absolute value, square root: exact operations.
        t["ceil"] = {vf(static_cast<D1>(&::ceil)),
                     [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr, long, mpfr_rnd_t) { return mpfr_ceil(r, a); }, 0.4,
                     {R("[-1e6,1e6]", U(-1e6, 1e6)), R("all binades", ANY())}, R("[-1e6,1e6]", U(-1e6, 1e6))};
        t["floor"] = {vf(static_cast<D1>(&::floor)),
                      [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr, long, mpfr_rnd_t) { return mpfr_floor(r, a); }, 0.4,
                      {R("[-1e6,1e6]", U(-1e6, 1e6)), R("all binades", ANY())}, R("[-1e6,1e6]", U(-1e6, 1e6))};
        t["ceilf"] = {vf(&::ceilf),
                      [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr, long, mpfr_rnd_t) { return mpfr_ceil(r, a); }, 0.4,
                      {R("[-1e4,1e4]", U(-1e4, 1e4)), R("all binades", ANY())}, R("[-1e4,1e4]", U(-1e4, 1e4))};
        t["floorf"] = {vf(&::floorf),
                       [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr, long, mpfr_rnd_t) { return mpfr_floor(r, a); }, 0.4,
                       {R("[-1e4,1e4]", U(-1e4, 1e4)), R("all binades", ANY())}, R("[-1e4,1e4]", U(-1e4, 1e4))};
        t["fabsf"] = {vf(&::fabsf), REF1(mpfr_abs), 0.4, {R("all binades", ANY()), R("[-1,1]", U(-1, 1))},
                      R("[-1,1]", U(-1, 1))};
        t["fmod"] = {vf(static_cast<D2>(&::fmod)), REF2(mpfr_fmod), 1,
                     {R("x in [-1e6,1e6], y in [-10,10]", U(-1e6, 1e6), U(-10, 10)), R("any pair", ANY(), ANY())},
                     R("x in [-1e6,1e6], y in [1,10]", U(-1e6, 1e6), U(1, 10))};
        t["fmodf"] = {vf(&::fmodf), REF2(mpfr_fmod), 1,
                      {R("x in [-1e4,1e4], y in [-10,10]", U(-1e4, 1e4), U(-10, 10)), R("any pair", ANY(), ANY())},
                      R("x in [-1e4,1e4], y in [1,10]", U(-1e4, 1e4), U(1, 10))};
        t["sqrt"] = {vf(static_cast<D1>(&::sqrt)), REF1(mpfr_sqrt), 0.4,
                     {R("all binades", POS()), R("[0,4]", U(0, 4))}, R("[0,1e6]", U(0, 1e6))};
        t["sqrtf"] = {vf(&::sqrtf), REF1(mpfr_sqrt), 0.4, {R("all binades", POS()), R("[0,4]", U(0, 4))},
                      R("[0,1e6]", U(0, 1e6))};
        // Bessel functions of the second kind.
        t["_y0"] = {vf(static_cast<D1>(&::y0)), REF1(mpfr_y0), 13,
                    {R("(0,20]", U(0, 20)), R("[2^-60,1]", L(0x1p-60, 1)), R("[20,1e6]", L(20, 1e6)),
                     R("log-uniform to max", L(1e6, DM))},
                    R("(0,20]", U(0, 20))};
        t["_y1"] = {vf(static_cast<D1>(&::y1)), REF1(mpfr_y1), 13,
                    {R("(0,20]", U(0, 20)), R("[2^-60,1]", L(0x1p-60, 1)), R("[20,1e6]", L(20, 1e6)),
                     R("log-uniform to max", L(1e6, DM))},
                    R("(0,20]", U(0, 20))};
        t["_yn"] = {vf(static_cast<DN>(&::yn)),
                    [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr, long n, mpfr_rnd_t m) { return mpfr_yn(r, n, a, m); }, 125,
                    {RN("n 2..50, x in (0,100]", 2, 50, U(0, 100)),
                     RN("n 2..50, x in [1e-3,1e6]", 2, 50, L(1e-3, 1e6)),
                     RN("n -50..50, x in (0,50]", -50, 50, U(0, 50))},
                    RN("n 2..10, x in (0,20]", 2, 10, U(0, 20))};
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
struct Listed {
    const char* name;
    const char* stem;
    int signature;
    VoidFn entry;
};
#define KALM_LISTED(name, stem, sig, kind) {#name, #stem, KALM_SIG_##sig, reinterpret_cast<VoidFn>(&kalm_##stem)},
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
            f.host = it->second.host;
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
