#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kova {

// Compares two variable names as Windows does for the environment; < 0, 0
// or > 0, or empty when the comparison itself fails. On Windows:
// CompareStringOrdinal, ignoring case.
using CompareNames = std::optional<int> (*)(std::wstring_view a, std::wstring_view b);

// A Unicode environment block ("name=value" entries, each ended by a NUL, and
// one more NUL) equal to `block` but with `name` set to `value`: every entry
// whose name matches without regard to case is dropped, and the new entry goes
// where the block's sorted order puts it. Nothing else changes. Empty when a
// comparison fails: no name may be taken for different on a guess.
[[nodiscard]] std::optional<std::wstring> environment_with(std::wstring_view block, std::wstring_view name, std::wstring_view value,
                                            CompareNames compare);

}  // namespace kova
