# The manual pages render without a single warning, at any terminal width, and the plain
# text renderings kept for machines without groff are current.
# Inputs: SOURCE_DIR, GROFF, MAN.
if(NOT GROFF OR NOT MAN)
  message(FATAL_ERROR "groff or man is missing: tools/install-deps installs them")
endif()
foreach(pair "korvidan.1|korvidan.txt" "ja/korvidan.1|korvidan-ja.txt")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 page)
  list(GET pair 1 rendered)
  set(page "${SOURCE_DIR}/man/${page}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 ${GROFF} -ww -z -k -Tutf8 -man "${page}"
                  RESULT_VARIABLE status ERROR_VARIABLE warnings)
  if(NOT status EQUAL 0 OR warnings)
    message(FATAL_ERROR "groff on ${page}: ${warnings}")
  endif()
  foreach(width 50 80 132)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 MANWIDTH=${width} ${MAN} -l "${page}"
                    RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE warnings)
    if(NOT status EQUAL 0 OR warnings)
      message(FATAL_ERROR "man -l on ${page} at width ${width}: ${warnings}")
    endif()
  endforeach()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
                          ${GROFF} -k -Tutf8 -man -P-c -P-b -P-u -P-o -rLL=78n "${page}"
                  OUTPUT_VARIABLE fresh)
  file(READ "${SOURCE_DIR}/man/rendered/${rendered}" kept)
  if(NOT fresh STREQUAL kept)
    message(FATAL_ERROR "man/rendered/${rendered} is out of date: render ${page} again "
                        "(see cmake/windows_text.cmake for the command)")
  endif()
endforeach()
