#include "core/base64.h"

#include <array>

namespace kova {
namespace {

constexpr std::string_view kStandardAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kUrlAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr char kPad = '=';
constexpr std::uint8_t kNotInAlphabet = 0xFF;

using DecodeTable = std::array<std::uint8_t, 256>;

constexpr DecodeTable make_table(std::string_view alphabet) {
    DecodeTable table{};
    for (auto& entry : table) entry = kNotInAlphabet;
    for (std::size_t i = 0; i < alphabet.size(); ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
    }
    return table;
}

constexpr DecodeTable kStandardTable = make_table(kStandardAlphabet);
constexpr DecodeTable kUrlTable = make_table(kUrlAlphabet);

// Decodes unpadded data characters; a final group of 2 or 3 characters must
// leave its unused low bits zero.
std::optional<Bytes> decode_data(std::string_view text, const DecodeTable& table) {
    const std::size_t tail = text.size() % 4;
    if (tail == 1) return std::nullopt;
    Bytes out;
    out.reserve(text.size() / 4 * 3 + 2);
    std::uint32_t accumulator = 0;
    int bits = 0;
    for (const char ch : text) {
        const std::uint8_t value = table[static_cast<unsigned char>(ch)];
        if (value == kNotInAlphabet) return std::nullopt;
        accumulator = (accumulator << 6) | value;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(accumulator >> bits));
            accumulator &= (1u << bits) - 1;
        }
    }
    if (accumulator != 0) return std::nullopt;
    return out;
}

}  // namespace

std::optional<Bytes> decode_base64(std::string_view text, Base64 variant) {
    if (variant == Base64::url_unpadded) return decode_data(text, kUrlTable);
    if (text.size() % 4 != 0) return std::nullopt;
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == kPad) ++padding;
    // Any other "=" is not in the alphabet, so decode_data refuses it.
    return decode_data(text.substr(0, text.size() - padding), kStandardTable);
}

std::string encode_base64(std::span<const std::uint8_t> bytes, Base64 variant) {
    const std::string_view alphabet = variant == Base64::url_unpadded ? kUrlAlphabet : kStandardAlphabet;
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) out += alphabet[(v >> shift) & 0x3F];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t v = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (rest == 2) v |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        out += alphabet[(v >> 18) & 0x3F];
        out += alphabet[(v >> 12) & 0x3F];
        if (rest == 2) out += alphabet[(v >> 6) & 0x3F];
        if (variant == Base64::standard_padded) out.append(3 - rest, kPad);
    }
    return out;
}

}  // namespace kova
