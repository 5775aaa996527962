#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "core/file_metadata.h"
#include "core/user_message.h"
#include "installer/folder_verification.h"

// A version folder as the release tool sees it through std::filesystem: the
// same observations the launcher makes through Win32.
namespace kova::tool {

namespace fs = std::filesystem;

// A path as UTF-8 for the tool's messages; bytes that are not text, and
// control characters, are written as \xNN so that a message stays one line.
[[nodiscard]] std::string shown(const fs::path& path);

// A file or folder name as UTF-8, when it is Unicode text.
[[nodiscard]] std::optional<std::string> name_text(const fs::path& name);

// UTF-8 text, already checked, as a path.
[[nodiscard]] fs::path path_from_utf8(const std::string& text);

// What a listing reports of an entry, links not followed, in the terms the
// launcher's listing uses.
[[nodiscard]] FileMetadata listed_metadata(const fs::file_status& status);

// The whole content of a file; empty when it cannot be read.
[[nodiscard]] std::optional<std::string> read_file(const fs::path& path);

// SHA-256 of a file through one buffer, as the launcher hashes; failures
// are the launcher's own messages.
[[nodiscard]] Result<std::string> file_sha256(const fs::path& path);

class ObservedFolder final : public VersionFolder {
public:
    // `canonical_folder` with links and `..` resolved (fs::canonical).
    explicit ObservedFolder(fs::path canonical_folder) : folder_(std::move(canonical_folder)) {}

    // A manifest text to judge in place of the folder's own file, as it would
    // be once written.
    void use_manifest(std::string text) { manifest_ = std::move(text); }

    std::optional<std::string> read_manifest() override;
    FoundFile find(std::string_view name) override;
    Result<std::string> digest(std::string_view name) override;
    bool list(const std::function<bool(const ListedEntry&)>& visit) override;

private:
    fs::path folder_;
    std::optional<std::string> manifest_;
    std::map<std::string, fs::path, std::less<>> found_;
};

}  // namespace kova::tool
