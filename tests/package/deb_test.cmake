# Builds the .deb of this build tree and holds it to Debian's own checks: lintian with no
# error and no warning, and no placeholder in its texts.
# Inputs: BUILD_DIR, WORK_DIR, LINTIAN.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/user_texts.cmake)
file(REMOVE_RECURSE "${WORK_DIR}")
if(NOT LINTIAN)
  message(FATAL_ERROR "lintian is missing: tools/install-deps installs it")
endif()
execute_process(COMMAND cpack -G DEB -B "${WORK_DIR}" --config "${BUILD_DIR}/CPackConfig.cmake"
                WORKING_DIRECTORY "${BUILD_DIR}" RESULT_VARIABLE status OUTPUT_FILE "${WORK_DIR}.log"
                ERROR_FILE "${WORK_DIR}.log")
file(GLOB packages "${WORK_DIR}/*.deb")
if(NOT status EQUAL 0 OR NOT packages)
  file(READ "${WORK_DIR}.log" log)
  message(FATAL_ERROR "cpack failed: ${log}")
endif()
execute_process(COMMAND ${LINTIAN} --fail-on error,warning ${packages} RESULT_VARIABLE status
                OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lintian: ${said}")
endif()
# Its files and its control files, as installed: no placeholder left unfilled.
execute_process(COMMAND dpkg-deb -R ${packages} "${WORK_DIR}/unpacked" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dpkg-deb cannot unpack ${packages}")
endif()
fail_on_placeholders("${WORK_DIR}/unpacked")
message(STATUS "lintian passes on ${packages}, and it holds no placeholder")
