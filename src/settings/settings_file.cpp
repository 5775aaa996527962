#include "settings/settings_file.h"

#include <array>
#include <utility>

#include "core/strict_json.h"

namespace kova {
namespace {

constexpr UserMessage kSettingsInvalid{"MCP folder settings are invalid."};
// The dash is an en dash, U+2013, spelled as its UTF-8 bytes.
constexpr UserMessage kWrongFolderCount{"Choose 1\xE2\x80\x93" "8 MCP folders."};

constexpr std::array<json::Member, 1> kSettingsMembers{{{"allowed_roots", true}}};

// A count beyond the limit is known from one entry more than it allows, so
// no more entries than that are kept, however many the file holds; the rest
// are still checked one by one, for a bad one makes the file invalid
// whatever the count.
bool read_allowed_roots(json::Reader& reader, Settings& settings, std::size_t& count) {
    return json::read_array(reader, [&settings, &count](json::Reader& entry) {
        ++count;
        if (settings.allowed_roots.size() > kMaxAllowedRoots) return entry.skip_decodable_string();
        std::optional<std::string> root = entry.read_string();
        if (!root) return false;
        settings.allowed_roots.push_back(std::move(*root));
        return true;
    });
}

}  // namespace

Result<Settings> decode_settings(std::string_view text) {
    Settings settings;
    std::size_t count = 0;
    const bool decoded = json::read_document(text, [&settings, &count](json::Reader& reader) {
        return json::read_record(reader, kSettingsMembers, [&settings, &count](std::size_t, json::Reader& value) {
            return read_allowed_roots(value, settings, count);
        });
    });
    if (!decoded) return fail(kSettingsInvalid);
    if (count < kMinAllowedRoots || count > kMaxAllowedRoots) return fail(kWrongFolderCount);
    return settings;
}

}  // namespace kova
