// SPDX-License-Identifier: MIT
#include "batch_random.hpp"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <type_traits>

#include "kalmlib/kalmlib.h"
#include "kalmlib/kalmlib_batch.h"

namespace kalmtool {
namespace {

// What decides the arguments: the family's edges.
enum class Kind { root, exp, log, log10, trig, pow, atan2, atan, asin, round, fmod, bessel, hyper };

struct Kernel {
    const char* name;
    Kind kind;
    int (*bd1)(const double*, double*, std::size_t);
    int (*bf1)(const float*, float*, std::size_t);
    int (*bd2)(const double*, const double*, double*, std::size_t);
    int (*bf2)(const float*, const float*, float*, std::size_t);
    double (*sd1)(double);
    float (*sf1)(float);
    double (*sd2)(double, double);
    float (*sf2)(float, float);
    // _yn: one order for the array (bn) or one per element (bo).
    int (*bn)(int, const double*, double*, std::size_t) = nullptr;
    int (*bo)(const int*, const double*, double*, std::size_t) = nullptr;
    double (*sn)(int, double) = nullptr;
};
// The batch entry and the scalar export of one name, by their types.
constexpr Kernel kernel(const char* name, Kind kind, int (*b)(const double*, double*, std::size_t), double (*s)(double)) {
    return {name, kind, b, nullptr, nullptr, nullptr, s, nullptr, nullptr, nullptr};
}
constexpr Kernel kernel(const char* name, Kind kind, int (*b)(const float*, float*, std::size_t), float (*s)(float)) {
    return {name, kind, nullptr, b, nullptr, nullptr, nullptr, s, nullptr, nullptr};
}
constexpr Kernel kernel(const char* name, Kind kind, int (*b)(const double*, const double*, double*, std::size_t),
              double (*s)(double, double)) {
    return {name, kind, nullptr, nullptr, b, nullptr, nullptr, nullptr, s, nullptr};
}
constexpr Kernel kernel(const char* name, Kind kind, int (*b)(const float*, const float*, float*, std::size_t),
              float (*s)(float, float)) {
    return {name, kind, nullptr, nullptr, nullptr, b, nullptr, nullptr, nullptr, s};
}

// The Bessel functions' entries, whose C names are their stems (kalm_y0 for _y0).
constexpr Kernel bessel_kernel(std::string_view name) {
    if (name == "_y0") return kernel("_y0", Kind::bessel, &kalm_batch_y0, &kalm_y0);
    if (name == "_y1") return kernel("_y1", Kind::bessel, &kalm_batch_y1, &kalm_y1);
    Kernel k{"_yn", Kind::bessel, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    k.bn = &kalm_batch_yn;
    k.sn = &kalm_yn;
    return k;
}
// kalm_batch_yn_orders: its own kernel, drawn as the exports' are.
constexpr Kernel yn_orders_kernel() {
    Kernel k{"_yn_orders", Kind::bessel, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    k.bo = &kalm_batch_yn_orders;
    k.sn = &kalm_yn;
    return k;
}

// The exports with batch kernels and the kind of their arguments, from
// tools/catalogue.inc, in its order.
#define KALM_KERNEL(name, kind) kernel(#name, Kind::kind, &kalm_batch_##name, &kalm_##name),
#define KALM_KERNEL_root(name) KALM_KERNEL(name, root)
#define KALM_KERNEL_exp(name) KALM_KERNEL(name, exp)
#define KALM_KERNEL_log(name) KALM_KERNEL(name, log)
#define KALM_KERNEL_log10(name) KALM_KERNEL(name, log10)
#define KALM_KERNEL_trig(name) KALM_KERNEL(name, trig)
#define KALM_KERNEL_pow(name) KALM_KERNEL(name, pow)
#define KALM_KERNEL_atan2(name) KALM_KERNEL(name, atan2)
#define KALM_KERNEL_atan(name) KALM_KERNEL(name, atan)
#define KALM_KERNEL_asin(name) KALM_KERNEL(name, asin)
#define KALM_KERNEL_round(name) KALM_KERNEL(name, round)
#define KALM_KERNEL_fmod(name) KALM_KERNEL(name, fmod)
#define KALM_KERNEL_bessel(name) bessel_kernel(#name),
#define KALM_KERNEL_hyper(name) KALM_KERNEL(name, hyper)
#define KALM_KERNEL_none(name)
#define KALM_CATALOGUE(name, ref, cost, ranges, bench, bands, plot, sources, batch) KALM_KERNEL_##batch(name)
constexpr Kernel kKernels[] = {
#include "../catalogue.inc"
    yn_orders_kernel(),
};
#undef KALM_CATALOGUE
#undef KALM_KERNEL_root
#undef KALM_KERNEL_exp
#undef KALM_KERNEL_log
#undef KALM_KERNEL_log10
#undef KALM_KERNEL_trig
#undef KALM_KERNEL_pow
#undef KALM_KERNEL_atan2
#undef KALM_KERNEL_atan
#undef KALM_KERNEL_asin
#undef KALM_KERNEL_round
#undef KALM_KERNEL_fmod
#undef KALM_KERNEL_bessel
#undef KALM_KERNEL_hyper
#undef KALM_KERNEL_none
#undef KALM_KERNEL

struct Rng {
    std::uint64_t s;
    std::uint64_t next() {  // splitmix64
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    int between(int lo, int hi) { return lo + static_cast<int>(below(static_cast<std::uint64_t>(hi - lo + 1))); }
    double unit() { return static_cast<double>(next() >> 11) * 0x1p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * unit(); }
    bool coin() { return (next() >> 63) != 0; }
};

// Draws of one type: float or double.
template <typename T>
struct Draw {
    using B = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
    static constexpr int MANT = sizeof(T) == 4 ? 23 : 52;
    static constexpr int BIAS = sizeof(T) == 4 ? 127 : 1023;
    static constexpr B SIGN = B{1} << (sizeof(T) * 8 - 1);
    Rng& r;

    T bits(B b) const { return std::bit_cast<T>(b); }
    T any() const { return bits(static_cast<B>(r.next())); }
    T sign(T v) const { return r.coin() ? -v : v; }
    // 2^e times a random significand in [1, 2).
    T binade(int e) const {
        return bits(static_cast<B>((static_cast<B>(e + BIAS) << MANT) | (static_cast<B>(r.next()) & ((B{1} << MANT) - 1))));
    }
    T log_uniform(int lo, int hi) const { return binade(r.between(lo, hi)); }
    T subnormal() const { return bits(static_cast<B>(1 + r.below((B{1} << MANT) - 1))); }
    // v moved by up to 2^k units in the last place either way, k random up to kmax.
    T near(T v, int kmax) const {
        const B w = std::bit_cast<B>(v);
        const B d = static_cast<B>(r.below(B{1} << r.between(0, kmax)) + 1);
        return bits(r.coin() ? w + d : w - d);
    }
    T special() const {
        static const std::uint64_t kD[] = {0, 0x7FF0000000000000ull, 0x7FF8000000000000ull, 0x7FF0000000000001ull,
                                           0x7FFFFFFFFFFFFFFFull, 0x3FF0000000000000ull, 0x7FEFFFFFFFFFFFFFull,
                                           0x0010000000000000ull, 1, 0x000FFFFFFFFFFFFFull, 0x4000000000000000ull,
                                           0x3FE0000000000000ull};
        static const std::uint32_t kF[] = {0, 0x7F800000u, 0x7FC00000u, 0x7F800001u, 0x7FFFFFFFu, 0x3F800000u,
                                           0x7F7FFFFFu, 0x00800000u, 1, 0x007FFFFFu, 0x40000000u, 0x3F000000u};
        const std::size_t i = r.below(std::size(kD));
        const B b = sizeof(T) == 4 ? static_cast<B>(kF[i]) : static_cast<B>(kD[i]);
        return sign(bits(b));
    }
    // What every export meets: any bits, specials, subnormals, any magnitude.
    bool common(T& out) const {
        switch (r.below(8)) {
            case 0: out = any(); return true;
            case 1: out = special(); return true;
            case 2: out = sign(subnormal()); return true;
            case 3: out = sign(log_uniform(1 - BIAS, BIAS)); return true;
            default: return false;  // the export's own edges
        }
    }

    T one(Kind kind) const {
        T x;
        if (common(x)) return x;
        constexpr bool f = sizeof(T) == 4;
        switch (kind) {
            case Kind::root:
                return r.coin() ? near(binade(r.between(1 - BIAS, BIAS)), 4) : log_uniform(-20, 20);
            case Kind::exp: {
                const double over = f ? 88.72283935546875 : 709.782712893384, under = f ? -103.97207641601562 : -745.1332191019412;
                const double sub = f ? -87.33654475 : -708.3964185322641;  // results below the normals from here
                switch (r.below(6)) {
                    case 0: return near(static_cast<T>(over), 12);
                    case 1: return near(static_cast<T>(under), 12);
                    case 2: return static_cast<T>(r.uniform(under, sub));
                    case 3: return sign(log_uniform(f ? -40 : -70, -25));  // 1 + x
                    case 4: return sign(near(static_cast<T>(r.coin() ? 0.34657359027997264 : 1.0397207708399179), f ? 12 : 30));
                    default: return static_cast<T>(r.uniform(under, over));
                }
            }
            case Kind::log:
            case Kind::log10:
                switch (r.below(6)) {
                    case 0: return near(T(1), f ? 12 : 40);
                    case 1: return static_cast<T>(1.0 + r.uniform(-0x1p-8, 0x1p-8));
                    case 2: return static_cast<T>(std::ldexp(r.uniform(1.38, 1.44), r.between(-60, 60)));  // near sqrt2
                    case 3: return near(bits((B{2 * BIAS} << MANT) | ((B{1} << MANT) - 1)), 20);  // near the largest
                    case 4:
                        if (kind == Kind::log10) return near(static_cast<T>(std::pow(10.0, r.between(f ? -37 : -300, f ? 38 : 300))), 2);
                        [[fallthrough]];
                    default: return log_uniform(1 - BIAS, BIAS);
                }
            case Kind::trig:
                switch (r.below(6)) {
                    case 0: case 1: {  // close to n pi/2: the reduction cancels
                        const double n = std::floor(std::ldexp(1.0 + r.unit(), r.between(0, f ? 7 : 20)));
                        const T v = static_cast<T>(n * 1.5707963267948966192);
                        return sign(near(v, f ? 6 : 20));
                    }
                    case 2: return sign(near(static_cast<T>(f ? 201.060546875 : 1647099.3291652855), 16));  // medium range's end
                    case 3: return sign(near(static_cast<T>(r.coin() ? 0.7853981633974483 : 2.356194490192345), 16));
                    case 4: return sign(log_uniform(f ? -40 : -70, -20));
                    default: return sign(log_uniform(-3, f ? 9 : 22));
                }
            case Kind::atan:
                switch (r.below(5)) {
                    case 0: {  // the interval edges 7/16, 11/16, 19/16, 39/16
                        static const double edges[] = {0.4375, 0.6875, 1.1875, 2.4375};
                        return sign(near(static_cast<T>(edges[r.below(4)]), f ? 10 : 30));
                    }
                    case 1: return sign(log_uniform(-32, -26));         // about 2^-29: atan x = x below
                    case 2: return sign(log_uniform(f ? 26 : 62, f ? 36 : 68));     // the last binades before pi/2
                    case 3: return sign(log_uniform(-2, 2));
                    default: return sign(log_uniform(-8, 8));
                }
            case Kind::asin:
                switch (r.below(6)) {
                    case 0: return sign(near(T(1), f ? 12 : 40));  // beside +-1
                    case 1: {  // the edges 0.5 and 0.975, and 2^-27 / 2^-57
                        static const double edges[] = {0.5, 0.975, 0x1p-27, 0x1p-57};
                        return sign(near(static_cast<T>(edges[r.below(4)]), f ? 10 : 30));
                    }
                    case 2: return sign(log_uniform(-60, -20));  // small, down to the pi/2 and x results
                    case 3: return static_cast<T>(r.uniform(-1, 1));
                    default: return sign(static_cast<T>(r.uniform(0.5, 1)));
                }
            case Kind::round:
                switch (r.below(4)) {
                    case 0: return sign(near(static_cast<T>(r.between(0, 1 << 20)), 3));  // on and beside integers
                    case 1: return sign(log_uniform(-3, 0));                                // about 1 and below
                    case 2: return sign(near(bits(B{BIAS + MANT} << MANT), 4));            // the last binades with fractions
                    default: return sign(log_uniform(0, MANT + 2));
                }
            case Kind::bessel: {
                // The scalar routines' bounds on high words, each from both sides.
                static const std::uint64_t kWords[] = {0x40000000, 0x40200000, 0x40122E8B, 0x4006DB6D, 0x3FF00000,
                                                       0x3F200000, 0x3E400000, 0x3C900000, 0x48000000, 0x52D00000};
                switch (r.below(9)) {
                    case 0: return static_cast<T>(r.uniform(0, 2));
                    case 1: return static_cast<T>(r.uniform(2, 40));
                    case 2: {
                        const std::uint64_t w = kWords[r.below(std::size(kWords))] << 32;
                        return near(bits(static_cast<B>(r.coin() ? w : w - 1)), 20);
                    }
                    case 3: return log_uniform(-70, 1);
                    case 4: return log_uniform(1, 20);
                    case 5: return near(static_cast<T>(r.coin() ? 823549.66458264272 : 1647099.3291652855), 16);  // 2x, x beyond the medium range
                    case 6: {  // sin x, cos x or cos 2x near zero, sin x near +-cos x
                        const double n = std::floor(std::ldexp(1.0 + r.unit(), r.between(0, 20)));
                        return near(static_cast<T>(n * 0.78539816339744830962), 20);
                    }
                    case 7: return near(static_cast<T>(r.uniform(2, 100)), 3);
                    default: return log_uniform(20, BIAS);
                }
            }
            case Kind::hyper: {
                // The routines' bands: e^x - 1 (and its 2^-k forms), exp, exp of |x|/2 squared, the
                // overflow (tanh: +-1 from 22); arguments near ln2/2, 1.5 ln2, 22 and the last two limits.
                const double top = f ? 89.41598510742188 : 710.4758600739439, sq = f ? 88.72283172607422 : 709.782712893384;
                switch (r.below(6)) {
                    case 0: return sign(near(static_cast<T>(r.coin() ? top : sq), 12));
                    case 1: {
                        static const double edges[] = {0.34657359027997264, 1.0397207708399179, 1.0, 22.0, 15.59581};
                        return sign(near(static_cast<T>(edges[r.below(std::size(edges))]), f ? 12 : 30));
                    }
                    case 2: return sign(log_uniform(f ? -40 : -70, -20));
                    case 3: return static_cast<T>(r.uniform(-top - 1, top + 1));
                    default: return static_cast<T>(r.uniform(-25, 25));
                }
            }
            default: return any();
        }
    }

    // _yn's orders: mostly small, either sign, now and then up to 1000.
    int order() const {
        switch (r.below(6)) {
            case 0: case 1: case 2: return r.between(-3, 12);
            case 3: case 4: return r.between(-60, 60);
            default: return r.coin() ? r.between(61, 1000) : -r.between(61, 1000);
        }
    }

    void pair(Kind kind, T& a, T& b) const {
        constexpr bool f = sizeof(T) == 4;
        if (kind == Kind::atan2) {
            switch (r.below(7)) {
                case 0: a = any(), b = any(); return;
                case 1: a = one(Kind::root), b = r.coin() ? special() : sign(subnormal()); if (r.coin()) std::swap(a, b); return;
                case 2: a = sign(log_uniform(-30, 30)), b = T(1); return;  // x = 1: atan's path
                case 3: {  // exponent gaps about 60
                    b = sign(log_uniform(f ? -60 : -400, f ? 60 : 400));
                    a = sign(static_cast<T>(std::ldexp(static_cast<double>(b) * (1.0 + r.unit()), r.between(-70, 70))));
                    return;
                }
                case 4: {  // |y/x| at the interval edges of atan
                    static const double edges[] = {0.4375, 0.6875, 1.1875, 2.4375};
                    b = sign(log_uniform(-20, 20));
                    a = sign(static_cast<T>(static_cast<double>(b) * edges[r.below(4)] * (1.0 + r.uniform(-1e-6, 1e-6))));
                    return;
                }
                default: a = sign(log_uniform(1 - BIAS, BIAS)), b = sign(log_uniform(1 - BIAS, BIAS)); return;
            }
        }
        if (kind == Kind::fmod) {
            switch (r.below(6)) {
                case 0: a = any(), b = any(); return;
                case 1: a = one(Kind::root), b = r.coin() ? special() : sign(subnormal()); if (r.coin()) std::swap(a, b); return;
                case 2: {  // exponent gaps about one exact step (P - 2 binades) and its multiples
                    b = sign(log_uniform(1 - BIAS, f ? 40 : 300));
                    const int step = f ? 22 : 51, gap = step * r.between(0, 4) + r.between(-2, 2);
                    a = sign(static_cast<T>(std::ldexp(static_cast<double>(b) * (1.0 + r.unit()), gap)));
                    return;
                }
                case 3: {  // exact multiples of y and their neighbours: zero and tiny remainders
                    b = sign(log_uniform(-20, 20));
                    a = sign(near(static_cast<T>(static_cast<double>(b) * r.between(1, 1 << 20)), 1));
                    if (r.coin()) a = static_cast<T>(static_cast<double>(b) * r.between(-1000, 1000));
                    return;
                }
                case 4: a = sign(log_uniform(1 - BIAS, BIAS)), b = sign(near(a, 3)); return;  // |x| close to |y|
                default: a = sign(log_uniform(1 - BIAS, BIAS)), b = sign(log_uniform(1 - BIAS, BIAS)); return;
            }
        }
        // pow(x, y)
        const double top = f ? 128 : 1024, bottom = f ? -150 : -1075, normal = f ? -126 : -1022;
        switch (r.below(9)) {
            case 0: a = any(), b = any(); return;
            case 1: a = one(Kind::log), b = r.coin() ? special() : sign(subnormal()); if (r.coin()) std::swap(a, b); return;
            case 2: {  // results at the overflow and underflow limits, and subnormal
                a = log_uniform(-20, 20);
                if (a == T(1)) a = T(3);
                const double t = r.below(3) == 0 ? r.uniform(top - 2, top + 1)
                                 : r.coin()      ? r.uniform(bottom - 2, bottom + 2)
                                                 : r.uniform(bottom, normal + 1);
                b = static_cast<T>(t / std::log2(static_cast<double>(a)));
                return;
            }
            case 3: {  // negative bases: integer exponents (odd, even, huge) and others
                a = -log_uniform(-12, 12);
                const int e = r.between(0, f ? 26 : 55);
                b = r.below(3) == 0 ? static_cast<T>(r.uniform(-40, 40))
                                    : sign(static_cast<T>(std::floor(std::ldexp(1.0 + r.unit(), e))));
                return;
            }
            case 4: {  // exponents the routine treats apart, and small integers
                static const double ys[] = {2, 0.5, 1, -1, 3, -2, 0.25, 1.5};
                a = one(Kind::log);
                b = r.coin() ? static_cast<T>(ys[r.below(8)]) : static_cast<T>(r.between(-30, 30));
                return;
            }
            case 5: a = near(T(1), f ? 12 : 30), b = sign(log_uniform(0, f ? 30 : 34)); return;  // huge |y|
            case 6: a = static_cast<T>(r.between(2, 12)), b = static_cast<T>(r.between(-40, 40)); return;  // exact
            default: a = log_uniform(1 - BIAS, BIAS), b = sign(log_uniform(-20, 12)); return;
        }
    }
};

template <typename B>
std::string mismatch(const char* name, B a, B b, bool two, B got, B want) {
    char buf[200];
    const int w = sizeof(B) * 2;
    if (two)
        std::snprintf(buf, sizeof buf, "%s(%#0*" PRIx64 ", %#0*" PRIx64 "): batch %#0*" PRIx64 ", scalar %#0*" PRIx64, name,
                      w + 2, std::uint64_t{a}, w + 2, std::uint64_t{b}, w + 2, std::uint64_t{got}, w + 2, std::uint64_t{want});
    else
        std::snprintf(buf, sizeof buf, "%s(%#0*" PRIx64 "): batch %#0*" PRIx64 ", scalar %#0*" PRIx64, name, w + 2,
                      std::uint64_t{a}, w + 2, std::uint64_t{got}, w + 2, std::uint64_t{want});
    return buf;
}

template <typename T>
void run(const Kernel& k, std::uint64_t count, std::uint64_t seed, RandomTally& tally) {
    using B = typename Draw<T>::B;
    // Piece lengths that meet every tail of 2, 4, 8 and 16 lanes.
    static const std::size_t kPieces[] = {4099, 1, 2, 3, 5, 7, 8, 9, 13, 15, 16, 17, 31, 33, 64, 1021};
    Rng rng{seed ^ (0x9E3779B97F4A7C15ull * (1 + static_cast<std::uint64_t>(k.kind)))};
    for (const char* p = k.name; *p; ++p) rng.s = rng.s * 131 + static_cast<unsigned char>(*p);
    const Draw<T> draw{rng};
    const bool two = k.bd2 || k.bf2;
    std::vector<T> a(4099), b(4099), y(4099);
    std::vector<int> orders(4099);
    std::uint64_t done = 0;
    for (std::size_t piece = 0; done < count; ++piece) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kPieces[piece % std::size(kPieces)], count - done));
        for (std::size_t i = 0; i < n; ++i) {
            if (two) draw.pair(k.kind, a[i], b[i]);
            else a[i] = draw.one(k.kind);
            if (k.bo) {
                orders[i] = draw.order();
                // Now and then the extreme orders, where the recurrence soon overflows.
                if (rng.below(1024) == 0) orders[i] = rng.coin() ? INT_MIN : INT_MAX, a[i] = static_cast<T>(rng.unit());
            }
        }
        if (k.bn) orders[0] = draw.order();  // one for the piece
        // Every third piece in place, y the first argument (or for two
        // arguments every other time the second): the staged kernels read
        // their arguments again after the first stage.
        const bool in_place = piece % 3 == 1;
        const bool second = in_place && two && piece % 2 == 0;
        if (in_place) std::copy_n(second ? b.begin() : a.begin(), n, y.begin());
        const T* x1 = in_place && !second ? y.data() : a.data();
        const T* x2 = second ? y.data() : b.data();
        if constexpr (sizeof(T) == 8) {
            if (k.bn) k.bn(orders[0], x1, y.data(), n);
            else if (k.bo) k.bo(orders.data(), x1, y.data(), n);
            else if (two) k.bd2(x1, x2, y.data(), n);
            else k.bd1(x1, y.data(), n);
        } else {
            if (two) k.bf2(x1, x2, y.data(), n);
            else k.bf1(x1, y.data(), n);
        }
        for (std::size_t i = 0; i < n; ++i) {
            T want;
            if constexpr (sizeof(T) == 8) {
                if (k.sn) want = k.sn(k.bn ? orders[0] : orders[i], a[i]);
                else want = two ? k.sd2(a[i], b[i]) : k.sd1(a[i]);
            }
            else want = two ? k.sf2(a[i], b[i]) : k.sf1(a[i]);
            const B g = std::bit_cast<B>(y[i]), w = std::bit_cast<B>(want);
            if (g != w) {
                ++tally.mismatches;
                if (tally.messages.size() < 10)
                    tally.messages.push_back(mismatch<B>(k.name, std::bit_cast<B>(a[i]), std::bit_cast<B>(b[i]), two, g, w) +
                                             (k.sn ? ", order " + std::to_string(k.bn ? orders[0] : orders[i]) : ""));
            }
        }
        tally.compared += static_cast<long long>(n);
        done += n;
    }
}

}  // namespace

const std::vector<std::string>& batch_kernel_exports() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const Kernel& k : kKernels) v.emplace_back(k.name);
        return v;
    }();
    return names;
}

bool random_batch_check(const std::string& name, std::uint64_t count, std::uint64_t seed, RandomTally& tally) {
    for (const Kernel& k : kKernels) {
        if (name != k.name) continue;
        if (k.bf1 || k.bf2) run<float>(k, count, seed, tally);
        else run<double>(k, count, seed, tally);
        kalm_clear_flags();
        return true;
    }
    return false;
}

}  // namespace kalmtool
