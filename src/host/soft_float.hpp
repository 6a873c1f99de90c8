// SPDX-License-Identifier: MIT
// The arithmetic types the routines are written in: f64 and f32. On a host
// with a status register they are double and float, and the hardware sets the
// flags. With KALM_SOFT_FLAGS (WebAssembly, or any host as a second source of
// every flag) they are classes that compute each +, -, *, conversion and
// ordered comparison in integers, rounding to nearest even as x86-64's SSE
// does, and set the flags that instruction would set in the status word of
// host/host_flags.hpp: inexact, underflow (tiny after rounding and inexact),
// overflow, invalid (inf - inf, 0 * inf, a signalling NaN operand, an ordered
// comparison with a NaN, a conversion out of range). NaN results are x86's:
// the first NaN operand quieted, else the default NaN with its sign set.
// Nothing here reads the host's floating-point environment, so the results are
// the same whatever rounding or flush mode the caller has set.
#pragma once

#include <bit>
#include <concepts>
#include <cstdint>
#include <type_traits>

#include "host/bits.hpp"

#if !defined(KALM_SOFT_FLAGS)

namespace kalm::lib {
using f64 = double;
using f32 = float;
// A value of the routines' types as the ABI's double or float.
inline double to_hw(double x) { return x; }
inline float to_hw(float x) { return x; }
}  // namespace kalm::lib

#else

