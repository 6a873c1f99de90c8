# SPDX-License-Identifier: MIT
# The WebAssembly build (Emscripten): C++ exceptions on (the library throws
# kalm::FpException, the tests catch it), the programs run under node with the
# host's files by path (NODERAWFS), their exit status given back, memory that
# grows as the vector files need it. No shared libraries: `kalmlib` is a
# second archive of the same objects (its own name), so that the tools link
# it as they do elsewhere.
include_guard(GLOBAL)

add_compile_options(-fexceptions)
# std::bit_cast where Emscripten's libc++ lacks it (wasm-compat/bit).
include_directories(SYSTEM ${CMAKE_CURRENT_LIST_DIR}/wasm-compat)
add_link_options(-fexceptions -sALLOW_MEMORY_GROWTH=1)
set(KALM_WASM_NODE_PROGRAM -sNODERAWFS=1 -sEXIT_RUNTIME=1 -sENVIRONMENT=node)

# Linking at -O1 and above runs Emscripten's JS optimizer under node, which
# needs acorn; Debian's node-acorn installs it where node does not look by
# itself.
find_path(KALM_ACORN_DIR acorn/package.json
  PATHS /usr/share/nodejs /usr/lib/nodejs /usr/local/lib/node_modules /usr/lib/node_modules
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(KALM_ACORN_DIR)
  set(CMAKE_C_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env "NODE_PATH=${KALM_ACORN_DIR}")
  set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env "NODE_PATH=${KALM_ACORN_DIR}")
  kalm_dependency(acorn TRUE "(${KALM_ACORN_DIR})")
else()
  kalm_dependency(acorn FALSE "(Debian: node-acorn, which optimised links need)")
endif()

# WebAssembly has no status register: the library's flags come from its
# software flag layer (src/host/soft*, KALM_SOFT_FLAGS). A tree without that
# layer still builds here, through <cfenv>, whose Emscripten version names no
# exception at all: every flag then stays clear, and the flag checks fail.
file(GLOB kalm_soft_layer ${PROJECT_SOURCE_DIR}/src/host/soft*)
if(NOT kalm_soft_layer)
  message(WARNING "no software flag layer (src/host/soft*): the WebAssembly build computes no flags")
  add_compile_definitions(FE_INVALID=1 FE_DIVBYZERO=4 FE_OVERFLOW=8 FE_UNDERFLOW=16 FE_INEXACT=32)
endif()

# kalm_wasm_node_program(<target>): a program run under node, like a native one.
function(kalm_wasm_node_program target)
  target_link_options(${target} PRIVATE ${KALM_WASM_NODE_PROGRAM})
  set_target_properties(${target} PROPERTIES SUFFIX ".js")
endfunction()
