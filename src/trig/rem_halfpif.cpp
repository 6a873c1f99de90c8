// SPDX-License-Identifier: MIT
// Single-precision reduction by pi/2: x = n*pi/2 + y[0] + y[1] in single arithmetic only.
// Up to 3pi/4 one subtraction of a two-piece pi/2; up to 201 (about 2^7*pi/2) n*pi/2 in up to
// four pieces; beyond, a multi-precision product with 8-bit chunks of 2/pi. Measured: the head
// is within 0.75 ulp of the exact remainder at the hardest argument of each binade, and no
// float needs more than 13 partial products (9 + 4 recomputed) of the 20 the arrays hold.
#include "trig/rem_halfpif.hpp"

#include <cassert>
#include <type_traits>
#include <cstring>

#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "exact/scale.hpp"
#include "frame/frame.hpp"
#include "host/bits.hpp"
#include "host/convert.hpp"
#include "trig/rem_halfpif_tables.hpp"

namespace kalm::lib {

namespace {

constexpr f32 INV_HALFPI_F = fconst(0x3F22F984);    // 2/pi (one unit above the nearest single)
constexpr f32 HALFPI1_F = fconst(0x3FC90F80);       // leading 17 bits of pi/2
constexpr f32 HALFPI1_TAIL_F = fconst(0x37354443);  // pi/2 - HALFPI1_F
constexpr f32 HALFPI2_F = fconst(0x37354400);       // next 14 bits
constexpr f32 HALFPI2_TAIL_F = fconst(0x2E85A308);  // pi/2 - HALFPI1_F - HALFPI2_F
constexpr f32 HALFPI3_F = fconst(0x2E85A300);       // next 16 bits
constexpr f32 HALFPI3_TAIL_F = fconst(0x248D3132);  // what remains after three pieces
constexpr f32 TWO8 = fconst(0x43800000);   // 256, cuts the argument into 8-bit pieces

// Multi-precision part.
constexpr int INIT_TERMS_F[3] = {4, 7, 9};  // chunks of 2/pi kept beyond the integer part, by precision
constexpr f32 HALFPI_PIECES_F[11] = {     // pi/2 in 8-bit slices
    fconst(0x3FC90000), fconst(0x39F00000), fconst(0x37DA0000), fconst(0x33A20000),
    fconst(0x2E840000), fconst(0x2B500000), fconst(0x27C20000), fconst(0x22D00000),
    fconst(0x1FC40000), fconst(0x1BC60000), fconst(0x17440000),
};
constexpr f32 TWOM8 = fconst(0x3B800000);  // 2^-8
constexpr f32 EIGHTH = fconst(0x3E000000);
constexpr f32 EIGHT = fconst(0x41000000);

// The pieces of pi/2 are integers: HALFPI_PIECES_F[k] = halfpi_piece_scaled(k) * 2^(-7-8k),
// each an 8-bit slice on the 8-bit grid below the binary point.
// (Worked out by the compiler, in double.)
constexpr double halfpi_piece_scaled(int k) {
    double v = static_cast<double>(static_cast<float>(HALFPI_PIECES_F[k])) * 128.0;
    for (int i = 0; i < k; ++i) v *= 256.0;
    return v;
}
constexpr bool halfpi_pieces_are_bytes() {
    for (int k = 0; k < 11; ++k) {
        const double v = halfpi_piece_scaled(k);
        if (v < 0.0 || v >= 256.0 || v != static_cast<double>(static_cast<int>(v))) return false;
    }
    return true;
}
static_assert(halfpi_pieces_are_bytes());
// Four singles side by side (one SSE or NEON register; elsewhere the compiler
// splits them), loaded from anywhere in an array.
// Their sums and products are exact: the host's arithmetic, in any build.
typedef float Lanes __attribute__((vector_size(16)));
inline Lanes lanes_at(const f32* p) {
    Lanes v;
    __builtin_memcpy(&v, static_cast<const void*>(p), sizeof v);  // inline even where the library is built with -fno-builtin
    return v;
}

constexpr int NW = REM_HALFPIF_WORK;
// Terms the products with pi/2 are formed for at once (the usual 10, up to 16).
constexpr int G_LANES = 16;

// The bytes of pi/2 up to piece K, as singles, with zeros on both sides: v[G_LANES + t] is
// piece t for 0 <= t <= K, 0 for every other t in [-G_LANES, G_LANES).
template <int K>
struct HalfpiSlide {
    f32 v[2 * G_LANES] = {};
    constexpr HalfpiSlide() {
        for (int t = 0; t <= K; ++t) v[G_LANES + t] = static_cast<float>(halfpi_piece_scaled(t));
    }
};
template <int K>
constexpr HalfpiSlide<K> HALFPI_BYTES_SLIDE{};

// TWO_OVER_PI_8 behind two zero chunks, so that the window of a small argument
// (which starts before the table) is read in place.
struct PaddedChunks {
    std::int32_t v[TWO_OVER_PI_8_SIZE + 2] = {};
    constexpr PaddedChunks() {
        for (int i = 0; i < TWO_OVER_PI_8_SIZE; ++i) v[i + 2] = TWO_OVER_PI_8[i];
    }
};
constexpr PaddedChunks TWO_OVER_PI_8_PADDED{};

// x * 2^n as scale_pow2f computes it, in place where x is normal and so is the
// product (the exponent field rewritten, nothing raised); otherwise the call.
inline f32 scaled(f32 x, int n) {
    const std::uint32_t w = bits(x);
    const std::uint32_t ix = w & 0x7FFFFFFFu;
    const int k = static_cast<int>(ix >> 23) + n;
    if (ix - 0x00800000u < 0x7F000000u && k > 0 && k < 255) [[likely]]
        return from_bits((w & 0x807FFFFFu) | (static_cast<std::uint32_t>(k) << 23));
    return scale_pow2f(x, n);
}

// K: the chunks of 2/pi kept beyond the integer part (INIT_TERMS_F[p]).
template <int K>
int multif_body(const f32* X, f32* y, int E, int m, int p, const std::int32_t* table) {
    // The partial products and their distillation into digits are exact in
    // single arithmetic (integers below 2^18), and every flag they raise is
    // cleared by the floorf call that ends each pass, so they are done on
    // integers: the same digits and leading part, without a chain of
    // conversions through the floating registers.
    std::int32_t Xi[3] = {0, 0, 0};  // the argument's pieces, zero beyond m
    std::int32_t Wp[NW + 2];         // chunks S - 2 ... of 2/pi (0 before the table), if not read in place
    std::int32_t P[NW];              // partial products
    f32 R[NW];                     // the digits as values
    f32 G[NW < G_LANES ? G_LANES : NW] = {};  // products with pi/2
    std::int32_t D[NW];              // 8-bit digits, D[0] least significant

    int S = (E - 3) / 8;
    if (S < 0) S = 0;
    int Q = E - 8 * (S + 1);  // binary exponent of the last digit position, at most 2
    // Largest term index the arrays allow: the window needs (m-1)+T, normalising may add a digit at T+1.
    const int max_T = (NW - 1 - (m - 1) < NW - 2) ? NW - 1 - (m - 1) : NW - 2;

    for (int j = 0; j < m; ++j) Xi[j] = static_cast<std::int32_t>(X[j]);  // integers below 2^8
    // w[i] = chunk S - 2 + i of 2/pi, 0 before the table's start.
    const std::int32_t* w = Wp;
    if (table == TWO_OVER_PI_8) {
        w = TWO_OVER_PI_8_PADDED.v + S;
    } else {
        for (int i = 0; i < max_T + 3; ++i) {
            const int idx = S - 2 + i;
            Wp[i] = idx < 0 || idx >= TWO_OVER_PI_8_SIZE ? 0 : table[idx];
        }
    }
    // Partial product i: the sum of X[j] * chunk S+i-j over the argument's pieces.
    auto partial = [&](int i) { return Xi[0] * w[i + 2] + Xi[1] * w[i + 1] + Xi[2] * w[i]; };
    for (int i = 0; i <= K; ++i) P[i] = partial(i);

    int T = K;
    int N = 0, H = 0;
    f32 z;
    for (;;) {
        // Distil the partial products into 8-bit digits; z keeps the leading
        // part (below 2^18 + 2^10, exact as a single).
        std::int32_t lead = P[T];
        for (int i = 0, j = T; j > 0; ++i, --j) {
            D[i] = lead & 0xFF;
            lead = P[j - 1] + (lead >> 8);
        }
        z = static_cast<f32>(lead);

        // Integer part modulo 8, and whether the fraction is at least one half.
        z = scaled(z, Q);
        const f32 fl = floorf_at_export(z * EIGHTH);
        z = z - EIGHT * fl;
        N = convert_to_int32(z);
        z = z - static_cast<f32>(N);
        H = 0;
        if (Q > 0) {
            const std::int32_t i = D[T - 1] >> (8 - Q);
            N += i;
            D[T - 1] -= i << (8 - Q);
            H = D[T - 1] >> (7 - Q);
        } else if (Q == 0) {
            H = D[T - 1] >> 7;
        } else if (z >= HALF_F) {
            H = 2;
        }

        // Fraction >= 1/2: take the next quadrant and reduce by 1 - fraction instead.
        if (H > 0) {
            N += 1;
            int carry = 0;
            for (int i = 0; i < T; ++i) {
                const std::int32_t j = D[i];
                if (carry == 0) {
                    if (j != 0) {
                        carry = 1;
                        D[i] = 0x100 - j;
                    }
                } else {
                    D[i] = 0xFF - j;
                }
            }
            if (Q == 1) {
                D[T - 1] &= 0x7F;
            } else if (Q == 2) {
                D[T - 1] &= 0x3F;
            }
            if (H == 2) {
                z = ONE_F - z;
                if (carry != 0) {
                    const f32 unit = scaled(ONE_F, Q);
                    z = z - unit;
                }
            }
        }

        // All leading digits cancelled: bring in as many more chunks of 2/pi as there
        // were leading zero digits (plus one), within the working arrays.
        if (z != ZERO_F) break;
        std::int32_t any = 0;
        for (int i = T - 1; i >= K; --i) any |= D[i];
        if (any != 0) break;
        int k = 1;
        while (K - k >= 0 && D[K - k] == 0) ++k;
        assert(T + k <= max_T && S + T + k < TWO_OVER_PI_8_SIZE);
        if (T + k > max_T) k = max_T - T;
        if (S + T + k >= TWO_OVER_PI_8_SIZE) k = TWO_OVER_PI_8_SIZE - 1 - S - T;
        if (k <= 0) break;  // no room for more terms: go on with the digits there are
        for (int i = T + 1; i <= T + k; ++i) P[i] = partial(i);
        T += k;
    }

    // Drop zero leading digits, or append the leading part as the last digit.
    if (z == ZERO_F) {
        T -= 1;
        Q -= 8;
        while (T > 0 && D[T] == 0) {
            T -= 1;
            Q -= 8;
        }
    } else {
        z = scaled(z, -Q);
        if (z >= TWO8) {
            const f32 f = static_cast<f32>(convert_to_int32(TWOM8 * z));
            D[T] = convert_to_int32(z - TWO8 * f);
            T += 1;
            Q += 8;
            D[T] = convert_to_int32(f);
        } else {
            D[T] = convert_to_int32(z);
        }
    }

    f32 fw;
    if (T < G_LANES && Q - 7 - 8 * T >= -126) [[likely]] {
        // Digit i as a value is D[i] * 2^(Q-8(T-i)) and piece k is halfpi_piece_scaled(k) * 2^(-7-8k),
        // so every product summed into G[j] is an integer below 2^16 times 2^(Q-7-8j), and G[j]
        // (at most 10 of them) an integer below 2^20 times it: a normal single, exact in any
        // order of summation. The same values from the integer sums (each exact as a single),
        // formed for all j at once, and one scaling each.
        Lanes g[G_LANES / 4] = {};
        // In groups of four: three hold G[0..T] for the usual T (9 to 11), four any T.
        auto convolve = [&](auto groups) {
            for (int i = 0; i <= T; ++i) {
                const Lanes d = Lanes{} + static_cast<float>(D[T - i]);
                const f32* b = HALFPI_BYTES_SLIDE<K>.v + G_LANES - i;
                for (int v = 0; v < groups.value; ++v) g[v] = g[v] + d * lanes_at(b + 4 * v);
            }
        };
        const int nv = T < 12 ? 3 : 4;
        if (nv == 3) convolve(std::integral_constant<int, 3>{});
        else convolve(std::integral_constant<int, 4>{});
        // G[j] = g[j] * 2^(Q-7-8j); the lanes past T are multiplied by zero (exact, as their
        // sums are), so that no lane forms a value the reduction does not.
        typedef std::int32_t Ints __attribute__((vector_size(16)));
        const Ints lane = {0, 1, 2, 3};
        for (int v = 0; v < nv; ++v) {
            const Ints j = lane + 4 * v;
            const Ints e = (Ints{} + (127 + Q - 7)) - 8 * j;
            const Ints scale_bits = (e << 23) & (j <= T);
            Lanes scale;
            __builtin_memcpy(&scale, &scale_bits, sizeof scale);
            const Lanes gv = g[v] * scale;
            __builtin_memcpy(static_cast<void*>(G + 4 * v), &gv, sizeof gv);
        }
    } else {
        // Digits to values, most significant at R[T].
        fw = scale_pow2f(ONE_F, Q);
        for (int i = T; i >= 0; --i) {
            R[i] = fw * static_cast<f32>(D[i]);
            fw = fw * TWOM8;
        }

        // Times pi/2, G[0] most significant.
        for (int i = T; i >= 0; --i) {
            fw = ZERO_F;
            for (int k = 0; k <= K && k <= T - i; ++k) fw = fw + HALFPI_PIECES_F[k] * R[i + k];
            G[T - i] = fw;
        }
    }

    // Compress into the head (and tail).
    fw = ZERO_F;
    for (int i = T; i >= 0; --i) fw = fw + G[i];
    y[0] = (H == 0) ? fw : -fw;
    if (p >= 1) {
        fw = G[0] - fw;
        for (int i = 1; i <= T; ++i) fw = fw + G[i];
        y[1] = (H == 0) ? fw : -fw;
    }
    return N & 7;
}

}  // namespace

int rem_halfpi_multif(const f32* X, f32* y, int E, int m, int p, const std::int32_t* table) {
    assert(p >= 0 && p <= 2 && m >= 1 && m <= 3);
    switch (m < 1 || m > 3 ? -1 : p) {
        case 0: return multif_body<INIT_TERMS_F[0]>(X, y, E, m, p, table);
        case 1: return multif_body<INIT_TERMS_F[1]>(X, y, E, m, p, table);
        case 2: return multif_body<INIT_TERMS_F[2]>(X, y, E, m, p, table);
        default: return 0;
    }
}

int rem_halfpif(f32 x, f32* y) {
    const std::int32_t hx = as_signed(bits(x));
    const std::uint32_t ix = bits(x) & 0x7FFFFFFFu;

    if (ix <= 0x3F490FD8u) {  // |x| <= 0.785398006439209: already reduced
        y[0] = x;
        y[1] = ZERO_F;
        return 0;
    }

    if (ix <= 0x4016CBE3u) {  // |x| < 3pi/4: n = +-1
        // Near pi/2 the first subtraction cancels most bits: use one more piece.
        const bool near_halfpi = (ix & 0xFFFFFFF0u) == 0x3FC90FD0u;
        if (hx > 0) {
            f32 z = x - HALFPI1_F;
            if (!near_halfpi) {
                y[0] = z - HALFPI1_TAIL_F;
                y[1] = (z - y[0]) - HALFPI1_TAIL_F;
            } else {
                z = z - HALFPI2_F;
                y[0] = z - HALFPI2_TAIL_F;
                y[1] = (z - y[0]) - HALFPI2_TAIL_F;
            }
            return 1;
        }
        f32 z = x + HALFPI1_F;
        if (!near_halfpi) {
            y[0] = z + HALFPI1_TAIL_F;
            y[1] = (z - y[0]) + HALFPI1_TAIL_F;
        } else {
            z = z + HALFPI2_F;
            y[0] = z + HALFPI2_TAIL_F;
            y[1] = (z - y[0]) + HALFPI2_TAIL_F;
        }
        return -1;
    }

    if (ix <= 0x43490F80u) {  // |x| <= 201.060546875: medium
        const f32 t = fabsf_at_export(x);
        std::int32_t n;
        const f32 fn = convert_to_int32_and_back(t * INV_HALFPI_F + HALF_F, n);
        f32 r = t - fn * HALFPI1_F;
        f32 w = fn * HALFPI1_TAIL_F;  // n*HALFPI1_F is exact (n < 2^7, 17-bit piece)
        y[0] = r - w;
        if (!(n <= 31 && (ix & 0xFFFFFF00u) != HALFPI_HW_F[n - 1])) {
            // x may be close to n*pi/2: count the leading bits the subtraction lost.
            const int j = static_cast<int>(ix >> 23);
            int i = j - static_cast<int>((bits(y[0]) >> 23) & 0xFFu);
            if (i > 8) {  // second piece of pi/2
                f32 t2 = r;
                w = fn * HALFPI2_F;
                r = t2 - w;
                w = fn * HALFPI2_TAIL_F - ((t2 - r) - w);
                y[0] = r - w;
                i = j - static_cast<int>((bits(y[0]) >> 23) & 0xFFu);
                if (i > 25) {  // third piece
                    t2 = r;
                    w = fn * HALFPI3_F;
                    r = t2 - w;
                    w = fn * HALFPI3_TAIL_F - ((t2 - r) - w);
                    y[0] = r - w;
                }
            }
        }
        y[1] = (r - y[0]) - w;
        if (hx < 0) {
            y[0] = -y[0];
            y[1] = -y[1];
            return -n;
        }
        return n;
    }

    if (ix > 0x7F7FFFFFu) {  // +-inf, NaN
        y[0] = y[1] = sub_x86(x, x);
        return 0;
    }

    // Large: |x| = (X[0] + X[1]*2^-8 + X[2]*2^-16) * 2^E with 2^7 <= X[0] < 2^8.
    const int E = static_cast<int>(ix >> 23) - 134;
    f32 z = from_bits(ix - (static_cast<std::uint32_t>(E) << 23));
    f32 X[3];
    for (int i = 0; i < 2; ++i) {
        X[i] = static_cast<f32>(convert_to_int32(z));
        z = (z - X[i]) * TWO8;
    }
    X[2] = z;
    int m = 3;
    while (X[m - 1] == ZERO_F) --m;
    const int n = rem_halfpi_multif(X, y, E, m, 2, TWO_OVER_PI_8);
    if (hx < 0) {
        y[0] = -y[0];
        y[1] = -y[1];
        return -n;
    }
    return n;
}

}  // namespace kalm::lib
