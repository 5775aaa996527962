cmake_minimum_required(VERSION 3.25)
# Writes the CycloneDX 1.5 software bill of materials of a built kova-mcp.exe,
# from what its build used: the libcrypto stamp scripts/setup wrote beside the
# library (the pinned Debian source, its digests, its configure options), the
# compiler's own version macros and the build's settings. Nothing in it
# depends on the time or the build folder, so the same build gives the same
# bytes.
#   cmake -DEXE=... -DOUTPUT=... -DOPENSSL_STAMP=... -DCXX=... -DNLOHMANN_INCLUDE=...
#         -DVERSION=... -DSUPPLIER=... -DSETTINGS=name=value|name=value... -P write_sbom.cmake

function(json_object out)  # json_object(out key value key value ...): string values
  set(json "{}")
  while(ARGN)
    list(POP_FRONT ARGN key value)
    string(JSON json SET "${json}" "${key}" "\"${value}\"")
  endwhile()
  set(${out} "${json}" PARENT_SCOPE)
endfunction()

function(json_append out array_json element_json)
  string(JSON length LENGTH "${array_json}")
  string(JSON array_json SET "${array_json}" ${length} "${element_json}")
  set(${out} "${array_json}" PARENT_SCOPE)
endfunction()

function(properties out)  # properties(out name value name value ...)
  set(array "[]")
  while(ARGN)
    list(POP_FRONT ARGN name value)
    json_object(property name "${name}" value "${value}")
    json_append(array "${array}" "${property}")
  endwhile()
  set(${out} "${array}" PARENT_SCOPE)
endfunction()

function(sha256_hash out digest)
  json_object(hash alg "SHA-256" content "${digest}")
  set(${out} "[${hash}]" PARENT_SCOPE)
endfunction()

# The Debian version of a package, when the build ran on Debian.
function(debian_package_version out package)
  set(${out} "" PARENT_SCOPE)
  find_program(dpkg_query dpkg-query)
  if(dpkg_query)
    execute_process(COMMAND "${dpkg_query}" -W -f=\${Version} "${package}" OUTPUT_VARIABLE version ERROR_QUIET
                    RESULT_VARIABLE status)
    if(status EQUAL 0)
      set(${out} "${version}" PARENT_SCOPE)
    endif()
  endif()
endfunction()

# libcrypto: "PIN-LINE | OPTIONS | OPENSSLDIR | COMPILE FLAGS", the pin line
# being "openssl VERSION dsc=SHA256 orig=SHA256 debian=SHA256". Debian ships
# openssl's upstream tarball as .orig.tar.gz and its packaging as
# .debian.tar.xz, as the .dsc the pin covers names them.
file(READ "${OPENSSL_STAMP}" stamp)
string(REPLACE " | " ";" stamp "${stamp}")
list(GET stamp 0 pin_line)
list(GET stamp 1 openssl_options)
list(GET stamp 2 openssl_dir)
list(GET stamp 3 openssl_flags)
string(REPLACE " " ";" pin "${pin_line}")
list(GET pin 0 openssl_package)
list(GET pin 1 openssl_version)
string(REGEX REPLACE "-[^-]*$" "" openssl_upstream "${openssl_version}")
set(distribution "[]")
foreach(field IN ITEMS "dsc|${openssl_package}_${openssl_version}.dsc" "orig|${openssl_package}_${openssl_upstream}.orig.tar.gz"
                       "debian|${openssl_package}_${openssl_version}.debian.tar.xz")
  string(REPLACE "|" ";" field "${field}")
  list(GET field 0 kind)
  list(GET field 1 file_name)
  string(REGEX MATCH " ${kind}=([0-9a-f]+)" ignored "${pin_line}")
  sha256_hash(hashes "${CMAKE_MATCH_1}")
  json_object(reference type distribution url "${file_name}" comment "Debian source package file, SHA-256 as pinned")
  string(JSON reference SET "${reference}" hashes "${hashes}")
  json_append(distribution "${distribution}" "${reference}")
endforeach()

# The compiler's and the libraries' own version macros.
# nlohmann-json's folder may be the system's own (Debian's /usr/include): it
# is searched last, for the one header that only defines its version.
file(WRITE "${OUTPUT}.versions.cpp" "#include <_mingw.h>\n#include <nlohmann/detail/abi_macros.hpp>\n")
execute_process(COMMAND "${CXX}" -dM -E -x c++ -idirafter "${NLOHMANN_INCLUDE}" "${OUTPUT}.versions.cpp"
                OUTPUT_VARIABLE macros RESULT_VARIABLE status)
file(REMOVE "${OUTPUT}.versions.cpp")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the compiler's version macros could not be read")
endif()
function(macro_version out)
  set(parts "")
  foreach(name IN LISTS ARGN)
    string(REGEX MATCH "#define ${name} ([0-9]+)" ignored "${macros}")
    list(APPEND parts "${CMAKE_MATCH_1}")
  endforeach()
  list(JOIN parts "." version)
  set(${out} "${version}" PARENT_SCOPE)
