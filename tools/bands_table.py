#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The band table of docs/performance.md from `kalm bench --bands --csv FILE`.

    build/kalm bench --bands --reps 5 --csv bands.csv && python3 tools/bands_table.py bands.csv

One row per export: kalm's ns per call (throughput) on its usual range and on
each magnitude band [a, 2a], the host libm's beside each band in parentheses,
and the worst band over the usual time (bold above 3x). A band outside the
export's domain is left blank.
"""
import csv
import sys

BANDS = ["[1,2]", "[10,20]", "[1e3,2e3]", "[1e6,2e6]", "[1e15,2e15]", "[1e300,2e300]"]


def fmt(ns):
    return f"{ns:.0f}" if ns >= 100 else f"{ns:.1f}"


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: bands_table.py BANDS.csv\n")
        return 2
    try:
        with open(argv[1], newline="") as f:
            rows = list(csv.DictReader(f))
    except OSError as e:
        sys.stderr.write(f"bands_table.py: {e}\n")
        return 3
    order, by = [], {}
    for r in rows:
        try:
            name, band = r["export"], r["band"]
            vals = (float(r["kalm_ns"]), float(r["libm_ns"]), float(r["x_usual"]))
        except (KeyError, ValueError):
            sys.stderr.write(f"bands_table.py: {argv[1]}: not the CSV of kalm bench --bands\n")
            return 2
        if name not in by:
            order.append(name)
            by[name] = {}
        by[name][band] = vals
    print("| export | usual | " + " | ".join(BANDS) + " | worst / usual |")
    print("|---" * (len(BANDS) + 3) + "|")
    for name in order:
        b = by[name]
        if "usual" not in b:
            continue
        cells = [f"`{name}`", fmt(b["usual"][0])]
        worst, worst_band = 0.0, ""
        for band in BANDS:
            if band not in b:
                cells.append("")
                continue
            k, h, x = b[band]
            cells.append(f"{fmt(k)} ({fmt(h)})")
            if x > worst:
                worst, worst_band = x, band
        w = f"{worst:.1f}x {worst_band}"
        cells.append(f"**{w}**" if worst > 3 else w)
        print("| " + " | ".join(cells) + " |")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
