# Builds one probe target and checks the outcome: -DEXPECT=success, or -DEXPECT=failure with
# -DMISSING=<header>, which the compiler must name as not found.
execute_process(
  COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${TARGET}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(EXPECT STREQUAL "success")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TARGET} should compile:\n${output}")
  endif()
else()
  if(status EQUAL 0)
    message(FATAL_ERROR "${TARGET} compiled, but the system must not reach ${MISSING}")
  endif()
  # As g++ and clang++ say it.
  string(FIND "${output}" "${MISSING}: No such file or directory" foundByGcc)
  string(FIND "${output}" "'${MISSING}' file not found" foundByClang)
  if(foundByGcc EQUAL -1 AND foundByClang EQUAL -1)
    message(FATAL_ERROR "${TARGET} failed for another reason than ${MISSING}:\n${output}")
  endif()
endif()
