cmake_minimum_required(VERSION 3.25)
# Writes the CycloneDX 1.5 software bill of materials of a kova-mcp.exe.
#
# Of a build, from what it used: the libcrypto stamp scripts/setup wrote
# beside the library (the pinned Debian source, its digests, its configure
# options), the compiler's own version macros, the Debian packages the
# compiler and the runtimes it linked come from, and the build's settings:
#   cmake -DEXE=... -DOUTPUT=... -DOPENSSL_STAMP=... -DCXX=... -DNLOHMANN_INCLUDE=... -DSOURCE=...
#         -DVERSION=... -DSUPPLIER=... -DSETTINGS=name=value|name=value... -P write_sbom.cmake
#
# Of a copy signed with Authenticode, from the build's (scripts/sign-launcher):
# the signed file's SHA-256 as the executable's, the unsigned one's as a
# property, everything else as the build's:
#   cmake -DSIGNED_EXE=... -DUNSIGNED_EXE=... -DFROM=build's.cdx.json -DOUTPUT=... -P write_sbom.cmake
#
# Nothing in it depends on the build folder or the clock: its serial number
# is derived from the rest of the bill, whole, and its time is
# SOURCE_DATE_EPOCH, else the commit's, so the same build gives the same bill.
#
# Vulnerability databases for Debian are keyed by source package: each
# component is named by its source package and version, the binary package
# the build used as a property; libcrypto carries Debian's patch series (the
# CVEs each fixes, from kova-debian-patches.json, which scripts/setup writes
# beside the library) and upstream OpenSSL as its ancestor.

function(json_text out text)  # a JSON string of the text
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

function(json_object out)  # json_object(out key value key value ...): string values
  set(json "{}")
  while(ARGN)
    list(POP_FRONT ARGN key value)
    json_text(value "${value}")
    string(JSON json SET "${json}" "${key}" "${value}")
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

function(describe_executable bom_var exe_sha256)
  sha256_hash(hashes "${exe_sha256}")
  string(JSON bom SET "${${bom_var}}" metadata component hashes "${hashes}")
  set(${bom_var} "${bom}" PARENT_SCOPE)
endfunction()

# The serial number: a name-based (SHA-1) UUID, in the URL namespace, of the
# SHA-256 of the bill without it, so that any change of content is a new
# serial, and the same content the same one. Then the bill is written.
function(write_bill bom)
  string(JSON bom ERROR_VARIABLE none REMOVE "${bom}" serialNumber)
  string(SHA256 content_sha256 "${bom}")
  string(UUID serial NAMESPACE 6ba7b811-9dad-11d1-80b4-00c04fd430c8 NAME "kova-mcp bill sha256:${content_sha256}" TYPE SHA1)
  string(JSON bom SET "${bom}" serialNumber "\"urn:uuid:${serial}\"")
  file(WRITE "${OUTPUT}" "${bom}\n")
endfunction()

if(DEFINED SIGNED_EXE)
  file(READ "${FROM}" bom)
  file(SHA256 "${UNSIGNED_EXE}" unsigned_sha256)
  string(JSON described GET "${bom}" metadata component hashes 0 content)
  if(NOT described STREQUAL unsigned_sha256)
    message(FATAL_ERROR "${FROM} describes an executable of SHA-256 ${described}, not ${UNSIGNED_EXE} (${unsigned_sha256})")
  endif()
  file(SHA256 "${SIGNED_EXE}" signed_sha256)
  describe_executable(bom "${signed_sha256}")
  json_object(unsigned name "kova:unsigned-sha256" value "${unsigned_sha256}")
  string(JSON application_properties GET "${bom}" metadata component properties)
  json_append(application_properties "${application_properties}" "${unsigned}")
  string(JSON bom SET "${bom}" metadata component properties "${application_properties}")
  write_bill("${bom}")
  return()
endif()

