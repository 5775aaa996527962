#include "settings/settings_file.h"

#include <array>

#include "core/strict_json.h"

namespace kova {
namespace {

constexpr UserMessage kSettingsInvalid{"MCP folder settings are invalid."};
// The dash is an en dash, U+2013, spelled as its UTF-8 bytes.
constexpr UserMessage kWrongFolderCount{"Choose 1\xE2\x80\x93" "8 MCP folders."};

constexpr std::array<json::Member, 1> kSettingsMembers{{{"allowed_roots", true}}};

}  // namespace

Result<Settings> decode_settings(std::string_view text) {
    const std::optional<json::Value> document = json::parse_strict(text);
    if (!document) return fail(kSettingsInvalid);
    const auto members = json::record_members(*document, kSettingsMembers);
    if (!members) return fail(kSettingsInvalid);
    const json::Value& roots = *(*members)[0];
    if (!roots.is_array()) return fail(kSettingsInvalid);
    Settings settings;
    for (const json::Value& entry : roots) {
        std::optional<std::string> root = json::as_string(entry);
        if (!root) return fail(kSettingsInvalid);
        settings.allowed_roots.push_back(std::move(*root));
    }
    if (settings.allowed_roots.size() < kMinAllowedRoots || settings.allowed_roots.size() > kMaxAllowedRoots) {
        return fail(kWrongFolderCount);
    }
    return settings;
}

}  // namespace kova
