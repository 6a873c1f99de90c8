# SPDX-License-Identifier: MIT
# Writes a C++ source holding every tests/vectors/*.txt file as a raw string
# literal, so that `kalm report` needs nothing but its own binary.
#   cmake -DDIR=<vector dir> -DOUT=<file.cpp> -P embed_vectors.cmake
file(GLOB files "${DIR}/*.txt")
list(SORT files)
set(delim "KALMVEC")
set(out "// Generated from tests/vectors/*.txt by tools/embed_vectors.cmake; do not edit.\n")
string(APPEND out "#include \"commands.hpp\"\n\nnamespace kalmtool {\n\nconst EmbeddedFile kEmbeddedVectors[] = {\n")
foreach(f IN LISTS files)
  get_filename_component(name "${f}" NAME)
  file(READ "${f}" content)
  string(FIND "${content}" ")${delim}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${f} contains the raw-string delimiter )${delim}\"")
  endif()
  string(APPEND out "    {\"${name}\", R\"${delim}(${content})${delim}\"},\n")
endforeach()
string(APPEND out "    {nullptr, nullptr},\n};\n\n}  // namespace kalmtool\n")
# Rewrite only on change, so that an unchanged set does not rebuild the tool.
set(old "")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT old STREQUAL out)
  file(WRITE "${OUT}" "${out}")
endif()
