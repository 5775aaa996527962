// The strict JSON reader against an independent RFC 8259 validator written in
// the test tree: both must call exactly the same texts well-formed, and each
// record decoding may accept only well-formed texts.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/strict_json.h"
#include "installer/installed_record.h"
#include "installer/release_record.h"
#include "reference_json.h"
#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool well_formed = kova::reference::is_well_formed_json(text);
    if (kova::json::is_well_formed(text) != well_formed) std::abort();
    if (!well_formed && (kova::decode_installed(text) || kova::decode_settings(text) || kova::decode_release(text))) {
        std::abort();
    }
    return 0;
}
