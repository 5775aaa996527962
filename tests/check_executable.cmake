cmake_minimum_required(VERSION 3.25)
# What objdump reads in kova-mcp.exe: it imports exactly KERNEL32, ADVAPI32
# and msvcrt (no libstdc++, libgcc, libcrypto or winpthread DLL that could
# be missing or planted beside it; USER32 only delay-loaded; no WS2_32), and
# its resource directory holds a version resource (type 16) and an
# application manifest (type 24).
execute_process(COMMAND "${OBJDUMP}" -p "${EXE}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${EXE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" entries "${dump}")
set(imports "")
foreach(entry IN LISTS entries)
  string(REPLACE "DLL Name: " "" name "${entry}")
  string(TOLOWER "${name}" name)
  list(APPEND imports "${name}")
endforeach()
list(SORT imports)
if(NOT imports STREQUAL "advapi32.dll;kernel32.dll;msvcrt.dll")
  message(FATAL_ERROR "${EXE} imports ${imports}, not exactly advapi32.dll, kernel32.dll and msvcrt.dll")
endif()
foreach(type IN ITEMS 0x000010 0x000018)
  # A type's entry, three spaces in: the resource directory's first level.
  if(NOT dump MATCHES "\n[0-9a-f]+   Entry: ID: ${type}, ")
    message(FATAL_ERROR "${EXE} has no resource of type ${type}")
  endif()
endforeach()
message(STATUS "imports ${imports}; a version resource and a manifest")