endfunction()
macro_version(gcc_version __GNUC__ __GNUC_MINOR__ __GNUC_PATCHLEVEL__)
macro_version(mingw_version __MINGW64_VERSION_MAJOR __MINGW64_VERSION_MINOR __MINGW64_VERSION_BUGFIX)
macro_version(nlohmann_version NLOHMANN_JSON_VERSION_MAJOR NLOHMANN_JSON_VERSION_MINOR NLOHMANN_JSON_VERSION_PATCH)
debian_package_version(gcc_debian g++-mingw-w64-x86-64-posix)
# Debian's MinGW-w64 GCC calls itself 12-posix (version macros 12.0.0); its
# package says which release it is.
string(REGEX MATCH "#define __VERSION__ \"([^\"]*)\"" ignored "${macros}")
set(gcc_reports "${CMAKE_MATCH_1}")
if(gcc_debian MATCHES "^([0-9]+\\.[0-9]+\\.[0-9]+)")
  set(gcc_version "${CMAKE_MATCH_1}")
endif()
debian_package_version(mingw_debian mingw-w64-x86-64-dev)
debian_package_version(nlohmann_debian nlohmann-json3-dev)

# The components.
json_object(libcrypto type library bom-ref libcrypto name openssl version "${openssl_version}"
            description "libcrypto, linked statically: Debian's openssl source package with its patches applied"
            purl "pkg:deb/debian/${openssl_package}@${openssl_version}?arch=source")
string(JSON libcrypto SET "${libcrypto}" licenses "[{\"license\":{\"id\":\"Apache-2.0\"}}]")
string(JSON libcrypto SET "${libcrypto}" externalReferences "${distribution}")
properties(libcrypto_properties kova:configure-options "${openssl_options}" kova:openssldir "${openssl_dir}"
           kova:compile-flags "${openssl_flags}")
string(JSON libcrypto SET "${libcrypto}" properties "${libcrypto_properties}")

json_object(nlohmann type library bom-ref nlohmann-json name nlohmann-json version "${nlohmann_version}"
            description "JSON decoding, header-only" purl "pkg:github/nlohmann/json@v${nlohmann_version}")
string(JSON nlohmann SET "${nlohmann}" licenses "[{\"license\":{\"id\":\"MIT\"}}]")
properties(nlohmann_properties kova:debian-package "nlohmann-json3-dev ${nlohmann_debian}")
string(JSON nlohmann SET "${nlohmann}" properties "${nlohmann_properties}")

json_object(mingw type library bom-ref mingw-w64-runtime name mingw-w64-runtime version "${mingw_version}"
            description "the MinGW-w64 C runtime start-up and import libraries, linked statically")
properties(mingw_properties kova:debian-package "mingw-w64-x86-64-dev ${mingw_debian}")
string(JSON mingw SET "${mingw}" properties "${mingw_properties}")

json_object(gcc type library bom-ref gcc-runtime name gcc-runtime version "${gcc_version}"
            description "libstdc++, libgcc and winpthreads of the MinGW-w64 GCC that linked it, linked statically")
properties(gcc_properties kova:debian-package "g++-mingw-w64-x86-64-posix ${gcc_debian}" kova:compiler-reports "${gcc_reports}")
string(JSON gcc SET "${gcc}" properties "${gcc_properties}")

file(SHA256 "${EXE}" exe_sha256)
sha256_hash(exe_hashes "${exe_sha256}")
json_object(application type application bom-ref kova-mcp name kova-mcp version "${VERSION}")
json_object(supplier name "${SUPPLIER}")
string(JSON application SET "${application}" supplier "${supplier}")
string(JSON application SET "${application}" hashes "${exe_hashes}")
set(setting_values "")
string(REPLACE "|" ";" SETTINGS "${SETTINGS}")
foreach(setting IN LISTS SETTINGS)
  string(FIND "${setting}" "=" at)
  string(SUBSTRING "${setting}" 0 ${at} name)
  math(EXPR at "${at} + 1")
  string(SUBSTRING "${setting}" ${at} -1 value)
  list(APPEND setting_values "kova:${name}" "${value}")
endforeach()
properties(application_properties ${setting_values})
string(JSON application SET "${application}" properties "${application_properties}")

json_object(compiler type application name x86_64-w64-mingw32-g++ version "${gcc_version}")
set(bom "{}")
string(JSON bom SET "${bom}" bomFormat "\"CycloneDX\"")
string(JSON bom SET "${bom}" specVersion "\"1.5\"")
string(JSON bom SET "${bom}" version 1)
string(JSON bom SET "${bom}" metadata "{}")
string(JSON bom SET "${bom}" metadata component "${application}")
string(JSON bom SET "${bom}" metadata tools "{\"components\":[${compiler}]}")
string(JSON bom SET "${bom}" components "[${libcrypto},${nlohmann},${mingw},${gcc}]")
string(JSON bom SET "${bom}" dependencies
       "[{\"ref\":\"kova-mcp\",\"dependsOn\":[\"libcrypto\",\"nlohmann-json\",\"mingw-w64-runtime\",\"gcc-runtime\"]}]")
file(WRITE "${OUTPUT}" "${bom}\n")
