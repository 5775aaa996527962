#include "settings/allowed_roots.h"

#include <utility>

#include "core/utf.h"
#include "core/win32/file_system.h"
#include "settings/settings_file.h"

namespace kova {
namespace {

constexpr UserMessage kFolderGone{"An MCP folder no longer exists."};
constexpr UserMessage kNotAFolder{"MCP access must point to folders."};

}  // namespace

Result<Path> validate_allowed_root(std::string_view entry) {
    const std::optional<std::wstring> path = utf8_to_utf16(entry);
    if (!path || path->find(L'\0') != std::wstring::npos) return fail(kFolderGone);
    win32::Win32Result<Path> final = win32::canonicalize(*path);
    if (!final) return fail(kFolderGone);
    const win32::Win32Result<FileMetadata> metadata = win32::query_metadata(*final);
    if (!metadata || !is_plain_folder(*metadata)) return fail(kNotAFolder);
    return std::move(*final);
}

Result<std::vector<Path>> load_allowed_roots() {
    Result<Settings> settings = read_settings();
    if (!settings) return fail(settings.error());
    std::vector<Path> folders;
    folders.reserve(settings->allowed_roots.size());
    for (const std::string& entry : settings->allowed_roots) {
        Result<Path> folder = validate_allowed_root(entry);
        if (!folder) return fail(folder.error());
        folders.push_back(std::move(*folder));
    }
    return folders;
}

}  // namespace kova