namespace kalm::lib {

extern KALM_TLS std::uint32_t tls_soft_status KALM_TLS_IE;

namespace soft {

inline constexpr std::uint32_t INVALID = 0x01u, OVERFLOW = 0x04u, UNDERFLOW = 0x08u, INEXACT = 0x10u;
inline void raise(std::uint32_t f) { tls_soft_status |= f; }

using u128 = unsigned __int128;

// An IEEE binary format: P significand bits (hidden one included), Bits its
// word, Wide an integer wide enough for an exact sum or product.
template <int P, int EMAX, typename B, typename W>
struct Format {
    using Bits = B;
    using Wide = W;
    static constexpr int width = sizeof(Bits) * 8;
    static constexpr int frac = P - 1;
    static constexpr int bias = EMAX;
    static constexpr int emin = 1 - EMAX;
    static constexpr int emax = EMAX;
    static constexpr Bits sign_bit = Bits(1) << (width - 1);
    static constexpr Bits exp_mask = static_cast<Bits>(~sign_bit & ~((Bits(1) << frac) - 1));
    static constexpr Bits frac_mask = (Bits(1) << frac) - 1;
    static constexpr Bits quiet_bit = Bits(1) << (frac - 1);
    static constexpr Bits default_nan = sign_bit | exp_mask | quiet_bit;
    // Guard bits an addend is widened by: its significand and a carry still fit.
    static constexpr int guard = static_cast<int>(sizeof(Wide) * 8) - P - 3;
};
using F64 = Format<53, 1023, std::uint64_t, u128>;
using F32 = Format<24, 127, std::uint32_t, std::uint64_t>;

template <class F>
constexpr bool is_nan(typename F::Bits b) {
    return (b & ~F::sign_bit) > F::exp_mask;
}
template <class F>
constexpr bool is_snan(typename F::Bits b) {
    return is_nan<F>(b) && (b & F::quiet_bit) == 0;
}
template <class F>
constexpr bool is_inf(typename F::Bits b) {
    return (b & ~F::sign_bit) == F::exp_mask;
}
template <class F>
constexpr bool is_zero(typename F::Bits b) {
    return (b & ~F::sign_bit) == 0;
}

inline int msb(u128 m) {
    const auto hi = static_cast<std::uint64_t>(m >> 64);
    return hi != 0 ? 127 - std::countl_zero(hi) : 63 - std::countl_zero(static_cast<std::uint64_t>(m));
}
inline int msb(std::uint64_t m) { return 63 - std::countl_zero(m); }

// A finite non-zero value as m * 2^e.
template <class F>
struct Unpacked {
    typename F::Bits m;
    int e;
};
template <class F>
inline Unpacked<F> unpack(typename F::Bits b) {
    const int field = static_cast<int>((b & F::exp_mask) >> F::frac);
    if (field == 0) return {static_cast<typename F::Bits>(b & F::frac_mask), F::emin - F::frac};
    return {static_cast<typename F::Bits>((b & F::frac_mask) | (typename F::Bits(1) << F::frac)),
            field - F::bias - F::frac};
}

// (-1)^neg * m * 2^e, m != 0, rounded to nearest even in F, with the flags.
template <class F, typename M>
inline typename F::Bits round_pack(bool neg, int e, M m) {
    using Bits = typename F::Bits;
    const Bits sign = neg ? F::sign_bit : Bits(0);
    const int p = msb(m);
    const int lead = p + e;  // exponent of the leading bit
    if (lead > F::emax) {
        raise(OVERFLOW | INEXACT);
        return sign | F::exp_mask;
    }
    const bool sub = lead < F::emin;
    const int shift = sub ? (F::emin - F::frac) - e : p - F::frac;
    M sig;
    bool inexact = false, up = false;
    if (shift <= 0) {
        sig = m << -shift;
    } else if (shift > p + 1) {
        sig = 0;
        inexact = true;
    } else {
        sig = m >> shift;
        const M rem = m & ((M(1) << shift) - 1);
        const M half = M(1) << (shift - 1);
        inexact = rem != 0;
        up = rem > half || (rem == half && (sig & 1) != 0);
        if (up) ++sig;
    }
    Bits r;
    if (sub) {
        r = static_cast<Bits>(sig);  // a carry into the hidden bit is the least normal
    } else {
        r = static_cast<Bits>((static_cast<Bits>(lead + F::bias - 1) << F::frac) + static_cast<Bits>(sig));
        if ((r & F::exp_mask) == F::exp_mask) {
            raise(OVERFLOW | INEXACT);
            return sign | F::exp_mask;
        }
    }
    if (inexact) {
        std::uint32_t f = INEXACT;
        // Tiny after rounding: below the least normal when rounded to P bits
        // with an unbounded exponent (so a value just below it that rounds up
        // to it is not tiny).
        if (sub) {
            bool tiny = true;
            if (lead == F::emin - 1) {
                const int s2 = p - F::frac;
                if (s2 > 0) {
                    const M sig2 = m >> s2;
                    const M rem2 = m & ((M(1) << s2) - 1);
                    const M half2 = M(1) << (s2 - 1);
                    const bool up2 = rem2 > half2 || (rem2 == half2 && (sig2 & 1) != 0);
                    if (up2 && sig2 + 1 == (M(1) << (F::frac + 1))) tiny = false;
                }
            }
            if (tiny) f |= UNDERFLOW;
        }
        raise(f);
    }
    return sign | r;
}

template <class F>
inline typename F::Bits nan_result(typename F::Bits a, typename F::Bits b) {
    if (is_snan<F>(a) || is_snan<F>(b)) raise(INVALID);
    return (is_nan<F>(a) ? a : b) | F::quiet_bit;
}

template <class F>
inline typename F::Bits add(typename F::Bits a, typename F::Bits b, bool negate_b) {
    using Bits = typename F::Bits;
    using Wide = typename F::Wide;
    if (is_nan<F>(a) || is_nan<F>(b)) [[unlikely]]
        return nan_result<F>(a, b);
    if (negate_b) b ^= F::sign_bit;
    if (is_inf<F>(a) || is_inf<F>(b)) [[unlikely]] {
        if (is_inf<F>(a) && is_inf<F>(b) && ((a ^ b) & F::sign_bit)) {
            raise(INVALID);
            return F::default_nan;
        }
        return is_inf<F>(a) ? a : b;
    }
    if (is_zero<F>(b)) return is_zero<F>(a) ? static_cast<Bits>(a & b) : a;
    if (is_zero<F>(a)) return b;
    if ((b & ~F::sign_bit) > (a & ~F::sign_bit)) {  // a the larger in magnitude
        const Bits t = a;
        a = b;
        b = t;
    }
    const Unpacked<F> ua = unpack<F>(a), ub = unpack<F>(b);
    const int d = ua.e - ub.e;
    const Wide wa = static_cast<Wide>(ua.m) << F::guard;
    Wide wb = static_cast<Wide>(ub.m);
    if (d <= F::guard) {
        wb <<= F::guard - d;
    } else {
        wb = 1;  // below every bit the rounding looks at: only its presence counts
    }
    const bool neg = (a & F::sign_bit) != 0;
    const Wide r = ((a ^ b) & F::sign_bit) ? wa - wb : wa + wb;
    if (r == 0) return 0;  // x - x: +0 when rounding to nearest
    return round_pack<F>(neg, ua.e - F::guard, r);
}

template <class F>
inline typename F::Bits mul(typename F::Bits a, typename F::Bits b) {
    using Bits = typename F::Bits;
    using Wide = typename F::Wide;
    if (is_nan<F>(a) || is_nan<F>(b)) [[unlikely]]
        return nan_result<F>(a, b);
    const Bits sign = (a ^ b) & F::sign_bit;
    if (is_inf<F>(a) || is_inf<F>(b)) [[unlikely]] {
        if (is_zero<F>(a) || is_zero<F>(b)) {
            raise(INVALID);
            return F::default_nan;
        }
        return sign | F::exp_mask;
    }
    if (is_zero<F>(a) || is_zero<F>(b)) return sign;
    const Unpacked<F> ua = unpack<F>(a), ub = unpack<F>(b);
    return round_pack<F>(sign != 0, ua.e + ub.e, static_cast<Wide>(ua.m) * static_cast<Wide>(ub.m));
}

// Ordered comparisons raise invalid for any NaN (x86's comisd); equality
// only for a signalling one (ucomisd).
template <class F>
inline int compare_key_sign(typename F::Bits a, typename F::Bits b) {
    // -1, 0, 1 for a < b, a == b, a > b; neither a NaN.
    if (is_zero<F>(a) && is_zero<F>(b)) return 0;
    using S = std::make_signed_t<typename F::Bits>;
    const auto key = [](typename F::Bits x) {
        const S mag = static_cast<S>(x & ~F::sign_bit);
        return (x & F::sign_bit) ? -mag : mag;
    };
    const S ka = key(a), kb = key(b);
    return ka < kb ? -1 : (ka > kb ? 1 : 0);
}
template <class F>
inline bool ordered(typename F::Bits a, typename F::Bits b) {
    if (is_nan<F>(a) || is_nan<F>(b)) [[unlikely]] {
        raise(INVALID);
        return false;
    }
    return true;
}
template <class F>
inline bool equal(typename F::Bits a, typename F::Bits b) {
    if (is_nan<F>(a) || is_nan<F>(b)) [[unlikely]] {
        if (is_snan<F>(a) || is_snan<F>(b)) raise(INVALID);
        return false;
    }
    return compare_key_sign<F>(a, b) == 0;
}

// Truncation to a signed integer of N bits (cvttsd2si): invalid and the
// integer indefinite out of range, inexact for a dropped fraction.
template <class F, typename I>
inline I to_int(typename F::Bits b) {
    using U = std::make_unsigned_t<I>;
    constexpr U indefinite = U(1) << (sizeof(I) * 8 - 1);
    if (is_nan<F>(b) || is_inf<F>(b)) {
        raise(INVALID);
        return static_cast<I>(indefinite);
    }
    if (is_zero<F>(b)) return 0;
    const bool neg = (b & F::sign_bit) != 0;
    const Unpacked<F> u = unpack<F>(b);
    const int lead = msb(static_cast<std::uint64_t>(u.m)) + u.e;
    if (lead >= static_cast<int>(sizeof(I) * 8)) {
        raise(INVALID);
        return static_cast<I>(indefinite);
    }
    std::uint64_t q;
    bool dropped = false;
    if (u.e >= 0) {
        q = static_cast<std::uint64_t>(u.m) << u.e;
    } else if (-u.e >= 64) {
        q = 0;
        dropped = true;
    } else {
        q = static_cast<std::uint64_t>(u.m) >> -u.e;
        dropped = (q << -u.e) != static_cast<std::uint64_t>(u.m);
    }
    if (q > indefinite || (q == indefinite && !neg)) {
        raise(INVALID);  // alone: an invalid conversion is not also inexact
        return static_cast<I>(indefinite);
    }
    if (dropped) raise(INEXACT);
    const U m = static_cast<U>(q);
    return static_cast<I>(neg ? static_cast<U>(U(0) - m) : m);
}

template <class F>
inline typename F::Bits from_int(std::int64_t i) {
    if (i == 0) return 0;
    const bool neg = i < 0;
    const std::uint64_t m = neg ? 0 - static_cast<std::uint64_t>(i) : static_cast<std::uint64_t>(i);
    return round_pack<F>(neg, 0, static_cast<typename F::Wide>(m));
}

}  // namespace soft

class soft_float;

// A double computed in software.
class soft_double {
public:
    using F = soft::F64;
    soft_double() = default;
    // From a double only (not a float or any other type that converts to one).
    template <std::same_as<double> D>
    constexpr soft_double(D d) : b_(std::bit_cast<std::uint64_t>(d)) {}
    // Integers: exact up to 32 bits; wider ones rounded, with the flags.
    template <std::integral I>
    constexpr soft_double(I i) : b_(0) {
        if constexpr (sizeof(I) <= 4) {
            b_ = std::bit_cast<std::uint64_t>(static_cast<double>(i));
        } else {
            if (std::is_constant_evaluated()) b_ = std::bit_cast<std::uint64_t>(static_cast<double>(i));
            else b_ = soft::from_int<F>(static_cast<std::int64_t>(i));
        }
    }
    inline soft_double(soft_float f);  // exact; invalid for a signalling NaN
    static constexpr soft_double of_bits(std::uint64_t b) { return std::bit_cast<soft_double>(b); }
    constexpr std::uint64_t bits() const { return b_; }
    explicit constexpr operator double() const { return std::bit_cast<double>(b_); }
    template <std::integral I>
    explicit operator I() const {
        if constexpr (sizeof(I) <= 4 && std::is_signed_v<I>)
            return static_cast<I>(soft::to_int<F, std::int32_t>(b_));
        else
            return static_cast<I>(soft::to_int<F, std::int64_t>(b_));
    }

