// SPDX-License-Identifier: MIT
// Reduction by pi/2. Below 3pi/4 one subtraction of a two-piece pi/2; medium
// arguments (|x| < 2^20*pi/2) use two to four pieces, the extra ones only where
// cancellation lost leading bits; larger ones a multi-precision product with
// 24-bit chunks of 2/pi. Head plus tail hold the remainder to about 2^-70 relative.
#include "trig/rem_halfpi.hpp"

#include <algorithm>
#include <cassert>
#include <type_traits>

#include "abi/exports.hpp"
#include "exact/constants.hpp"
#include "exact/scale.hpp"
#include "frame/frame.hpp"
#include "frame/guest.hpp"
#include "host/convert.hpp"
#include "trig/rem_halfpi_tables.hpp"

namespace kalm::lib {
namespace {

constexpr f64 INV_HALFPI = dconst(0x3FE45F306DC9C883);    // 2/pi to 53 bits
constexpr f64 HALFPI1 = dconst(0x3FF921FB54400000);       // 31 bits: n*HALFPI1 exact
constexpr f64 HALFPI1_TAIL = dconst(0x3DD0B4611A626331);  // pi/2 - HALFPI1
constexpr f64 HALFPI2 = dconst(0x3DD0B4611A600000);
constexpr f64 HALFPI2_TAIL = dconst(0x3BA3198A2E037073);
constexpr f64 HALFPI3 = dconst(0x3BA3198A2E000000);
constexpr f64 HALFPI3_TAIL = dconst(0x397B839A252049C1);
constexpr f64 EIGHTH = dconst(0x3FC0000000000000);
constexpr f64 EIGHT = dconst(0x4020000000000000);
constexpr f64 TWO24 = dconst(0x4170000000000000);
constexpr f64 TWOM24 = dconst(0x3E70000000000000);

// Successive 24-bit truncations of pi/2.
constexpr f64 HALFPI_PIECES[8] = {
    dconst(0x3FF921FB40000000), dconst(0x3E74442D00000000), dconst(0x3CF8469880000000),
    dconst(0x3B78CC5160000000), dconst(0x39F01B8380000000), dconst(0x387A252040000000),
    dconst(0x36E3822280000000), dconst(0x3569F31D00000000),
};
// Terms of 2/pi beyond the argument's own width, by precision selector.
constexpr int INIT_TERMS[4] = {2, 3, 4, 6};

constexpr int WORK = 20;        // entries of each working array
constexpr int TABLE_LEN = 66;   // chunks in TWO_OVER_PI_24

// Leading bits cancelled by the subtraction that produced y0 from an argument
// whose high word is ix.
inline int lost_bits(std::uint32_t ix, f64 y0) {
    return static_cast<int>(ix >> 20) - static_cast<int>((hi_word(y0) >> 20) & 0x7FF);
}

inline f64 trunc_to_double(f64 v) { return static_cast<f64>(convert_to_int32(v)); }

// The pieces of pi/2 are integers on the 24-bit grid: HALFPI_PIECES[k] =
// halfpi_piece_scaled(k) * 2^(-23-24k), each below 2^24.
// (Worked out by the compiler, in double.)
constexpr double halfpi_piece_scaled(int k) {
    double v = static_cast<double>(HALFPI_PIECES[k]) * 8388608.0;  // 2^23
    for (int i = 0; i < k; ++i) v *= 16777216.0;
    return v;
}
constexpr bool halfpi_pieces_on_grid() {
    for (int k = 0; k < 8; ++k) {
        const double v = halfpi_piece_scaled(k);
        if (v < 0.0 || v >= 16777216.0 || v != static_cast<double>(static_cast<std::int64_t>(v))) return false;
    }
    return true;
}
static_assert(halfpi_pieces_on_grid());
constexpr std::int64_t HALFPI_INT[8] = {
    static_cast<std::int64_t>(halfpi_piece_scaled(0)), static_cast<std::int64_t>(halfpi_piece_scaled(1)),
    static_cast<std::int64_t>(halfpi_piece_scaled(2)), static_cast<std::int64_t>(halfpi_piece_scaled(3)),
    static_cast<std::int64_t>(halfpi_piece_scaled(4)), static_cast<std::int64_t>(halfpi_piece_scaled(5)),
    static_cast<std::int64_t>(halfpi_piece_scaled(6)), static_cast<std::int64_t>(halfpi_piece_scaled(7)),
};

// TWO_OVER_PI_24 behind two zero chunks, so that the window of an argument
// whose window starts before the table is read in place.
struct PaddedChunks {
    std::int64_t v[TABLE_LEN + 2] = {};
    constexpr PaddedChunks() {
        for (int i = 0; i < TABLE_LEN; ++i) v[i + 2] = TWO_OVER_PI_24[i];
    }
};
constexpr PaddedChunks TWO_OVER_PI_24_PADDED{};

// 2^e for a normal exponent e.
inline f64 pow2(int e) { return from_bits(static_cast<std::uint64_t>(1023 + e) << 52); }

// scale_pow2(x, n) where x and the product are normal, in place: the same
// framed routine (its entry clears the flags; its exponent rewrite raises
// nothing, so its exit check finds nothing to report) without the call.
// Anything else goes to the routine.
inline f64 scale_pow2_here(f64 x, int n) {
    const std::uint64_t w = bits(x);
    const std::uint32_t hx = static_cast<std::uint32_t>(w >> 32);
    const int k = static_cast<int>((hx >> 20) & 0x7FF) + n;
    if (((hx >> 20) & 0x7FF) - 1u < 0x7FEu && k > 0 && k < 0x7FF) [[likely]] {
        note_internal_call(INTERNAL_SCALE_POW2);
        fp_clear_flags();
        return from_bits((w & 0x800FFFFFFFFFFFFFull) | (static_cast<std::uint64_t>(k) << 52));
    }
    return scale_pow2(x, n);
}

}  // namespace

int rem_halfpi_multi(const f64* X, f64* y, int E, int m, int P, const std::int32_t* table) {
    // The partial products and their distillation into digits are exact in
    // double arithmetic (integers below 2^50), and every flag they raise is
    // cleared by the framed scale_pow2 call that follows each pass, so they
    // are done on integers: the same digits and leading part, without a chain
    // of conversions through the floating registers.
    std::int64_t Xi[3] = {}, Wp[WORK + 2], PP[WORK];
    f64 R[WORK] = {}, G[WORK] = {};
    std::int32_t D[WORK];
    assert(m >= 1 && m <= 3 && P >= 0 && P <= 3);

    const int K = INIT_TERMS[P];
    int S = (E - 3) / 24;
    if (S < 0) S = 0;
    const int Q = E - 24 * (S + 1);  // exponent of the last digit position, <= 2
    const int last = m - 1;

    // The chunks of 2/pi that meet X: chunk S is the one whose product with
    // X[0] straddles the binary point. w[i] is chunk S - 2 + i (0 before the
    // table), read in place from the padded table.
    for (int j = 0; j <= last; ++j) Xi[j] = static_cast<std::int64_t>(X[j]);  // integers below 2^24, 0 beyond m
    const std::int64_t* w = Wp;
    if (table == TWO_OVER_PI_24) {
        w = TWO_OVER_PI_24_PADDED.v + S;
    } else {
        for (int i = 0; i < WORK + 2; ++i) {
            const int idx = S - 2 + i;
            Wp[i] = idx < 0 || idx >= TABLE_LEN ? 0 : table[idx];
        }
    }
    // Partial product i: the sum of X[j] * chunk S+i-j over the pieces.
    auto partial = [&](int i) { return Xi[0] * w[i + 2] + Xi[1] * w[i + 1] + Xi[2] * w[i]; };
    for (int i = 0; i <= K; ++i) PP[i] = partial(i);

    int T = K;
    int N = 0;
    int H = 0;
    f64 z = ZERO;
    for (;;) {
        // Distil the partial products into 24-bit digits, D[0] least
        // significant; z keeps the leading part (below 2^51, exact).
        std::int64_t lead = PP[T];
        for (int i = 0, j = T; j > 0; ++i, --j) {
            D[i] = static_cast<std::int32_t>(lead & 0xFFFFFF);
            lead = PP[j - 1] + (lead >> 24);
        }
        z = static_cast<f64>(lead);

        // Integer part modulo 8.
        z = scale_pow2_here(z, Q);
        const f64 eighth = z * EIGHTH;
        const f64 fl = floor_at_export(eighth);
        z = z - EIGHT * fl;
        N = convert_to_int32(z);
        z = z - static_cast<f64>(N);
        H = 0;
        if (Q > 0) {
            const std::int32_t i = D[T - 1] >> (24 - Q);
            N = N + i;
            D[T - 1] = D[T - 1] - (i << (24 - Q));
            H = D[T - 1] >> (23 - Q);
        } else if (Q == 0) {
            H = D[T - 1] >> 23;
        } else if (z >= HALF) {
            H = 2;
        }

        // A fraction of one half or more is replaced by its complement, so the
        // remainder is taken from the nearer multiple.
        int carry = 0;
        if (H > 0) {
            N = N + 1;
            for (int i = 0; i < T; ++i) {
                if (carry == 0) {
                    if (D[i] != 0) {
                        carry = 1;
                        D[i] = 0x1000000 - D[i];
                    }
                } else {
                    D[i] = 0xFFFFFF - D[i];
                }
            }
            if (Q == 1) D[T - 1] = D[T - 1] & 0x7FFFFF;
            if (Q == 2) D[T - 1] = D[T - 1] & 0x3FFFFF;
            if (H == 2) {
                z = ONE - z;
                if (carry != 0) {
                    const f64 unit = scale_pow2_here(ONE, Q);
                    z = z - unit;
                }
            }
        }

        // Leading digits cancelled: bring in more chunks of 2/pi and redo.
        if (z != ZERO) break;
        std::int32_t any = 0;
        for (int i = T - 1; i >= K; --i) any |= D[i];
        if (any != 0) break;
        int k = 1;
        while (k < K && D[K - k] == 0) k = k + 1;
        // Cancellation is bounded (x*2/pi stays at least ~2^-62 from an
        // integer), so the arrays are never near full; the bound is kept anyway.
        const int room = std::min({WORK - 1 - last, WORK - 2, TABLE_LEN - 1 - S}) - T;
        assert(k <= room);
        if (k > room) k = room;
        if (k <= 0) break;
        for (int i = T + 1; i <= T + k; ++i) PP[i] = partial(i);
        T = T + k;
    }

    // Drop zero leading digits, or turn the leading fraction into the top digit.
    int q = Q;
    if (z == ZERO) {
        T = T - 1;
        q = q - 24;
        while (T > 0 && D[T] == 0) {
            T = T - 1;
            q = q - 24;
        }
    } else {
        z = scale_pow2_here(z, -q);
        if (z >= TWO24) {
            const f64 f = trunc_to_double(TWOM24 * z);
            D[T] = convert_to_int32(z - TWO24 * f);
            T = T + 1;
            q = q + 24;
            D[T] = convert_to_int32(f);
        } else {
            D[T] = convert_to_int32(z);
        }
    }
    assert(T >= 0 && T < WORK);

    // Digits back to doubles, most significant D[T] scaled by 2^q.
    f64 fw = scale_pow2_here(ONE, q);
    if (q - 23 - 24 * T >= -1022) [[likely]] {
        // Digit i as a value is D[i] * 2^(q-24(T-i)) and piece k is HALFPI_INT[k] * 2^(-23-24k):
        // every product summed into G[j] is an integer below 2^48 times 2^(q-23-24j), and G[j]
        // (at most 7 of them) an integer below 2^51 times it: a normal double, exact in any
        // order of summation. The same values from the integer sums, one conversion and one
        // scaling each.
        // Dz[T - j + k] is the digit piece k meets in G[j], zero past the top digit.
        std::int64_t Dz[WORK + 8];
        for (int i = 0; i <= T; ++i) Dz[i] = D[i];
        for (int i = 1; i <= 8; ++i) Dz[T + i] = 0;
        auto products = [&](auto terms) {  // terms: K, as a constant for the usual K
            for (int j = 0; j <= T; ++j) {
                std::int64_t g = 0;
                for (int k = 0; k <= terms(); ++k) g += HALFPI_INT[k] * Dz[T - j + k];
                G[j] = static_cast<f64>(g) * pow2(q - 23 - 24 * j);
            }
        };
        if (K == INIT_TERMS[2]) products(std::integral_constant<int, INIT_TERMS[2]>{});
        else products([K] { return K; });
    } else {
        for (int i = T; i >= 0; --i) {
            R[i] = fw * static_cast<f64>(D[i]);
            fw = fw * TWOM24;
        }

        // Times pi/2, piece by piece.
        for (int i = T; i >= 0; --i) {
            f64 f = ZERO;
            for (int k = 0; k <= K && k <= T - i; ++k) f = f + HALFPI_PIECES[k] * R[i + k];
            G[T - i] = f;
        }
    }

    switch (P) {
        case 0: {
            f64 s = ZERO;
            for (int i = T; i >= 0; --i) s = s + G[i];
            y[0] = H == 0 ? s : -s;
            break;
        }
        case 1:
        case 2: {
            f64 s = ZERO;
            for (int i = T; i >= 0; --i) s = s + G[i];
            y[0] = H == 0 ? s : -s;
            s = G[0] - s;
            for (int i = 1; i <= T; ++i) s = s + G[i];
            y[1] = H == 0 ? s : -s;
            break;
        }
        case 3: {
            for (int i = T; i > 0; --i) {
                const f64 f = G[i - 1] + G[i];
                G[i] = G[i] + (G[i - 1] - f);
                G[i - 1] = f;
            }
            for (int i = T; i > 1; --i) {
                const f64 f = G[i - 1] + G[i];
                G[i] = G[i] + (G[i - 1] - f);
                G[i - 1] = f;
            }
            f64 s = ZERO;
            for (int i = T; i >= 2; --i) s = s + G[i];
            if (H == 0) {
                y[0] = G[0];
                y[1] = G[1];
                y[2] = s;
            } else {
                y[0] = -G[0];
                y[1] = -G[1];
                y[2] = -s;
            }
            break;
        }
        default:
            break;
    }
    return N & 7;
}

int rem_halfpi(f64 x, f64 y[2]) {
    const std::uint32_t hx = hi_word(x);
    const std::uint32_t ix = hx & 0x7FFFFFFF;

    if (ix <= 0x3FE921FB) {  // |x| <= ~pi/4: nothing to reduce
        y[0] = x;
        y[1] = ZERO;
        return 0;
    }

    if (ix <= 0x4002D97B) {  // |x| < 3pi/4: n = +-1
        if (as_signed(hx) > 0) {
            f64 z = x - HALFPI1;
            if (ix != 0x3FF921FB) {
                y[0] = z - HALFPI1_TAIL;
                y[1] = (z - y[0]) - HALFPI1_TAIL;
            } else {  // near pi/2: 33 more bits of pi/2 before the tail
                z = z - HALFPI2;
                y[0] = z - HALFPI2_TAIL;
                y[1] = (z - y[0]) - HALFPI2_TAIL;
            }
            return 1;
        }
        f64 z = x + HALFPI1;
        if (ix != 0x3FF921FB) {
            y[0] = z + HALFPI1_TAIL;
            y[1] = (z - y[0]) + HALFPI1_TAIL;
        } else {
            z = z + HALFPI2;
            y[0] = z + HALFPI2_TAIL;
            y[1] = (z - y[0]) + HALFPI2_TAIL;
        }
        return -1;
    }

    if (ix <= 0x413921FB) {  // |x| < 1647100: medium
        const f64 t = from_words(ix, lo_word(x));
        std::int32_t n;
        const f64 fn = convert_to_int32_and_back(t * INV_HALFPI + HALF, n);
        f64 r = t - fn * HALFPI1;
        f64 w = fn * HALFPI1_TAIL;
        if (n >= 1 && n <= 31 && ix != HALFPI_HW[n - 1]) {
            y[0] = r - w;  // far from a multiple: no cancellation
        } else {
            y[0] = r - w;
            if (lost_bits(ix, y[0]) > 16) {
                f64 tt = r;
                w = fn * HALFPI2;
                r = tt - w;
                w = fn * HALFPI2_TAIL - ((tt - r) - w);
                y[0] = r - w;
                if (lost_bits(ix, y[0]) > 49) {
                    tt = r;
                    w = fn * HALFPI3;
                    r = tt - w;
                    w = fn * HALFPI3_TAIL - ((tt - r) - w);
                    y[0] = r - w;
                }
            }
        }
        y[1] = (r - y[0]) - w;
        if (as_signed(hx) < 0) {
            y[0] = -y[0];
            y[1] = -y[1];
            return -n;
        }
        return n;
    }

    if (ix > 0x7FEFFFFF) {  // +-inf or NaN
        y[0] = y[1] = sub_x86(x, x);
        return 0;
    }

    // Large: cut |x|*2^-E (in [2^23, 2^24)) into three 24-bit pieces.
    const int E = static_cast<int>(ix >> 20) - 1046;
    f64 z = from_words(ix - (as_unsigned(E) << 20), lo_word(x));
    f64 X[3];
    for (int i = 0; i < 2; ++i) {
        X[i] = trunc_to_double(z);
        z = (z - X[i]) * TWO24;
    }
    X[2] = z;
    int m = 3;
    while (X[m - 1] == ZERO) m = m - 1;
    int n;
    {
        [[maybe_unused]] const RecordedStretch recorded;  // its scale_pow2 and floor calls each clear the flags
        n = rem_halfpi_multi(X, y, E, m, 2, TWO_OVER_PI_24);
    }
    if (as_signed(hx) < 0) {
        y[0] = -y[0];
        y[1] = -y[1];
        return -n;
    }
    return n;
}

}  // namespace kalm::lib
