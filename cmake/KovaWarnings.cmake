# Warnings are errors, on every compiler the project is built with.
add_library(kova_warnings INTERFACE)
if(MSVC)
  target_compile_options(kova_warnings INTERFACE /W4 /WX /permissive- /utf-8)
else()
  target_compile_options(kova_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion -Werror)
endif()
# What MSVC's /W4 reports and GCC's warnings do not (C4702, unreachable code;
# C4701, a variable perhaps used before it is set) has clang counterparts: the
# native build finds them before the first MSVC compile does.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  target_compile_options(kova_warnings INTERFACE -Wunreachable-code -Wsometimes-uninitialized -Wconditional-uninitialized)
endif()
if(WIN32)
  target_compile_definitions(kova_warnings INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
endif()

# libstdc++ 12 offers <expected> only when __cpp_concepts reports C++20's
# conditionally trivial special members (P0848). Clang 16 implements them but
# still reports the older value; clang 14 lacks them, which is why the native
# build uses clang 16. Remove this once clang reports 202002L itself.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 16
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 19)
  add_compile_options(-Wno-macro-redefined -D__cpp_concepts=202002L)
endif()
