#pragma once

#include <string_view>

namespace kova {

// 1 to 32 bytes; first an ASCII digit; only ASCII letters, digits, "-" and
// "."; never "..". Such a name joined onto a folder always names a direct child.
[[nodiscard]] bool is_valid_version(std::string_view name);

}  // namespace kova
