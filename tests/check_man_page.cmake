# SPDX-License-Identifier: MIT
# kalm's man page writer (cmake/KalmManPage.cmake) against a stand-in for kalm
# whose help has what roff would misread: a line starting with a dot or a
# quote, backslashes, and a command whose own help fails. Then the page the
# build wrote for the real kalm: a section for every command its help lists.
#   cmake -DWRITER=... -DWORK_DIR=... -DREAL_PAGE=... -DKALM=... -P check_man_page.cmake
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(fake ${WORK_DIR}/fake_kalm)
file(WRITE ${fake} [=[#!/bin/sh
if [ $# -eq 1 ]; then
  printf 'usage: kalm COMMAND\n  alpha X     the first\n  broken      help fails\n.dot at the start\n'
  exit 0
fi
case $2 in
  alpha) printf "usage: kalm alpha X\n'quoted start\n  a \\\\ backslash\n" ;;
  *) echo "usage: kalm $2 (half a help)"; echo "no help for $2" >&2; exit 2 ;;
esac
]=])
file(CHMOD ${fake} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(page ${WORK_DIR}/kalm.1)
execute_process(COMMAND ${CMAKE_COMMAND} -DKALM=${fake} -DOUT=${page} -DVERSION=9.8.7 -P ${WRITER}
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the man page writer failed: ${err}")
endif()
file(READ ${page} text)
foreach(want ".TH KALM 1 \"\" \"kalmlib 9.8.7\"" ".SS alpha\n" "\\&.dot at the start" "\\&'quoted start"
             "a \\e backslash")
  string(FIND "${text}" "${want}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the page has no '${want}':\n${text}")
  endif()
endforeach()
if(text MATCHES "\\.SS broken")
  message(FATAL_ERROR "the page has a section for a command whose help failed:\n${text}")
endif()
# Every line roff takes as a request is one the writer meant.
file(STRINGS ${page} lines)
foreach(line IN LISTS lines)
  if(line MATCHES "^[.']" AND NOT line MATCHES "^\\.(TH|SH|SS|B|I|BR|nf|fi|\\\\\")( |$)")
    message(FATAL_ERROR "a help line reached roff as a request: '${line}'")
  endif()
endforeach()

# The real page: one section per command `kalm help` lists.
file(READ ${REAL_PAGE} real)
execute_process(COMMAND ${KALM} help OUTPUT_VARIABLE help)
string(REGEX MATCHALL "\n  [a-z][a-z0-9_-]*" heads "${help}")
if(NOT heads)
  message(FATAL_ERROR "kalm help lists no command:\n${help}")
endif()
foreach(h IN LISTS heads)
  string(STRIP "${h}" name)
  string(FIND "${real}" ".SS ${name}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${REAL_PAGE} has no section for '${name}'")
  endif()
endforeach()
