# SPDX-License-Identifier: MIT
# WebAssembly through Emscripten (Debian's emscripten 3.1.6 or an emsdk): this
# file finds Emscripten's own toolchain file and runs the programs it builds
# under node. `emcmake cmake ...` works as well; the wasm preset uses this file
# so that the build needs no wrapper.
#
# Emscripten is found by EMSCRIPTEN_ROOT_PATH, the EMSCRIPTEN environment
# variable, or emcc on the PATH (em-config names its root).
if(NOT EMSCRIPTEN_ROOT_PATH AND DEFINED ENV{EMSCRIPTEN})
  set(EMSCRIPTEN_ROOT_PATH "$ENV{EMSCRIPTEN}")
endif()
if(NOT EMSCRIPTEN_ROOT_PATH)
  find_program(KALM_EM_CONFIG em-config)
  if(KALM_EM_CONFIG)
    execute_process(COMMAND ${KALM_EM_CONFIG} EMSCRIPTEN_ROOT OUTPUT_VARIABLE EMSCRIPTEN_ROOT_PATH
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
endif()
if(NOT EXISTS "${EMSCRIPTEN_ROOT_PATH}/cmake/Modules/Platform/Emscripten.cmake")
  message(FATAL_ERROR "Emscripten not found (Debian: emscripten); set EMSCRIPTEN_ROOT_PATH or EMSCRIPTEN")
endif()
set(EMSCRIPTEN_ROOT_PATH "${EMSCRIPTEN_ROOT_PATH}" CACHE PATH "Emscripten's root folder")

# Emscripten 3.1.6's runtime under node 18 and later tries fetch() on the
# .wasm file's path; without node's fetch it reads the file instead.
find_program(KALM_NODE NAMES node nodejs REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${KALM_NODE};--no-experimental-fetch" CACHE STRING
    "How the programs of this build are run")

include("${EMSCRIPTEN_ROOT_PATH}/cmake/Modules/Platform/Emscripten.cmake")
