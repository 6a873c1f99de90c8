#!/bin/sh
# SPDX-License-Identifier: MIT
# The gallery: the ulp error of all 40 exports against their input, one PNG
# each, drawn by `kalm plot` (gnuplot), and docs/gallery/README.md showing
# them. Each export over its usual range, or over the stretch its catalogue
# row (tools/catalogue.inc) names where the interesting part is.   tools/gallery.sh [KALM] [OUT_DIR]
set -eu
kalm=${1:-build/kalm}
out=${2:-docs/gallery}
mkdir -p "$out"
rm -f "$out"/*.png
# NAME|ARGS for `kalm plot`, in place of the usual range: PLOT("ARGS") of
# the export's row in the catalogue.
special=$(awk '/^KALM_CATALOGUE\(/ { split($0, a, /[(,]/); name = a[2] }
               name != "" && match($0, /PLOT\("[^"]*"\)/) {
                   args = substr($0, RSTART + 6, RLENGTH - 8); if (args != "") print name "|" args; name = "" }' \
          "$(dirname "$0")/catalogue.inc")
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
