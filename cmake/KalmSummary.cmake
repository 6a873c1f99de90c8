# SPDX-License-Identifier: MIT
# One block at the end of the configure: which optional parts are built, and
# for each one that is not, why. A part is recorded where it is decided:
#   kalm_part(<name> <ON|OFF> [<why>])
# and a dependency where it is looked for:
#   kalm_dependency(<name> <found: TRUE/FALSE> [<where or what is missing>])
# With KALM_REQUIRE_ALL a part that is switched on but cannot be built fails
# the configure instead (CI sets it, so a lost part cannot pass unnoticed).
include_guard(GLOBAL)

function(kalm_dependency name found detail)
  if(found)
    set(line "  ${name}: found ${detail}")
  else()
    set(line "  ${name}: not found ${detail}")
  endif()
  set_property(GLOBAL APPEND PROPERTY KALM_SUMMARY_DEPS "${line}")
endfunction()

# kalm_part(<name> <built> <why>): <why> says what it needs when <built> is
# false; a part switched off by its option says so and is never an error.
function(kalm_part name built)
  set(why "${ARGN}")
  if(built)
    set(line "  [x] ${name}")
  else()
    set(line "  [ ] ${name}: ${why}")
    if(KALM_REQUIRE_ALL AND NOT why MATCHES "^off")
      message(FATAL_ERROR "${name} cannot be built (${why}) and KALM_REQUIRE_ALL is on")
    endif()
  endif()
  set_property(GLOBAL APPEND PROPERTY KALM_SUMMARY_PARTS "${line}")
endfunction()

function(kalm_print_summary)
  get_property(parts GLOBAL PROPERTY KALM_SUMMARY_PARTS)
  get_property(deps GLOBAL PROPERTY KALM_SUMMARY_DEPS)
  list(JOIN parts "\n" parts)
  list(JOIN deps "\n" deps)
  if(deps STREQUAL "")
    set(deps "  (none looked for: no part that needs one is on)")
  endif()
  message(STATUS "kalmlib ${PROJECT_VERSION} (${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION}, "
                 "${CMAKE_BUILD_TYPE}${KALM_SUMMARY_MODE}):\n"
                 "  [x] library: kalmlib::kalmlib (${KALM_DEFAULT_KIND}), kalmlib::kalmlib_shared, kalmlib::kalmlib_static\n"
                 "${parts}\n optional dependencies:\n${deps}")
endfunction()
