#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/user_message.h"
#include "installer/crypto.h"

namespace kova {

struct ReleaseFile {
    std::string name;
    std::uint64_t bytes = 0;
    std::string sha256;
};

struct Release {
    std::uint32_t schemaVersion = 0;
    std::string product;
    std::string version;
    std::string platform;
    std::optional<std::string> publisher;
    std::vector<ReleaseFile> files;
};

inline constexpr std::size_t kMaxReleaseRecordBytes = 8192;
inline constexpr std::string_view kManifestFileName = "manifest.txt";

// Judges a trimmed manifest.txt text: the signature over "nrel1." and the
// payload field is verified with `key` before any byte of the payload is
// decoded, then the release and each of its files must pass the package rules.
[[nodiscard]] Result<Release> verify_release_record(std::string_view text, const crypto::VerifyingKey& key);

enum class SignatureCheck { malformed, mismatch, verified };

// The one signature rule: a strict-DER P-256 signature with r and s in range
// that verifies over `message` with `key`.
[[nodiscard]] SignatureCheck check_release_signature(const crypto::VerifyingKey& key,
                                                     std::span<const std::uint8_t> message,
                                                     std::span<const std::uint8_t> der_signature);

// Removes leading and trailing characters of the Unicode White_Space property
// from valid UTF-8 text. A byte-order mark is not white space.
[[nodiscard]] std::string_view trim_white_space(std::string_view text);

}  // namespace kova
