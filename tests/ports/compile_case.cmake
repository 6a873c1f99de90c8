# SPDX-License-Identifier: MIT
# Compiles one case of compile_cases.cpp: case 0 must compile; every other case
# must fail, and fail for the reason it is there (a deleted overload, an
# ambiguous call, a conversion refused), not for a typo in the file.
execute_process(
  COMMAND ${CXX} -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I${INCLUDE_DIR} -DKALM_CASE=${CASE} ${SOURCE}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(CASE EQUAL 0)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the lines that must compile do not:\n${err}")
  endif()
elseif(rc EQUAL 0)
  message(FATAL_ERROR "case ${CASE} compiles but must not")
elseif(NOT err MATCHES "deleted|ambiguous|conversion from")
  message(FATAL_ERROR "case ${CASE} fails for another reason:\n${err}")
else()
  string(REGEX MATCH "error: [^\n]*" first "${err}")
  message(STATUS "case ${CASE} refused as it must: ${first}")
endif()
