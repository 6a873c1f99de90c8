#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Fails when a library source includes a header from its own layer or one
above it (outside its own folder), which is how include cycles start. The layers, lowest first: host (status register, word
access, conversions), frame (protocol, per-thread environment, raises), abi
(the export list and declarations), exact (division, square root, scaling),
then the function families, which include only the layers below and their own
folder, then the batch entries (over the families' kernels and the exports).
A header of a family may be shared inside its folder only."""
import pathlib
import re
import sys

LAYERS = {"host": 0, "frame": 1, "abi": 2, "exact": 3, "batch": 5}
FAMILY = 4  # rounding, explog, trig, invtrig, hyperbolic, bessel

src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
bad = []
for f in sorted(src.glob("*/*.[ch]pp")):
    here = f.parent.name
    rank = LAYERS.get(here, FAMILY)
    for n, line in enumerate(f.read_text().splitlines(), 1):
        m = re.match(r'#include "([a-z_]+)/', line)
        if not m or m.group(1) == "kalmlib":
            continue
        there = m.group(1)
        if there == here:
            continue
        if LAYERS.get(there, FAMILY) >= rank:
            bad.append(f"{f}:{n}: {here} includes {there}/ (only lower layers may be included)")
print("\n".join(bad) if bad else f"include layers: {len(list(src.glob('*/*.[ch]pp')))} files, all includes run downwards")
sys.exit(1 if bad else 0)
