# Prints one example's title and check-window steps, one a line, for scripts/test-package:
# cmake -DEXAMPLE=triangle -P print-checks.cmake
include(${CMAKE_CURRENT_LIST_DIR}/checks.cmake)
if(NOT DEFINED WRENDLE_EXAMPLE_CHECKS_${EXAMPLE})
  message(FATAL_ERROR "no checks for ${EXAMPLE}")
endif()
foreach(item ${WRENDLE_EXAMPLE_CHECKS_${EXAMPLE}})
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${item}")
endforeach()
