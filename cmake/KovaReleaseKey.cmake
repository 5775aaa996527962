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

string(LENGTH "${KOVA_RELEASE_PUBLIC_KEY}" _kova_key_length)
if(NOT _kova_key_length EQUAL 124 OR NOT KOVA_RELEASE_PUBLIC_KEY MATCHES "^[A-Za-z0-9+/]+=*$")
  if(KOVA_RELEASE_BUILD)
    message(FATAL_ERROR " KOVA_RELEASE_PUBLIC_KEY is not 124 characters of standard Base64: kova-mcp would refuse every run")
  endif()
  message(WARNING "KOVA_RELEASE_PUBLIC_KEY is not 124 characters of standard Base64: "
                  "kova-mcp will refuse every run with \"Invalid embedded release key.\"")
endif()

if(KOVA_RELEASE_PUBLIC_KEY STREQUAL KOVA_TEST_PUBLIC_KEY)
  set(KOVA_TEST_KEY_BUILD ON)
  message(NOTICE "kova-mcp: this build trusts the public test key of tests/keys; never ship it (a release build: the windows-release preset)")
else()
  set(KOVA_TEST_KEY_BUILD OFF)
endif()
