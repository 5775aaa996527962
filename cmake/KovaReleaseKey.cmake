# The release-signing public key built into kova-mcp.exe.
#
# A developer or test build trusts the public half of the project's test key
# pair (tests/keys), whose private half anyone can read in the repository; it
# says so at configure time and in the executable's version resource. A
# release build (the windows-release preset, KOVA_RELEASE_BUILD) refuses to
# configure without a key of the publisher's own.

# The test key's public half, read from its PEM: the standard Base64 of its
# SubjectPublicKeyInfo, the very text a build takes.
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/../tests/keys/release-test-key.pub.pem" _kova_pem_lines REGEX "^[A-Za-z0-9+/=]+$")
string(JOIN "" KOVA_TEST_PUBLIC_KEY ${_kova_pem_lines})

option(KOVA_RELEASE_BUILD "A build to ship: it needs KOVA_RELEASE_PUBLIC_KEY, and never the test key" OFF)

if(KOVA_RELEASE_BUILD)
  if(NOT DEFINED KOVA_RELEASE_PUBLIC_KEY OR KOVA_RELEASE_PUBLIC_KEY STREQUAL "")
    message(FATAL_ERROR " A release build needs your release key: -DKOVA_RELEASE_PUBLIC_KEY=$(kova-make-release public-key --key YOUR-KEY.pem)")
  endif()
  if(KOVA_RELEASE_PUBLIC_KEY STREQUAL KOVA_TEST_PUBLIC_KEY)
    message(FATAL_ERROR " KOVA_RELEASE_PUBLIC_KEY is the public half of the test key in tests/keys, whose private half is public: a release build never trusts it")
  endif()
else()
  set(KOVA_RELEASE_PUBLIC_KEY "${KOVA_TEST_PUBLIC_KEY}" CACHE STRING
      "Release-signing public key: standard Base64 of a P-256 SubjectPublicKeyInfo (124 characters)")
endif()

if(KOVA_RELEASE_PUBLIC_KEY STREQUAL KOVA_TEST_PUBLIC_KEY)
  set(KOVA_TEST_KEY_BUILD ON)
  if(WIN32)
    message(NOTICE "kova-mcp: this build trusts the public test key of tests/keys; never ship it (a release build: the windows-release preset)")
  endif()
else()
  set(KOVA_TEST_KEY_BUILD OFF)
endif()

# A key of the publisher's own is judged at configure time by the launcher's
# own decoding, compiled for the target and run (under Wine when cross
# building): a key the launcher would refuse stops a release build with the
# reason, and gets a warning in any other build. Call once libcrypto is found.
function(kova_check_release_key)
  if(KOVA_TEST_KEY_BUILD)
    return()
  endif()
  set(_source "${PROJECT_SOURCE_DIR}/src")
  set(ENV{KOVA_RELEASE_KEY_TEXT} "${KOVA_RELEASE_PUBLIC_KEY}")
  try_run(_kova_key_run _kova_key_compiled "${CMAKE_BINARY_DIR}/release-key-check"
          SOURCES "${PROJECT_SOURCE_DIR}/tools/release-key-check/release_key_check.cpp"
                  "${_source}/core/base64.cpp" "${_source}/core/invariant.cpp"
                  "${_source}/installer/crypto.cpp" "${_source}/installer/release_key.cpp"
          CMAKE_FLAGS "-DINCLUDE_DIRECTORIES=${_source}"
          LINK_LIBRARIES OpenSSL::Crypto
          CXX_STANDARD 23 CXX_STANDARD_REQUIRED ON CXX_EXTENSIONS OFF
          COMPILE_OUTPUT_VARIABLE _compile_output
          RUN_OUTPUT_VARIABLE _run_output)
  unset(ENV{KOVA_RELEASE_KEY_TEXT})
  # try_run caches the exit code; the key may change before the next configure.
  set(_exit "${_kova_key_run}")
  unset(_kova_key_run CACHE)
  string(STRIP "${_run_output}" _output)
  if(NOT _kova_key_compiled)
    message(FATAL_ERROR " The release key check did not build:\n${_compile_output}")
  elseif(_exit STREQUAL "3" AND _output MATCHES "release-key-check: ([^\n]*)")
    set(_reason "${CMAKE_MATCH_1}")
    if(KOVA_RELEASE_BUILD)
      message(FATAL_ERROR " KOVA_RELEASE_PUBLIC_KEY is no key kova-mcp can use: ${_reason}")
    endif()
    message(WARNING "KOVA_RELEASE_PUBLIC_KEY is no key kova-mcp can use (${_reason}): "
                    "kova-mcp will refuse every run with \"Invalid embedded release key.\"")
  elseif(NOT _exit STREQUAL "0")
    # Whatever kept the check from running says nothing of the key.
    string(REGEX REPLACE "[\r\n]+" " / " _output "${_output}")
    if(CMAKE_CROSSCOMPILING)
      message(FATAL_ERROR " The release key check could not run under Wine (exit ${_exit}: ${_output}): run "
                          "scripts/setup as this user, or set KOVA_WINE to Wine's wine64 and WINEPREFIX to a Wine prefix of your own")
    endif()
    message(FATAL_ERROR " The release key check could not run (exit ${_exit}: ${_output})")
  endif()
endfunction()