# The Debian release the build ran on, for the packages' purls.
file(STRINGS /etc/os-release os_release REGEX "^(ID|VERSION_ID)=")
string(REGEX MATCH "ID=\"?([a-z]+)" ignored "${os_release}")
set(distro_id "${CMAKE_MATCH_1}")
string(REGEX MATCH "VERSION_ID=\"?([0-9.]+)" ignored "${os_release}")
set(distro "${distro_id}-${CMAKE_MATCH_1}")

# A package as a purl: '+' (in g++ and in Debian's versions) percent-encoded.
function(debian_purl out package version arch)
  string(REPLACE "+" "%2B" package "${package}")
  string(REPLACE "+" "%2B" version "${version}")
  set(${out} "pkg:deb/${distro_id}/${package}@${version}?arch=${arch}&distro=${distro}" PARENT_SCOPE)
endfunction()

# The Debian package a part of the build came from: its source package's
# name, version and purl, and the binary package's purl.
function(debian_package prefix package)
  execute_process(COMMAND dpkg-query -W "-f=\${Version} \${Architecture} \${source:Package} \${source:Version}" "${package}"
                  OUTPUT_VARIABLE found RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0 OR NOT found MATCHES "^([^ ]+) ([^ ]+) ([^ ]+) ([^ ]+)$")
    message(FATAL_ERROR "the Debian package ${package}, which the build used, is not installed: run scripts/setup")
  endif()
  debian_purl(purl "${package}" "${CMAKE_MATCH_1}" "${CMAKE_MATCH_2}")
  set(${prefix}_binary_version "${CMAKE_MATCH_1}" PARENT_SCOPE)
  set(${prefix}_binary_purl "${purl}" PARENT_SCOPE)
  set(${prefix}_source "${CMAKE_MATCH_3}" PARENT_SCOPE)
  set(${prefix}_version "${CMAKE_MATCH_4}" PARENT_SCOPE)
  debian_purl(purl "${CMAKE_MATCH_3}" "${CMAKE_MATCH_4}" source)
  set(${prefix}_purl "${purl}" PARENT_SCOPE)
endfunction()

# A component of a Debian package, by its source package, with the binary
# package the build took it from as a property beside the given ones.
function(debian_component out prefix bom_ref description)
  json_object(component type library bom-ref "${bom_ref}" name "${${prefix}_source}" version "${${prefix}_version}"
              description "${description}" purl "${${prefix}_purl}")
  properties(listed kova:debian-binary-package "${${prefix}_binary_purl}" ${ARGN})
  string(JSON component SET "${component}" properties "${listed}")
  set(${out} "${component}" PARENT_SCOPE)
endfunction()

# libcrypto: "PIN-LINE | OPTIONS | OPENSSLDIR | COMPILE FLAGS", the pin line
# being "openssl VERSION dsc=SHA256 orig=SHA256 debian=SHA256". Debian ships
# openssl's upstream tarball as .orig.tar.gz and its packaging as
# .debian.tar.xz, as the .dsc the pin covers names them; the snapshot
# archive keeps every revision's files for good.
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
  json_object(reference type distribution url "https://snapshot.debian.org/package/${openssl_package}/${openssl_version}/"
              comment "${file_name}: a file of Debian's source package, SHA-256 as pinned")
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
macro_version(mingw_reports __MINGW64_VERSION_MAJOR __MINGW64_VERSION_MINOR __MINGW64_VERSION_BUGFIX)
macro_version(nlohmann_reports NLOHMANN_JSON_VERSION_MAJOR NLOHMANN_JSON_VERSION_MINOR NLOHMANN_JSON_VERSION_PATCH)
string(REGEX MATCH "#define __VERSION__ \"([^\"]*)\"" ignored "${macros}")
set(gcc_reports "${CMAKE_MATCH_1}")
debian_package(libstdcxx g++-mingw-w64-x86-64-posix)
debian_package(libgcc gcc-mingw-w64-x86-64-posix)
debian_package(mingw mingw-w64-x86-64-dev)
debian_package(nlohmann nlohmann-json3-dev)

# The components, each with its Debian version and package.
debian_purl(openssl_purl "${openssl_package}" "${openssl_version}" source)
json_object(libcrypto type library bom-ref libcrypto name openssl version "${openssl_version}"
            description "libcrypto, linked statically: Debian's openssl source package with its patches applied"
            purl "${openssl_purl}")
