# Makes a text file as Notepad shows it right: UTF-8 with a byte-order mark and CR LF line
# ends. The text is INPUT, or MAN_PAGE rendered as plain text by GROFF; @VERSION@ becomes
# VERSION. Inputs: INPUT or MAN_PAGE and GROFF, OUTPUT, VERSION.
# The policies of this CMake: under the old ones "@VERSION@" below would itself be expanded
# to the version, and the placeholder left in the text.
cmake_minimum_required(VERSION 3.25)
if(DEFINED MAN_PAGE)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
                          ${GROFF} -k -Tutf8 -man -P-c -P-b -P-u -P-o -rLL=78n "${MAN_PAGE}"
                  OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "groff failed on ${MAN_PAGE}")
  endif()
else()
  file(READ "${INPUT}" text)
endif()
string(REPLACE "@VERSION@" "${VERSION}" text "${text}")
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
string(ASCII 239 187 191 bom)
file(WRITE "${OUTPUT}" "${bom}${text}")
