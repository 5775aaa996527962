#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/path.h"
#include "core/user_message.h"

namespace kova {

// The folders the user chose in KOVA Hub, in file order, as written (UTF-8).
struct Settings {
    std::vector<std::string> allowed_roots;
};

inline constexpr std::size_t kMinAllowedRoots = 1;
inline constexpr std::size_t kMaxAllowedRoots = 8;

// %LOCALAPPDATA%\Tessarine\mcp-settings.json.
[[nodiscard]] Result<Path> settings_file_path();

// Reads and decodes the settings file; 1 to 8 entries.
[[nodiscard]] Result<Settings> read_settings();

// Decodes the text of the settings file (already found to be UTF-8) and
// applies the count rule.
[[nodiscard]] Result<Settings> decode_settings(std::string_view text);

}  // namespace kova
