#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints bare vector lines (NAME ARG...) for every export: random bit patterns,
every kind and sign of NaN in every argument, infinities, zeros, subnormals,
and the words next to each threshold the export's source compares against.
The x86 build turns them into expectations, the cross builds check them:

    python3 tools/gen/gen_host_inputs.py [--per-export N] [--seed S] > /tmp/in.txt
    build/kalm vectors /tmp/in.txt | grep -- '->' > /tmp/expected.txt
    LD_LIBRARY_PATH=build-aarch64 qemu-aarch64 -L /usr/aarch64-linux-gnu build-aarch64/kalm_check /tmp/expected.txt

(CROSS_FRESH=N tools/cross-test.sh does this.) Deterministic for a seed.
Nothing it prints is committed; --check checks instead that it still fits the
library: its exports and their argument kinds are those of
src/abi/export_list.hpp, every source it reads for thresholds exists, and its
lines are well-formed vector inputs, the same twice for a seed.
"""
import argparse
import os
import random
import re
import struct
import sys

SRC = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src")

CATALOGUE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "catalogue.inc")


def catalogued_sources():
    """{name: [source, ...]}: SOURCES("...") of each row of tools/catalogue.inc,
    the sources whose comparisons decide each export's paths."""
    with open(CATALOGUE) as f:
        text = f.read()
    rows = re.split(r"^KALM_CATALOGUE\(", text, flags=re.M)[1:]
    out = {}
    for row in rows:
        name = row.split(",", 1)[0].strip()
        m = re.search(r"SOURCES\(([^)]*)\)", row)
        out[name] = re.findall(r'"([^"]+)"', m.group(1)) if m else []
    return out


SOURCES = catalogued_sources()
TWO_ARGS = {"atan2", "atan2f", "fmod", "fmodf", "pow", "powf"}


def constants(name, digits):
    found = set()
    for rel in SOURCES[name]:
        with open(os.path.join(SRC, rel)) as f:
            text = f.read()
        found.update(int(m, 16) for m in re.findall(r"0x([0-9A-Fa-f]{%d})(?![0-9A-Fa-f])" % digits, text))
    return sorted(found)


def nans(single, rng):
    """Quiet and signalling NaNs of both signs, payloads at both ends (and in each word)."""
    if single:
        mags = [0x7FC00000, 0x7FC00001, 0x7FFFFFFF, 0x7FE00000, 0x7F800001, 0x7FBFFFFF, 0x7FA00000, 0x7F800100,
                0x7FC00000 | rng.getrandbits(22), 0x7F800000 | (rng.getrandbits(22) | 1)]
        return [m | s for m in mags for s in (0, 0x80000000)]
    mags = [0x7FF8000000000000, 0x7FF8000000000001, 0x7FF8000100000000, 0x7FFFFFFFFFFFFFFF,
            0x7FF0000000000001, 0x7FF0000100000000, 0x7FF7FFFFFFFFFFFF, 0x7FF4000000000000, 0x7FF00000FFFFFFFF,
            0x7FF8000000000000 | rng.getrandbits(51), 0x7FF0000000000000 | (rng.getrandbits(51) | 1)]
    return [m | s for m in mags for s in (0, 0x8000000000000000)]


def specials(single):
    if single:
        mags = [0, 1, 2, 0x007FFFFF, 0x00800000, 0x00800001, 0x3F000000, 0x3F800000, 0x3F7FFFFF, 0x3F800001,
                0x40000000, 0x3FC90FDB, 0x40490FDB, 0x4B000000, 0x4B800000, 0x4F000000, 0x7F7FFFFF, 0x7F800000]
        sign = 0x80000000
    else:
        mags = [0, 1, 2, 0x000FFFFFFFFFFFFF, 0x0010000000000000, 0x0010000000000001, 0x3FE0000000000000,
                0x3FF0000000000000, 0x3FEFFFFFFFFFFFFF, 0x3FF0000000000001, 0x4000000000000000,
                0x3FF921FB54442D18, 0x400921FB54442D18, 0x4330000000000000, 0x4340000000000000,
                0x41E0000000000000, 0x43F0000000000000, 0x7FEFFFFFFFFFFFFF, 0x7FF0000000000000]
        sign = 0x8000000000000000
    return [m | s for m in mags for s in (0, sign)]