    friend soft_double operator+(soft_double a, soft_double b) { return of_bits(soft::add<F>(a.b_, b.b_, false)); }
    friend soft_double operator-(soft_double a, soft_double b) { return of_bits(soft::add<F>(a.b_, b.b_, true)); }
    friend soft_double operator*(soft_double a, soft_double b) { return of_bits(soft::mul<F>(a.b_, b.b_)); }
    friend constexpr soft_double operator-(soft_double a) { return of_bits(a.b_ ^ F::sign_bit); }
    friend constexpr soft_double operator+(soft_double a) { return a; }
    soft_double& operator+=(soft_double o) { return *this = *this + o; }
    soft_double& operator-=(soft_double o) { return *this = *this - o; }
    soft_double& operator*=(soft_double o) { return *this = *this * o; }
    friend bool operator<(soft_double a, soft_double b) {
        return soft::ordered<F>(a.b_, b.b_) && soft::compare_key_sign<F>(a.b_, b.b_) < 0;
    }
    friend bool operator>(soft_double a, soft_double b) {
        return soft::ordered<F>(a.b_, b.b_) && soft::compare_key_sign<F>(a.b_, b.b_) > 0;
    }
    friend bool operator<=(soft_double a, soft_double b) {
        return soft::ordered<F>(a.b_, b.b_) && soft::compare_key_sign<F>(a.b_, b.b_) <= 0;
    }
    friend bool operator>=(soft_double a, soft_double b) {
        return soft::ordered<F>(a.b_, b.b_) && soft::compare_key_sign<F>(a.b_, b.b_) >= 0;
    }
    friend bool operator==(soft_double a, soft_double b) { return soft::equal<F>(a.b_, b.b_); }
    friend bool operator!=(soft_double a, soft_double b) { return !soft::equal<F>(a.b_, b.b_); }

private:
    std::uint64_t b_;
};

// A float computed in software. Built from a double only explicitly (a
// rounding, with its flags), so that double arithmetic is never done in float
// by accident.
class soft_float {
public:
    using F = soft::F32;
    soft_float() = default;
    template <std::same_as<float> S>
    constexpr soft_float(S f) : b_(std::bit_cast<std::uint32_t>(f)) {}
    template <std::same_as<double> D>
    explicit soft_float(D d) : soft_float(soft_double(d)) {}
    template <std::integral I>
    constexpr soft_float(I i) : b_(0) {
        if (std::is_constant_evaluated()) b_ = std::bit_cast<std::uint32_t>(static_cast<float>(i));
        else b_ = soft::from_int<F>(static_cast<std::int64_t>(i));
    }
    explicit soft_float(soft_double d) : b_(narrow(d.bits())) {}
    static constexpr soft_float of_bits(std::uint32_t b) { return std::bit_cast<soft_float>(b); }
    constexpr std::uint32_t bits() const { return b_; }
    explicit constexpr operator float() const { return std::bit_cast<float>(b_); }
    template <std::integral I>
    explicit operator I() const {
        if constexpr (sizeof(I) <= 4 && std::is_signed_v<I>)
            return static_cast<I>(soft::to_int<F, std::int32_t>(b_));
        else
            return static_cast<I>(soft::to_int<F, std::int64_t>(b_));
    }

