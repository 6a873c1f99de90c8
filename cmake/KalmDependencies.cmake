# SPDX-License-Identifier: MIT
# The optional dependencies, each looked for once and quietly: the library
# needs only a compiler. What is found or not goes into the summary block.
#   MPFR and GMP   -> KALM_HAVE_MPFR, MPFR_LIB, GMP_LIB, MPFR_INCLUDE_DIR
#                     (the accuracy oracle of kalm and of the tests)
#   GTest          -> GTest_FOUND (the test suite)
#   benchmark      -> benchmark_FOUND (the benchmark harness)
#   Unicorn        -> KALM_HAVE_UNICORN, UNICORN_LIB, UNICORN_INCLUDE_DIR
#   dynarmic       -> KALM_HAVE_DYNARMIC (with Unicorn: the emulator frameworks)
include_guard(DIRECTORY)

# MPFR and GMP ship no CMake package: the header and both libraries.
find_path(MPFR_INCLUDE_DIR mpfr.h)
find_library(MPFR_LIB mpfr)
find_library(GMP_LIB gmp)
if(MPFR_INCLUDE_DIR AND MPFR_LIB AND GMP_LIB)
  set(KALM_HAVE_MPFR TRUE)
  kalm_dependency(MPFR TRUE "(${MPFR_LIB})")
else()
  set(KALM_HAVE_MPFR FALSE)
  set(miss)
  foreach(v MPFR_INCLUDE_DIR MPFR_LIB GMP_LIB)
    if(NOT ${v})
      list(APPEND miss ${v})
    endif()
  endforeach()
  list(JOIN miss ", " miss)
  kalm_dependency(MPFR FALSE "(${miss}; Debian: libmpfr-dev libgmp-dev)")
endif()

find_package(GTest QUIET)
if(GTest_FOUND)
  kalm_dependency(GTest TRUE "(${GTest_DIR})")
else()
  kalm_dependency(GTest FALSE "(Debian: libgtest-dev)")
endif()

find_package(benchmark QUIET)
if(benchmark_FOUND)
  kalm_dependency("Google Benchmark" TRUE "(${benchmark_DIR})")
else()
  kalm_dependency("Google Benchmark" FALSE "(Debian: libbenchmark-dev)")
endif()

find_path(UNICORN_INCLUDE_DIR unicorn/unicorn.h)
find_library(UNICORN_LIB unicorn)
if(UNICORN_INCLUDE_DIR AND UNICORN_LIB)
  set(KALM_HAVE_UNICORN TRUE)
  kalm_dependency(Unicorn TRUE "(${UNICORN_LIB})")
else()
  set(KALM_HAVE_UNICORN FALSE)
  kalm_dependency(Unicorn FALSE "(Debian: libunicorn-dev)")
endif()

# dynarmic's own package drags in LLVM's: its header and library are enough to
# tell whether it is there; whoever builds on it takes its package.
find_path(DYNARMIC_INCLUDE_DIR dynarmic/interface/A32/a32.h)
find_library(DYNARMIC_LIB dynarmic)
if(DYNARMIC_INCLUDE_DIR AND DYNARMIC_LIB)
  set(KALM_HAVE_DYNARMIC TRUE)
  kalm_dependency(dynarmic TRUE "(${DYNARMIC_LIB})")
else()
  set(KALM_HAVE_DYNARMIC FALSE)
  kalm_dependency(dynarmic FALSE "(Debian: libdynarmic-dev)")
endif()
