#include "core/utf.h"

#include <utility>

#include "core/invariant.h"

namespace kova {
namespace {

constexpr char32_t kMaxCodePoint = 0x10FFFF;

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::optional<char32_t> decode_utf8(std::string_view text, std::size_t& length) {
    if (text.empty()) return std::nullopt;
    const auto lead = static_cast<unsigned char>(text[0]);
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        length = 1;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        c = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        c = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        c = lead & 0x07;
        minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() < length) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!is_continuation(byte)) return std::nullopt;
        c = (c << 6) | (byte & 0x3F);
    }
    if (c < minimum || c > kMaxCodePoint || is_surrogate(c)) return std::nullopt;
    return c;
}

bool is_valid_utf8(std::string_view text) {
    while (!text.empty()) {
        std::size_t length = 0;
        if (!decode_utf8(text, length)) return false;
        text.remove_prefix(length);
    }
    return true;
}

std::optional<std::wstring> utf8_to_utf16(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    while (!text.empty()) {
        std::size_t length = 0;
        const std::optional<char32_t> c = decode_utf8(text, length);
        if (!c) return std::nullopt;
        if (*c < 0x10000) {
            out += static_cast<wchar_t>(*c);
        } else {
            const char32_t v = *c - 0x10000;
            out += static_cast<wchar_t>(0xD800 + (v >> 10));
            out += static_cast<wchar_t>(0xDC00 + (v & 0x3FF));
        }
        text.remove_prefix(length);
    }
    return out;
}

std::optional<std::string> utf16_to_utf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        // wchar_t is wider than 16 bits on Linux; only UTF-16 code units count.
        const auto unit = static_cast<char32_t>(text[i]);
        if (unit > 0xFFFF) return std::nullopt;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 == text.size()) return std::nullopt;
            const auto low = static_cast<char32_t>(text[i + 1]);
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            ++i;
        } else if (is_surrogate(unit)) {
            return std::nullopt;
        } else {
            append_utf8(out, unit);
        }
    }
    return out;
}

std::wstring widen_checked(std::string_view text) {
    std::optional<std::wstring> wide = utf8_to_utf16(text);
    if (!wide) invariant_violation("text proven UTF-8 failed to convert");
    return std::move(*wide);
}

}  // namespace kova
