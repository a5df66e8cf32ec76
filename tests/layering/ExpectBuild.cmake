# Builds one probe target and checks the outcome: -DEXPECT=success, or -DEXPECT=failure with
# either -DMISSING=<header>, which the compiler must name as not found, or -DREASON=<text>,
# which its messages must hold.
execute_process(
  COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${TARGET}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(EXPECT STREQUAL "success")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TARGET} should compile:\n${output}")
  endif()
else()
  if(DEFINED MISSING)
    set(what "the system must not reach ${MISSING}")
    set(expected "${MISSING}: No such file or directory")
  else()
    set(what "it must fail with \"${REASON}\"")
    set(expected "${REASON}")
  endif()
  if(status EQUAL 0)
    message(FATAL_ERROR "${TARGET} compiled, but ${what}")
  endif()
  string(FIND "${output}" "${expected}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${TARGET} failed for another reason than ${expected}:\n${output}")
  endif()
endif()
