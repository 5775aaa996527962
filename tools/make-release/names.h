#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Paths and names as the release tool shows and compares them.
namespace kova::tool {

namespace fs = std::filesystem;

// A path as UTF-8 for the tool's messages; bytes that are not text, and
// control characters, are written as \xNN so that a message stays one line.
[[nodiscard]] std::string shown(const fs::path& path);

// A file or folder name as UTF-8, when it is Unicode text.
[[nodiscard]] std::optional<std::string> name_text(const fs::path& name);

// UTF-8 text, already checked, as a path.
[[nodiscard]] fs::path path_from_utf8(const std::string& text);

// Whether Windows takes two names for the same file: ordinal, ignoring case.
// Windows upper-cases no character outside ASCII to an ASCII letter (not the
// dotless i, not the long s), so for the release's ASCII names the ASCII
// letters are all that can differ.
[[nodiscard]] bool same_name_on_windows(std::string_view a, std::string_view b);

// The new file that replaces `target` is written beside it under this name,
// so that a run that dies leaves it recognisable.
[[nodiscard]] fs::path temporary_path_for(const fs::path& target, std::uint64_t process_id);
[[nodiscard]] bool is_temporary_name_for(std::string_view name, std::string_view target_name);

}  // namespace kova::tool
