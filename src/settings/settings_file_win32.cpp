#include "settings/settings_file.h"

#include "core/storage_layout.h"
#include "core/utf.h"
#include "core/win32/file_system.h"

namespace kova {
namespace {

constexpr UserMessage kNoSettings{"Choose the folders agents may access in KOVA Hub first."};
constexpr UserMessage kSettingsUnreadable{"MCP folder settings could not be read."};

}  // namespace

Result<Path> settings_file_path() {
    Result<Path> folder = maker_folder();
    if (!folder) return fail(folder.error());
    return join_name(*folder, kSettingsFileName);
}

Result<Settings> read_settings() {
    const Result<Path> path = settings_file_path();
    if (!path) return fail(path.error());
    // Only whether it exists matters here: a folder in its place passes, and
    // is refused by the read that follows.
    if (!win32::query_metadata(*path)) return fail(kNoSettings);
    const win32::Win32Result<std::string> text = win32::read_whole_file(*path);
    if (!text || !is_valid_utf8(*text)) return fail(kSettingsUnreadable);
    return decode_settings(*text);
}

}  // namespace kova
