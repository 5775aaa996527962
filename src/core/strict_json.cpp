#include "core/strict_json.h"

#include <charconv>
#include <limits>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/utf.h"

namespace kova::json {
namespace {

bool is_white_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

constexpr std::string_view kSimpleEscapes = "\"\\/bfnrt";
constexpr std::size_t kUnicodeEscapeDigits = 4;

// A string token's text, escapes and all, decoded by nlohmann-json, which
// also refuses escapes that pair no surrogates.
std::optional<std::string> decode_string_token(std::string_view token) {
    if (token.find('\\') == std::string_view::npos) return std::string(token.substr(1, token.size() - 2));
    nlohmann::json value = nlohmann::json::parse(token, nullptr, /*allow_exceptions=*/false);
    if (!value.is_string()) return std::nullopt;
    return std::move(value.get_ref<std::string&>());
}

}  // namespace

void Reader::skip_white_space() {
    while (at_ < text_.size() && is_white_space(text_[at_])) ++at_;
}

bool Reader::consume(char c) {
    skip_white_space();
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
}

bool Reader::at_end() {
    skip_white_space();
    return at_ == text_.size();
}

// string = quotation-mark *char quotation-mark, where a char is any Unicode
// character but the quotation mark, the reverse solidus and the controls
// below U+0020, or one of the escapes.
bool Reader::scan_string_token(std::string_view& token) {
    skip_white_space();
    const std::size_t start = at_;
    if (at_ >= text_.size() || text_[at_] != '"') return false;
    ++at_;
    while (at_ < text_.size()) {
        const auto c = static_cast<unsigned char>(text_[at_]);
        if (c == '"') {
            ++at_;
            token = text_.substr(start, at_ - start);
            return true;
        }
        if (c < 0x20) return false;
        if (c == '\\') {
            if (++at_ >= text_.size()) return false;
            const char escape = text_[at_++];
            if (escape == 'u') {
                for (std::size_t i = 0; i < kUnicodeEscapeDigits; ++i, ++at_) {
                    if (at_ >= text_.size() || !is_hex_digit(text_[at_])) return false;
                }
            } else if (kSimpleEscapes.find(escape) == std::string_view::npos) {
                return false;
            }
        } else if (c < 0x80) {
            ++at_;
        } else {
            std::size_t length = 0;
            if (!decode_utf8(text_.substr(at_), length)) return false;
            at_ += length;
        }
    }
    return false;
}

// number = [ minus ] int [ frac ] [ exp ], int = zero / ( digit1-9 *DIGIT ),
// frac = decimal-point 1*DIGIT, exp = e [ minus / plus ] 1*DIGIT: any
// magnitude at all.
bool Reader::scan_number_token(std::string_view& token) {
    skip_white_space();
    const std::size_t start = at_;
    const auto digits = [this] {
        const std::size_t first = at_;
        while (at_ < text_.size() && is_digit(text_[at_])) ++at_;
        return at_ - first;
    };
    const auto next_is = [this](char c) { return at_ < text_.size() && text_[at_] == c; };
    if (next_is('-')) ++at_;
    if (next_is('0')) {
        ++at_;
    } else if (digits() == 0) {
        return false;
    }
    if (next_is('.')) {
        ++at_;
        if (digits() == 0) return false;
    }
    if (next_is('e') || next_is('E')) {
        ++at_;
        if (next_is('-') || next_is('+')) ++at_;
        if (digits() == 0) return false;
    }
    token = text_.substr(start, at_ - start);
    return true;
}

bool Reader::scan_word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
}

bool Reader::scan_literal() { return scan_word("true") || scan_word("false") || scan_word("null"); }

bool Reader::scan_scalar() {
    skip_white_space();
    if (at_ >= text_.size()) return false;
    std::string_view token;
    const char c = text_[at_];
    if (c == '"') return scan_string_token(token);
    if (c == '-' || is_digit(c)) return scan_number_token(token);
    return scan_literal();
}

bool Reader::skip_string() {
    std::string_view token;
    return scan_string_token(token);
}

// Iterative, so that no nesting can exhaust the stack: one bit per open
// container says whether it is an object (a name comes before each value)
// or an array.
bool Reader::skip_value() {
    std::vector<bool> open_is_object;
    for (;;) {
        // A value is expected here.
        if (consume('{')) {
            if (!consume('}')) {
                if (!skip_string() || !consume(':')) return false;
                open_is_object.push_back(true);
                continue;
            }
        } else if (consume('[')) {
            if (!consume(']')) {
                open_is_object.push_back(false);
                continue;
            }
        } else if (!scan_scalar()) {
            return false;
        }
        // A value has ended: close what it ends, until the next value begins.
        for (;;) {
            if (open_is_object.empty()) return true;
            const bool in_object = open_is_object.back();
            if (consume(',')) {
                if (in_object && (!skip_string() || !consume(':'))) return false;
                break;
            }
            if (!consume(in_object ? '}' : ']')) return false;
            open_is_object.pop_back();
        }
    }
}

bool Reader::skip_decodable_string() {
    std::string_view token;
    if (!scan_string_token(token)) return false;
    return token.find('\\') == std::string_view::npos || decode_string_token(token).has_value();
}

std::optional<std::string> Reader::read_string() {
    std::string_view token;
    if (!scan_string_token(token)) return std::nullopt;
    return decode_string_token(token);
}

std::optional<std::uint64_t> Reader::read_unsigned() {
    std::string_view token;
    if (!scan_number_token(token)) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    // Anything left over is a sign, a fraction or an exponent; an error is a
    // value beyond 64 bits.
    if (error != std::errc() || end != token.data() + token.size() || token.front() == '-') return std::nullopt;
    return value;
}

bool Reader::read_null() {
    skip_white_space();
    return scan_word("null");
}

bool is_well_formed(std::string_view text) {
    return read_document(text, [](Reader& reader) { return reader.skip_value(); });
}

bool read_into(Reader& reader, std::string& out) {
    std::optional<std::string> text = reader.read_string();
    if (!text) return false;
    out = std::move(*text);
    return true;
}

bool read_into(Reader& reader, std::optional<std::string>& out) {
    if (reader.read_null()) {
        out.reset();
        return true;
    }
    out = reader.read_string();
    return out.has_value();
}

bool read_into(Reader& reader, std::uint64_t& out) {
    const std::optional<std::uint64_t> value = reader.read_unsigned();
    if (!value) return false;
    out = *value;
    return true;
}

bool read_into(Reader& reader, std::uint32_t& out) {
    const std::optional<std::uint64_t> value = reader.read_unsigned();
    if (!value || *value > std::numeric_limits<std::uint32_t>::max()) return false;
    out = static_cast<std::uint32_t>(*value);
    return true;
}

}  // namespace kova::json
