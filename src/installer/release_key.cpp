#include "installer/release_key.h"

#include <utility>

#include "core/base64.h"

namespace kova {

Result<crypto::VerifyingKey> decode_release_key_text(std::string_view base64_text) {
    const std::optional<Bytes> der = decode_base64(base64_text, Base64::standard_padded);
    if (!der) return fail(kInvalidReleaseKey);
    std::optional<crypto::VerifyingKey> key = crypto::decode_verifying_key(*der);
    if (!key) return fail(kInvalidReleaseKey);
    return std::move(*key);
}


}  // namespace kova
