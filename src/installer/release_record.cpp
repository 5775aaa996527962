#include "installer/release_record.h"

#include <algorithm>
#include <array>
#include <utility>

#include "core/base64.h"
#include "core/strict_json.h"
#include "core/utf.h"
#include "installer/ecdsa_signature.h"

namespace kova {
namespace {

constexpr UserMessage kTooLarge{"Release manifest is too large."};
constexpr UserMessage kUnsupported{"Unsupported release manifest."};
constexpr UserMessage kInvalidSignature{"Invalid release signature."};
constexpr UserMessage kNotVerified{"Release signature did not verify."};
constexpr UserMessage kInvalidMetadata{"Invalid release metadata."};
constexpr UserMessage kUnsupportedPackage{"Release is not a supported Lumenframe Windows package."};
constexpr UserMessage kUnsafeFile{"Release includes an unsafe or invalid file."};

constexpr std::array<json::Member, 6> kReleaseMembers{{
    {"schemaVersion", true},
    {"product", true},
    {"version", true},
    {"platform", true},
    {"publisher", false},
    {"files", true},
}};

constexpr std::array<json::Member, 3> kReleaseFileMembers{{
    {"name", true},
    {"bytes", true},
    {"sha256", true},
}};

struct Fields {
    std::string_view payload;
    std::string_view signature;
};

std::optional<Fields> split_fields(std::string_view text) {
    if (std::count(text.begin(), text.end(), kRecordFieldSeparator) != 2) return std::nullopt;
    const std::size_t first = text.find(kRecordFieldSeparator);
    const std::size_t second = text.find(kRecordFieldSeparator, first + 1);
    if (text.substr(0, first) != kRecordFormatTag) return std::nullopt;
    return Fields{text.substr(first + 1, second - first - 1), text.substr(second + 1)};
}

std::span<const std::uint8_t> as_bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

bool read_release_file(json::Reader& reader, ReleaseFile& file) {
    return json::read_record(reader, kReleaseFileMembers, [&file](std::size_t member, json::Reader& value) {
        switch (member) {
            case 0: return json::read_into(value, file.name);
            case 1: return json::read_into(value, file.bytes);
            default: return json::read_into(value, file.sha256);
        }
    });
}

bool read_release_member(std::size_t member, json::Reader& value, Release& release) {
    switch (member) {
        case 0: return json::read_into(value, release.schemaVersion);
        case 1: return json::read_into(value, release.product);
        case 2: return json::read_into(value, release.version);
        case 3: return json::read_into(value, release.platform);
        case 4: return json::read_into(value, release.publisher);
        default:
            return json::read_array(value, [&release](json::Reader& entry) {
                return read_release_file(entry, release.files.emplace_back());
            });
    }
}

bool is_unicode_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

}  // namespace

std::optional<Release> decode_release(std::string_view json_text) {
    Release release;
    const bool decoded = json::read_document(json_text, [&release](json::Reader& reader) {
        return json::read_record(reader, kReleaseMembers, [&release](std::size_t member, json::Reader& value) {
            return read_release_member(member, value, release);
        });
    });
    if (!decoded) return std::nullopt;
    return release;
}

SignatureCheck check_release_signature(const crypto::VerifyingKey& key, std::span<const std::uint8_t> message,
                                       std::span<const std::uint8_t> der_signature) {
    if (!is_strict_p256_signature(der_signature)) return SignatureCheck::malformed;
    // The DER is proven canonical, so OpenSSL is handed exactly these bytes.
    return crypto::verify_p256_sha256(key, message, der_signature) ? SignatureCheck::verified : SignatureCheck::mismatch;
}

std::string_view trim_white_space(std::string_view text) {
    for (;;) {
        std::size_t length = 0;
        const std::optional<char32_t> c = decode_utf8(text, length);
        if (!c || !is_unicode_white_space(*c)) break;
        text.remove_prefix(length);
    }
    for (;;) {
        // The last character starts at the last byte that is not a continuation byte.
        std::size_t start = text.size();
        while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) --start;
        if (start == 0) break;
        --start;
        std::size_t length = 0;
        const std::optional<char32_t> c = decode_utf8(text.substr(start), length);
        if (!c || start + length != text.size() || !is_unicode_white_space(*c)) break;
        text.remove_suffix(length);
    }
    return text;
}

Result<Release> verify_release_record(std::string_view text, const crypto::VerifyingKey& key) {
    if (text.size() > kMaxReleaseRecordBytes) return fail(kTooLarge);
    const std::optional<Fields> fields = split_fields(text);
    if (!fields) return fail(kUnsupported);
    const std::optional<Bytes> signature = decode_base64(fields->signature, Base64::url_unpadded);
    if (!signature) return fail(kInvalidSignature);
    // The signed message is the record up to its second full stop.
    const std::string_view signed_message = text.substr(0, kRecordFormatTag.size() + 1 + fields->payload.size());
    switch (check_release_signature(key, as_bytes(signed_message), *signature)) {
        case SignatureCheck::malformed:
            return fail(kInvalidSignature);
        case SignatureCheck::mismatch:
            return fail(kNotVerified);
        case SignatureCheck::verified:
            break;
    }
    const std::optional<Bytes> payload = decode_base64(fields->payload, Base64::url_unpadded);
    if (!payload) return fail(kInvalidMetadata);
    const std::string_view json_text(reinterpret_cast<const char*>(payload->data()), payload->size());
    std::optional<Release> release = decode_release(json_text);
    if (!release) return fail(kInvalidMetadata);
    if (!is_supported_package(*release)) return fail(kUnsupportedPackage);
    if (!are_safe_files(release->files)) return fail(kUnsafeFile);
    return std::move(*release);
}

}  // namespace kova
