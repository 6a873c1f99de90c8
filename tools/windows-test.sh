#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds kalmlib for 64-bit Windows with MinGW-w64 (the DLL with its
# import library, the static library, kalm_check.exe, the examples and the test
# programs) and runs them under Wine in a prefix of their own under the build
# directory: every vector file under each caller environment, the unit tests,
# the DLL tests (exports, report addresses, structured exceptions), a thread
# started before LoadLibrary, the thread tests, the examples and a project that
# uses the installed tree. Results, flags and raises must be those of the
# x86-64 Linux build, bit for bit.
#   WIN_BUILD=dir (default build-win)   WIN_ENVS=list for --caller-env (default each)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=$(realpath -m "${WIN_BUILD:-build-win}")
envs=${WIN_ENVS:-each}
cxx=x86_64-w64-mingw32-g++-posix

start=$SECONDS
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DKALM_TESTS=ON -DKALM_BENCH=OFF -DKALM_TOOLS=OFF -DKALM_LIBM=OFF -DKALM_ADAPTERS=OFF >/dev/null
cmake --build "$dir" -j "${JOBS:-2}" >/dev/null
echo "(windows build: $((SECONDS - start)) s)"

# The MinGW runtime DLLs (libstdc++, libgcc, winpthread) from the compiler's own directories.
runtime=()
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  f=$($cxx -print-file-name=$dll)
  [ -f "$f" ] && runtime+=("$(dirname "$f")")
done
WINEPATH=$(IFS=';'; echo "${runtime[*]}")
# winedbg off: an unhandled exception (which a test provokes) ends the process at once.
export WINEPATH WINEPREFIX="$dir/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  start=$SECONDS
  wine wineboot --init >/dev/null 2>&1 || true
  wineserver -w
  echo "(wine prefix created: $((SECONDS - start)) s)"
fi

status=0
run() {  # name, then the command
  local name=$1; shift
  echo "== $name"
  if ! "$@"; then echo "FAILED: $name"; status=1; fi
}
start=$SECONDS
cd "$dir"
run "vectors, every caller environment" wine ./kalm_check.exe --caller-env "$envs" "$root"/tests/vectors/*.txt
run "vectors inside a device-environment scope" wine ./kalm_check.exe --scope --caller-env "$envs" "$root"/tests/vectors/*.txt
run "vectors inside a scope, checking mode" wine ./kalm_check.exe --scope-check --caller-env "$envs" "$root"/tests/vectors/*.txt
run "vectors through the batch entries" wine ./kalm_batch_check.exe --caller-env "$envs" "$root"/tests/vectors/*.txt
run "unit, frame, vector and thread tests (static library)" wine ./kalm_win_tests.exe --gtest_brief=1
run "DLL tests" wine ./kalm_win_dll_tests.exe --gtest_brief=1
run "thread started before LoadLibrary" wine ./kalm_win_late_load.exe
for e in example_cpp_exception example_c_handler example_emulator; do
  run "example $e" wine "./examples/$e.exe"
done
# The installed tree as another project takes it: find_package(kalmlib), the
# DLL through its import library and the static library.
cd "$root"
inst=$dir/install-test
rm -rf "$inst"
cmake --install "$dir" --prefix "$inst/prefix" >/dev/null
cmake -S tests/install/consumer -B "$inst/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -Dkalmlib_DIR="$inst/prefix/lib/cmake/kalmlib" >/dev/null
cmake --build "$inst/consumer" >/dev/null
WINEPATH="$WINEPATH;$inst/prefix/bin" run "installed DLL, from another project" wine "$inst/consumer/consumer.exe"
run "installed static library, from another project" wine "$inst/consumer/consumer_static.exe"
wineserver -k 2>/dev/null || true
echo "(windows runs: $((SECONDS - start)) s)"
exit $status
