# libcrypto for kova-mcp's MSVC build, built as scripts/setup builds it for
# MinGW-w64: from Debian's openssl source package at the version the pin
# names, each of its three files checked against the pin, Debian's patch
# series applied, configured with the options and folders of
# scripts/openssl-build (no configuration file ever read, no module or
# engine loaded, folders under System32, never a folder of the build machine).
# Only libcrypto and its headers are installed.
#
# The source files come from a folder named by KOVA_OPENSSL_SOURCE (the CI's
# linux job hands over the three files scripts/setup downloaded). vcpkg's
# binary cache sees only this port's own files: the version below must be the
# pin's (a test checks it), and after a change of scripts/openssl-build,
# remove openssl from the binary cache.
set(kova_root "${CMAKE_CURRENT_LIST_DIR}/../../..")

file(STRINGS "${kova_root}/scripts/openssl-source.pin" pin_lines REGEX "^[^#].* dsc=")
list(GET pin_lines 0 pin_line)
if(NOT pin_line MATCHES "^([^ ]+) ([^ ]+) dsc=([0-9a-f]+) orig=([0-9a-f]+) debian=([0-9a-f]+)")
  message(FATAL_ERROR "scripts/openssl-source.pin holds no line of package, version, dsc=, orig= and debian=")
endif()
set(package "${CMAKE_MATCH_1}")
set(debian_version "${CMAKE_MATCH_2}")
set(pinned_dsc "${CMAKE_MATCH_3}")
set(pinned_orig "${CMAKE_MATCH_4}")
set(pinned_debian "${CMAKE_MATCH_5}")
if(NOT debian_version STREQUAL VERSION)
  message(FATAL_ERROR "the pin names ${package} ${debian_version}; this port says ${VERSION}: make them agree")
endif()
string(REGEX REPLACE "-[^-]*$" "" upstream_version "${debian_version}")

# A Windows path (backslashes) would be taken for escapes in the glob below.
file(TO_CMAKE_PATH "$ENV{KOVA_OPENSSL_SOURCE}" source_folder)
if(source_folder STREQUAL "")
  message(FATAL_ERROR "Set KOVA_OPENSSL_SOURCE to a folder holding ${package}_${debian_version}.dsc, "
                      "${package}_${upstream_version}.orig.tar.* and ${package}_${debian_version}.debian.tar.* "
                      "(scripts/setup downloads them; the CI's linux job uploads them)")
endif()

function(pinned_file out pattern digest)
  file(GLOB candidates "${source_folder}/${pattern}")
  list(FILTER candidates EXCLUDE REGEX "\\.asc$")
  list(LENGTH candidates count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${source_folder} holds ${count} files named ${pattern}, not one")
  endif()
  file(SHA256 "${candidates}" actual)
  if(NOT actual STREQUAL digest)
    message(FATAL_ERROR "${candidates} does not match its SHA-256 in scripts/openssl-source.pin")
  endif()
  set(${out} "${candidates}" PARENT_SCOPE)
endfunction()
pinned_file(dsc "${package}_${debian_version}.dsc" "${pinned_dsc}")
pinned_file(orig "${package}_${upstream_version}.orig.tar.*" "${pinned_orig}")
pinned_file(debian "${package}_${debian_version}.debian.tar.*" "${pinned_debian}")

# Debian's patch series, in its order, applied as the upstream tarball is extracted.
set(debian_folder "${CURRENT_BUILDTREES_DIR}/debian")
file(REMOVE_RECURSE "${debian_folder}")
file(ARCHIVE_EXTRACT INPUT "${debian}" DESTINATION "${debian_folder}")
file(STRINGS "${debian_folder}/debian/patches/series" series REGEX "^[^#]")
set(patches "")
foreach(patch IN LISTS series)
  string(STRIP "${patch}" patch)
  if(NOT patch STREQUAL "")
    list(APPEND patches "${debian_folder}/debian/patches/${patch}")
  endif()
endforeach()
vcpkg_extract_source_archive(source_path ARCHIVE "${orig}" SOURCE_BASE "${debian_version}" PATCHES ${patches})

file(STRINGS "${kova_root}/scripts/openssl-build" options_line REGEX "^options ")
file(STRINGS "${kova_root}/scripts/openssl-build" folder_line REGEX "^folder ")
string(REGEX REPLACE "^options " "" options "${options_line}")
string(REGEX REPLACE "^folder " "" folder "${folder_line}")
separate_arguments(options UNIX_COMMAND "${options}")

vcpkg_find_acquire_program(PERL)
vcpkg_find_acquire_program(NASM)
get_filename_component(perl_folder "${PERL}" DIRECTORY)
get_filename_component(nasm_folder "${NASM}" DIRECTORY)
vcpkg_add_to_path(PREPEND "${perl_folder}")
vcpkg_add_to_path(PREPEND "${nasm_folder}")

# OPENSSLDIR from --openssldir; ENGINESDIR and MODULESDIR from an absolute
# --libdir, below the same folder; the prefix there too. Nothing is installed
# by OpenSSL's own makefile: the library and headers are copied below, so no
# folder of the build machine is compiled in.
set(build "${CURRENT_BUILDTREES_DIR}/${TARGET_TRIPLET}-rel")
file(REMOVE_RECURSE "${build}")
file(COPY "${source_path}/" DESTINATION "${build}")
vcpkg_execute_required_process(
  # no-makedepend: the dependency pass is of no use to a build made once,
  # and only slows nmake down.
  COMMAND "${PERL}" Configure VC-WIN64A ${options} no-makedepend "--prefix=${folder}" "--openssldir=${folder}" "--libdir=${folder}"
  WORKING_DIRECTORY "${build}"
  LOGNAME "configure-${TARGET_TRIPLET}-rel")
vcpkg_execute_required_process(
  COMMAND nmake /nologo build_libs
  WORKING_DIRECTORY "${build}"
  LOGNAME "build-${TARGET_TRIPLET}-rel")

file(INSTALL "${build}/libcrypto.lib" DESTINATION "${CURRENT_PACKAGES_DIR}/lib")
file(GLOB headers "${build}/include/openssl/*.h")
file(INSTALL ${headers} DESTINATION "${CURRENT_PACKAGES_DIR}/include/openssl")
file(INSTALL "${source_path}/LICENSE.txt" DESTINATION "${CURRENT_PACKAGES_DIR}/share/${PORT}" RENAME copyright)
# libcrypto records its compile flags and sources' names for its own
# messages; nothing in it names a folder it reads.
set(VCPKG_POLICY_SKIP_ABSOLUTE_PATHS_CHECK enabled)
