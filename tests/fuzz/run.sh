#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the library with clang's libFuzzer, ASan and UBSan (preset "fuzz")
# and fuzzes every export through the word-level table, the vector reader,
# kalm_guest_call and the Unicorn adapter. FUZZ_RUNS (default 200000) calls.
set -euo pipefail
cd "$(dirname "$0")/../.."
out=build-fuzz
cmake --preset fuzz >/dev/null
cmake --build "$out" --target fuzz_exports -j "${JOBS:-2}"
mkdir -p "$out/corpus"
"$out/fuzz_exports" -artifact_prefix="$out/" -runs="${FUZZ_RUNS:-200000}" -max_len=24 "$out/corpus" 2>&1 | tail -3

# The vector reader, seeded with the vector files and the grammar's test cases.
cmake --build "$out" --target fuzz_vectors -j "${JOBS:-2}"
mkdir -p "$out/corpus-vectors"
"$out/fuzz_vectors" -artifact_prefix="$out/vectors-" -runs="${FUZZ_RUNS:-200000}" -max_len=512 "$out/corpus-vectors" \
  tests/vectors tests/data 2>&1 | tail -3

# Guest calls, and the Unicorn adapter when Unicorn is installed (a tenth of
# the runs: each input is a sequence of emulated calls).
cmake --build "$out" --target fuzz_guest_call -j "${JOBS:-2}"
mkdir -p "$out/corpus-guest"
"$out/fuzz_guest_call" -artifact_prefix="$out/guest-" -runs="${FUZZ_RUNS:-200000}" -max_len=40 "$out/corpus-guest" \
  2>&1 | tail -3
if cmake --build "$out" --target fuzz_unicorn -j "${JOBS:-2}" >/dev/null 2>&1; then
  mkdir -p "$out/corpus-unicorn"
  "$out/fuzz_unicorn" -artifact_prefix="$out/unicorn-" -runs="$(( ${FUZZ_RUNS:-200000} / 10 ))" -max_len=280 \
    "$out/corpus-unicorn" 2>&1 | tail -3
fi
