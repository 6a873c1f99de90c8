# SPDX-License-Identifier: MIT
# Fails unless the guest image prints, under MACHINE, exactly what the native
# build of the same source prints.
execute_process(COMMAND ${NATIVE} OUTPUT_VARIABLE native RESULT_VARIABLE rn)
execute_process(COMMAND ${GUEST} --machine ${MACHINE} ${IMAGE} OUTPUT_VARIABLE guest RESULT_VARIABLE rg)
if(NOT rn EQUAL 0 OR NOT rg EQUAL 0)
  message(FATAL_ERROR "native exit ${rn}, guest exit ${rg}")
endif()
if(native STREQUAL "")
  message(FATAL_ERROR "the native demo printed nothing")
endif()
if(NOT native STREQUAL guest)
  message(FATAL_ERROR "the outputs differ\n--- native\n${native}--- guest (${MACHINE})\n${guest}")
endif()
message(STATUS "identical:\n${native}")
