#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/user_message.h"
#include "installer/crypto.h"
#include "installer/release.h"

namespace kova {

inline constexpr std::size_t kMaxReleaseRecordBytes = 8192;
// The record's text: the format tag, the Base64url payload and the Base64url
// signature, separated by full stops; the signature covers the text before
// the second full stop.
inline constexpr std::string_view kRecordFormatTag = "nrel1";
inline constexpr char kRecordFieldSeparator = '.';

// Judges a trimmed manifest.txt text: the signature over "nrel1." and the
// payload field is verified with `key` before any byte of the payload is
// decoded, then the release and each of its files must pass the package rules.
[[nodiscard]] Result<Release> verify_release_record(std::string_view text, const crypto::VerifyingKey& key);

// The payload's JSON decoded strictly into a release, no rule applied yet;
// empty when it is not a valid release description.
[[nodiscard]] std::optional<Release> decode_release(std::string_view json_text);

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
