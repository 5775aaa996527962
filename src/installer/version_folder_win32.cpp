#include "installer/version_folder_win32.h"

#include <windows.h>

#include <map>
#include <memory>
#include <utility>

#include "core/storage_layout.h"
#include "core/utf.h"
#include "core/win32/file_system.h"

namespace kova {
namespace {

class Win32VersionFolder final : public VersionFolder {
public:
    explicit Win32VersionFolder(Path canonical_folder) : folder_(std::move(canonical_folder)) {}

    std::optional<std::string> read_manifest() override {
        win32::Win32Result<std::string> text = win32::read_whole_file(join_name(folder_, kManifestFileName));
        if (!text) return std::nullopt;
        return std::move(*text);
    }

    FoundFile find(std::string_view name) override {
        const win32::Win32Result<Path> canonical = win32::canonicalize(join_name(folder_, name));
        if (!canonical) return {FileState::missing};
        if (!path_starts_with(*canonical, folder_)) return {FileState::outside};
        const win32::Win32Result<FileMetadata> kind = win32::query_metadata(*canonical);
        if (!kind || is_directory(*kind)) return {FileState::not_a_file};
        // Read again: the size that counts is the one just before hashing.
        const win32::Win32Result<FileMetadata> metadata = win32::query_metadata(*canonical);
        if (!metadata) return {FileState::unreadable};
        found_[std::string(name)] = *canonical;
        return {FileState::present, metadata->size};
    }

    Result<std::string> digest(std::string_view name) override { return hash_file_sha256(found_.at(std::string(name))); }

    bool list(const std::function<bool(const ListedEntry&)>& visit) override {
        const win32::Win32Result<win32::ListingEnd> listing =
            win32::list_folder(folder_, [&visit](const win32::FolderEntry& entry) {
                std::optional<std::string> name = utf16_to_utf8(entry.name);
                std::string shown = name ? *name : "(a name that is not Unicode text)";
                return visit(ListedEntry{std::move(name), std::move(shown), entry.metadata});
            });
        return listing.has_value();
    }

private:
    Path folder_;
    std::map<std::string, Path, std::less<>> found_;
};

}  // namespace

std::unique_ptr<VersionFolder> observe_win32_version_folder(Path canonical_folder) {
    return std::make_unique<Win32VersionFolder>(std::move(canonical_folder));
}

Result<std::string> hash_file_sha256(const Path& file) {
    const win32::Win32Result<win32::FileHandle> handle = win32::open_existing(file, GENERIC_READ);
    if (!handle) return fail(kDigestOpenFailed);
    return sha256_of_reads([&handle](std::span<std::uint8_t> buffer, const auto& consume) {
        return win32::read_to_end(handle->get(), buffer, consume).has_value();
    });
}

}  // namespace kova
