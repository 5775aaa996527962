#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kova {

using Bytes = std::vector<std::uint8_t>;

enum class Base64 {
    standard_padded,  // RFC 4648 section 4, "=" padding required
    url_unpadded,     // RFC 4648 section 5, no padding at all
};

// Strict decoding: only the variant's alphabet, no white space, padding exactly
// as the variant demands, and the unused low bits of the last character zero,
// so that every byte string has exactly one accepted text.
[[nodiscard]] std::optional<Bytes> decode_base64(std::string_view text, Base64 variant);

[[nodiscard]] std::string encode_base64(std::span<const std::uint8_t> bytes, Base64 variant);

}  // namespace kova
