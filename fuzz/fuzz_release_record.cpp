// verify_release_record on arbitrary text with the test key: it must never
// crash, leak or misbehave, and anything it accepts must obey the rules.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "installer/release_key.h"
#include "installer/release_record.h"
#include "installer/version_name.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const kova::crypto::VerifyingKey key = [] {
        auto decoded = kova::decode_release_key();
        if (!decoded) std::abort();
        return std::move(*decoded);
    }();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const kova::Result<kova::Release> release = kova::verify_release_record(text, key);
    if (release && (release->files.size() < 2 || release->files.size() > 4 || !kova::is_valid_version(release->version))) {
        std::abort();
    }
    (void)kova::trim_white_space(text);
    return 0;
}
