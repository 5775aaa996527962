#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/user_message.h"

namespace kova {

// The installed-version record, current.json.
struct Installed {
    std::string current;
    std::optional<std::string> previous;
};

inline constexpr UserMessage kInstalledRecordInvalid{"Installed version record is invalid."};

// Decodes the text of current.json and applies the version-name rule to both
// names. The text has already been found to be UTF-8.
[[nodiscard]] Result<Installed> decode_installed(std::string_view text);

}  // namespace kova
