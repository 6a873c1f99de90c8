// SPDX-License-Identifier: MIT
// Straightforward renderings of the device's bit-serial division and square
// root: slow, obviously faithful, and the reference the fast integer
// methods must match bit for bit.
#pragma once

#include <cstdint>
#include <cstring>

namespace oracle {

inline std::uint64_t dbits(double x) { std::uint64_t b; std::memcpy(&b, &x, 8); return b; }
inline double dval(std::uint64_t b) { double x; std::memcpy(&x, &b, 8); return x; }
inline std::uint32_t fbits(float x) { std::uint32_t b; std::memcpy(&b, &x, 4); return b; }
inline float fval(std::uint32_t b) { float x; std::memcpy(&x, &b, 4); return x; }

// Result of a division: the quotient bits and the code raised (-1: none).
struct Div {
    std::uint64_t bits;
    int code;
};

// Restoring division of significands, four quotient bits per pass; stops
// early when the remainder is zero. The double form takes the leading bit
// first and then 52 bits against the halved divisor; the single form takes
// all 24 bits in passes against the divisor and its three right shifts.
inline std::uint64_t restoring(std::uint64_t r, std::uint64_t d, int nbits, bool leading_first, std::uint64_t& rem,
                               bool& round_up, bool& tie) {
    std::uint64_t q = 0;
    int done = 0;
    std::uint64_t base = d;
    if (leading_first) {
        r -= d;
        q = 1;
        done = 1;
        base = d >> 1;
    }
    while (done < nbits) {
        if (r == 0) {
            q <<= (nbits - done);
            done = nbits;
            break;
        }
        for (int k = 0; k < 4; ++k) {
            q <<= 1;
            if (r >= (base >> k)) {
                r -= base >> k;
                q |= 1;
            }
        }
        done += 4;
        r <<= 4;
    }
    // r is scaled by 16 against the last divisor (base >> 3): compare with base.
    rem = r;
    round_up = r != 0 && r >= base;
    tie = r != 0 && r == base;
    return q;
}

inline std::uint64_t denorm(std::uint64_t q, int s, bool rem_zero) {
    std::uint64_t out = q >> s;
    std::uint64_t guard = (q >> (s - 1)) & 1;
    std::uint64_t shifted_out = q & ((std::uint64_t{1} << s) - 1);
    out += guard;
    if (guard && shifted_out == (std::uint64_t{1} << (s - 1)) && rem_zero) out &= ~std::uint64_t{1};
    return out;
}

inline Div ddiv(double x, double y) {
    std::uint64_t bx = dbits(x), by = dbits(y);
    std::uint64_t sign = (bx ^ by) & 0x8000000000000000ull;
    int ex = static_cast<int>((bx >> 52) & 0x7FF), ey = static_cast<int>((by >> 52) & 0x7FF);
    std::uint64_t fx = bx & 0xFFFFFFFFFFFFFull, fy = by & 0xFFFFFFFFFFFFFull;
    bool xz = ex == 0 && fx == 0, yz = ey == 0 && fy == 0;
    std::uint64_t nan = 0xFFF8000000000000ull | (bx & 0xFFFFFFFFull), inf = sign | 0x7FF0000000000000ull;
    if (ex == 0x7FF && ey == 0x7FF) return {nan, 4};
    if (ex == 0x7FF) return fx ? Div{nan, 4} : Div{inf, 3};
    if (ey == 0x7FF) return fy ? Div{nan, 4} : Div{sign, -1};
    if (!xz && yz) return {inf, 3};
    if (xz && !yz) return {sign, -1};
    if (xz && yz) return {nan, 4};
    std::uint64_t mx = fx, my = fy;
    if (ex == 0) { int k = 0; while (!(mx & (1ull << 52))) { mx <<= 1; ++k; } ex = 1 - k; } else mx |= 1ull << 52;
    if (ey == 0) { int k = 0; while (!(my & (1ull << 52))) { my <<= 1; ++k; } ey = 1 - k; } else my |= 1ull << 52;
    std::uint64_t X = mx << 8, D = my << 8;
    int E;
    if ((my & 0xFFFFFFFFFFFFFull) == 0) {
        E = ex - ey + 1023;
        if (E >= 2047) return {inf, 2};
        if (E >= 1) return {sign | (static_cast<std::uint64_t>(E) << 52) | (mx & 0xFFFFFFFFFFFFFull), -1};
        if (E <= -53) return {sign, -1};
        return {sign | denorm(mx, 1 - E, true), -1};
    }
    if (mx >= my) E = ex - ey + 1023; else { E = ex - ey + 1022; D >>= 1; }
    if (E <= -53) return {sign, -1};
    if (E >= 2047) return {inf, 2};
    std::uint64_t rem; bool up, tie;
    std::uint64_t q = restoring(X, D, 53, true, rem, up, tie);
    if (E >= 1) {
        if (up) { q += 1; if (tie) q &= ~1ull; }
        return {sign | (static_cast<std::uint64_t>(E) << 52) | (q & 0xFFFFFFFFFFFFFull), -1};
    }
    return {sign | denorm(q, 1 - E, rem == 0), -1};
}

inline Div sdiv(float x, float y) {
    std::uint32_t bx = fbits(x), by = fbits(y);
    std::uint32_t sign = (bx ^ by) & 0x80000000u;
    int ex = static_cast<int>((bx >> 23) & 0xFF), ey = static_cast<int>((by >> 23) & 0xFF);
    std::uint32_t fx = bx & 0x7FFFFFu, fy = by & 0x7FFFFFu;
    bool xz = ex == 0 && fx == 0, yz = ey == 0 && fy == 0;
    std::uint32_t nan = 0x7FC00000u, inf = sign | 0x7F800000u;
    if (ex == 0xFF && ey == 0xFF) return {nan, 4};
    if (ex == 0xFF) return fx ? Div{nan, 4} : Div{inf, 3};
    if (ey == 0xFF) return fy ? Div{nan, 4} : Div{sign, -1};
    if (!xz && yz) return {inf, 3};
    if (xz && !yz) return {sign, -1};
    if (xz && yz) return {nan, 4};
    std::uint64_t mx = fx, my = fy;
    if (ex == 0) { int k = 0; while (!(mx & (1u << 23))) { mx <<= 1; ++k; } ex = 1 - k; } else mx |= 1u << 23;
    if (ey == 0) { int k = 0; while (!(my & (1u << 23))) { my <<= 1; ++k; } ey = 1 - k; } else my |= 1u << 23;
    int E;
    if ((my & 0x7FFFFFu) == 0) {
        E = ex - ey + 127;
        if (E >= 255) return {inf, 2};
        if (E >= 1) return {sign | (static_cast<std::uint32_t>(E) << 23) | static_cast<std::uint32_t>(mx & 0x7FFFFF), -1};
        if (E <= -24) return {sign, -1};
        return {sign | static_cast<std::uint32_t>(denorm(mx, 1 - E, true)), -1};
    }
    std::uint64_t X = mx << 5, D = my << 5;
    if (mx >= my) E = ex - ey + 127; else { E = ex - ey + 126; X <<= 1; }
    if (E <= -24) return {sign, -1};
    if (E >= 255) return {inf, 2};
    std::uint64_t rem; bool up, tie;
    std::uint64_t q = restoring(X, D, 24, false, rem, up, tie);
    if (E >= 1) {
        if (up) { q += 1; if (tie) q &= ~1ull; }
        return {sign | (static_cast<std::uint32_t>(E) << 23) | static_cast<std::uint32_t>(q & 0x7FFFFF), -1};
    }
    return {sign | static_cast<std::uint32_t>(denorm(q, 1 - E, rem == 0)), -1};
}

// Bit-by-bit square root of a positive finite double, on 32-bit words.
inline double sqrt_bits(double x) {
    std::uint64_t b = dbits(x);
    std::int32_t hi = static_cast<std::int32_t>(b >> 32);
    std::uint32_t lo = static_cast<std::uint32_t>(b);
    std::int32_t m = hi >> 20;
    if (m == 0) {
        while (hi == 0) { m -= 21; hi = static_cast<std::int32_t>(lo >> 11); lo <<= 21; }
        int i = 0;
        while ((hi & 0x00100000) == 0) { hi <<= 1; ++i; }
        m -= i - 1;
        if (i) hi |= static_cast<std::int32_t>(lo >> (32 - i));
        lo <<= i;
    }
    m -= 1023;
    std::int32_t ix0 = (hi & 0x000FFFFF) | 0x00100000;
    std::uint32_t ix1 = lo;
    if (m & 1) { ix0 = ix0 * 2 + static_cast<std::int32_t>(ix1 >> 31); ix1 <<= 1; }
    m >>= 1;
    ix0 = ix0 * 2 + static_cast<std::int32_t>(ix1 >> 31); ix1 <<= 1;
    std::int32_t q = 0, s0 = 0;
    std::uint32_t q1 = 0, s1 = 0, r = 0x00200000;
    while (r) {
        std::int32_t t = s0 + static_cast<std::int32_t>(r);
        if (t <= ix0) { s0 = t + static_cast<std::int32_t>(r); ix0 -= t; q += static_cast<std::int32_t>(r); }
        ix0 = ix0 * 2 + static_cast<std::int32_t>(ix1 >> 31); ix1 <<= 1; r >>= 1;
    }
    r = 0x80000000u;
    while (r) {
        std::uint32_t t1 = s1 + r;
        std::int32_t t = s0;
        if (t < ix0 || (t == ix0 && t1 <= ix1)) {
            s1 = t1 + r;
            if ((t1 & 0x80000000u) && !(s1 & 0x80000000u)) s0 += 1;
            ix0 -= t;
            if (ix1 < t1) ix0 -= 1;
            ix1 -= t1;
            q1 += r;
        }
        ix0 = static_cast<std::int32_t>(static_cast<std::uint32_t>(ix0) * 2u + (ix1 >> 31)); ix1 <<= 1; r >>= 1;
    }
    if ((static_cast<std::uint32_t>(ix0) | ix1) != 0) {
        if (q1 == 0xFFFFFFFFu) { q1 = 0; q += 1; } else q1 += q1 & 1;
    }
    std::uint32_t rhi = static_cast<std::uint32_t>((q >> 1) + 0x3FE00000 + (m << 20));
    std::uint32_t rlo = (q1 >> 1) | ((q & 1) ? 0x80000000u : 0u);
    return dval((static_cast<std::uint64_t>(rhi) << 32) | rlo);
}

inline float sqrtf_bits(float x) {
    std::int32_t w = static_cast<std::int32_t>(fbits(x));
    std::int32_t m = w >> 23;
    if (w < 0x00800000) { int i = 0; while (!(w & 0x00800000)) { w <<= 1; ++i; } m = 1 - i; }
    m -= 127;
    std::int32_t v = (w & 0x007FFFFF) | 0x00800000;
    if (m & 1) v <<= 1;
    m >>= 1;
    v <<= 1;
    std::int32_t q = 0, s = 0, r = 0x01000000;
    while (r) {
        std::int32_t t = s + r;
        if (t <= v) { s = t + r; v -= t; q += r; }
        v <<= 1;
        r >>= 1;
    }
    if (v) q += q & 1;
    return fval(static_cast<std::uint32_t>((q >> 1) + 0x3F000000 + (m << 23)));
}

}  // namespace oracle
