#include "settings/settings_file.h"

#include "core/utf.h"
#include "core/win32/file_system.h"
#include "installer/app_storage.h"

namespace kova {
namespace {

constexpr UserMessage kNoSettings{"Choose the folders agents may access in KOVA Hub first."};
constexpr UserMessage kSettingsUnreadable{"MCP folder settings could not be read."};

constexpr std::wstring_view kSettingsFileName = L"mcp-settings.json";

}  // namespace

Result<Path> settings_file_path() {
    Result<Path> folder = maker_folder();
    if (!folder) return fail(folder.error());
    return join(std::move(*folder), kSettingsFileName);
}

Result<Settings> read_settings() {
    const Result<Path> path = settings_file_path();
    if (!path) return fail(path.error());
    // Only whether it exists matters here: a folder in its place passes, and
    // is refused by the read that follows.
    if (!win32::query_metadata(*path)) return fail(kNoSettings);
    const std::optional<std::string> text = win32::read_whole_file(*path);
    if (!text || !is_valid_utf8(*text)) return fail(kSettingsUnreadable);
    return decode_settings(*text);
}

}  // namespace kova
