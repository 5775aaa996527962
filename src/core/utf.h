#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kova {

// Strict UTF-8: no overlong forms, no surrogate code points, nothing above
// U+10FFFF, no truncated sequences.
[[nodiscard]] bool is_valid_utf8(std::string_view text);

// Both conversions refuse invalid input instead of replacing it: an invalid
// UTF-8 sequence, or an unpaired UTF-16 surrogate.
[[nodiscard]] std::optional<std::wstring> utf8_to_utf16(std::string_view text);
[[nodiscard]] std::optional<std::string> utf16_to_utf8(std::wstring_view text);

// For text already proven valid UTF-8 (such as names the release rules made
// ASCII): a failure here is an internal invariant violation.
[[nodiscard]] std::wstring widen_checked(std::string_view text);

// Decodes one code point of valid UTF-8 at the start of `text`; `length` gets
// its byte count. Returns nullopt where the bytes are not valid UTF-8.
[[nodiscard]] std::optional<char32_t> decode_utf8(std::string_view text, std::size_t& length);

}  // namespace kova
