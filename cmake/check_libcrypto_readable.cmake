cmake_minimum_required(VERSION 3.25)
# At build time, before anything is compiled against it: the libcrypto that
# configure found is still readable by the user who builds.
#   cmake -DSTAMP=... -DFAULT=... -P check_libcrypto_readable.cmake
execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${STAMP}" RESULT_VARIABLE unreadable OUTPUT_QUIET ERROR_QUIET)
if(unreadable)
  message(FATAL_ERROR " kova-mcp: ${FAULT}")
endif()
