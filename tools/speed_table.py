#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The speed table of docs/performance.md from one or more `kalm bench --csv FILE` runs.

    for i in 1 2 3; do build/kalm bench --reps 9 --csv run$i.csv; done
    python3 tools/speed_table.py run1.csv run2.csv run3.csv [--integer int1.csv ...]

One row per export: the medians over the runs of kalm's and the host libm's
ns per call and of the ratio, throughput then latency; with --integer, the
median ratios of runs of a build with the integer methods in two more columns.
Then the geometric mean of the ratios over the exports, for each run.
"""
import csv
import math
import statistics
import sys

COLS = ["kalm_ns", "libm_ns", "ratio", "kalm_latency_ns", "libm_latency_ns", "latency_ratio"]


def fmt(ns):
    return f"{ns:.0f}" if ns >= 100 else f"{ns:.1f}"


def read_run(path):
    with open(path, newline="") as f:
        rows = list(csv.DictReader(f))
    run = {}
    for r in rows:
        run[r["export"]] = (r["inputs"], [float(r[c]) for c in COLS])
    if not run:
        raise ValueError("no rows")
    return run


def geomean(values):
    return math.exp(sum(math.log(v) for v in values) / len(values))


def main(argv):
    args = argv[1:]
    main_paths, int_paths = [], []
    target = main_paths
    for a in args:
        if a == "--integer":
            target = int_paths
        else:
            target.append(a)
    if not main_paths:
        sys.stderr.write("usage: speed_table.py RUN.csv [RUN.csv ...] [--integer RUN.csv ...]\n")
        return 2
    try:
        runs = [read_run(p) for p in main_paths]
        int_runs = [read_run(p) for p in int_paths]
    except OSError as e:
        sys.stderr.write(f"speed_table.py: {e}\n")
        return 3
    except (KeyError, ValueError):
        sys.stderr.write("speed_table.py: not the CSV of kalm bench\n")
        return 2
    names = [n for n in runs[0] if all(n in r for r in runs + int_runs)]
    head = "| export | inputs | kalm ns | libm ns | ratio | kalm latency ns | libm latency ns | ratio |"
    if int_runs:
        head += " integer: ratio | latency ratio |"
    print(head)
    print("|---" * (head.count("|") - 1) + "|")
    for n in names:
        med = [statistics.median(r[n][1][i] for r in runs) for i in range(len(COLS))]
        cells = [f"`{n}`", runs[0][n][0], fmt(med[0]), fmt(med[1]), f"{med[2]:.2f}x", fmt(med[3]), fmt(med[4]),
                 f"{med[5]:.2f}x"]
        if int_runs:
            cells += [f"{statistics.median(r[n][1][i] for r in int_runs):.2f}x" for i in (2, 5)]
        print("| " + " | ".join(cells) + " |")
    print()
    for label, rs in (("", runs), ("integer methods: ", int_runs)):
        if not rs:
            continue
        tput = ", ".join(f"{geomean([r[n][1][2] for n in names]):.2f}x" for r in rs)
        lat = ", ".join(f"{geomean([r[n][1][5] for n in names]):.2f}x" for r in rs)
        print(f"{label}geometric mean kalm/libm over {len(names)} exports, each run: throughput {tput}; latency {lat}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
