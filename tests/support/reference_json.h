#pragma once

#include <string_view>

namespace kova::reference {

// An independent check of RFC 8259: exactly one JSON value with only JSON
// white space around it, strings of well-formed UTF-8, numbers of any size.
[[nodiscard]] bool is_well_formed_json(std::string_view text);

}  // namespace kova::reference