def near_thresholds(name, single, rng):
    """Words next to the constants the source compares with: high words for doubles."""
    out = []
    if single:
        for c in constants(name, 8):
            for d in (-1, 0, 1):
                w = (c + d) & 0x7FFFFFFF
                out += [w, w | 0x80000000]
    else:
        for hi in constants(name, 8):
            for d in (-1, 0, 1):
                h = (hi + d) & 0x7FFFFFFF
                for lo in (0, 1, 0xFFFFFFFF, rng.getrandbits(32)):
                    w = (h << 32) | lo
                    out += [w, w | 0x8000000000000000]
        for c in constants(name, 16):
            for d in (-1, 0, 1):
                w = (c + d) & 0x7FFFFFFFFFFFFFFF
                out += [w, w | 0x8000000000000000]
    return out


def random_value(single, rng):
    """A random argument: raw bits, a subnormal, a value of moderate size, or an integer."""
    bits, ebits, fbits = (32, 8, 23) if single else (64, 11, 52)
    sign = rng.getrandbits(1) << (bits - 1)
    r = rng.random()
    if r < 0.35:
        return rng.getrandbits(bits)
    if r < 0.45:
        return sign | rng.getrandbits(fbits)  # subnormal (or zero)
    if r < 0.85:  # exponent within 2^-30 .. 2^30 of 1: the main paths
        bias = (1 << (ebits - 1)) - 1
        e = bias + rng.randint(-30, 30)
        return sign | (e << fbits) | rng.getrandbits(fbits)
    n = rng.randint(-(1 << 20), 1 << 20)  # an integer, odd or even
    if single:
        return struct.unpack("<I", struct.pack("<f", float(n)))[0]
    return struct.unpack("<Q", struct.pack("<d", float(n)))[0]


def fmt(v, single):
    return "0x%08x" % v if single else "0x%016x" % v


def lines_for(name, per_export, rng):
    single = name.endswith("f")
    pool = nans(single, rng) + specials(single)
    near = near_thresholds(name, single, rng)
    out = []
    if name == "_yn":
        small = [0, 1, -1, 2, -2, 3, -3, 4, 5, 10, -10, 100, -101]
        huge = [2147483647, -2147483648, 2147483646, -2147483647, 1000000, -999999]
        for n in small:
            for x in pool + near:
                out.append("_yn %d %s" % (n, fmt(x, False)))
        # Large orders only where the call is quick: special x, x < 1 (the recurrence reaches
        # -inf within a few hundred steps) and x >= 2^302 (the asymptotic term).
        quick = [x for x in pool if (x & 0x7FFFFFFFFFFFFFFF) < 0x3FF0000000000000 or x >> 63
                 or (x & 0x7FFFFFFFFFFFFFFF) >= 0x52D0000000000000]
        for n in huge:
            for x in quick:
                out.append("_yn %d %s" % (n, fmt(x, False)))
            for _ in range(40):
                x = rng.getrandbits(62) % 0x3FF0000000000000
                out.append("_yn %d %s" % (n, fmt(x, False)))
                out.append("_yn %d %s" % (n, fmt(0x52D0000000000000 + rng.getrandbits(60) % 0x2D20000000000000, False)))
        while len(out) < per_export:
            n = rng.randint(-60, 60) if rng.random() < 0.9 else rng.randint(-1000, 1000)
            x = random_value(False, rng) if rng.random() < 0.8 else rng.choice(pool + near)
            out.append("_yn %d %s" % (n, fmt(x, False)))
        return out
    if name in TWO_ARGS:
        for x in pool:
            for y in pool:
                out.append("%s %s %s" % (name, fmt(x, single), fmt(y, single)))
        for v in near:
            for s in pool:
                out.append("%s %s %s" % (name, fmt(v, single), fmt(s, single)))
                out.append("%s %s %s" % (name, fmt(s, single), fmt(v, single)))
        while len(out) < per_export:
            pick = lambda: random_value(single, rng) if rng.random() < 0.7 else rng.choice(pool + near)
            out.append("%s %s %s" % (name, fmt(pick(), single), fmt(pick(), single)))
        return out
    for v in pool + near:
        out.append("%s %s" % (name, fmt(v, single)))
    while len(out) < per_export:
        out.append("%s %s" % (name, fmt(random_value(single, rng), single)))
    return out


