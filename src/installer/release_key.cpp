#include "installer/release_key.h"

#include <utility>

#include "core/base64.h"

namespace kova {

std::expected<crypto::VerifyingKey, ReleaseKeyFault> read_release_key_text(std::string_view base64_text) {
    const std::optional<Bytes> der = decode_base64(base64_text, Base64::standard_padded);
    if (!der) return std::unexpected(ReleaseKeyFault::not_standard_base64);
    std::expected<crypto::VerifyingKey, crypto::PublicKeyFault> key = crypto::decode_verifying_key(*der);
    if (key) return std::move(*key);
    return std::unexpected(key.error() == crypto::PublicKeyFault::not_on_curve ? ReleaseKeyFault::not_on_curve
                                                                                : ReleaseKeyFault::not_named_p256_form);
}

Result<crypto::VerifyingKey> decode_release_key_text(std::string_view base64_text) {
    std::expected<crypto::VerifyingKey, ReleaseKeyFault> key = read_release_key_text(base64_text);
    if (!key) return fail(kInvalidReleaseKey);
    return std::move(*key);
}

}  // namespace kova
