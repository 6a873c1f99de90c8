#!/usr/bin/env bash
# Cross-builds the library and the vector runner for AArch64 and 32-bit ARM
# hard-float, and runs every vector file under qemu-user, once under each
# caller floating-point environment of the target (CROSS_ENVS, a
# comma-separated list for kalm_check --caller-env; default: each of them).
# Results and raises must match the x86-64 expectations bit for bit, except for
# the documented host differences (see kalm_check --host-tolerant), and the
# register must come back as it was apart from the sticky flags.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=${CROSS_TARGETS:-"aarch64 armhf"}
envs=${CROSS_ENVS:-each}
status=0
for t in $targets; do
  dir=build-$t
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-$t.cmake \
        -DKALM_TESTS=OFF -DKALM_BENCH=OFF -DKALM_TOOLS=OFF -DKALM_EXCLUDE_REGEX= >/dev/null
  cmake --build "$dir" --target kalm_check example_emulator >/dev/null
  case $t in
    aarch64) emu=(qemu-aarch64 -L /usr/aarch64-linux-gnu) ;;
    armhf) emu=(qemu-arm -L /usr/arm-linux-gnueabihf) ;;
  esac
  echo "== $t"
  start=$SECONDS
  if ! LD_LIBRARY_PATH="$dir" "${emu[@]}" "$dir/kalm_check" --host-tolerant --caller-env "$envs" tests/vectors/*.txt; then
    status=1
  fi
  echo "($t vectors: $((SECONDS - start)) s)"
  if ! LD_LIBRARY_PATH="$dir" "${emu[@]}" "$dir/examples/example_emulator" >/dev/null; then echo "example_emulator failed"; status=1; fi
done
exit $status
