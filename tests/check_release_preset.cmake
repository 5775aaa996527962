cmake_minimum_required(VERSION 3.25)
# The windows-release preset refuses to configure without a key of the
# publisher's own, and with the public half of the committed test key; with
# another key it configures, and the executable's description drops "(test key)".
#   cmake -DSOURCE=... -DBINARY=... -DTEST_KEY=... -DOTHER_KEY=... -P check_release_preset.cmake
function(configure_release outcome_var output_var)
  file(REMOVE_RECURSE "${BINARY}")
  execute_process(COMMAND "${CMAKE_COMMAND}" --preset windows-release -B "${BINARY}" ${ARGN}
                  WORKING_DIRECTORY "${SOURCE}" RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${outcome_var} "${result}" PARENT_SCOPE)
  set(${output_var} "${out}${err}" PARENT_SCOPE)
endfunction()

configure_release(result output)
if(result EQUAL 0 OR NOT output MATCHES "A release build needs your release key")
  message(FATAL_ERROR "windows-release configured without a key:\n${output}")
endif()
configure_release(result output "-DKOVA_RELEASE_PUBLIC_KEY=${TEST_KEY}")
if(result EQUAL 0 OR NOT output MATCHES "is the public half of the test key")
  message(FATAL_ERROR "windows-release configured with the test key:\n${output}")
endif()
configure_release(result output "-DKOVA_RELEASE_PUBLIC_KEY=${OTHER_KEY}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "windows-release refused a key of the publisher's own:\n${output}")
endif()
file(READ "${BINARY}/src/kova-mcp-version.rc" resource)
if(resource MATCHES "test key" OR output MATCHES "trusts the public test key")
  message(FATAL_ERROR "a release build calls itself a test-key build")
endif()
file(REMOVE_RECURSE "${BINARY}")
message(STATUS "windows-release: refused no key and the test key, took another")
