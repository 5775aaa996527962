#pragma once

#include <string>
#include <string_view>

namespace kova {

// A Windows path as UTF-16 code units. On Linux, where the portable code is
// also tested, each wchar_t holds one UTF-16 code unit as well.
using Path = std::wstring;

// The extended-length prefix, which also marks a final path; and its forms
// for devices and network shares.
inline constexpr std::wstring_view kExtendedLengthPrefix = L"\\\\?\\";
inline constexpr std::wstring_view kExtendedUncPrefix = L"\\\\?\\UNC\\";
inline constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";

// Adds one backslash between the two parts unless `base` already ends in a
// separator. Touches nothing on disk.
[[nodiscard]] Path join(Path base, std::wstring_view part);

// True for a drive letter, colon and separator; a UNC prefix with server and
// share; a device prefix (\\.\); an extended-length prefix (\\?\, backslashes
// only). Within the first eight characters `/` counts as `\`.
[[nodiscard]] bool is_absolute_path(std::wstring_view path);

// Component-wise comparison: separators `\` and `/`, empty and `.` components
// ignored, names exact, drive letters without regard to case, other prefixes
// by their text.
[[nodiscard]] bool same_path(std::wstring_view a, std::wstring_view b);
[[nodiscard]] bool path_starts_with(std::wstring_view path, std::wstring_view base);

// The path without its last component: the folder that holds a file. A drive
// root keeps its separator so that it stays absolute.
[[nodiscard]] Path folder_of(std::wstring_view file_path);

// An extended-length drive or UNC path (\\?\C:\..., \\?\UNC\server\share\...)
// in the plain form (C:\..., \\server\share\...); any other path as it is.
// Whether both name the same file is the caller's to check: the plain form is
// normalised when used, the extended one is not.
[[nodiscard]] Path without_extended_prefix(std::wstring_view path);

[[nodiscard]] constexpr bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace kova
