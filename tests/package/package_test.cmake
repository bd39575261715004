# Builds the package of this build tree, unpacks it into a fresh folder and runs the
# packaged program on the packaged example, as a user who downloaded it would.
# Inputs: BUILD_DIR, GENERATOR (ZIP or TGZ), WORK_DIR, and RUNNER (wine wrapper, or empty).
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/unpacked")

execute_process(COMMAND cpack -G ${GENERATOR} -B "${WORK_DIR}/out" --config "${BUILD_DIR}/CPackConfig.cmake"
                WORKING_DIRECTORY "${BUILD_DIR}" RESULT_VARIABLE status OUTPUT_FILE "${WORK_DIR}/cpack.log"
                ERROR_FILE "${WORK_DIR}/cpack.log")
if(NOT status EQUAL 0)
  file(READ "${WORK_DIR}/cpack.log" log)
  message(FATAL_ERROR "cpack failed: ${log}")
endif()
file(GLOB archives "${WORK_DIR}/out/*.zip" "${WORK_DIR}/out/*.tar.gz")
list(LENGTH archives count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one package, found: ${archives}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${archives} WORKING_DIRECTORY "${WORK_DIR}/unpacked"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot unpack ${archives}")
endif()
file(GLOB top "${WORK_DIR}/unpacked/korvidan-*")

if(GENERATOR STREQUAL "ZIP")
  set(program "${top}/korvidan.exe")
  set(examples "${top}/examples")
  foreach(expected README.txt LICENSE.txt korvidan.exe examples/jouken.jkn)
    if(NOT EXISTS "${top}/${expected}")
      message(FATAL_ERROR "the ZIP lacks ${expected}")
    endif()
  endforeach()
else()
  set(program "${top}/bin/korvidan")
  set(examples "${top}/share/korvidan/examples")
  if(NOT EXISTS "${top}/share/doc/korvidan/README.md")
    message(FATAL_ERROR "the archive lacks its README")
  endif()
endif()

execute_process(COMMAND ${RUNNER} "${program}" 2 jouken.jkn docs I U WORKING_DIRECTORY "${examples}"
                RESULT_VARIABLE status OUTPUT_FILE "${WORK_DIR}/stdout" ERROR_FILE "${WORK_DIR}/stderr")
file(READ "${WORK_DIR}/stdout" report)
file(READ "${WORK_DIR}/stderr" errors)
# (The exact bytes of the report are the end-to-end tests' business; CMake strings lose CRs.)
if(NOT status EQUAL 0 OR NOT report MATCHES "^My name is korvidan\\.exe !!.?\nOutput : docs")
  message(FATAL_ERROR "the packaged program failed (${status}): ${report}${errors}")
endif()
file(READ "${examples}/docs/Mendolux4SELECT.TXT" selection)
if(NOT selection MATCHES "底冷え")
  message(FATAL_ERROR "the packaged example selected nothing: ${selection}")
endif()
message(STATUS "package ${archives} unpacked and run")
