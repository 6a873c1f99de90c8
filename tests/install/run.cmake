# SPDX-License-Identifier: MIT
# Installs the build into a scratch prefix, then builds and runs consumers:
# C++ with find_package(kalmlib) (shared and static), a C-only project on the
# static library, C++ and C programs with the flags pkg-config gives, and the
# emulator adapters that were built (the Unicorn example against them).
file(REMOVE_RECURSE ${WORK_DIR})
set(PREFIX ${WORK_DIR}/prefix)
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
endfunction()
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/consumer -B ${WORK_DIR}/consumer -DCMAKE_PREFIX_PATH=${PREFIX})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${WORK_DIR}/consumer/consumer)
run(${WORK_DIR}/consumer/consumer_static)
# A C-only project linking the static library: it needs the C++ runtime.
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/c_consumer -B ${WORK_DIR}/c_consumer -DCMAKE_PREFIX_PATH=${PREFIX})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/c_consumer)
run(${WORK_DIR}/c_consumer/c_consumer_static)

find_program(PKG_CONFIG NAMES pkg-config pkgconf REQUIRED)
file(GLOB_RECURSE pcfile ${PREFIX}/*/kalmlib.pc)
get_filename_component(pcdir "${pcfile}" DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pcdir})
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs kalmlib OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config does not find kalmlib")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(c++ -std=c++20 ${SOURCE_DIR}/tests/install/consumer/main.cpp ${flags} -o ${WORK_DIR}/pc_consumer)
string(REGEX MATCH "-L([^ ;]+)" _ "${flags}")
set(ENV{LD_LIBRARY_PATH} ${CMAKE_MATCH_1})
run(${WORK_DIR}/pc_consumer)

# A C program linked by the C compiler against the static archive, with what
# `pkg-config --static` adds for it (the C++ runtime, from Libs.private).
execute_process(COMMAND ${PKG_CONFIG} --static --libs-only-l kalmlib OUTPUT_VARIABLE libs
                OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${PKG_CONFIG} --cflags kalmlib OUTPUT_VARIABLE cflags OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${PKG_CONFIG} --variable=libdir kalmlib OUTPUT_VARIABLE libdir OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(libs UNIX_COMMAND "${libs}")
separate_arguments(cflags UNIX_COMMAND "${cflags}")
list(REMOVE_ITEM libs -lkalmlib)
run(cc ${SOURCE_DIR}/tests/install/c_consumer/main.c ${cflags} ${libdir}/libkalmlib.a ${libs}
    -o ${WORK_DIR}/pc_c_static)
run(${WORK_DIR}/pc_c_static)

# The emulator adapters, where the build has them: the Unicorn example built
# against the installed kalmlib::unicorn (and with pkg-config), dynarmic's
# component found, and a component that is not there reported by find_package.
if(EXISTS ${PREFIX}/${LIBDIR}/cmake/kalmlib/kalmlib_unicornTargets.cmake)
  set(components unicorn)
  if(EXISTS ${PREFIX}/${LIBDIR}/cmake/kalmlib/kalmlib_dynarmicTargets.cmake)
    string(APPEND components ",dynarmic")
  endif()
  set(example ${SOURCE_DIR}/adapters/unicorn/example.c)
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/adapter_consumer -B ${WORK_DIR}/adapter_consumer
      -DCMAKE_PREFIX_PATH=${PREFIX} -DEXAMPLE=${example} -DKALM_COMPONENTS=${components})
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/adapter_consumer)
  run(${WORK_DIR}/adapter_consumer/example_unicorn)
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs kalmlib-unicorn OUTPUT_VARIABLE flags
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not find kalmlib-unicorn")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run(cc ${example} ${flags} -o ${WORK_DIR}/pc_example_unicorn)
  run(${WORK_DIR}/pc_example_unicorn)
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/adapter_consumer
                  -B ${WORK_DIR}/missing_component -DCMAKE_PREFIX_PATH=${PREFIX} -DEXAMPLE=${example}
                  -DKALM_COMPONENTS=unicorn,nosuch RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc EQUAL 0 OR NOT "${out}${err}" MATCHES "nosuch")
    message(FATAL_ERROR "find_package(kalmlib COMPONENTS nosuch) did not fail naming it (${rc}):\n${out}\n${err}")
  endif()
elseif(WANT_ADAPTERS)
  message(FATAL_ERROR "the build has the Unicorn adapter, the install tree does not")
endif()
