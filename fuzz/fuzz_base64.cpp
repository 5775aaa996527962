// Both strict Base64 decoders: no crash, and whatever decodes has exactly one
// accepted text, the one the encoder writes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const kova::Base64 variant : {kova::Base64::standard_padded, kova::Base64::url_unpadded}) {
        const auto decoded = kova::decode_base64(text, variant);
        if (decoded && kova::encode_base64(*decoded, variant) != text) std::abort();
    }
    return 0;
}
