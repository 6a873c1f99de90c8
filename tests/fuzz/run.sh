#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the library with clang's libFuzzer, ASan and UBSan (preset "fuzz")
# and fuzzes every export through the word-level table. FUZZ_RUNS (default
# 200000) calls.
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
