cmake_minimum_required(VERSION 3.25)
# The MSVC build's overlay port of libcrypto says the version the pin names:
# vcpkg's binary cache knows a port by its own files only.
#   cmake -DPORT=vcpkg/ports/openssl/vcpkg.json -DPIN=scripts/openssl-source.pin -P check_vcpkg_port.cmake
file(READ "${PORT}" port)
string(JSON port_version GET "${port}" version-string)
file(STRINGS "${PIN}" pin_lines REGEX "^[^#].* dsc=")
list(GET pin_lines 0 pin_line)
string(REGEX MATCH "^[^ ]+ ([^ ]+) " ignored "${pin_line}")
if(NOT port_version STREQUAL CMAKE_MATCH_1)
  message(FATAL_ERROR "${PORT} says ${port_version}; ${PIN} names ${CMAKE_MATCH_1}")
endif()
message(STATUS "the overlay port and the pin name openssl ${port_version}")
