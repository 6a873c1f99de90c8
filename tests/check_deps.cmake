# SPDX-License-Identifier: MIT
# tools/deps.sh finds a package by what it provides, not by dpkg: the packages
# this build uses pass, and a header the compiler cannot see (a compiler told
# to search no system directory) makes it fail naming the package and the
# header, without installing anything.
#   cmake -DDEPS=<tools/deps.sh> -P check_deps.cmake
set(ENV{KALM_DEPS_CHECK_ONLY} 1)
execute_process(COMMAND sh ${DEPS} cmake libmpfr-dev libgmp-dev libgtest-dev RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "deps.sh does not find what this build uses (${rc}):\n${err}")
endif()
set(ENV{CXX} "c++ -nostdinc")
execute_process(COMMAND sh ${DEPS} cmake libmpfr-dev RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT err MATCHES "libmpfr-dev: header <mpfr.h>" OR err MATCHES "cmake:")
  message(FATAL_ERROR "deps.sh with mpfr.h out of sight: status ${rc}, said:\n${err}")
endif()
