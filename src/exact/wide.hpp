// SPDX-License-Identifier: MIT
// 128-bit unsigned helpers for the integer division and square root: native
// on 64-bit hosts, a two-word fallback where the compiler has no __int128
// (32-bit ARM).
#pragma once

#include <cstdint>

namespace kalm::lib {

#if defined(__SIZEOF_INT128__)
struct U128 {
    unsigned __int128 v;
};
inline U128 mul64(std::uint64_t a, std::uint64_t b) { return {static_cast<unsigned __int128>(a) * b}; }
inline U128 shl64(std::uint64_t a, int s) { return {static_cast<unsigned __int128>(a) << s}; }
inline bool operator<(U128 a, U128 b) { return a.v < b.v; }
inline bool operator==(U128 a, U128 b) { return a.v == b.v; }
#else
struct U128 {
    std::uint64_t hi, lo;
};
inline U128 mul64(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const std::uint64_t mid = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    return {p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32), (mid << 32) | (p00 & 0xFFFFFFFFu)};
}
inline U128 shl64(std::uint64_t a, int s) {  // 0 < s < 64
    return {a >> (64 - s), a << s};
}
inline bool operator<(U128 a, U128 b) { return a.hi < b.hi || (a.hi == b.hi && a.lo < b.lo); }
inline bool operator==(U128 a, U128 b) { return a.hi == b.hi && a.lo == b.lo; }
#endif

// (hi:lo) / d for hi < d; the remainder in `rem`.
inline std::uint64_t div128(std::uint64_t hi, std::uint64_t lo, std::uint64_t d, std::uint64_t& rem) {
#if defined(__x86_64__)
    std::uint64_t q, r;
    asm("divq %4" : "=a"(q), "=d"(r) : "a"(lo), "d"(hi), "rm"(d) : "cc");
    rem = r;
    return q;
#elif defined(__SIZEOF_INT128__)
    const unsigned __int128 n = (static_cast<unsigned __int128>(hi) << 64) | lo;
    rem = static_cast<std::uint64_t>(n % d);
    return static_cast<std::uint64_t>(n / d);
#else
    // Restoring division, one quotient bit per step (d < 2^63 here).
    std::uint64_t q = 0, r = hi;
    for (int i = 63; i >= 0; --i) {
        r = (r << 1) | ((lo >> i) & 1u);
        q <<= 1;
        if (r >= d) {
            r -= d;
            q |= 1;
        }
    }
    rem = r;
    return q;
#endif
}

}  // namespace kalm::lib
