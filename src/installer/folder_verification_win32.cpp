#include "installer/folder_verification.h"

#include <windows.h>

#include <vector>

#include "core/invariant.h"
#include "core/utf.h"
#include "core/win32/file_system.h"
#include "core/storage_layout.h"
#include "installer/app_storage.h"

namespace kova {
namespace {

constexpr UserMessage kRecordMissing{"Installed release record is missing. Repair Lumenframe in KOVA Hub."};
constexpr UserMessage kVersionMismatch{"Installed release version does not match its signature."};
constexpr UserMessage kFileMissing{"Installed release file is missing."};
constexpr UserMessage kFilesChanged{"Installed Lumenframe files changed. Repair the app in KOVA Hub."};
constexpr UserMessage kFileUnreadable{"Installed release file is unreadable."};
constexpr UserMessage kHashOpenFailed{"Downloaded file could not be opened."};
constexpr UserMessage kHashReadFailed{"Downloaded file could not be checked."};
constexpr UserMessage kFolderUnreadable{"Installed app folder is unreadable."};
constexpr UserMessage kUnexpectedEntry{
    "Installed Lumenframe folder contains an unexpected file. Repair the app in KOVA Hub."};

Result<std::string> read_manifest_text(const Path& canonical_folder) {
    win32::Win32Result<std::string> text = win32::read_whole_file(join_name(canonical_folder, kManifestFileName));
    if (!text || !is_valid_utf8(*text)) return fail(kRecordMissing);
    return std::move(*text);
}

// One listed file: where it resolves, what it is, its size, then its digest.
Result<void> check_release_file(const Path& canonical_folder, const ReleaseFile& file) {
    const win32::Win32Result<Path> canonical_file = win32::canonicalize(join_name(canonical_folder, file.name));
    if (!canonical_file) return fail(kFileMissing);
    const win32::Win32Result<FileMetadata> kind = win32::query_metadata(*canonical_file);
    if (!path_starts_with(*canonical_file, canonical_folder) || !kind || is_directory(*kind)) {
        return fail(kFilesChanged);
    }
    // Read again: the size that counts is the one just before hashing.
    const win32::Win32Result<FileMetadata> metadata = win32::query_metadata(*canonical_file);
    if (!metadata) return fail(kFileUnreadable);
    if (metadata->size != file.bytes) return fail(kFilesChanged);
    const Result<std::string> digest = hash_file_sha256(*canonical_file);
    if (!digest) return fail(digest.error());
    if (*digest != file.sha256) return fail(kFilesChanged);
    return {};
}

bool is_allowed_name(const Release& release, std::string_view name) { return name == kManifestFileName || lists(release, name); }

Result<void> check_nothing_else(const Path& canonical_folder, const Release& release) {
    bool unexpected = false;
    const win32::Win32Result<win32::ListingEnd> listing = win32::list_folder(canonical_folder, [&](const win32::FolderEntry& entry) {
        const std::optional<std::string> name = utf16_to_utf8(entry.name);
        unexpected = !name || !is_allowed_name(release, *name) || !is_plain_file_entry(entry.metadata);
        return !unexpected;
    });
    if (!listing) return fail(kFolderUnreadable);
    if (unexpected) return fail(kUnexpectedEntry);
    return {};
}

}  // namespace

Result<Release> verify_installed_release(const Path& app_folder, std::string_view version,
                                         const crypto::VerifyingKey& key) {
    const Result<Path> canonical_folder = check_install_boundary(app_folder, version_folder(app_folder, version));
    if (!canonical_folder) return fail(canonical_folder.error());
    const Result<std::string> text = read_manifest_text(*canonical_folder);
    if (!text) return fail(text.error());
    Result<Release> release = verify_release_record(trim_white_space(*text), key);
    if (!release) return fail(release.error());
    if (release->version != version) return fail(kVersionMismatch);
    for (const ReleaseFile& file : release->files) {
        if (const Result<void> checked = check_release_file(*canonical_folder, file); !checked) {
            return fail(checked.error());
        }
    }
    if (const Result<void> scanned = check_nothing_else(*canonical_folder, *release); !scanned) {
        return fail(scanned.error());
    }
    return release;
}

Result<std::string> hash_file_sha256(const Path& file) {
    const win32::Win32Result<win32::FileHandle> handle = win32::open_existing(file, GENERIC_READ);
    if (!handle) return fail(kHashOpenFailed);
    crypto::Sha256 sha256;
    std::vector<std::uint8_t> buffer(kHashBufferBytes);
    if (!win32::read_to_end(handle->get(), buffer, [&sha256](std::span<const std::uint8_t> bytes) { sha256.update(bytes); })) {
        return fail(kHashReadFailed);
    }
    const crypto::Sha256Digest digest = sha256.finish();
    return crypto::to_lower_hex(digest);
}

}  // namespace kova
