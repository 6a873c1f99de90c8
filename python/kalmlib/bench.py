# SPDX-License-Identifier: MIT
"""python -m kalmlib.bench [N] [REPEATS]: ns per element of each kalmlib ufunc
beside the C batch entry it runs and numpy's own ufunc, on N elements (10^6 by
default), all in one run; then the cost of one scalar call. Each figure is the
best of REPEATS rounds, the three candidates interleaved in every round so that
the machine's load falls on all of them alike."""
import math
import sys
import time
import timeit

import numpy as np

import kalmlib
from kalmlib import _kalmlib

# arguments inside each function's ordinary domain
DOMAIN = {"asin": (-1, 1), "acos": (-1, 1), "log": (1e-3, 100), "log10": (1e-3, 100), "sqrt": (0, 100),
          "pow": (0.1, 10), "sinh": (-20, 20), "cosh": (-20, 20), "exp": (-50, 50), "y0": (0.1, 50),
          "y1": (0.1, 50), "yn": (0.1, 50)}
NUMPY = {"atan2": np.arctan2, "asin": np.arcsin, "acos": np.arccos, "atan": np.arctan, "pow": np.power}


def best(fn, repeats):
    times = []
    for _ in range(repeats):
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return min(times)


def rows(n, repeats):
    rng = np.random.default_rng(6)
    for name in kalmlib.FUNCTIONS:
        f = getattr(kalmlib, name)
        base = name[:-1] if name.endswith("f") and name[:-1] in kalmlib.FUNCTIONS or name == "fabsf" else name
        lo, hi = DOMAIN.get(base, (-100, 100))
        dtypes = [np.float32] if "f->f" in f.types and "d->d" not in f.types or name.endswith("f") else [np.float64]
        if name in ("sin", "exp", "log", "pow", "sqrt"):
            dtypes = [np.float64, np.float32]
        for dt in dtypes:
            args = [rng.uniform(lo, hi, n).astype(dt) for _ in range(f.nin)]
            if name == "yn":
                args[0] = rng.integers(0, 5, n).astype(np.int32)
            out = np.empty(n, np.float64 if name == "yn" else dt)
            candidates = [lambda: f(*args, out=out)]
            if name != "yn":
                candidates.append(lambda: _kalmlib._batch(name, out, *args))
            theirs = NUMPY.get(base, getattr(np, base, None))
            if theirs is not None and name not in ("y0", "y1", "yn"):
                candidates.append(lambda: theirs(*args, out=out))
            times = [[] for _ in candidates]
            for _ in range(repeats):
                for t, c in zip(times, candidates):
                    t.append(best(c, 1))
            ns = [min(t) * 1e9 / n for t in times]
            ns += [None] * (3 - len(ns))
            yield name, np.dtype(dt).name, ns


def main(argv):
    n = int(float(argv[0])) if argv else 10**6
    repeats = int(argv[1]) if len(argv) > 1 else 7
    print("kalmlib %s, %d elements, instruction set %d, best of %d" % (kalmlib.__version__, n, kalmlib.isa(), repeats))
    print("%-8s %-8s %10s %10s %8s %10s" % ("ufunc", "dtype", "ufunc ns", "C batch ns", "ratio", "numpy ns"))
    fmt = lambda v: "%10.2f" % v if v is not None else "%10s" % "-"
    for name, dt, (mine, c, theirs) in rows(n, repeats):
        ratio = "%8.3f" % (mine / c) if c else "%8s" % "-"
        print("%-8s %-8s %s %s %s %s" % (name, dt, fmt(mine), fmt(c), ratio, fmt(theirs)))
    number = 200000
    for label, stmt, glb in [("kalmlib.sin(0.5)", "f(0.5)", {"f": kalmlib.sin}),
                             ("kalmlib.sinf(float32)", "f(x)", {"f": kalmlib.sinf, "x": np.float32(0.5)}),
                             ("math.sin(0.5)", "f(0.5)", {"f": math.sin}),
                             ("numpy.sin(0.5)", "f(0.5)", {"f": np.sin})]:
        t = min(timeit.repeat(stmt, globals=glb, number=number, repeat=5)) / number
        print("scalar call %-24s %8.0f ns" % (label, t * 1e9))
    with kalmlib.errstate(all="raise", inexact="ignore"):
        t = min(timeit.repeat("f(0.5)", globals={"f": kalmlib.sin}, number=number, repeat=5)) / number
    print("scalar call %-24s %8.0f ns" % ("kalmlib.sin, unmasked", t * 1e9))


if __name__ == "__main__":
    main(sys.argv[1:])
