#!/bin/sh
# SPDX-License-Identifier: MIT
# ctest helper for the tools.
#   expect_status.sh STATUS PROGRAM ARG...   runs PROGRAM ARG... and wants exit status STATUS
#   expect_status.sh bad-input KALM DIR      every malformed command line of kalm must fail
#                                            with status 2, one line on stderr, and no file
#                                            left; a good --csv run writes the whole file
#   expect_status.sh bad-input-check KALM_CHECK DIR VECTORS   the same for kalm_check
#                                            (VECTORS: a vector file for the good runs)
#   expect_status.sh bad-input-diff KALM_DIFF DIR LIB.so [noload]   the same for kalm_diff
#                                            (noload: the command lines that load
#                                            libraries are left out, for sanitizer
#                                            builds, which cannot load them)
set -u
case $1 in
  bad-input|bad-input-check|bad-input-diff) mode=$1 ;;
  *)
    want=$1; shift
    "$@"; got=$?
    [ "$got" = "$want" ] || { echo "exit status $got, wanted $want: $*"; exit 1; }
    exit 0 ;;
esac
kalm=$2; dir=$3/$mode.d
rm -rf "$dir"; mkdir -p "$dir"
fail=0
check() {
  "$kalm" "$@" >"$dir/out" 2>"$dir/err"; got=$?
  lines=$(wc -l <"$dir/err")
  if [ "$got" != 2 ] || [ "$lines" != 1 ]; then
    echo "$(basename "$kalm") $*: exit status $got, $lines line(s) on stderr (wanted 2 and 1)"; cat "$dir/err"; fail=1
  fi
  rm -f "$dir/out" "$dir/err"
}
# An I/O error: status 3 and one line on stderr.
check_io() {
  "$kalm" "$@" >"$dir/out" 2>"$dir/err"; got=$?
  lines=$(wc -l <"$dir/err")
  if [ "$got" != 3 ] || [ "$lines" != 1 ]; then
    echo "$(basename "$kalm") $*: exit status $got, $lines line(s) on stderr (wanted 3 and 1)"; cat "$dir/err"; fail=1
  fi
  rm -f "$dir/out" "$dir/err"
}
# A good command line: status 0 and standard output matching the pattern.
good() {
  pattern=$1; shift
  "$kalm" "$@" >"$dir/out" 2>"$dir/err"; got=$?
  if [ "$got" != 0 ] || ! grep -q -- "$pattern" "$dir/out"; then
    echo "$(basename "$kalm") $*: exit status $got (wanted 0 and output with '$pattern')"; cat "$dir/out" "$dir/err"; fail=1
  fi
  rm -f "$dir/out" "$dir/err"
}
finish() {
  left=$(ls -A "$dir")
  [ -z "$left" ] || { echo "files left behind: $left"; fail=1; }
  rm -rf "$dir"
  exit $fail
}
if [ "$mode" = bad-input-check ]; then
  vectors=$4
  check
  check --frobnicate "$vectors"
  check -x "$vectors"
  check --caller-env
  check --caller-env no-such-environment "$vectors"
  check --caller-env=up, "$vectors"
  check "--caller-env=" "$vectors"
  check --host-tolerant=yes "$vectors"
  check_io "$dir/no-such-file.txt"
  check_io "$dir"
  good ' 0 failed' "$vectors"
  good ' 0 failed' --caller-env=up,down --host-tolerant "$vectors"
  good 'usage: kalm_check' --help
  finish
fi
if [ "$mode" = bad-input-diff ]; then
  lib=$4
  check
  check "$lib"
  check "$lib" "$lib" extra.so
  check "$lib" "$lib" --calls abc
  check "$lib" "$lib" --calls -5
  check "$lib" "$lib" --calls ""
  check "$lib" "$lib" --calls=
  check "$lib" "$lib" --calls 12x
  check "$lib" "$lib" --calls 0
  check "$lib" "$lib" --calls 99999999999999999999999
  check "$lib" "$lib" --calls
  check "$lib" "$lib" --seed -1
  check "$lib" "$lib" --seed 1.5
  check "$lib" "$lib" --all-floats
  check "$lib" "$lib" --frobnicate
  check "$lib" "$lib" --band 0
  check "$lib" "$lib" --band -1
  check "$lib" "$lib" --band 1e308
  check "$lib" "$lib" --band 2x
  check "$lib" "$lib" --band
  good 'usage: kalm_diff' --help
  if [ "${5:-}" != noload ]; then
    check "$lib" "$lib" --all-floats sin
    check_io "$dir/no-such.so" "$lib"
    good '^400 calls, 0 differences$' "$lib" "$lib" --calls 10 --seed=0x2a
    check "$lib" "$lib" --names sin,no_such_export
    good '^30 calls, 0 differences$' "$lib" "$lib" --band 1e15 --names sinf,sin,_yn --calls 10
  fi
  finish
fi
check accuracy no_such_export
check accuracy sqrt --samples 12x
check accuracy sqrt --samples
check accuracy sqrt --seed -3
check accuracy sqrt --threads 0
check accuracy sqrt --frobnicate
check accuracy sin --exhaustive
check_io accuracy sqrt --samples 10 --csv "$dir/missing/sub/a.csv"
check_io accuracy sqrt --samples 10 --csv "$dir"
check bench no_such_export
check bench sqrt --reps 0
check bench --bands sqrt
check bench --bands sin 1 2
check bench --bands sin --log-uniform
check_io bench sqrt --csv "$dir/missing/b.csv"
check report --samples 0
check report extra
check report --no-speed=1
check frobnicate
check help frobnicate
check eval
check eval sqrt
check eval no_such_export 1
check eval sqrt 1 2
check eval sqrt abc
check eval sqrt 1 --unmask
check eval sqrt 1 --unmask bogus
check eval _yn 1.5 2
check exports extra
check exports --frobnicate
check vectors --caller-env nowhere
check vectors --frobnicate
check_io vectors "$dir/no-such-file.txt"
check_io vectors "$dir"
# A good run writes the whole CSV: header, the export's row, one per range and the special values.
"$kalm" accuracy sqrt --samples 10 --csv "$dir/ok.csv" >/dev/null 2>&1 || { echo "accuracy --csv failed"; fail=1; }
rows=$(wc -l <"$dir/ok.csv" 2>/dev/null)
[ "$rows" = 5 ] || { echo "accuracy --csv wrote ${rows:-no} lines, wanted 5"; fail=1; }
rm -f "$dir/ok.csv"
good 'usage: kalm COMMAND' help
good '^  accuracy \[NAME...\]' help
good '  --samples N' help accuracy
good '  --reps N' bench --help
good '^result .*(0x3ff0000000000000)$' eval sqrt 1
good '^result  *-1 ' eval floor -0.5
good '^40 ' exports
finish
