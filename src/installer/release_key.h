#pragma once

#include <expected>
#include <string_view>

#include "core/user_message.h"
#include "installer/crypto.h"

namespace kova {

// The built-in release-signing public key: standard padded Base64 of a DER
// SubjectPublicKeyInfo, chosen by the build (KOVA_RELEASE_PUBLIC_KEY).
extern const std::string_view RELEASE_PUBLIC_KEY;

inline constexpr UserMessage kInvalidReleaseKey{"Invalid embedded release key."};

// Decodes RELEASE_PUBLIC_KEY into the verifying key.
[[nodiscard]] Result<crypto::VerifyingKey> decode_release_key();

// The same decoding for any key text.
[[nodiscard]] Result<crypto::VerifyingKey> decode_release_key_text(std::string_view base64_text);

// Why a key text is refused, for the publisher's build, which must refuse a
// key the launcher would refuse, and say why.
enum class ReleaseKeyFault { not_standard_base64, not_named_p256_form, not_on_curve };
[[nodiscard]] std::expected<crypto::VerifyingKey, ReleaseKeyFault> read_release_key_text(std::string_view base64_text);

}  // namespace kova
