#pragma once

#include <cstddef>
#include <string>

namespace kova::testing {

// A well-formed JSON value of `pairs` arrays each holding an object, nested
// one in the next: 2 * pairs containers deep.
inline std::string deeply_nested(std::size_t pairs) {
    std::string text;
    text.reserve(pairs * 8 + 1);
    for (std::size_t i = 0; i < pairs; ++i) text += "[{\"k\":";
    text += '0';
    for (std::size_t i = 0; i < pairs; ++i) text += "}]";
    return text;
}

inline constexpr std::size_t kHalfAMillion = 500'000;

}  // namespace kova::testing
