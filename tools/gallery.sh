#!/bin/sh
# SPDX-License-Identifier: MIT
# The gallery: the ulp error of all 40 exports against their input, one PNG
# each, drawn by `kalm plot` (gnuplot), and docs/gallery/README.md showing
# them. Each export over its usual range, or over the stretch named below
# where the interesting part is.   tools/gallery.sh [KALM] [OUT_DIR]
set -eu
kalm=${1:-build/kalm}
out=${2:-docs/gallery}
mkdir -p "$out"
rm -f "$out"/*.png
# NAME|ARGS for `kalm plot`, in place of the usual range.
special='powf|0.5 4 --y -120,120
pow|0.5 4 --y -1000,1000
exp|-745 709
expf|-103 88
log|0.25 4
logf|0.25 4
log10|0.25 4
log10f|0.25 4
fmod|-1000 1000 --y 0.5,10
fmodf|-1000 1000 --y 0.5,10
_yn|0.01 30'
md="$out/README.md"
{
  echo "# Gallery: ulp error against the input"
  echo
  echo "Made by \`tools/gallery.sh\` (\`make gallery\`) with \`kalm plot\`: for each export, the error of its result in units in"
  echo "the last place of the exact value (MPFR), over the stretch of input named in each title; one-argument exports"
  echo "show every sampled input (the host libm grey beneath), two-argument exports and \`_yn\` a heat map over a grid."
  echo "Errors above 8 ulp put the scale on a log axis. Redraw any one with \`build/kalm plot NAME [LO HI]\`."
  echo
} >"$md"
for name in $("$kalm" exports | awk 'NR > 1 { print $2 }'); do
  args=$(printf '%s\n' "$special" | awk -F'|' -v n="$name" '$1 == n { print $2 }')
  # shellcheck disable=SC2086
  "$kalm" plot "$name" $args --points 2500 --grid 100 --size 560,340 --output "$out/$name.png" >/dev/null
  echo "![$name]($name.png)" >>"$md"
done
du -ch "$out"/*.png | tail -1
