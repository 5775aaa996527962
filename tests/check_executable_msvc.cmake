cmake_minimum_required(VERSION 3.25)
# What dumpbin reads in the MSVC build's kova-mcp.exe: it imports exactly
# KERNEL32 and ADVAPI32, both KnownDLLs (no C runtime DLL, since the runtime
# is linked in with /MT); USER32 and BCrypt only delay-loaded, so that they
# load after the launcher restricted loads to System32, if at all (BCrypt is
# no KnownDLL: a bcrypt.dll planted beside the exe would otherwise be the one
# loaded), and BCrypt delay-loaded whenever libcrypto calls it; its
# DllCharacteristics are exactly high-entropy ASLR, ASLR, NX, Control Flow
# Guard and terminal-server aware; and it is marked CET compatible.
execute_process(COMMAND "${DUMPBIN}" /nologo /headers /imports "${EXE}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dumpbin failed on ${EXE}")
endif()
string(REPLACE "\r\n" "\n" dump "${dump}")

# The DLL names of one section of the imports: each stands alone on its line,
# four spaces in.
function(dll_names out text)
  string(REGEX MATCHALL "\n    [A-Za-z0-9_.-]+\\.[Dd][Ll][Ll]\n" lines "${text}")
  set(names "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" name)
    string(TOLOWER "${name}" name)
    list(APPEND names "${name}")
  endforeach()
  list(SORT names)
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

string(FIND "${dump}" "Section contains the following imports:" imports_at)
string(FIND "${dump}" "Section contains the following delay load imports:" delay_at)
if(imports_at EQUAL -1)
  message(FATAL_ERROR "dumpbin lists no imports of ${EXE}")
endif()
set(delayed "")
if(delay_at EQUAL -1)
  string(SUBSTRING "${dump}" ${imports_at} -1 imports_text)
else()
  math(EXPR imports_length "${delay_at} - ${imports_at}")
  string(SUBSTRING "${dump}" ${imports_at} ${imports_length} imports_text)
  string(SUBSTRING "${dump}" ${delay_at} -1 delay_text)
  dll_names(delayed "${delay_text}")
endif()
dll_names(imports "${imports_text}")
if(NOT imports STREQUAL "advapi32.dll;kernel32.dll")
  message(FATAL_ERROR "${EXE} imports ${imports}, not exactly advapi32.dll and kernel32.dll")
endif()
foreach(name IN LISTS delayed)
  if(NOT name MATCHES "^(user32|bcrypt)\\.dll$")
    message(FATAL_ERROR "${EXE} delay-loads ${name}, which only user32.dll and bcrypt.dll may be")
  endif()
endforeach()
if(NOT "user32.dll" IN_LIST delayed)
  message(FATAL_ERROR "${EXE} does not delay-load user32.dll (delay-loaded: ${delayed})")
endif()
# The libcrypto linked in: whether it calls BCrypt (the MSVC build's does, for
# BCryptGenRandom), as its undefined import symbols say.
execute_process(COMMAND "${DUMPBIN}" /nologo /symbols "${LIBCRYPTO}" OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dumpbin failed on ${LIBCRYPTO}")
endif()
string(REGEX MATCH "UNDEF[^|\n]*[|] __imp_BCrypt[A-Za-z]+" bcrypt_call "${symbols}")
string(REGEX REPLACE ".*__imp_" "" bcrypt_call "${bcrypt_call}")
if(bcrypt_call AND NOT "bcrypt.dll" IN_LIST delayed)
  message(FATAL_ERROR "${EXE} does not delay-load bcrypt.dll, though its libcrypto calls ${bcrypt_call}: BCrypt is "
                      "no KnownDLL, so a bcrypt.dll beside the exe would load before the launcher restricts loads to "
                      "System32 (delay-loaded: ${delayed})")
endif()

if(NOT dump MATCHES "\n +([0-9A-F]+) DLL characteristics\n")
  message(FATAL_ERROR "dumpbin shows no DLL characteristics of ${EXE}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL "C160")
  message(FATAL_ERROR "${EXE}: DLL characteristics ${CMAKE_MATCH_1}, not C160 "
                      "(HIGH_ENTROPY_VA, DYNAMIC_BASE, NX_COMPAT, GUARD_CF, TERMINAL_SERVER_AWARE)")
endif()
if(NOT dump MATCHES "\n +CET compatible\n")
  message(FATAL_ERROR "${EXE} is not marked CET compatible (link with /CETCOMPAT)")
endif()
message(STATUS "imports ${imports}; delay-loaded ${delayed}; DLL characteristics C160; CET compatible")
