#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "installer/folder_verification.h"

// What the release tool needs of its platform: its files read safely, and a
// version folder observed exactly as the launcher observes one there.
namespace kova::tool {

namespace fs = std::filesystem;

// The program's arguments after its name, as UTF-8; an argument that is not
// Unicode text (invalid UTF-8, or on Windows an unpaired surrogate) is empty.
using Arguments = std::vector<std::optional<std::string>>;

// Runs the tool; the platform's entry point calls it.
int run(const Arguments& arguments);

enum class VariableFault { unset, not_text };

// The value of an environment variable as UTF-8.
[[nodiscard]] std::expected<std::string, VariableFault> environment_text(const std::string& name);

// The system's reason for the call that failed last on this thread, in the
// tool's words (": Permission denied", " (Windows error 5)"): ask before
// anything else can fail.
[[nodiscard]] std::string system_reason();

enum class ReadFault { missing, folder, not_regular, too_large, unreadable };

// The whole content of a regular file of at most `limit` bytes. Nothing else
// is ever read: a FIFO could block for ever and a device never end.
[[nodiscard]] std::expected<std::string, ReadFault> read_regular_file(const fs::path& path, std::uint64_t limit);

// What `read` hands over of an open regular file of `size` bytes, kept only
// while it stays within `limit` (the file may grow as it is read): the part
// of read_regular_file that both platforms share.
[[nodiscard]] std::expected<std::string, ReadFault> collect_within(std::uint64_t size, std::uint64_t limit,
                                                                    const ReadThrough& read);

enum class FolderFault { missing, not_a_folder, unreadable };

struct ObservedFolder {
    std::unique_ptr<VersionFolder> folder;
    std::optional<std::string> name;  // the canonical folder's own name, when it is text
};

// The folder, links resolved, observed as the launcher observes a version
// folder on this platform: on Windows through the launcher's own Win32 code,
// elsewhere through the file system with names looked up as Windows would.
[[nodiscard]] std::expected<ObservedFolder, FolderFault> observe_version_folder(const fs::path& folder);

struct ReplaceFailure {
    bool replaced;     // the new content is in place all the same
    std::string what;  // what failed, for the publisher
};

// Writes `content` to `target` through a new file in the same folder that is
// written, flushed to the disk and closed, every step checked, then renamed
// over `target`, and the folder flushed. Until the rename, a failure removes
// the new file and leaves `target` as it was.
[[nodiscard]] std::optional<ReplaceFailure> replace_file(const fs::path& target, std::string_view content);

}  // namespace kova::tool
