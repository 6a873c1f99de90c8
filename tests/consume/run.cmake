# SPDX-License-Identifier: MIT
# The ways other projects take kalmlib, each built from scratch in WORK_DIR:
#   MODE=subdir   add_subdirectory in a parent that has a src/ and testing of its own
#   MODE=fetch    FetchContent from a local path, with BUILD_SHARED_LIBS OFF
#   MODE=bare     a configure and build with only a compiler: MPFR, GMP, GTest,
#                 Google Benchmark, Unicorn and dynarmic hidden from every find_*
#   MODE=deb      the .deb cpack makes from BUILD_DIR, unpacked into a scratch
#                 root, and programs built against what it holds
# cmake -DMODE=... -DSOURCE_DIR=... -DWORK_DIR=... [-DBUILD_DIR=...] -P run.cmake
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(here ${CMAKE_CURRENT_LIST_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

# No compile command of a build may carry -Werror: a parent project's compiler
# may warn where ours does not, and that must not break its build.
function(expect_no_werror dir)
  run(${CMAKE_COMMAND} --build ${dir} -- -t commands)
  if(out MATCHES "-Werror")
    message(FATAL_ERROR "a compile command in ${dir} has -Werror")
  endif()
endfunction()

if(MODE STREQUAL "subdir")
  set(b ${WORK_DIR}/build)
  run(${CMAKE_COMMAND} -S ${here}/subdir -B ${b} -G Ninja -DKALM_SOURCE_DIR=${SOURCE_DIR} -DKALM_ADAPTERS=ON)
  run(${CMAKE_COMMAND} --build ${b})
  run(${b}/parent_app)
  run(${b}/parent_c_static)
  # The Unicorn example through kalmlib::unicorn, where Unicorn is installed.
  find_path(unicorn_h unicorn/unicorn.h)
  if(unicorn_h)
    run(${b}/parent_unicorn)
  endif()
  expect_no_werror(${b})
  # BUILD_SHARED_LIBS unset: kalmlib::kalmlib is the shared library.
  file(GLOB_RECURSE shared ${b}/libkalmlib.so*)
  if(NOT shared)
    message(FATAL_ERROR "kalmlib::kalmlib did not build the shared library")
  endif()
  # No install rules of kalmlib's own: installing the parent installs nothing.
  run(${CMAKE_COMMAND} --install ${b} --prefix ${WORK_DIR}/prefix)
  file(GLOB_RECURSE installed ${WORK_DIR}/prefix/*)
  if(installed)
    message(FATAL_ERROR "kalmlib as a subproject installs files: ${installed}")
  endif()
elseif(MODE STREQUAL "fetch")
  set(b ${WORK_DIR}/build)
  run(${CMAKE_COMMAND} -S ${here}/fetch -B ${b} -G Ninja -DKALM_SOURCE_DIR=${SOURCE_DIR})
  run(${CMAKE_COMMAND} --build ${b})
  run(${b}/fetch_app)
  expect_no_werror(${b})
  # BUILD_SHARED_LIBS OFF: the program is linked statically and the shared
  # library, which nothing links, is not built.
  file(GLOB_RECURSE shared ${b}/libkalmlib.so*)
  if(shared)
    message(FATAL_ERROR "BUILD_SHARED_LIBS OFF, yet the shared library was built: ${shared}")
  endif()
elseif(MODE STREQUAL "bare")
  # Every prefix the find_* commands search is ignored, so none of the optional
  # packages is found, though the machine has them. Their headers stay where
  # the compiler finds them by itself: the deps audit below fails if any
  # source still includes one or any link names one.
  file(WRITE ${WORK_DIR}/hide.cmake "set(CMAKE_IGNORE_PREFIX_PATH /usr /usr/local / CACHE STRING \"\")\n"
       "set(CMAKE_FIND_USE_PACKAGE_REGISTRY OFF CACHE BOOL \"\")\n")
  set(hide -C ${WORK_DIR}/hide.cmake)
  set(b ${WORK_DIR}/build)
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${b} -G Ninja ${hide})
  foreach(line "[ ] tests: needs GTest and MPFR" "[ ] kalm tool and its man page: needs MPFR"
               "[ ] benchmarks: needs Google Benchmark" "[x] kalm_check" "[x] examples" "MPFR: not found")
    string(FIND "${out}" "${line}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "the summary does not say '${line}':\n${out}")
    endif()
  endforeach()
  # CI asks for every part: there the same configure must fail, not shrink.
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/require -G Ninja ${hide}
                          -DKALM_REQUIRE_ALL=ON RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(rc EQUAL 0)
    message(FATAL_ERROR "KALM_REQUIRE_ALL=ON accepted a configure without the test suite's packages")
  endif()
  # BUILD_TESTING=OFF at the top level leaves the tests out, whatever is found.
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/notest -G Ninja -DBUILD_TESTING=OFF)
  string(FIND "${out}" "[ ] tests: off (BUILD_TESTING is OFF)" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "BUILD_TESTING=OFF did not switch the tests off:\n${out}")
  endif()
  run(${CMAKE_COMMAND} --build ${b})
  run(${b}/examples/example_c_handler)
  run(${CMAKE_COMMAND} --build ${b} -- -t deps)
  string(REGEX MATCHALL "[^ \n]*(mpfr\\.h|gmp\\.h|gtest/|benchmark/|unicorn/|dynarmic/)[^ \n]*" used "${out}")
  if(used)
    list(REMOVE_DUPLICATES used)
    message(FATAL_ERROR "the compiler-only build includes headers of optional packages: ${used}")
  endif()
  run(${CMAKE_COMMAND} --build ${b} -- -t commands)
  if(out MATCHES "-l(mpfr|gmp|gtest|benchmark|unicorn|dynarmic)|lib(mpfr|gmp|gtest|benchmark|unicorn|dynarmic)")
    message(FATAL_ERROR "the compiler-only build links an optional package: ${CMAKE_MATCH_0}")
  endif()
elseif(MODE STREQUAL "deb")
  run(cpack --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/packages)
  file(GLOB deb ${WORK_DIR}/packages/*.deb)
  file(GLOB tgz ${WORK_DIR}/packages/*.tar.gz)
  if(NOT deb OR NOT tgz)
    message(FATAL_ERROR "cpack made no .deb or no .tar.gz: ${deb} ${tgz}")
  endif()
  set(root ${WORK_DIR}/root)
  find_program(DPKG_DEB dpkg-deb)
  if(DPKG_DEB)
    run(${DPKG_DEB} -x ${deb} ${root})
    run(${DPKG_DEB} -f ${deb} Package Version Depends)
    message(STATUS "${out}")
  else()
    # A .deb is an ar archive holding data.tar.*; CMake's tar reads both.
    file(MAKE_DIRECTORY ${WORK_DIR}/ar ${root})
    execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${deb} WORKING_DIRECTORY ${WORK_DIR}/ar)
    file(GLOB data ${WORK_DIR}/ar/data.tar.*)
    run(${CMAKE_COMMAND} -E chdir ${root} ${CMAKE_COMMAND} -E tar xf ${data})
  endif()
  foreach(f bin/kalm share/man/man1/kalm.1 share/doc/kalmlib/LICENSE share/doc/kalmlib/CHANGELOG.md
            include/kalmlib/kalmlib.h share/doc/kalmlib/docs/layout.md share/doc/kalmlib/README.md)
    if(NOT EXISTS ${root}/usr/${f} AND NOT EXISTS ${root}/usr/${f}.gz)
      message(FATAL_ERROR "the .deb has no /usr/${f}")
    endif()
  endforeach()
  file(GLOB_RECURSE pc ${root}/usr/*/kalmlib.pc)
  get_filename_component(libdir "${pc}" DIRECTORY)
  get_filename_component(libdir "${libdir}" DIRECTORY)
  # The unpacked tool runs from where it lies (its run path finds the library).
  run(${root}/usr/bin/kalm help)
  # Programs built against the unpacked tree: C++ with the shared and the static
  # library, and C with the static one.
  run(${CMAKE_COMMAND} -S ${here}/../install/consumer -B ${WORK_DIR}/consumer -G Ninja
      -DCMAKE_PREFIX_PATH=${root}/usr)
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
  run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${libdir} ${WORK_DIR}/consumer/consumer)
  run(${WORK_DIR}/consumer/consumer_static)
  run(${CMAKE_COMMAND} -S ${here}/../install/c_consumer -B ${WORK_DIR}/c_consumer -G Ninja
      -DCMAKE_PREFIX_PATH=${root}/usr)
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/c_consumer)
  run(${WORK_DIR}/c_consumer/c_consumer_static)
  # The emulator adapters the build had: the Unicorn example against the
  # unpacked kalmlib::unicorn.
  if(WANT_ADAPTERS)
    run(${CMAKE_COMMAND} -S ${here}/../install/adapter_consumer -B ${WORK_DIR}/adapter_consumer -G Ninja
        -DCMAKE_PREFIX_PATH=${root}/usr -DEXAMPLE=${SOURCE_DIR}/adapters/unicorn/example.c)
    run(${CMAKE_COMMAND} --build ${WORK_DIR}/adapter_consumer)
    run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${libdir} ${WORK_DIR}/adapter_consumer/example_unicorn)
  endif()
else()
  message(FATAL_ERROR "run.cmake: MODE must be subdir, fetch, bare or deb (got '${MODE}')")
endif()
