cmake_minimum_required(VERSION 3.25)
# The windows-release preset refuses to configure without a key of the
# publisher's own, with the public half of the committed test key, and with a
# key the launcher itself would refuse, saying why; it says when the key
# check cannot run (no Wine) or libcrypto is not this user's, and refuses a
# version a version resource cannot carry; with another key it configures
# with the publisher's version and company, and the executable's description
# drops "(test key)".
#   cmake -DSOURCE=... -DBINARY=... -DTEST_KEY=... -DOTHER_KEY=... -P check_release_preset.cmake
# The environment of the next configure (cmake -E env arguments), if any.
set(release_environment "")
function(configure_release outcome_var output_var)
  file(REMOVE_RECURSE "${BINARY}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env ${release_environment}
                          "${CMAKE_COMMAND}" --preset windows-release -B "${BINARY}" ${ARGN}
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
# other key with one bit of its point changed; PEM text, and the Base64 with
# a blank in it, each said so rather than given a usage line.
set(brainpool "MFowFAYHKoZIzj0CAQYJKyQDAwIIAQEHA0IABFmlalHlHrFHo/Klx8+QKUGy139Vn+6kynQCCJWj8idCGiQM28xRtrhwQHLEAdMkQzvNP+ugopOox9rC2n9H+0Y=")
string(REGEX REPLACE "OQ==$" "OA==" off_curve "${OTHER_KEY}")
string(REPEAT "A" 124 no_key)
string(SUBSTRING "${OTHER_KEY}" 0 10 head)
string(SUBSTRING "${OTHER_KEY}" 10 -1 tail)
foreach(case IN ITEMS "${no_key}|it is not the SubjectPublicKeyInfo of a P-256" "${brainpool}|it is not the SubjectPublicKeyInfo of a P-256"
                      "${off_curve}|its point does not lie on the P-256 curve"
                      "-----BEGIN PUBLIC KEY-----\n${OTHER_KEY}\n-----END PUBLIC KEY-----\n|this is PEM; give the Base64 that"
                      "${head} ${tail}|it holds white space; give the Base64 that")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 key)
  list(GET case 1 reason)
  configure_release(result output "-DKOVA_RELEASE_PUBLIC_KEY=${key}")
  if(result EQUAL 0 OR NOT output MATCHES "KOVA_RELEASE_PUBLIC_KEY is no key kova-mcp can use: ${reason}")
    message(FATAL_ERROR "windows-release took ${key}, which the launcher refuses, or misjudged it:\n${output}")
  endif()
endforeach()
# What keeps the key check from running is said as such, never blamed on the key.
set(release_environment KOVA_WINE=/nonexistent/wine64)
configure_release(result output "-DKOVA_RELEASE_PUBLIC_KEY=${OTHER_KEY}")
if(result EQUAL 0 OR NOT output MATCHES "The release key check could not run under Wine .*set KOVA_WINE"
   OR output MATCHES "is no key kova-mcp can use")
  message(FATAL_ERROR "windows-release without Wine:\n${output}")
endif()
# Another user, whose per-user cache holds no libcrypto of scripts/setup.
set(release_environment --unset=KOVA_CACHE --unset=KOVA_OPENSSL_MINGW --unset=XDG_CACHE_HOME "HOME=${BINARY}-home")
configure_release(result output "-DKOVA_RELEASE_PUBLIC_KEY=${OTHER_KEY}")
if(result EQUAL 0 OR NOT output MATCHES "the MinGW libcrypto of scripts/setup is not in KOVA_OPENSSL_MINGW .*run scripts/setup as this user")
  message(FATAL_ERROR "windows-release as another user than setup's:\n${output}")
endif()
set(release_environment "")
# A version a version resource cannot carry.
configure_release(result output "-DKOVA_RELEASE_PUBLIC_KEY=${OTHER_KEY}" -DKOVA_VERSION=1.70000.0)
if(result EQUAL 0 OR NOT output MATCHES "KOVA_VERSION \"1.70000.0\" cannot be carried by a Windows version resource: 70000 is over 65535")
  message(FATAL_ERROR "windows-release took KOVA_VERSION 1.70000.0:\n${output}")
endif()

configure_release(result output "-DKOVA_RELEASE_PUBLIC_KEY=${OTHER_KEY}" -DKOVA_VERSION=2.1.3 "-DKOVA_COMPANY_NAME=Example \"Ltd\"")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "windows-release refused a key of the publisher's own:\n${output}")
endif()
file(READ "${BINARY}/src/kova-mcp-version.rc" resource)
if(resource MATCHES "test key" OR output MATCHES "trusts the public test key")
  message(FATAL_ERROR "a release build calls itself a test-key build")
endif()
if(NOT resource MATCHES "FILEVERSION +2,1,3,0\n" OR NOT resource MATCHES "\"ProductVersion\", +\"2.1.3\""
   OR NOT resource MATCHES "\"CompanyName\", +\"Example \"\"Ltd\"\"\"")
  message(FATAL_ERROR "the publisher's version and company are not the resource's:\n${resource}")
endif()
file(REMOVE_RECURSE "${BINARY}" "${BINARY}-home")
message(STATUS "windows-release: refused no key, the test key, three keys the launcher refuses, PEM and a blank, "
               "no Wine, no libcrypto of this user's and a version too large; took another key, version and company")
