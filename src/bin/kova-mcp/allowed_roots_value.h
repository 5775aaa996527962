#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/path.h"

namespace kova {

// The folders joined by ";" in list order; a folder holding ";" is put in
// double quotes; nothing else is escaped. No value exists when a folder holds
// a double quote, which the companion could not tell from a quoting mark.
[[nodiscard]] std::optional<std::wstring> build_allowed_roots_value(std::vector<Path> folders);

}  // namespace kova
