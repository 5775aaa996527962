cmake_minimum_required(VERSION 3.25)
# What objdump reads in kova-mcp.exe: it imports exactly KERNEL32, ADVAPI32
# and msvcrt (no libstdc++, libgcc, libcrypto or winpthread DLL that could
# be missing or planted beside it; USER32 only delay-loaded; no WS2_32), its
# resource directory holds a version resource (type 16) and an application
# manifest (type 24), its DllCharacteristics are exactly high-entropy ASLR,
# ASLR, NX and terminal-server aware, and it and the libcrypto it links were
# compiled with stack cookies and checked calls.
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
if(NOT dump MATCHES "DllCharacteristics\t00008160\n")
  string(REGEX MATCH "DllCharacteristics[^\n]*" found "${dump}")
  message(FATAL_ERROR "${EXE}: ${found}, not 00008160 (HIGH_ENTROPY_VA, DYNAMIC_BASE, NX_COMPAT, TERMINAL_SERVICE_AWARE)")
endif()
# The stack cookie is set by the project's own start-up code, through
# RtlGenRandom (SystemFunction036), which only code compiled with stack
# cookies or checked calls pulls in; libcrypto's objects call both.
if(NOT dump MATCHES "[ \t]SystemFunction036\n")
  message(FATAL_ERROR "${EXE} does not set its stack cookie: no code in it was compiled with -fstack-protector-strong")
endif()
execute_process(COMMAND "${OBJDUMP}" -t "${LIBCRYPTO}" OUTPUT_VARIABLE symbols ERROR_QUIET)
foreach(symbol IN ITEMS __stack_chk_guard __memcpy_chk)
  if(NOT symbols MATCHES "\\(sec  0\\)[^\n]* ${symbol}\n")
    message(FATAL_ERROR "${LIBCRYPTO} never calls ${symbol}: not built with -fstack-protector-strong and -D_FORTIFY_SOURCE=2")
  endif()
endforeach()
message(STATUS "imports ${imports}; a version resource and a manifest; DllCharacteristics 00008160; stack cookies and checked calls")
