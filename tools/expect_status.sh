#!/bin/sh
# ctest helper for the kalm tool.
#   expect_status.sh STATUS KALM ARG...   runs KALM ARG... and wants exit status STATUS
#   expect_status.sh bad-input KALM DIR   every malformed command line must fail with
#                                         status 2, one line on stderr, and no file left;
#                                         a good --csv run writes the whole file
set -u
if [ "$1" != bad-input ]; then
  want=$1; shift
  "$@"; got=$?
  [ "$got" = "$want" ] || { echo "exit status $got, wanted $want: $*"; exit 1; }
  exit 0
fi
kalm=$2; dir=$3/bad-input.d
rm -rf "$dir"; mkdir -p "$dir"
fail=0
check() {
  "$kalm" "$@" >"$dir/out" 2>"$dir/err"; got=$?
  lines=$(wc -l <"$dir/err")
  if [ "$got" != 2 ] || [ "$lines" != 1 ]; then
    echo "kalm $*: exit status $got, $lines line(s) on stderr (wanted 2 and 1)"; cat "$dir/err"; fail=1
  fi
  rm -f "$dir/out" "$dir/err"
}
check accuracy no_such_export
check accuracy sqrt --samples 12x
check accuracy sqrt --samples
check accuracy sqrt --seed -3
check accuracy sqrt --threads 0
check accuracy sqrt --frobnicate
check accuracy sin --exhaustive
check accuracy sqrt --samples 10 --csv "$dir/missing/sub/a.csv"
check accuracy sqrt --samples 10 --csv "$dir"
check bench no_such_export
check bench sqrt --reps 0
check bench sqrt --csv "$dir/missing/b.csv"
check report --samples 0
check report extra
# A good run writes the whole CSV: header, the export's row, one per range and the special values.
"$kalm" accuracy sqrt --samples 10 --csv "$dir/ok.csv" >/dev/null 2>&1 || { echo "accuracy --csv failed"; fail=1; }
rows=$(wc -l <"$dir/ok.csv" 2>/dev/null)
[ "$rows" = 5 ] || { echo "accuracy --csv wrote ${rows:-no} lines, wanted 5"; fail=1; }
rm -f "$dir/ok.csv"
left=$(ls -A "$dir")
[ -z "$left" ] || { echo "files left behind: $left"; fail=1; }
rm -rf "$dir"
exit $fail