string(JSON libcrypto SET "${libcrypto}" licenses "[{\"license\":{\"id\":\"Apache-2.0\"}}]")
string(JSON libcrypto SET "${libcrypto}" externalReferences "${distribution}")
properties(libcrypto_properties kova:configure-options "${openssl_options}" kova:openssldir "${openssl_dir}"
           kova:compile-flags "${openssl_flags}")
string(JSON libcrypto SET "${libcrypto}" properties "${libcrypto_properties}")
get_filename_component(openssl_folder "${OPENSSL_STAMP}" DIRECTORY)
if(NOT EXISTS "${openssl_folder}/kova-debian-patches.json")
  message(FATAL_ERROR "${openssl_folder} holds no kova-debian-patches.json, Debian's patch series of libcrypto: run scripts/setup")
endif()
file(READ "${openssl_folder}/kova-debian-patches.json" debian_patches)
json_object(upstream type library name openssl version "${openssl_upstream}"
            purl "pkg:github/openssl/openssl@openssl-${openssl_upstream}")
string(JSON libcrypto SET "${libcrypto}" pedigree "{}")
string(JSON libcrypto SET "${libcrypto}" pedigree ancestors "[${upstream}]")
string(JSON libcrypto SET "${libcrypto}" pedigree patches "${debian_patches}")

debian_component(nlohmann nlohmann nlohmann-json "nlohmann-json, header-only: JSON decoding"
                 kova:upstream-version "${nlohmann_reports}")
string(JSON nlohmann SET "${nlohmann}" licenses "[{\"license\":{\"id\":\"MIT\"}}]")
debian_component(mingw mingw mingw-w64-runtime
                 "the MinGW-w64 C runtime start-up, winpthreads and import libraries, linked statically"
                 kova:upstream-version "${mingw_reports}")
debian_component(libstdcxx libstdcxx libstdc++ "libstdc++ of the MinGW-w64 GCC that linked it, linked statically"
                 kova:compiler-reports "${gcc_reports}")
debian_component(libgcc libgcc libgcc "libgcc of the MinGW-w64 GCC that linked it, linked statically")

json_object(application type application bom-ref kova-mcp name kova-mcp version "${VERSION}")
json_object(supplier name "${SUPPLIER}")
string(JSON application SET "${application}" supplier "${supplier}")
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

json_object(compiler type application name x86_64-w64-mingw32-g++ version "${libstdcxx_binary_version}" purl "${libstdcxx_binary_purl}")
set(bom "{}")
string(JSON bom SET "${bom}" bomFormat "\"CycloneDX\"")
string(JSON bom SET "${bom}" specVersion "\"1.5\"")
string(JSON bom SET "${bom}" version 1)
string(JSON bom SET "${bom}" metadata "{}")
# The time: SOURCE_DATE_EPOCH when the build is given one, else the
# commit's (none outside a git checkout).
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C "${SOURCE}" log -1 --format=%ct OUTPUT_VARIABLE commit_time
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
  if(status EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${commit_time}")
  endif()
endif()
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  string(TIMESTAMP timestamp "%Y-%m-%dT%H:%M:%SZ" UTC)
  string(JSON bom SET "${bom}" metadata timestamp "\"${timestamp}\"")
endif()
string(JSON bom SET "${bom}" metadata component "${application}")
string(JSON bom SET "${bom}" metadata tools "{\"components\":[${compiler}]}")
file(SHA256 "${EXE}" exe_sha256)
describe_executable(bom "${exe_sha256}")
string(JSON bom SET "${bom}" components "[${libcrypto},${nlohmann},${mingw},${libstdcxx},${libgcc}]")
string(JSON bom SET "${bom}" dependencies
       "[{\"ref\":\"kova-mcp\",\"dependsOn\":[\"libcrypto\",\"nlohmann-json\",\"mingw-w64-runtime\",\"libstdc++\",\"libgcc\"]}]")
write_bill("${bom}")
