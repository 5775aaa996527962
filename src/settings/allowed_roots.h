#pragma once

#include <string_view>
#include <vector>

#include "core/path.h"
#include "core/user_message.h"

namespace kova {

// The final path (`\\?\C:\...`, `\\?\UNC\...`) of the existing folder that a
// settings entry names, resolved against the launcher's current directory.
[[nodiscard]] Result<Path> validate_allowed_root(std::string_view entry);

// Every entry of the settings file validated in file order; the first bad
// entry ends it and later entries are not looked at.
[[nodiscard]] Result<std::vector<Path>> load_allowed_roots();

}  // namespace kova
