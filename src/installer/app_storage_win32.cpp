#include "installer/app_storage.h"

#include <utility>

#include "core/utf.h"
#include "core/win32/file_system.h"
#include "installer/folder_verification.h"
#include "installer/release_key.h"

namespace kova {
namespace {

constexpr UserMessage kNotInstalled{"Install Lumenframe in KOVA Hub first."};
constexpr UserMessage kRecordUnreadable{"Installed version record could not be read."};
constexpr UserMessage kAppStorageUnresolved{"App storage could not be resolved."};
constexpr UserMessage kAppDirectoryUnresolved{"App directory could not be resolved."};
constexpr UserMessage kBoundaryEscaped{"App directory escaped its installation boundary."};
constexpr UserMessage kCompanionMissing{"The installed Lumenframe MCP companion is missing."};

bool is_regular_file(const Path& path) {
    const win32::Win32Result<FileMetadata> metadata = win32::query_metadata(path);
    return metadata && !is_directory(*metadata);
}

}  // namespace

Result<std::optional<Installed>> read_installed(const Path& app_folder) {
    const Path record_path = join_name(app_folder, kInstalledRecordName);
    if (!win32::query_metadata(record_path)) return std::optional<Installed>{};
    const win32::Win32Result<std::string> text = win32::read_whole_file(record_path);
    if (!text || !is_valid_utf8(*text)) return fail(kRecordUnreadable);
    Result<Installed> installed = decode_installed(*text);
    if (!installed) return fail(installed.error());
    return std::optional<Installed>(std::move(*installed));
}

Result<Path> check_install_boundary(const Path& app_folder, const Path& version_folder) {
    const win32::Win32Result<Path> canonical_app = win32::canonicalize(app_folder);
    if (!canonical_app) return fail(kAppStorageUnresolved);
    win32::Win32Result<Path> canonical_version = win32::canonicalize(version_folder);
    if (!canonical_version) return fail(kAppDirectoryUnresolved);
    if (same_path(*canonical_version, *canonical_app) || !path_starts_with(*canonical_version, *canonical_app)) {
        return fail(kBoundaryEscaped);
    }
    return std::move(*canonical_version);
}

Result<Path> resolve_installed_mcp() {
    const Result<Path> app_folder = app_storage_dir();
    if (!app_folder) return fail(app_folder.error());
    const Result<std::optional<Installed>> installed = read_installed(*app_folder);
    if (!installed) return fail(installed.error());
    if (!*installed) return fail(kNotInstalled);
    const std::string& current = (*installed)->current;
    const Path folder = version_folder(*app_folder, current);
    if (const Result<Path> boundary = check_install_boundary(*app_folder, folder); !boundary) {
        return fail(boundary.error());
    }
    const Result<crypto::VerifyingKey> key = decode_release_key();
    if (!key) return fail(key.error());
    if (const Result<Release> release = verify_installed_release(*app_folder, current, *key); !release) {
        return fail(release.error());
    }
    Path companion = join_name(folder, kCompanionExecutableName);
    if (!is_regular_file(companion)) return fail(kCompanionMissing);
    return companion;
}

}  // namespace kova
