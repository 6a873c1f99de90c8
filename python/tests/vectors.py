# SPDX-License-Identifier: MIT
"""The conformance vectors of tests/vectors/, read once and grouped by export
as numpy arrays, for the tests that run them through the package."""
import glob
import os

import numpy as np

ROOT = os.environ.get("KALM_VECTORS", os.path.join(os.path.dirname(__file__), "..", "..", "tests", "vectors"))
CODES = {"C000008E": 0xC000008E, "C000008F": 0xC000008F, "C0000090": 0xC0000090,
         "C0000091": 0xC0000091, "C0000093": 0xC0000093}


class Group:
    """Every vector of one export: args (list of arrays), result bits, flags,
    raise codes and whether each raise came from inside the library."""

    def __init__(self, export, rows):
        self.export = export
        self.name = export.lstrip("_")
        self.single = len(rows[0][1]) == 10 and export != "_yn"
        ftype, utype = (np.float32, np.uint32) if self.single else (np.float64, np.uint64)
        self.ftype, self.utype = ftype, utype
        nargs = len(rows[0][0])
        self.args = []
        for k in range(nargs):
            col = [r[0][k] for r in rows]
            if export == "_yn" and k == 0:
                self.args.append(np.array([int(c) for c in col], np.int32))
            else:
                self.args.append(np.array([int(c, 16) for c in col], utype).view(ftype))
        self.result = np.array([int(r[1], 16) for r in rows], utype)
        self.flags = np.array([int(r[2], 16) for r in rows], np.uint8)
        self.raised = np.array([0 if r[3] == "-" else CODES[r[3][:8]] for r in rows], np.uint32)
        self.in_library = np.array([r[3].endswith("@lib") for r in rows], np.bool_)
        self.lines = [r[4] for r in rows]


def load():
    rows = {}
    for path in sorted(glob.glob(os.path.join(ROOT, "*.txt"))):
        with open(path, encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                tokens = line.split("#", 1)[0].split()
                if not tokens:
                    continue
                arrow = tokens.index("->")
                where = "%s:%d" % (os.path.basename(path), number)
                rows.setdefault(tokens[0], []).append((tokens[1:arrow], *tokens[arrow + 1:arrow + 4], where))
    if not rows:
        raise RuntimeError("no vectors under %s" % ROOT)
    return {name: Group(name, r) for name, r in rows.items()}


def mismatches(group, got, expected):
    """The vector lines whose value in got differs from expected (a 2-D got:
    in any of its columns, one per repetition)."""
    bad = np.asarray(got) != np.asarray(expected)
    if bad.ndim > 1:
        bad = bad.any(axis=1)
    return [group.lines[i] for i in np.flatnonzero(bad)]
