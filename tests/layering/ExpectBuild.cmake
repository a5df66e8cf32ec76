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
    # As g++ and clang++ say it.
    set(expected "${MISSING}: No such file or directory" "'${MISSING}' file not found")
  else()
    set(what "it must fail with \"${REASON}\"")
    set(expected "${REASON}")
  endif()
  if(status EQUAL 0)
    message(FATAL_ERROR "${TARGET} compiled, but ${what}")
  endif()
  set(found FALSE)
  foreach(wording IN LISTS expected)
    string(FIND "${output}" "${wording}" at)
    if(NOT at EQUAL -1)
      set(found TRUE)
    endif()
  endforeach()
  if(NOT found)
    list(GET expected 0 first)
    message(FATAL_ERROR "${TARGET} failed for another reason than ${first}:\n${output}")
  endif()
endif()