    friend soft_float operator+(soft_float a, soft_float b) { return of_bits(soft::add<F>(a.b_, b.b_, false)); }
    friend soft_float operator-(soft_float a, soft_float b) { return of_bits(soft::add<F>(a.b_, b.b_, true)); }
    friend soft_float operator*(soft_float a, soft_float b) { return of_bits(soft::mul<F>(a.b_, b.b_)); }
    friend constexpr soft_float operator-(soft_float a) { return of_bits(a.b_ ^ F::sign_bit); }
    friend constexpr soft_float operator+(soft_float a) { return a; }
    soft_float& operator+=(soft_float o) { return *this = *this + o; }
    soft_float& operator-=(soft_float o) { return *this = *this - o; }
    soft_float& operator*=(soft_float o) { return *this = *this * o; }
    friend bool operator<(soft_float a, soft_float b) {
        return soft::ordered<F>(a.b_, b.b_) && soft::compare_key_sign<F>(a.b_, b.b_) < 0;
    }
    friend bool operator>(soft_float a, soft_float b) {
        return soft::ordered<F>(a.b_, b.b_) && soft::compare_key_sign<F>(a.b_, b.b_) > 0;
    }
    friend bool operator<=(soft_float a, soft_float b) {
        return soft::ordered<F>(a.b_, b.b_) && soft::compare_key_sign<F>(a.b_, b.b_) <= 0;
    }
    friend bool operator>=(soft_float a, soft_float b) {
        return soft::ordered<F>(a.b_, b.b_) && soft::compare_key_sign<F>(a.b_, b.b_) >= 0;
    }
    friend bool operator==(soft_float a, soft_float b) { return soft::equal<F>(a.b_, b.b_); }
    friend bool operator!=(soft_float a, soft_float b) { return !soft::equal<F>(a.b_, b.b_); }

private:
    // cvtsd2ss: NaNs quieted with the payload's top bits, invalid if signalling.
    static std::uint32_t narrow(std::uint64_t b) {
        using D = soft::F64;
        const auto sign = static_cast<std::uint32_t>(b >> 32) & 0x80000000u;
        if (soft::is_nan<D>(b)) {
            if (soft::is_snan<D>(b)) soft::raise(soft::INVALID);
            return sign | 0x7FC00000u | static_cast<std::uint32_t>((b & D::frac_mask) >> 29);
        }
        if (soft::is_inf<D>(b)) return sign | 0x7F800000u;
        if (soft::is_zero<D>(b)) return sign;
        const soft::Unpacked<D> u = soft::unpack<D>(b);
        return soft::round_pack<F>(sign != 0, u.e, u.m);
    }
    std::uint32_t b_;
};

inline soft_double::soft_double(soft_float f) {
    using S = soft::F32;
    const std::uint32_t b = f.bits();
    const std::uint64_t sign = static_cast<std::uint64_t>(b & 0x80000000u) << 32;
    if (soft::is_nan<S>(b)) {
        if (soft::is_snan<S>(b)) soft::raise(soft::INVALID);
        b_ = sign | 0x7FF8000000000000ull | (static_cast<std::uint64_t>(b & S::frac_mask) << 29);
    } else if (soft::is_inf<S>(b)) {
        b_ = sign | 0x7FF0000000000000ull;
    } else if (soft::is_zero<S>(b)) {
        b_ = sign;
    } else {
        const soft::Unpacked<S> u = soft::unpack<S>(b);
        const int p = soft::msb(static_cast<std::uint64_t>(u.m));
        const int lead = p + u.e;
        b_ = sign | (static_cast<std::uint64_t>(lead + 1023) << 52) |
             ((static_cast<std::uint64_t>(u.m) << (52 - p)) & 0x000FFFFFFFFFFFFFull);
    }
}

using f64 = soft_double;
using f32 = soft_float;
inline double to_hw(soft_double x) { return static_cast<double>(x); }
inline float to_hw(soft_float x) { return static_cast<float>(x); }
inline double to_hw(double x) { return x; }
inline float to_hw(float x) { return x; }

// The word helpers of host/bits.hpp on the software types: the same bit
// operations, which set no flag.
inline std::uint64_t bits(soft_double x) { return x.bits(); }
inline std::uint32_t bits(soft_float x) { return x.bits(); }
inline std::uint32_t hi_word(soft_double x) { return static_cast<std::uint32_t>(x.bits() >> 32); }
inline std::uint32_t lo_word(soft_double x) { return static_cast<std::uint32_t>(x.bits()); }
inline soft_double with_hi(soft_double x, std::uint32_t hi) { return from_words(hi, lo_word(x)); }
inline soft_double with_lo(soft_double x, std::uint32_t lo) { return from_words(hi_word(x), lo); }
inline soft_float masked(soft_float v, std::uint32_t keep) { return soft_float::of_bits(v.bits() & keep); }
inline soft_double masked(soft_double v, std::uint64_t keep) { return soft_double::of_bits(v.bits() & keep); }
inline std::uint32_t word_of(soft_float v) { return v.bits(); }
inline std::uint64_t word_of(soft_double v) { return v.bits(); }
inline soft_float word_add(soft_float v, std::uint32_t a) { return soft_float::of_bits(v.bits() + a); }
inline soft_float word_xor(soft_float v, std::uint32_t a) { return soft_float::of_bits(v.bits() ^ a); }
inline soft_float word_or(soft_float v, soft_float w) { return soft_float::of_bits(v.bits() | w.bits()); }
inline soft_double word_add(soft_double v, std::uint64_t a) { return soft_double::of_bits(v.bits() + a); }
inline soft_double word_xor(soft_double v, std::uint64_t a) { return soft_double::of_bits(v.bits() ^ a); }
inline soft_double word_or(soft_double v, soft_double w) { return soft_double::of_bits(v.bits() | w.bits()); }
inline soft_float word_below(soft_float v, std::uint32_t c) {
    return soft_float::of_bits(static_cast<std::int32_t>(v.bits()) < static_cast<std::int32_t>(c) ? 0xFFFFFFFFu : 0u);
}
inline soft_double high_word_below(soft_double v, std::uint32_t c) {
    return soft_double::of_bits(static_cast<std::int32_t>(hi_word(v)) < static_cast<std::int32_t>(c) ? ~0ull : 0ull);
}
inline soft_double clear_lo(soft_double v) { return masked(v, 0xFFFFFFFF00000000ull); }
inline soft_float add_to_exponent(soft_float y, std::int32_t k) {
    return soft_float::of_bits(y.bits() + (static_cast<std::uint32_t>(k) << 23));
}
inline soft_double add_to_exponent(soft_double y, std::int32_t k) {
    return soft_double::of_bits(y.bits() + (static_cast<std::uint64_t>(static_cast<std::uint32_t>(k) << 20) << 32));
}
// The operations already happened, with their flags, in the order written.
inline soft_double opaque(soft_double x) { return x; }
inline soft_float opaque(soft_float x) { return x; }
inline void force_eval(soft_double) {}
inline void force_eval(soft_float) {}
inline bool is_nan(soft_double v) { return soft::is_nan<soft::F64>(v.bits()); }
inline bool is_nan(soft_float v) { return soft::is_nan<soft::F32>(v.bits()); }
inline soft_double quieted(soft_double v) { return soft_double::of_bits(v.bits() | 0x0008000000000000ull); }
inline soft_float quieted(soft_float v) { return soft_float::of_bits(v.bits() | 0x00400000u); }
// The software arithmetic gives x86's NaNs and keeps the written operand order.
template <typename T>
    requires(std::is_same_v<T, soft_double> || std::is_same_v<T, soft_float>)
inline T x86_nan(T r, T, T) {
    return r;
}
inline soft_double sub_x86(soft_double a, soft_double b) { return a - b; }
inline soft_float sub_x86(soft_float a, soft_float b) { return a - b; }
inline soft_double add_x86(soft_double a, soft_double b) { return a + b; }
inline soft_float add_x86(soft_float a, soft_float b) { return a + b; }
inline soft_double add_ordered(soft_double a, soft_double b) { return a + b; }
inline soft_float add_ordered(soft_float a, soft_float b) { return a + b; }
inline soft_double mul_ordered(soft_double a, soft_double b) { return a * b; }
inline soft_float mul_ordered(soft_float a, soft_float b) { return a * b; }

}  // namespace kalm::lib

#endif
