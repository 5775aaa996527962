# kova-mcp's MSVC build: static libraries and runtime, release only (the msvc
# preset builds Release), and the folder holding the pinned Debian source of
# libcrypto passed through to the overlay port (it checks each file against
# scripts/openssl-source.pin, so the path itself is no part of the ABI).
set(VCPKG_TARGET_ARCHITECTURE x64)
set(VCPKG_CRT_LINKAGE static)
set(VCPKG_LIBRARY_LINKAGE static)
set(VCPKG_BUILD_TYPE release)
set(VCPKG_ENV_PASSTHROUGH_UNTRACKED KOVA_OPENSSL_SOURCE)
