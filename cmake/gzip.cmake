# Compresses INPUT into OUTPUT as Debian wants it: best compression, no name or time stamp.
execute_process(COMMAND gzip -9nc "${INPUT}" OUTPUT_FILE "${OUTPUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${INPUT}")
endif()
