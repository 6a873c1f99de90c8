# SPDX-License-Identifier: MIT
# Install rules and packages: the libraries and headers with a CMake package
# (kalmlib::kalmlib, kalmlib::kalmlib_shared, kalmlib::kalmlib_static; the
# emulator adapters that were built as its components kalmlib::unicorn and
# kalmlib::dynarmic) and pkg-config files, the tools with kalm's man page, the licence and the docs;
# cpack makes a Debian package and a tarball of the same tree.
include_guard(DIRECTORY)
include(CMakePackageConfigHelpers)

set(KALM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kalmlib)
install(TARGETS kalmlib kalmlib_static kalmlib_default EXPORT kalmlibTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/kalmlib DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT kalmlibTargets NAMESPACE kalmlib:: DESTINATION ${KALM_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kalmlibConfigVersion.cmake COMPATIBILITY SameMajorVersion)
# The pkg-config file finds its prefix relative to itself, so the tree can move.
file(RELATIVE_PATH KALM_PC_UP /x/${CMAKE_INSTALL_LIBDIR}/pkgconfig /x)
set(KALM_PC_PREFIX "\${pcfiledir}/${KALM_PC_UP}")
# The static library's C++ runtime, for programs linked by a C compiler
# (pkg-config --static).
set(KALM_PC_LIBS_PRIVATE "")
foreach(lib IN LISTS KALM_CXX_RUNTIME)
  string(APPEND KALM_PC_LIBS_PRIVATE " -l${lib}")
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/kalmlib.pc.in ${PROJECT_BINARY_DIR}/kalmlib.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kalmlibConfig.cmake ${PROJECT_BINARY_DIR}/kalmlibConfigVersion.cmake
  DESTINATION ${KALM_CMAKE_DIR})
install(FILES ${PROJECT_BINARY_DIR}/kalmlib.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The emulator adapters that were built: static libraries, headers, one
# export set each (a component of the package, found with the framework it
# needs) and a pkg-config file each.
set(KALM_INSTALLED_ADAPTERS "")
foreach(adapter unicorn dynarmic)
  if(TARGET kalm_${adapter})
    install(TARGETS kalm_${adapter} EXPORT kalmlib_${adapter}Targets
      ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
    install(EXPORT kalmlib_${adapter}Targets NAMESPACE kalmlib:: DESTINATION ${KALM_CMAKE_DIR})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/kalmlib-${adapter}.pc.in ${PROJECT_BINARY_DIR}/kalmlib-${adapter}.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/kalmlib-${adapter}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
    list(APPEND KALM_INSTALLED_ADAPTERS ${adapter})
  endif()
endforeach()

list(JOIN KALM_INSTALLED_ADAPTERS " " KALM_INSTALLED_ADAPTERS_TEXT)
if(NOT KALM_INSTALLED_ADAPTERS_TEXT)
  set(KALM_INSTALLED_ADAPTERS_TEXT "no adapters")
endif()
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kalmlibConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kalmlibConfig.cmake INSTALL_DESTINATION ${KALM_CMAKE_DIR})

# The tools that are built, and kalm's man page, made from its help output
# whenever kalm is rebuilt (it cannot run when cross-compiled: no page then).
# They find the library beside them wherever the tree is unpacked.
file(RELATIVE_PATH KALM_BIN_TO_LIB /x/${CMAKE_INSTALL_BINDIR} /x/${CMAKE_INSTALL_LIBDIR})
foreach(tool kalm kalm_check kalm_diff)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    if(NOT APPLE)
      set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/${KALM_BIN_TO_LIB}")
    endif()
  endif()
endforeach()
if(TARGET kalm AND NOT CMAKE_CROSSCOMPILING)
  set(KALM_MAN_PAGE ${PROJECT_BINARY_DIR}/man/kalm.1)
  add_custom_command(OUTPUT ${KALM_MAN_PAGE}
    COMMAND ${CMAKE_COMMAND} -DKALM=$<TARGET_FILE:kalm> -DOUT=${KALM_MAN_PAGE} -DVERSION=${PROJECT_VERSION}
            -P ${PROJECT_SOURCE_DIR}/cmake/KalmManPage.cmake
    DEPENDS kalm ${PROJECT_SOURCE_DIR}/cmake/KalmManPage.cmake
    COMMENT "Writing kalm's man page from its help" VERBATIM)
  add_custom_target(kalm_man ALL DEPENDS ${KALM_MAN_PAGE})
  install(FILES ${KALM_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
# docs/ beside README.md, as in the tree, so that the README's links hold where it is installed.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs DESTINATION ${CMAKE_INSTALL_DOCDIR})

# ---- cpack: a Debian package and a tarball -----------------------------------
set(CPACK_PACKAGE_NAME kalmlib)
set(CPACK_PACKAGE_VENDOR "the kalmlib authors")
set(CPACK_PACKAGE_CONTACT "the kalmlib authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_LICENSE MIT)
# The package's dependencies from the libraries its binaries link, when
# dpkg-shlibdeps is there to find them; else the C and C++ runtimes by name.
find_program(KALM_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KALM_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6")
endif()
# The adapters' static libraries link their frameworks.
set(kalm_suggests "")
if(TARGET kalm_unicorn)
  list(APPEND kalm_suggests libunicorn-dev)
endif()
if(TARGET kalm_dynarmic)
  list(APPEND kalm_suggests libdynarmic-dev)
endif()
list(JOIN kalm_suggests ", " CPACK_DEBIAN_PACKAGE_SUGGESTS)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git" "/build[^/]*/")
include(CPack)
