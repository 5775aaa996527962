# Cross build of the Windows executable with MinGW-w64 on Debian.
# The static libcrypto is the one scripts/setup cross-builds and caches.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The POSIX thread model: std::thread and std::mutex exist (GoogleTest needs
# them); winpthreads is linked statically like the rest.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# scripts/env.sh alone says where scripts/setup puts libcrypto and what it
# compiles it with; ask it rather than repeat its rules here.
execute_process(COMMAND bash -c ". \"$0\" && printf '%s\\n' \"$KOVA_OPENSSL_MINGW\" \"$KOVA_MINGW_HARDENING\""
                        "${CMAKE_CURRENT_LIST_DIR}/../scripts/env.sh"
                OUTPUT_VARIABLE _kova_env OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REPLACE "\n" ";" _kova_env "${_kova_env}")
list(GET _kova_env 0 _kova_openssl_default)
list(GET _kova_env 1 _kova_hardening)
set(KOVA_OPENSSL_MINGW "${_kova_openssl_default}" CACHE PATH "MinGW-w64 OpenSSL installation made by scripts/setup")
set(CMAKE_C_FLAGS_INIT "${_kova_hardening}")
set(CMAKE_CXX_FLAGS_INIT "${_kova_hardening}")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${KOVA_OPENSSL_MINGW}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(OPENSSL_ROOT_DIR "${KOVA_OPENSSL_MINGW}")
set(OPENSSL_USE_STATIC_LIBS TRUE)

# One self-contained executable: libstdc++, libgcc and winpthread linked in.
# No link time in the PE header, so that the same sources and key give the
# same bytes (the checksum then follows). ASLR with a 64-bit range, no
# execution of data, and no terminal-server compatibility shims, said
# outright rather than left to the linker's defaults.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp -Wl,--dynamicbase,--high-entropy-va,--nxcompat,--tsaware")

# Windows programs built here run under Wine, through the project's wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run")
