#pragma once

#include <cstdint>

namespace kova {

// What the file system reports of one file or folder; the rules below are the
// only ways the launcher judges it.
struct FileMetadata {
    std::uint32_t attributes = 0;
    std::uint32_t reparse_tag = 0;  // meaningful only with the reparse-point attribute
    std::uint64_t size = 0;
};

inline constexpr std::uint32_t kAttributeDirectory = 0x10;       // FILE_ATTRIBUTE_DIRECTORY
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;   // FILE_ATTRIBUTE_REPARSE_POINT
inline constexpr std::uint32_t kReparseTagNameSurrogate = 0x20000000;

[[nodiscard]] constexpr bool is_directory(const FileMetadata& m) { return (m.attributes & kAttributeDirectory) != 0; }

// Symbolic links and junctions carry the name-surrogate bit in their tag;
// other reparse points (deduplication, cloud files) do not name another file.
[[nodiscard]] constexpr bool is_name_surrogate_link(const FileMetadata& m) {
    return (m.attributes & kAttributeReparsePoint) != 0 && (m.reparse_tag & kReparseTagNameSurrogate) != 0;
}

// A folder the launcher may hand to the companion: a directory that is not a link.
[[nodiscard]] constexpr bool is_plain_folder(const FileMetadata& m) { return is_directory(m) && !is_name_surrogate_link(m); }

// What may stand in a version folder beside the listed names: neither a
// folder nor a link, judged on the listing's own attributes.
[[nodiscard]] constexpr bool is_plain_file_entry(const FileMetadata& m) {
    return !is_directory(m) && !is_name_surrogate_link(m);
}

}  // namespace kova
