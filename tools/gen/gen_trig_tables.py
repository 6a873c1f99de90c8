#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Generates src/trig/rem_halfpi_tables.hpp: the 24-bit chunks of 2/pi and the
high words of n*pi/2 used by the double reduction by pi/2.

Pure integer arithmetic (Machin's formula for pi), so the output does not
depend on any floating-point library. The output is committed.
    python3 tools/gen/gen_trig_tables.py           rewrite the file
    python3 tools/gen/gen_trig_tables.py --check   compare it with what this generates
"""
import struct
import sys

import genfile

OUT = "src/trig/rem_halfpi_tables.hpp"

BITS = 2200  # well past the 1584 bits of 2/pi that are tabulated


def arctan_inv(k, bits):
    """floor-ish of arctan(1/k) * 2^bits (error a few units in the last place)."""
    one = 1 << bits
    term = one // k
    total = term
    k2 = k * k
    n = 1
    sign = -1
    while term:
        term //= k2
        total += sign * (term // (2 * n + 1))
        sign = -sign
        n += 1
    return total


def pi_fixed(bits):
    g = bits + 32
    p = 16 * arctan_inv(5, g) - 4 * arctan_inv(239, g)
    return p >> 32  # pi * 2^bits, within a unit or two


def two_over_pi_chunks(count):
    # floor(2^N * 2/pi) for N beyond the tabulated bits; checked against a
    # second precision so that no chunk depends on the guard bits.
    def chunks(bits):
        p = pi_fixed(bits)
        n = bits - 80
        f = (2 << (n + bits)) // p  # 2/pi * 2^n
        return [(f >> (n - 24 * (k + 1))) & 0xFFFFFF for k in range(count)]
    a, b = chunks(BITS), chunks(BITS + 200)
    assert a == b, "2/pi chunks depend on the working precision"
    return a


def hi_word(x):
    return struct.unpack(">II", struct.pack(">d", x))[0]


def halfpi_multiples_hw(count):
    p = pi_fixed(BITS)
    # int/int true division in Python is correctly rounded.
    return [hi_word(n * p / (2 << BITS)) for n in range(1, count + 1)]


def main():
    chunks = two_over_pi_chunks(66)
    hw = halfpi_multiples_hw(32)
    # The documented first and last entries.
    assert chunks[:8] == [0xA2F983, 0x6E4E44, 0x1529FC, 0x2757D1, 0xF534DD, 0xC0DB62, 0x95993C, 0x439041]
    assert chunks[-7:] == [0xFFD880, 0x4D7327, 0x310606, 0x1556CA, 0x73A8C9, 0x60E27B, 0xC08C6B]
    assert hw[:6] == [0x3FF921FB, 0x400921FB, 0x4012D97C, 0x401921FB, 0x401F6A7A, 0x4022D97C]
    assert hw[-3:] == [0x40478FDB, 0x404858EB, 0x404921FB]
    lines = [genfile.header(__file__), "#pragma once", "", "#include <cstdint>", "", "namespace kalm::lib {", "",
             "// TWO_OVER_PI_24[k] = floor((2/pi) * 2^(24(k+1))) mod 2^24.",
             "inline constexpr std::int32_t TWO_OVER_PI_24[66] = {"]
    for i in range(0, 66, 6):
        lines.append("    " + " ".join("0x%06X," % c for c in chunks[i:i + 6]))
    lines += ["};", "// HALFPI_HW[n-1] = high word of n*pi/2 rounded to double, n = 1..32.",
              "inline constexpr std::uint32_t HALFPI_HW[32] = {"]
    for i in range(0, 32, 4):
        lines.append("    " + " ".join("0x%08X," % w for w in hw[i:i + 4]))
    lines += ["};", "", "}  // namespace kalm::lib", ""]
    return genfile.write_or_check(OUT, "\n".join(lines), sys.argv)


if __name__ == "__main__":
    sys.exit(main())
