#pragma once

#include <windows.h>

#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "core/file_metadata.h"
#include "core/path.h"
#include "core/win32/handle.h"

// Thin, detail-free wrappers of the Win32 file calls every module shares.
// Failures carry the Win32 error code; the caller picks the user's message.
namespace kova::win32 {

template <class T>
using Win32Result = std::expected<T, DWORD>;

// The path as GetFullPathNameW resolves it, against the current directory.
[[nodiscard]] std::optional<Path> full_path(const Path& path);

// Opens an existing file or folder with full sharing, following links.
// `access` is 0 for metadata and final paths, GENERIC_READ for content.
// Paths too long for the classic limit are opened in extended-length form.
[[nodiscard]] Win32Result<FileHandle> open_existing(const Path& path, DWORD access);

// The final path of an open handle (`\\?\C:\...`, `\\?\UNC\...`), as reported.
[[nodiscard]] Win32Result<Path> final_path(HANDLE handle);

// Opens the path (links followed) and returns its final path.
[[nodiscard]] Win32Result<Path> canonicalize(const Path& path);

// Metadata of the path, links followed. When the open is refused for access
// or sharing, the directory entry's own attributes serve, unless that entry is
// itself a link (whose target could then not be judged).
[[nodiscard]] Win32Result<FileMetadata> query_metadata(const Path& path);

// The whole content of a file, read with full sharing.
[[nodiscard]] Win32Result<std::string> read_whole_file(const Path& path);

// Reads an open file to its end through `buffer`, handing each read's bytes on.
[[nodiscard]] Win32Result<void> read_to_end(HANDLE file, std::span<std::uint8_t> buffer,
                                            const std::function<void(std::span<const std::uint8_t>)>& consume);

// The value of an environment variable. A variable set to the empty string
// gives an empty value; an unset one ERROR_ENVVAR_NOT_FOUND.
[[nodiscard]] Win32Result<std::wstring> environment_variable(const wchar_t* name);

// One entry of a folder listing, with the listing's own attributes.
struct FolderEntry {
    std::wstring name;
    FileMetadata metadata;
};

enum class ListingEnd { complete, stopped };

// Lists the direct entries of a folder (not "." and ".."), handing each to
// `visit` until it returns false (stopped). An error when the listing cannot
// be opened or breaks off.
[[nodiscard]] Win32Result<ListingEnd> list_folder(const Path& folder,
                                                  const std::function<bool(const FolderEntry&)>& visit);

}  // namespace kova::win32
