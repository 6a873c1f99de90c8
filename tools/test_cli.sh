#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs the command lines of tests/data/kalm_cases.txt and checks each one's
# exit status and output.  test_cli.sh CASES KALM KALM_CHECK SCRATCH
set -u
cases=$1; kalm=$2; kalm_check=$3; tmp=$4/cli-cases.d
rm -rf "$tmp"; mkdir -p "$tmp"
good='sqrt 0x4010000000000000 -> 0x4000000000000000 00 -'
printf '%s\n%s\n%s\n' "$good" 'sqrt 0x4000000000000000 -> 0x3ff6a09e667f3bcd 00 -' \
  'sqrtf 0x40800000 -> 0x40000000 00 -' >"$tmp/good.txt"
printf '%s\n%s\n' "$good" 'sqrt 0x4000000000000000 -> 0x3ff6a09e667f3bce 00 -' >"$tmp/mismatch.txt"
printf 'sqrt 0x4010000000000000\n' >"$tmp/bare.txt"
printf 'sqrt\000junk 0xbff0000000000000 -> 0xfff8000000000000 00 C0000090@app\n' >"$tmp/nul.txt"
printf '%s\r\n' "$good" >"$tmp/crlf.txt"
: >"$tmp/empty.txt"
printf '# nothing but a comment\n\n' >"$tmp/comments.txt"
fail=0; n=0
while IFS= read -r line; do
  case $line in ''|'#'*) continue ;; esac
  tool=$(echo "$line" | cut -d'|' -f1 | tr -d ' ')
  want=$(echo "$line" | cut -d'|' -f2 | tr -d ' ')
  check=$(echo "$line" | cut -d'|' -f3 | sed 's/^ //; s/ $//')
  args=$(echo "$line" | cut -d'|' -f4- | sed 's/^ //' | sed "s|@TMP@|$tmp|g")
  case $tool in
    kalm) prog=$kalm ;;
    kalm+gnuplot) prog=$kalm; command -v gnuplot >/dev/null 2>&1 || { echo "skipped (no gnuplot): $line"; continue; } ;;
    kalm_check) prog=$kalm_check ;;
    *) echo "unknown tool in: $line"; fail=1; continue ;;
  esac
  n=$((n + 1))
  eval "set -- $args"
  "$prog" "$@" >"$tmp/out" 2>"$tmp/err" </dev/null; got=$?
  why=""
  [ "$got" = "$want" ] || why="exit status $got, wanted $want"
  case $check in
    -) ;;
    json) python3 -m json.tool <"$tmp/out" >/dev/null 2>&1 || why="$why; stdout is not valid JSON" ;;
    csv)
      fields=$(awk -F, '{ n = gsub(/"[^"]*"/, "q"); print NF }' "$tmp/out" | sort -u | wc -l)
      rows=$(wc -l <"$tmp/out")
      { [ "$fields" = 1 ] && [ "$rows" -ge 2 ]; } || why="$why; stdout is not CSV with a header and rows" ;;
    out=*) grep -Eq -- "${check#out=}" "$tmp/out" || why="$why; no stdout line matches '${check#out=}'" ;;
    err=*)
      grep -Eq -- "${check#err=}" "$tmp/err" || why="$why; no stderr line matches '${check#err=}'"
      [ "$(wc -l <"$tmp/err")" = 1 ] || why="$why; stderr is not one line" ;;
    png=*)
      png=$(echo "${check#png=}" | sed "s|@TMP@|$tmp|g")
      [ "$(head -c 4 "$png" 2>/dev/null | od -An -c | tr -d ' ')" = "211PNG" ] || why="$why; no PNG written at $png" ;;
    *) why="unknown check '$check'" ;;
  esac
  if [ -n "$why" ]; then
    echo "$tool $args: ${why#; }"; sed 's/^/  stdout: /' "$tmp/out" | head -5; sed 's/^/  stderr: /' "$tmp/err" | head -3
    fail=1
  fi
done <"$cases"
rm -rf "$tmp"
echo "$n command lines checked"
[ "$n" -gt 0 ] || fail=1
exit $fail
