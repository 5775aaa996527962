#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/path.h"

namespace kova {

inline constexpr std::wstring_view kAllowedRootsVariable = L"LUMENFRAME_ALLOWED_ROOTS";

// Starts `program` with no arguments, in its own folder, with the launcher's
// environment plus LUMENFRAME_ALLOWED_ROOTS and the launcher's standard
// handles; waits for it without limit and returns its 32-bit exit code.
// nullopt when it cannot be started or waited for.
[[nodiscard]] std::optional<std::uint32_t> run_companion(const Path& program, std::wstring allowed_roots_value);

}  // namespace kova
