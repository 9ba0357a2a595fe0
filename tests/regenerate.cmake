# Runs GENERATOR with PYTHON into OUTPUT and fails unless the result equals EXPECTED.
execute_process(COMMAND ${PYTHON} ${GENERATOR} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${GENERATOR} failed: ${result}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${EXPECTED}
  RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "${EXPECTED} differs from what ${GENERATOR} makes (${OUTPUT})")
endif()
