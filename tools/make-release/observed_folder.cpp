#include "make-release/observed_folder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <new>

#include "core/storage_layout.h"
#include "core/utf.h"

namespace kova::tool {
namespace {

constexpr std::uint32_t kAttributeNormal = 0x80;            // FILE_ATTRIBUTE_NORMAL
constexpr std::uint32_t kReparseTagSymbolicLink = 0xA000000C;  // IO_REPARSE_TAG_SYMLINK

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

// Control characters as \xNN, so that a message stays on one line.
std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += byte < 0x20 || byte == 0x7F ? hex_escape(byte) : std::string(1, c);
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

// Component by component, after both sides were made canonical.
bool is_inside(const fs::path& path, const fs::path& folder) {
    const auto [in_folder, in_path] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return in_folder == folder.end() && in_path != path.end();
}

}  // namespace

std::optional<std::string> name_text(const fs::path& name) { return text_of_native(name.native()); }

std::string shown(const fs::path& path) { return shown_native(path.native()); }

fs::path path_from_utf8(const std::string& text) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

FileMetadata listed_metadata(const fs::file_status& status) {
    switch (status.type()) {
        case fs::file_type::directory: return {kAttributeDirectory, 0, 0};
        case fs::file_type::symlink: return {kAttributeReparsePoint, kReparseTagSymbolicLink, 0};
        default: return {kAttributeNormal, 0, 0};
    }
}

std::optional<std::string> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    try {
        std::string content{std::istreambuf_iterator<char>(in), {}};
        if (in.bad()) return std::nullopt;
        return content;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

Result<std::string> file_sha256(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail(kDigestOpenFailed);
    return sha256_of_reads([&in](std::span<std::uint8_t> buffer, const auto& consume) {
        while (in) {
            in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
            consume(buffer.first(static_cast<std::size_t>(in.gcount())));
        }
        return !in.bad();
    });
}

std::optional<std::string> ObservedFolder::read_manifest() {
    if (manifest_) return manifest_;
    return read_file(folder_ / path_from_utf8(std::string(kManifestFileName)));
}

FoundFile ObservedFolder::find(std::string_view name) {
    std::error_code error;
    const fs::path canonical = fs::canonical(folder_ / path_from_utf8(std::string(name)), error);
    if (error) return {FileState::missing};
    if (!is_inside(canonical, folder_)) return {FileState::outside};
    if (!fs::is_regular_file(fs::status(canonical, error)) || error) return {FileState::not_a_file};
    const std::uintmax_t size = fs::file_size(canonical, error);
    if (error) return {FileState::unreadable};
    found_[std::string(name)] = canonical;
    return {FileState::present, size};
}

Result<std::string> ObservedFolder::digest(std::string_view name) { return file_sha256(found_.at(std::string(name))); }

bool ObservedFolder::list(const std::function<bool(const ListedEntry&)>& visit) {
    std::error_code error;
    for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
        const fs::path name = it->path().filename();
        const fs::file_status status = it->symlink_status(error);
        if (error) return false;
        if (!visit(ListedEntry{name_text(name), shown(name), listed_metadata(status)})) return true;
    }
    return !error;
}

}  // namespace kova::tool
