#include "installer/version_name.h"

#include <algorithm>

namespace kova {
namespace {

constexpr std::size_t kMaxVersionLength = 32;

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

bool is_version_character(char c) {
    return is_ascii_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '.';
}

}  // namespace

bool is_valid_version(std::string_view name) {
    return !name.empty() && name.size() <= kMaxVersionLength && is_ascii_digit(name.front()) &&
           name.find("..") == std::string_view::npos && std::all_of(name.begin(), name.end(), is_version_character);
}

}  // namespace kova
