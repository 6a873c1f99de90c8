# SPDX-License-Identifier: MIT
# The project's compiler flags, in one place: kalm_apply_flags(<target> [LIBRARY])
# gives a target C++20, the warnings (as errors with KALM_WERROR) and, with
# LIBRARY, the arithmetic flags that code computing the device's results needs.
# Every target of the project goes through it; so should targets added beside
# the library (adapters, replacement libm).
include_guard(GLOBAL)
include(CheckCXXCompilerFlag)

# IEEE double and single arithmetic, round to nearest, nothing contracted,
# reordered or replaced by a builtin: the generated code must do exactly the
# operations the source writes, in that order.
set(KALM_FP_FLAGS -ffp-contract=off -fno-fast-math -frounding-math -fno-builtin)
# WebAssembly rounds to nearest and has no status register (Clang refuses
# -frounding-math there): the library computes its flags itself.
if(EMSCRIPTEN)
  list(REMOVE_ITEM KALM_FP_FLAGS -frounding-math)
endif()
check_cxx_compiler_flag(-fexcess-precision=standard KALM_HAS_EXCESS_PRECISION)
if(KALM_HAS_EXCESS_PRECISION)
  list(APPEND KALM_FP_FLAGS -fexcess-precision=standard)
endif()
# No x87: every double and float operation rounds once, in SSE registers.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64|i.86")
  list(APPEND KALM_FP_FLAGS -msse2 -mfpmath=sse)
endif()

# kalm_apply_flags(<target> [LIBRARY]): C++20 without extensions, the project's
# warnings (errors when KALM_WERROR is on) and, for LIBRARY, KALM_FP_FLAGS. All
# PRIVATE: nothing of this reaches a program that links the target.
function(kalm_apply_flags target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "LIBRARY" "" "")
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kalm_apply_flags(${target}): unknown argument(s) ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    message(FATAL_ERROR "kalm_apply_flags(${target}): an interface library compiles nothing")
  endif()
  target_compile_features(${target} PRIVATE cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  # -Wno-restrict: GCC 12 reports a false positive inside std::string at -O3;
  # Clang has no such warning (and would warn about an unknown option).
  target_compile_options(${target} PRIVATE
    -Wall -Wextra
    $<$<AND:$<COMPILE_LANGUAGE:CXX>,$<CXX_COMPILER_ID:GNU>>:-Wno-restrict>
    $<$<BOOL:${KALM_WERROR}>:-Werror>)
  if(ARG_LIBRARY)
    target_compile_options(${target} PRIVATE ${KALM_FP_FLAGS})
  endif()
endfunction()
