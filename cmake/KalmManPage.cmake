# SPDX-License-Identifier: MIT
# Writes the man page of kalm from what the tool itself prints: `kalm help`,
# then `kalm help NAME` for every command that list names. Nothing of the help
# text is assumed beyond "a command's line starts with indented NAME", so the
# page follows the tool whatever its help says; a command whose help fails is
# left out, and a help that prints nothing fails the build.
#   cmake -DKALM=<kalm> -DOUT=<kalm.1> -DVERSION=<x.y.z> -P KalmManPage.cmake
foreach(v KALM OUT VERSION)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "KalmManPage.cmake: ${v} not given")
  endif()
endforeach()

# Verbatim text in roff: backslashes escaped, and a line starting with a
# control character (. or ') made plain text.
function(kalm_roff_verbatim text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  string(REGEX REPLACE "\n+$" "" text "${text}")
  set(${out} ".nf\n${text}\n.fi\n" PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${KALM} help RESULT_VARIABLE rc OUTPUT_VARIABLE general ERROR_VARIABLE err)
if(general STREQUAL "")
  set(general "${err}")
endif()
if(general STREQUAL "")
  message(FATAL_ERROR "`${KALM} help` printed nothing (status ${rc})")
endif()

set(page ".\\\" SPDX-License-Identifier: MIT\n")
string(APPEND page ".\\\" Generated from the output of `kalm help` when kalm was built; do not edit.\n")
string(APPEND page ".TH KALM 1 \"\" \"kalmlib ${VERSION}\" \"kalmlib\"\n")
string(APPEND page ".SH NAME\nkalm \\- evaluate, check and measure the kalmlib math library\n")
string(APPEND page ".SH SYNOPSIS\n.B kalm\n.I COMMAND\n[\\fIARG\\fR...]\n")
string(APPEND page ".SH DESCRIPTION\n")
kalm_roff_verbatim("${general}" block)
string(APPEND page "${block}")

string(REGEX MATCHALL "(^|\n)  [a-z][a-z0-9_-]*" heads "${general}")
set(commands)
foreach(h IN LISTS heads)
  string(STRIP "${h}" name)
  list(APPEND commands ${name})
endforeach()
list(REMOVE_DUPLICATES commands)
set(sections "")
foreach(name IN LISTS commands)
  execute_process(COMMAND ${KALM} help ${name} RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR text STREQUAL "")
    continue()
  endif()
  kalm_roff_verbatim("${text}" block)
  string(APPEND sections ".SS ${name}\n${block}")
endforeach()
if(NOT sections STREQUAL "")
  string(APPEND page ".SH COMMANDS\n${sections}")
endif()
string(APPEND page ".SH EXIT STATUS\n0 on success; 2 for a bad option or value, with one line on standard error.\n")
string(APPEND page ".SH SEE ALSO\nThe README of kalmlib, installed with its documentation (share/doc/kalmlib).\n")

# Rewritten only when it changes, so an unchanged help does not re-install.
if(EXISTS ${OUT})
  file(READ ${OUT} old)
  if(old STREQUAL page)
    return()
  endif()
endif()
file(WRITE ${OUT} "${page}")
