# SPDX-License-Identifier: MIT
# The release's numbers in one agreement: the newest "## X.Y.Z" heading of
# CHANGELOG.md is the version, and the shared library's soname file ends in
# .so.MAJOR (the ABI policy: the soname is the major version).
#   cmake -DCHANGELOG=... -DVERSION=... -DSONAME_LINK=... -DMAJOR=... -P check_release.cmake
file(STRINGS ${CHANGELOG} headings REGEX "^## ")
if(NOT headings)
  message(FATAL_ERROR "${CHANGELOG} has no release heading (## X.Y.Z)")
endif()
list(GET headings 0 newest)
if(NOT newest MATCHES "^## ([0-9]+\\.[0-9]+\\.[0-9]+)")
  message(FATAL_ERROR "the newest heading of ${CHANGELOG} names no version: '${newest}'")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  message(FATAL_ERROR "CHANGELOG.md's newest release is ${CMAKE_MATCH_1}, the header says ${VERSION}")
endif()
get_filename_component(soname ${SONAME_LINK} NAME)
if(NOT soname MATCHES "\\.so\\.${MAJOR}$" AND NOT soname MATCHES "\\.${MAJOR}\\.dylib$")
  message(FATAL_ERROR "the shared library's soname file is ${soname}, not .so.${MAJOR}")
endif()
message(STATUS "version ${VERSION}, soname ${soname}")
