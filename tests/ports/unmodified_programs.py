#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Unmodified programs under the replacement library: Debian's python3 `math`
module and gawk, started with LD_PRELOAD=libkalmlib_libm.so, evaluate every
vector input of the functions they expose and print the exact result; each
must be the vector file's result, bit for bit.

Which lines give no value, and are skipped (counted in the summary):
  python  the math module raises ValueError or OverflowError where the C
          function returns a NaN from a non-NaN argument or an infinity from a
          finite one; math.floor and math.ceil return an int (an infinity or a
          NaN raises), which has no negative zero: those two compare by value.
  gawk    NaN arguments (a program's text cannot carry a NaN's payload or its
          quiet bit); NaN results compare by sign, which is all %a prints.
Where python's math module decides a result itself without calling the C
function (pow of 1, to the power 0 or with an infinite or NaN argument, atan2
of infinities and NaNs, log and log10 of a NaN, which come back as
they went in), its answer is the C standard's and may differ from the
device's: a line under one of these rules that differs is skipped and counted
by rule, never silently; one that agrees counts as matched.

Host functions outside the 40 (python's hypot, erf, erfc, expm1, log1p) must
give the same bits with and without the preload.

  unmodified_programs.py --vectors DIR --preload LIB        all lines must match
  unmodified_programs.py --vectors DIR --expect-mismatch    without the preload,
        the same check must find a line that differs (so the check can fail)
"""
import argparse
import math
import os
import struct
import subprocess
import sys

PYTHON = "/usr/bin/python3"
GAWK = "gawk"

# Vector name -> the math module's function; floor and ceil return ints.
PY_FUNCS = ["sin", "cos", "tan", "asin", "acos", "atan", "atan2", "sinh", "cosh", "tanh",
            "exp", "log", "log10", "pow", "sqrt", "floor", "ceil", "fmod"]
GAWK_FUNCS = ["sin", "cos", "atan2", "exp", "log", "sqrt"]

PY_CHILD = r"""
import math, struct, sys
def d(h): return struct.unpack('<d', int(h, 16).to_bytes(8, 'little'))[0]
def b(x): return '%016x' % int.from_bytes(struct.pack('<d', x), 'little')
out = []
for line in sys.stdin:
    f, *args = line.split()
    if f == 'host':
        # functions outside the 40, by value bits
        x = 0.7
        out.append(' '.join(b(v) for v in (math.hypot(3.0, x), math.erf(x), math.erfc(x), math.expm1(x), math.log1p(x))))
        continue
    try:
        r = getattr(math, f)(*map(d, args))
    except Exception as e:
        out.append('E ' + type(e).__name__)
        continue
    out.append(('I %d' % r) if isinstance(r, int) else ('V ' + b(r)))
print('\n'.join(out))
"""

GAWK_PROG = r"""
$1 == "sin"   { printf "%a\n", sin($2); next }
$1 == "cos"   { printf "%a\n", cos($2); next }
$1 == "atan2" { printf "%a\n", atan2($2, $3); next }
$1 == "exp"   { printf "%a\n", exp($2); next }
$1 == "log"   { printf "%a\n", log($2); next }
$1 == "sqrt"  { printf "%a\n", sqrt($2); next }
"""


def d(bits):
    return struct.unpack("<d", bits.to_bytes(8, "little"))[0]


def is_nan_bits(bits):
    return (bits >> 52) & 0x7FF == 0x7FF and bits & ((1 << 52) - 1) != 0


def read_vectors(vdir, name):
    rows = []
    with open(os.path.join(vdir, name + ".txt")) as f:
        for n, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line or "->" not in line:
                continue
            left, right = line.split("->")
            fields = left.split()
            assert fields[0] == name, (name, n, line)
            args = [int(a, 16) for a in fields[1:]]
            result = int(right.split()[0], 16)
            rows.append((n, args, result))
    return rows


# Lines the math module may answer itself without calling the C function
# (C99 Annex F's values, which python documents for these cases).
def python_decides(name, args):
    vals = [d(a) for a in args]
    if name == "pow":
        x, y = vals
        return x == 1.0 or y == 0.0 or not (math.isfinite(x) and math.isfinite(y))
    if name == "atan2":
        return not all(math.isfinite(v) for v in vals)
    if name in ("log", "log10"):
        return math.isnan(vals[0])
    return False


def gawk_text(bits):
    v = d(bits)
    if math.isinf(v):
        return "+inf" if v > 0 else "-inf"
    return repr(v)


def run(cmd, text, preload):
    env = dict(os.environ)
    env.pop("LD_PRELOAD", None)
    if preload:
        env["LD_PRELOAD"] = preload
    p = subprocess.run(cmd, input=text, capture_output=True, text=True, env=env)
    if p.returncode != 0:
        sys.exit("%s failed (%d): %s" % (cmd[0], p.returncode, p.stderr[-2000:]))
    return p.stdout.split("\n")


def check_python(vdir, preload, report):
    lines, rows = [], []
    for name in PY_FUNCS:
        for n, args, result in read_vectors(vdir, name):
            lines.append(name + " " + " ".join("%x" % a for a in args))
            rows.append((name, n, args, result))
    lines.append("host")
    out = run([PYTHON, "-c", PY_CHILD], "\n".join(lines) + "\n", preload)
    host_preload = out[len(rows)]
    host_plain = run([PYTHON, "-c", PY_CHILD], "host\n", None)[0]
    if host_preload != host_plain:
        report.fail("python: functions outside the 40 changed under the preload: %s vs %s" % (host_preload, host_plain))
    for (name, n, args, result), got in zip(rows, out):
        where = "python math.%s %s.txt:%d" % (name, name, n)
        if got.startswith("E "):
            report.skip("python", name, got[2:])
            continue
        if got.startswith("V ") and int(got[2:], 16) != result and python_decides(name, args):
            report.skip("python", name, "answered by python itself, not the device's")
            continue
        if got.startswith("I "):  # floor, ceil: an int, compared by value
            ok = float(int(got[2:])) == d(result)
            report.check(ok, "%s: %s, expected %r" % (where, got[2:], d(result)))
            continue
        bits = int(got[2:], 16)
        report.check(bits == result, "%s: %016x, expected %016x" % (where, bits, result))


def check_gawk(vdir, preload, report):
    lines, rows = [], []
    for name in GAWK_FUNCS:
        for n, args, result in read_vectors(vdir, name):
            if any(is_nan_bits(a) for a in args):
                report.skip("gawk", name, "NaN argument")
                continue
            lines.append(name + " " + " ".join(gawk_text(a) for a in args))
            rows.append((name, n, args, result))
    out = run([GAWK, GAWK_PROG], "\n".join(lines) + "\n", preload)
    for (name, n, args, result), got in zip(rows, out):
        where = "gawk %s %s.txt:%d" % (name, name, n)
        if got.endswith("nan"):
            ok = is_nan_bits(result) and (got[0] == "-") == bool(result >> 63)
        else:
            ok = float.fromhex(got.replace("+inf", "inf")) == d(result) and \
                math.copysign(1.0, float.fromhex(got.replace("+inf", "inf"))) == math.copysign(1.0, d(result))
        report.check(ok, "%s: %s, expected %s" % (where, got, d(result).hex()))


class Report:
    def __init__(self, quiet):
        self.passed, self.failed, self.skipped, self.quiet, self.problems = 0, 0, {}, quiet, []
        self.failed_in = {"python": 0, "gawk": 0}

    def check(self, ok, what):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            self.failed_in[what.split()[0]] += 1
            if not self.quiet:
                print("MISMATCH " + what)

    def skip(self, prog, name, why):
        key = (prog, why)
        self.skipped.setdefault(key, {})
        self.skipped[key][name] = self.skipped[key].get(name, 0) + 1

    def fail(self, what):
        self.problems.append(what)
        print("ERROR " + what)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--vectors", required=True)
    ap.add_argument("--preload")
    ap.add_argument("--expect-mismatch", action="store_true")
    opts = ap.parse_args()
    if bool(opts.preload) == opts.expect_mismatch:
        ap.error("give --preload LIB, or --expect-mismatch without a preload")
    if opts.preload and not os.path.isfile(opts.preload):
        ap.error("no such library: " + opts.preload)
    report = Report(quiet=opts.expect_mismatch)
    check_python(opts.vectors, opts.preload, report)
    check_gawk(opts.vectors, opts.preload, report)
    print("%d lines matched, %d differed" % (report.passed, report.failed))
    for (prog, why), by in sorted(report.skipped.items()):
        print("skipped (%s, %s): %s" % (prog, why, ", ".join("%s %d" % kv for kv in sorted(by.items()))))
    if report.problems:
        return 1
    if opts.expect_mismatch:
        same = [prog for prog, n in sorted(report.failed_in.items()) if n == 0]
        if same:
            print("without the preload every line of %s matched: the check cannot tell the libraries apart"
                  % " and ".join(same))
            return 1
        print("without the preload %d lines differ (python %d, gawk %d), as they must"
              % (report.failed, report.failed_in["python"], report.failed_in["gawk"]))
        return 0
    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main())
