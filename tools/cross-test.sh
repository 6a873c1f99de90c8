#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds the library and the vector runner for AArch64 and 32-bit ARM
# hard-float, and runs every vector file under qemu-user, once under each
# caller floating-point environment of the target (CROSS_ENVS, a
# comma-separated list for kalm_check --caller-env; default: each of them).
# Results, flags and raises must match the x86-64 expectations bit for bit,
# with no tolerance, and the register must come back as it was apart from the
# sticky flags. CROSS_FRESH=N also checks N fresh inputs per export
# (tools/gen/gen_host_inputs.py, at least 40 N lines in all) against the
# expectations of the x86 build in build/. On AArch64 the batch entries run
# their NEON kernels: beside the vector lines, CROSS_RANDOM arguments per
# kernel (default 1000000; 0 skips them) drawn over each export's special
# ranges are compared with the scalar export bit for bit.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=${CROSS_TARGETS:-"aarch64 armhf"}
envs=${CROSS_ENVS:-each}
status=0
fresh=
if [ -n "${CROSS_FRESH:-}" ]; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  cmake --preset release >/dev/null
  cmake --build build --target kalm >/dev/null
  python3 tools/gen/gen_host_inputs.py --per-export "$CROSS_FRESH" --seed "${SEED:-1}" > "$tmp/inputs.txt"
  build/kalm vectors --generate "$tmp/inputs.txt" | grep -- ' -> ' > "$tmp/fresh.txt"
  fresh="$tmp/fresh.txt"
  echo "fresh inputs: $(wc -l < "$fresh") lines"
fi
for t in $targets; do
  dir=build-$t
  cmake --preset "$t" >/dev/null
  cmake --build "$dir" --target kalm_check kalm_guest_check kalm_batch_check example_emulator >/dev/null
  case $t in
    aarch64) emu=(qemu-aarch64 -L /usr/aarch64-linux-gnu) ;;
    armhf) emu=(qemu-arm -L /usr/arm-linux-gnueabihf) ;;
  esac
  echo "== $t"
  start=$SECONDS
  if ! LD_LIBRARY_PATH="$dir" "${emu[@]}" "$dir/kalm_check" --caller-env "$envs" tests/vectors/*.txt; then
    status=1
  fi
  echo "($t vectors: $((SECONDS - start)) s)"
  # Inside a device-environment scope, as it runs and in its checking mode.
  for scope in --scope --scope-check; do
    if ! LD_LIBRARY_PATH="$dir" "${emu[@]}" "$dir/kalm_check" $scope --caller-env "$envs" tests/vectors/*.txt | tail -n 1; then
      status=1
    fi
  done
  # The emulators' entry (kalm_guest_call) takes its portable path here.
  if ! LD_LIBRARY_PATH="$dir" "${emu[@]}" "$dir/kalm_guest_check" tests/vectors/*.txt; then status=1; fi
  # The batch entries, which set the target's environment aside once per call
  # (and on AArch64 run the NEON kernels, checked on random arguments too).
  random=()
  if [ "$t" = aarch64 ]; then random=(--random "${CROSS_RANDOM:-1000000}"); fi
  start=$SECONDS
  if ! LD_LIBRARY_PATH="$dir" "${emu[@]}" "$dir/kalm_batch_check" --caller-env "$envs" "${random[@]}" tests/vectors/*.txt; then
    status=1
  fi
  echo "($t batch entries: $((SECONDS - start)) s)"
  if [ -n "$fresh" ]; then
    echo "-- fresh inputs"
    if ! LD_LIBRARY_PATH="$dir" "${emu[@]}" "$dir/kalm_check" "$fresh" | tail -n 40; then status=1; fi
  fi
  if ! LD_LIBRARY_PATH="$dir" "${emu[@]}" "$dir/examples/example_emulator" >/dev/null; then echo "example_emulator failed"; status=1; fi
done
exit $status
