#!/usr/bin/env bash
# Builds the library with clang's libFuzzer, ASan and UBSan and fuzzes every
# export through the word-level table. FUZZ_RUNS (default 200000) calls.
set -euo pipefail
cd "$(dirname "$0")/../.."
out=build-fuzz
mkdir -p "$out"
flags="-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -ffp-contract=off -frounding-math -fno-builtin -Isrc -Iinclude -DKALMLIB_BUILDING"
objs=()
for f in src/*/*.cpp; do
  o="$out/$(echo "$f" | tr / _).o"
  # Rebuilt when the source or any header under src/ is newer than the object.
  if [ ! -f "$o" ] || [ -n "$(find src -newer "$o" -name '*.[ch]pp' -print -quit)" ]; then clang++ $flags -fsanitize=fuzzer-no-link -c "$f" -o "$o" 2>/dev/null || clang++ ${flags/-fsanitize=fuzzer,/-fsanitize=} -c "$f" -o "$o"; fi
  objs+=("$o")
done
clang++ $flags tests/fuzz/fuzz_exports.cpp "${objs[@]}" -o "$out/fuzz_exports"
mkdir -p "$out/corpus"
"$out/fuzz_exports" -artifact_prefix="$out/" -runs="${FUZZ_RUNS:-200000}" -max_len=24 "$out/corpus" 2>&1 | tail -3

# The vector reader, seeded with the vector files and the grammar's test cases.
tobjs=()
for f in tools/vectors/vectors.cpp tools/vectors/caller_env.cpp tools/vectors/options.cpp; do
  o="$out/$(echo "$f" | tr / _).o"
  if [ ! -f "$o" ] || [ -n "$(find src tools/vectors -newer "$o" -name '*.[ch]pp' -print -quit)" ]; then
    clang++ $flags -fsanitize=fuzzer-no-link -DKALM_VERSION='"fuzz"' -Itools/vectors -c "$f" -o "$o"
  fi
  tobjs+=("$o")
done
clang++ $flags -Itools/vectors tests/fuzz/fuzz_vectors.cpp "${tobjs[@]}" "${objs[@]}" -o "$out/fuzz_vectors"
mkdir -p "$out/corpus-vectors"
"$out/fuzz_vectors" -artifact_prefix="$out/vectors-" -runs="${FUZZ_RUNS:-200000}" -max_len=512 "$out/corpus-vectors" \
  tests/vectors tests/data 2>&1 | tail -3
