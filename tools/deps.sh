#!/bin/sh
# SPDX-License-Identifier: MIT
# deps.sh PACKAGE...: makes sure what the Debian packages PACKAGE... provide is
# on this host. Each known package is checked by what it provides (a command,
# or a header the C++ compiler finds), so a host without dpkg that has the
# tools passes; an unknown one is asked of dpkg when there is one. What is
# missing is installed with apt-get when running as root on a host that has
# it; otherwise the script names what is missing and fails. With
# KALM_DEPS_CHECK_ONLY=1 it never installs, only reports.
set -u
cxx=${CXX:-c++}

have_header() {  # have_header HEADER: the C++ compiler finds it
  need="header <$1>"
  printf '#include <%s>\n' "$1" | $cxx -x c++ -std=c++20 -E - >/dev/null 2>&1 || return 1
}

have_command() {  # have_command NAME: on the PATH
  need="command $1"
  command -v "$1" >/dev/null 2>&1 || return 1
}

# check PACKAGE: status 0 if present, 1 if missing, 2 if it cannot tell.
check() {
  case $1 in
    cmake|python3|clang|gawk|gnuplot-nox|qemu-user|wine64|g++)
      case $1 in gnuplot-nox) c=gnuplot ;; qemu-user) c=qemu-aarch64 ;; g++) c=g++ ;; *) c=$1 ;; esac
      have_command "$c" ;;
    ninja-build) have_command ninja ;;
    pkgconf|pkg-config) have_command pkg-config || have_command pkgconf ;;
    g++-aarch64-linux-gnu) have_command aarch64-linux-gnu-g++ ;;
    g++-arm-linux-gnueabihf) have_command arm-linux-gnueabihf-g++ ;;
    g++-mingw-w64-x86-64) have_command x86_64-w64-mingw32-g++ ;;
    gcc-arm-none-eabi) have_command arm-none-eabi-gcc ;;
    g++-mingw-w64-x86-64-posix) have_command x86_64-w64-mingw32-g++-posix ;;
    wine) have_command wine ;;
    googletest) need="/usr/src/googletest"; [ -d /usr/src/googletest ] ;;
    emscripten) have_command emcc ;;
    nodejs) have_command node ;;
    npm) have_command npm ;;
    chromium) have_command chromium ;;
    node-acorn)  # where cmake/KalmWasm.cmake looks for it
      need="acorn/package.json under /usr/share/nodejs, /usr/lib/nodejs or a node_modules folder"
      for d in /usr/share/nodejs /usr/lib/nodejs /usr/local/lib/node_modules /usr/lib/node_modules; do
        [ -f "$d/acorn/package.json" ] && return 0
      done
      return 1 ;;
    libgtest-dev) have_header gtest/gtest.h ;;
    libbenchmark-dev) have_header benchmark/benchmark.h ;;
    libmpfr-dev) have_header mpfr.h ;;
    libgmp-dev) have_header gmp.h ;;
    libunicorn-dev) have_header unicorn/unicorn.h ;;
    libdynarmic-dev) have_header dynarmic/interface/A32/a32.h ;;
    libclang-rt-14-dev|libclang-rt-*-dev)
      need="clang++ with libFuzzer and ASan runtimes"
      command -v clang++ >/dev/null 2>&1 || return 1
      out=$(mktemp) || return 2
      printf 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }\n' |
        clang++ -x c++ -fsanitize=fuzzer,address -o "$out" - >/dev/null 2>&1
      rc=$?; rm -f "$out"; return $rc ;;
    *)
      need="the package itself (no check for it but dpkg)"
      if command -v dpkg >/dev/null 2>&1; then dpkg -s "$1" >/dev/null 2>&1; else return 2; fi ;;
  esac
}

missing=""
unknown=""
report=""
need=""
for p in "$@"; do
  check "$p"
  case $? in
    0) ;;
    1) missing="$missing $p"; report="$report
  $p: $need" ;;
    *) unknown="$unknown $p" ;;
  esac
done
if [ -n "$unknown" ]; then
  echo "deps: cannot check without dpkg:$unknown (assumed present)" >&2
fi
[ -z "$missing" ] && exit 0

if [ "${KALM_DEPS_CHECK_ONLY:-0}" != 1 ] && [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "installing:$missing"
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null && exit 0
  echo "deps: apt-get install failed for:$missing" >&2
  exit 1
fi
echo "deps: missing (Debian package: what is missing):$report" >&2
if command -v apt-get >/dev/null 2>&1; then
  echo "deps: run: sudo apt-get install -y$missing" >&2
else
  echo "deps: (Debian package names; install what they provide with this host's package manager)" >&2
fi
exit 1
