cmake_minimum_required(VERSION 3.25)
# The windows-release preset refuses to configure without a key of the
# publisher's own, with the public half of the committed test key, and with a
# key the launcher itself would refuse, saying why; with another key it
# configures, and the executable's description drops "(test key)".
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
# 124 characters of Base64 that decode to no key; a brainpoolP256r1 key; the
# other key with one bit of its point changed.
set(brainpool "MFowFAYHKoZIzj0CAQYJKyQDAwIIAQEHA0IABFmlalHlHrFHo/Klx8+QKUGy139Vn+6kynQCCJWj8idCGiQM28xRtrhwQHLEAdMkQzvNP+ugopOox9rC2n9H+0Y=")
string(REGEX REPLACE "OQ==$" "OA==" off_curve "${OTHER_KEY}")
string(REPEAT "A" 124 no_key)
foreach(case IN ITEMS "${no_key}|it is not the SubjectPublicKeyInfo of a P-256" "${brainpool}|it is not the SubjectPublicKeyInfo of a P-256"
                      "${off_curve}|its point does not lie on the P-256 curve")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 key)
  list(GET case 1 reason)
  configure_release(result output "-DKOVA_RELEASE_PUBLIC_KEY=${key}")
  if(result EQUAL 0 OR NOT output MATCHES "KOVA_RELEASE_PUBLIC_KEY is no key kova-mcp can use: ${reason}")
    message(FATAL_ERROR "windows-release took ${key}, which the launcher refuses:\n${output}")
  endif()
endforeach()
configure_release(result output "-DKOVA_RELEASE_PUBLIC_KEY=${OTHER_KEY}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "windows-release refused a key of the publisher's own:\n${output}")
endif()
file(READ "${BINARY}/src/kova-mcp-version.rc" resource)
if(resource MATCHES "test key" OR output MATCHES "trusts the public test key")
  message(FATAL_ERROR "a release build calls itself a test-key build")
endif()
file(REMOVE_RECURSE "${BINARY}")
message(STATUS "windows-release: refused no key, the test key and three keys the launcher refuses; took another")
