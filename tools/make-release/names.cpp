#include "make-release/names.h"

#include <algorithm>
#include <cstdio>

#include "core/utf.h"

namespace kova::tool {
namespace {

constexpr std::string_view kTemporaryPrefix = ".";
constexpr std::string_view kTemporarySuffix = ".tmp";

// One overload for each kind of native path text: bytes on POSIX, UTF-16 on
// Windows. The other one goes unused on each platform.
[[maybe_unused]] std::optional<std::string> text_of_native(const std::string& native) {
    if (!is_valid_utf8(native)) return std::nullopt;
    return native;
}

[[maybe_unused]] std::optional<std::string> text_of_native(const std::wstring& native) { return utf16_to_utf8(native); }

std::string hex_escape(unsigned char byte) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", byte);
    return hex;
}

// Control characters and double quotes as \xNN.
std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += byte < 0x20 || byte == 0x7F || c == '"' ? hex_escape(byte) : std::string(1, c);
    }
    return out;
}

// Bytes that are not UTF-8 as \xNN.
[[maybe_unused]] std::string shown_native(const std::string& native) {
    std::string out;
    std::string_view rest = native;
    while (!rest.empty()) {
        std::size_t length = 0;
        if (decode_utf8(rest, length)) {
            out.append(rest.substr(0, length));
        } else {
            length = 1;
            out += hex_escape(static_cast<unsigned char>(rest.front()));
        }
        rest.remove_prefix(length);
    }
    return escaped(out);
}

// Unpaired surrogates as \uXXXX.
[[maybe_unused]] std::string shown_native(const std::wstring& native) {
    const auto is_high = [](wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; };
    const auto is_low = [](wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; };
    std::string out;
    for (std::size_t i = 0; i < native.size();) {
        const std::size_t units = is_high(native[i]) && i + 1 < native.size() && is_low(native[i + 1]) ? 2 : 1;
        if (const std::optional<std::string> text = utf16_to_utf8(native.substr(i, units))) {
            out += *text;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(native[i]));
            out += hex;
        }
        i += units;
    }
    return escaped(out);
}

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool is_decimal(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::optional<std::string> name_text(const fs::path& name) { return text_of_native(name.native()); }

std::string shown(const fs::path& path) { return shown_native(path.native()); }

std::string quoted(const fs::path& path) { return quoted_text(shown(path)); }

std::string quoted_text(std::string_view shown_text) {
    std::string text(1, '"');
    text += shown_text;
    text += '"';
    return text;
}

fs::path path_from_utf8(const std::string& text) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

bool same_name_on_windows(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_upper(x) == ascii_upper(y); });
}

fs::path temporary_path_for(const fs::path& target, std::uint64_t process_id) {
    fs::path name = path_from_utf8(std::string(kTemporaryPrefix));
    name += target.filename();
    std::string rest(1, '.');
    rest += std::to_string(process_id);
    rest += kTemporarySuffix;
    name += path_from_utf8(rest);
    return target.parent_path() / name;
}

bool is_temporary_name_for(std::string_view name, std::string_view target_name) {
    if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) return false;
    name.remove_prefix(kTemporaryPrefix.size());
    name.remove_suffix(kTemporarySuffix.size());
    if (!name.starts_with(target_name) || name.size() <= target_name.size() || name[target_name.size()] != '.') {
        return false;
    }
    return is_decimal(name.substr(target_name.size() + 1));
}

}  // namespace kova::tool
