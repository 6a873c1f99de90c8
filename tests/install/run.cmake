# SPDX-License-Identifier: MIT
# Installs the build into a scratch prefix, then builds and runs consumers:
# C++ with find_package(kalmlib) (shared and static), a C-only project on the
# static library, and C++ and C programs with the flags pkg-config gives.
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
