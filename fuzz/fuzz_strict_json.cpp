// The strict JSON decoder and the three record decodings built on it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/strict_json.h"
#include "core/utf.h"
#include "installer/installed_record.h"
#include "installer/version_name.h"
#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool value = kova::json::is_well_formed(text);
    if (value && text.starts_with("\xEF\xBB\xBF")) std::abort();
    const auto installed = kova::decode_installed(text);
    if (installed && !kova::is_valid_version(installed->current)) std::abort();
    const auto settings = kova::decode_settings(text);
    if (settings && (settings->allowed_roots.empty() || settings->allowed_roots.size() > 8)) std::abort();
    if ((installed || settings) && !value) std::abort();
    if (value && !kova::is_valid_utf8(text)) std::abort();
    return 0;
}
