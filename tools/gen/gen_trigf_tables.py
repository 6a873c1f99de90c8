#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Generate the tables of the single-precision reduction by pi/2.

Writes src/trig/rem_halfpif_tables.hpp:
  TWO_OVER_PI_8  198 successive bytes of the binary expansion of 2/pi
  HALFPI_HW_F    bit patterns of n*pi/2 (n = 1..32) rounded to single, low 8 bits cleared

pi is computed with integers only (Machin's formula) together with a rigorous
error bound, and every table entry is derived from both ends of that bound: an
entry that the two ends disagree on stops the script.  The script also checks
the entries and the reduction constants that the library writes out by hand.

    python3 tools/gen/gen_trigf_tables.py           rewrite the file
    python3 tools/gen/gen_trigf_tables.py --check   compare it with what this generates
"""
import sys
from fractions import Fraction

import genfile

OUT = "src/trig/rem_halfpif_tables.hpp"

PREC = 2200  # bits of pi; 2/pi needs 1584 bits after the point


def arctan_inv(n, prec):
    """floor-ish arctan(1/n) * 2^prec with an error of at most (terms + 1) units."""
    one = 1 << prec
    total = 0
    power = one // n  # truncated: error < 1 unit per term
    n2 = n * n
    k = 0
    terms = 0
    while power:
        term = power // (2 * k + 1)
        total += -term if k & 1 else term
        power //= n2
        k += 1
        terms += 1
    return total, terms + 2


def pi_bounds():
    """Integers lo, hi with lo <= pi * 2^PREC <= hi."""
    a, ea = arctan_inv(5, PREC + 16)
    b, eb = arctan_inv(239, PREC + 16)
    approx = 16 * a - 4 * b
    err = 16 * ea + 4 * eb
    lo = (approx - err) >> 16
    hi = ((approx + err) >> 16) + 1
    return lo, hi


PI_LO, PI_HI = pi_bounds()
PI_LO_F = Fraction(PI_LO, 1 << PREC)
PI_HI_F = Fraction(PI_HI, 1 << PREC)


def same(f):
    """f evaluated at both ends of the pi interval must agree."""
    a, b = f(PI_LO_F), f(PI_HI_F)
    if a != b:
        sys.exit("pi is not precise enough for this entry")
    return a


def two_over_pi_bytes(count):
    def chunks(pi):
        v = (Fraction(2) / pi) * (1 << (8 * count))
        whole = v.numerator // v.denominator
        return [(whole >> (8 * (count - 1 - k))) & 0xFF for k in range(count)]
    return same(chunks)


def round_to_single_bits(v):
    """IEEE single bit pattern of the positive normal value v, round to nearest even."""
    e = 0
    while v >= 2:
        v /= 2
        e += 1
    while v < 1:
        v *= 2
        e -= 1
    m = v * (1 << 23)
    q, r = divmod(m.numerator, m.denominator)
    if 2 * r > m.denominator or (2 * r == m.denominator and q & 1):
        q += 1
    if q == 1 << 24:
        q >>= 1
        e += 1
    return ((e + 127) << 23) | (q - (1 << 23))


def single_value(b):
    e = (b >> 23) - 127
    m = (b & 0x7FFFFF) | 0x800000
    return Fraction(m) * Fraction(2) ** (e - 23)


def halfpi_hw(count):
    return same(lambda pi: [round_to_single_bits(n * pi / 2) & 0xFFFFFF00 for n in range(1, count + 1)])


def halfpi_pieces(count, bits):
    """pi/2 cut at fixed bit positions: piece k holds the bits of weight 2^-(8k) ... 2^-(8k+7)."""
    def pieces(pi):
        out = []
        for k in range(count):
            scale = 1 << (bits - 1 + bits * k)
            v = pi / 2 * scale
            chunk = (v.numerator // v.denominator) % (1 << bits)
            out.append(round_to_single_bits(Fraction(chunk, scale)))
        return out
    return same(pieces)


def check(name, got, want):
    if got != want:
        sys.exit(f"{name}: derived {[hex(g) for g in got]} differs from the listed {[hex(w) for w in want]}")


def main():
    tbl = two_over_pi_bytes(198)
    hw = halfpi_hw(32)

    # The entries the library's documentation lists, and the hand-written constants.
    check("TWO_OVER_PI_8 head", tbl[:8], [0xA2, 0xF9, 0x83, 0x6E, 0x4E, 0x44, 0x15, 0x29])
    check("TWO_OVER_PI_8 tail", tbl[-8:], [0xA8, 0xC9, 0x60, 0xE2, 0x7B, 0xC0, 0x8C, 0x6B])
    check("HALFPI_HW_F head", hw[:5], [0x3FC90F00, 0x40490F00, 0x4096CB00, 0x40C90F00, 0x40FB5300])
    check("HALFPI_HW_F tail", hw[-3:], [0x423C7E00, 0x4242C700, 0x42490F00])
    check("HALFPI_PIECES_F", halfpi_pieces(11, 8),
          [0x3FC90000, 0x39F00000, 0x37DA0000, 0x33A20000, 0x2E840000, 0x2B500000,
           0x27C20000, 0x22D00000, 0x1FC40000, 0x1BC60000, 0x17440000])
    # The 24-bit table of the double reduction is the same expansion in wider chunks.
    words = [(tbl[3 * k] << 16) | (tbl[3 * k + 1] << 8) | tbl[3 * k + 2] for k in range(66)]
    check("2/pi in 24-bit chunks, head", words[:8],
          [0xA2F983, 0x6E4E44, 0x1529FC, 0x2757D1, 0xF534DD, 0xC0DB62, 0x95993C, 0x439041])
    check("2/pi in 24-bit chunks, tail", words[-7:],
          [0xFFD880, 0x4D7327, 0x310606, 0x1556CA, 0x73A8C9, 0x60E27B, 0xC08C6B])
    # The library's 2/pi (0x3F22F984) is one unit above the nearest single; it only
    # picks the quotient, which the medium reduction then corrects by the exact remainder.
    check("INV_HALFPI_F - 1 unit", same(lambda pi: [round_to_single_bits(2 / pi)]), [0x3F22F984 - 1])
    # pi/2 split into pieces: each tail is the remainder after the pieces before it,
    # as the nearest single or (HALFPI2_TAIL_F) the one just below it.
    h1, h2, h3 = single_value(0x3FC90F80), single_value(0x37354400), single_value(0x2E85A300)
    for name, rest, listed in (("HALFPI1_TAIL_F", lambda pi: pi / 2 - h1, 0x37354443),
                               ("HALFPI2_TAIL_F", lambda pi: pi / 2 - h1 - h2, 0x2E85A308),
                               ("HALFPI3_TAIL_F", lambda pi: pi / 2 - h1 - h2 - h3, 0x248D3132)):
        near = same(lambda pi: round_to_single_bits(rest(pi)))
        below = same(lambda pi: single_value(near) > rest(pi))
        if listed not in (near, near - 1 if below else near):
            sys.exit(f"{name}: listed 0x{listed:08X}, nearest 0x{near:08X}")

    lines = [
        genfile.header(__file__),
        "// Tables of the single-precision reduction by pi/2.",
        "#pragma once",
        "",
        "#include <cstdint>",
        "",
        '#include "trig/rem_halfpif.hpp"',
        "",
        "namespace kalm::lib {",
        "",
        "// Entry k = floor((2/pi) * 2^(8(k+1))) mod 256: the bytes of 2/pi, 1584 bits.",
        "inline constexpr std::int32_t TWO_OVER_PI_8[TWO_OVER_PI_8_SIZE] = {",
    ]
    for i in range(0, len(tbl), 12):
        lines.append("    " + " ".join(f"0x{b:02X}," for b in tbl[i:i + 12]))
    lines += [
        "};",
        "",
        "// Entry n-1 = bits of n*pi/2 rounded to single, low 8 bits cleared (n = 1..32).",
        "inline constexpr std::uint32_t HALFPI_HW_F[32] = {",
    ]
    for i in range(0, len(hw), 6):
        lines.append("    " + " ".join(f"0x{w:08X}," for w in hw[i:i + 6]))
    lines += ["};", "", "}  // namespace kalm::lib", ""]
    return genfile.write_or_check(OUT, "\n".join(lines), sys.argv)


if __name__ == "__main__":
    sys.exit(main())
