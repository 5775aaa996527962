#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Paths and names as the release tool shows and compares them.
namespace kova::tool {

namespace fs = std::filesystem;

// A path as UTF-8 for the tool's messages; bytes that are not text, control
// characters and double quotes are written as \xNN, so that a message stays
// one line and a quoted name ends where it seems to.
[[nodiscard]] std::string shown(const fs::path& path);

// The same in double quotes, as every line names a path: a leading or
// trailing blank shows.
[[nodiscard]] std::string quoted(const fs::path& path);
[[nodiscard]] std::string quoted_text(std::string_view shown_text);

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
