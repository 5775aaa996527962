# OpenSSL 3 libcrypto, nlohmann-json and GoogleTest, found the same way for the
# native, the MinGW and the MSVC/vcpkg builds.
if(MINGW AND CMAKE_CROSSCOMPILING)
  # scripts/setup builds the MinGW libcrypto into the per-user cache of
  # whoever runs it: another user, at configure time or later at build time,
  # is told so rather than that OpenSSL is missing.
  set(_kova_libcrypto_stamp "${KOVA_OPENSSL_MINGW}/kova-build-options")
  set(_kova_libcrypto_fault "the MinGW libcrypto of scripts/setup is not in KOVA_OPENSSL_MINGW (${KOVA_OPENSSL_MINGW}), "
      "or this user cannot read it: setup builds it into the per-user cache (~/.cache/kova-mcp) of whoever runs it, "
      "so run scripts/setup as this user")
  string(JOIN "" _kova_libcrypto_fault ${_kova_libcrypto_fault})
  execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${_kova_libcrypto_stamp}" RESULT_VARIABLE _kova_unreadable
                  OUTPUT_QUIET ERROR_QUIET)
  if(_kova_unreadable)
    message(FATAL_ERROR " kova-mcp: ${_kova_libcrypto_fault}")
  endif()
  add_custom_target(kova-libcrypto-readable
    COMMAND "${CMAKE_COMMAND}" "-DSTAMP=${_kova_libcrypto_stamp}" "-DFAULT=${_kova_libcrypto_fault}"
            -P "${CMAKE_CURRENT_LIST_DIR}/check_libcrypto_readable.cmake"
    VERBATIM)
endif()
find_package(OpenSSL 3.0 REQUIRED COMPONENTS Crypto)
if(MINGW AND OPENSSL_USE_STATIC_LIBS)
  # The static libcrypto of scripts/setup (built without sockets) needs
  # ADVAPI32, and USER32 only on its fatal-error path: USER32 is delay-loaded,
  # so that a normal run never loads it (it costs every start about 15 ms).
  find_program(KOVA_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
  set(_kova_user32_delay "${CMAKE_BINARY_DIR}/libuser32-delay.a")
  execute_process(COMMAND "${KOVA_DLLTOOL}" --input-def "${CMAKE_CURRENT_LIST_DIR}/user32-delay.def"
                          --output-delaylib "${_kova_user32_delay}" --dllname user32.dll
                  RESULT_VARIABLE _kova_dlltool_status)
  if(NOT _kova_dlltool_status EQUAL 0)
    message(FATAL_ERROR "dlltool could not make the delay-load library of USER32")
  endif()
  set_property(TARGET OpenSSL::Crypto APPEND PROPERTY INTERFACE_LINK_LIBRARIES advapi32 "${_kova_user32_delay}")
elseif(WIN32 AND OPENSSL_USE_STATIC_LIBS)
  # The MSVC build's static libcrypto (vcpkg/ports/openssl, without sockets)
  # needs these: the registry and event log, USER32 on its fatal-error path,
  # and BCrypt, the system's random generator. Both of the last two are
  # delay-loaded, as with MinGW, wherever libcrypto is linked: USER32 so that
  # a normal run never loads it, and BCrypt, which is no KnownDLL, so that it
  # is loaded only after the launcher restricted DLL loads to System32, never
  # from beside the executable.
  set_property(TARGET OpenSSL::Crypto APPEND PROPERTY INTERFACE_LINK_LIBRARIES advapi32 user32 bcrypt delayimp)
  set_property(TARGET OpenSSL::Crypto APPEND PROPERTY INTERFACE_LINK_OPTIONS /DELAYLOAD:user32.dll /DELAYLOAD:bcrypt.dll)
endif()

add_library(kova_nlohmann_json INTERFACE)
if(CMAKE_CROSSCOMPILING AND MINGW)
  # Debian's header-only package lives in /usr/include, which a MinGW build
  # must never search (it holds Linux headers): expose that one folder alone.
  find_path(KOVA_NLOHMANN_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
  set(_kova_isolated "${CMAKE_BINARY_DIR}/third-party/include")
  file(MAKE_DIRECTORY "${_kova_isolated}")
  file(CREATE_LINK "${KOVA_NLOHMANN_INCLUDE}/nlohmann" "${_kova_isolated}/nlohmann" SYMBOLIC)
  target_include_directories(kova_nlohmann_json SYSTEM INTERFACE "${_kova_isolated}")
else()
  find_package(nlohmann_json 3.11 REQUIRED)
  target_link_libraries(kova_nlohmann_json INTERFACE nlohmann_json::nlohmann_json)
endif()

if(KOVA_TESTS)
  set(KOVA_GOOGLETEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources, built with the project's compiler")
  if(EXISTS "${KOVA_GOOGLETEST_SOURCE}/CMakeLists.txt")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads ${MINGW} CACHE BOOL "" FORCE)
    add_subdirectory("${KOVA_GOOGLETEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
  else()
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
endif()
