#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the library as it was at REF (default: the last commit) beside the
# work tree's build and compares every export of the two with kalm_diff:
# results, flags and raises must be identical. Run it after any change made
# for speed.   tools/compare-builds.sh [REF]   (CALLS=N per export, SEED=S)
set -euo pipefail
cd "$(dirname "$0")/.."
ref=${1:-HEAD}
tmp=$(mktemp -d)
cleanup() { git worktree remove --force "$tmp/src" >/dev/null 2>&1 || true; rm -rf "$tmp"; }
trap cleanup EXIT
git worktree add --detach -q "$tmp/src" "$ref"
cmake -S "$tmp/src" -B "$tmp/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DKALM_TESTS=OFF -DKALM_BENCH=OFF -DKALM_TOOLS=OFF >/dev/null
cmake --build "$tmp/build" --target kalmlib >/dev/null
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target kalmlib kalm_diff >/dev/null
echo "== $(git rev-parse --short "$ref") vs work tree"
build/kalm_diff "$tmp/build/libkalmlib.so" build/libkalmlib.so --calls "${CALLS:-200000}" --seed "${SEED:-1}"