def listed_exports():
    """{name: signature} from the library's one list of exports."""
    with open(os.path.join(SRC, "abi", "export_list.hpp")) as f:
        text = f.read()
    rows = re.findall(r"X\((\w+),\s*(\w+),\s*(D_D|DD_D|ID_D|F_F|FF_F),\s*(\w+)\)", text)
    return {name: sig for name, _stem, sig, _kind in rows}


LINE_ARGS = {"D_D": ["d"], "DD_D": ["d", "d"], "ID_D": ["i", "d"], "F_F": ["f"], "FF_F": ["f", "f"]}


def well_formed(line, sigs):
    """None, or what is wrong with one printed line."""
    t = line.split()
    if not t or t[0] not in sigs:
        return "no export"
    kinds = LINE_ARGS[sigs[t[0]]]
    if len(t) != 1 + len(kinds):
        return "%d argument(s), wanted %d" % (len(t) - 1, len(kinds))
    for kind, a in zip(kinds, t[1:]):
        if kind == "i":
            if not re.fullmatch(r"-?[0-9]+", a) or not -2**31 <= int(a) < 2**31:
                return "argument %r is not a 32-bit integer" % a
        elif not re.fullmatch(r"0x[0-9a-f]{%d}" % (8 if kind == "f" else 16), a):
            return "argument %r is not %s hex digits" % (a, "8" if kind == "f" else "16")
    return None


def check():
    problems = []
    sigs = listed_exports()
    if len(sigs) != 40:
        problems.append("src/abi/export_list.hpp lists %d exports, wanted 40" % len(sigs))
    if set(sigs) != set(SOURCES):
        problems.append("exports here but not in the list: %s; in the list but not here: %s"
                        % (sorted(set(SOURCES) - set(sigs)) or "none", sorted(set(sigs) - set(SOURCES)) or "none"))
    for name, sig in sorted(sigs.items()):
        if name not in SOURCES:
            continue
        if (name in TWO_ARGS) != (sig in ("DD_D", "FF_F")):
            problems.append("%s: taken as %s arguments here, the list says %s"
                            % (name, "two" if name in TWO_ARGS else "one", sig))
        if name.endswith("f") != (sig in ("F_F", "FF_F")):
            problems.append("%s: taken as %s here, the list says %s"
                            % (name, "single" if name.endswith("f") else "double", sig))
        for rel in SOURCES[name]:
            if not os.path.isfile(os.path.join(SRC, rel)):
                problems.append("%s: no source src/%s to read thresholds from" % (name, rel))
    if not problems:
        per = 60
        for name in sorted(sigs):
            lines = lines_for(name, per, random.Random("1:%s" % name))
            again = lines_for(name, per, random.Random("1:%s" % name))
            if lines != again:
                problems.append("%s: two runs with one seed differ" % name)
            if len(lines) < per:
                problems.append("%s: %d line(s), wanted at least %d" % (name, len(lines), per))
            bad = [(l, why) for l in lines for why in [well_formed(l, sigs)] if why]
            if bad:
                problems.append("%s: %d malformed line(s), the first %r: %s" % (name, len(bad), bad[0][0], bad[0][1]))
    for p in problems:
        print("gen_host_inputs.py: " + p, file=sys.stderr)
    if not problems:
        print("gen_host_inputs.py: %d exports, sources and lines fit the library" % len(sigs))
    return 1 if problems else 0


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--per-export", type=int, default=7500, help="lines per export (at least; default 7500)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--check", action="store_true",
                    help="print nothing; check that the exports, sources and lines fit the library")
    ap.add_argument("names", nargs="*", help="exports (default: all 40)")
    a = ap.parse_args()
    if a.check:
        return check()
    names = a.names or sorted(SOURCES)
    for name in names:
        if name not in SOURCES:
            sys.exit("unknown export '%s'" % name)
        rng = random.Random("%d:%s" % (a.seed, name))
        for line in lines_for(name, a.per_export, rng):
            print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
