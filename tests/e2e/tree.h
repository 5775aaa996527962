#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

// Every file-system step of the end-to-end tests: making, writing, copying,
// moving, listing and removing test trees. All of it goes through Win32 on
// the extended-length form of the full path, never through std::filesystem
// or the C runtime: Windows' own msvcrt, which the MinGW test executables
// link, refuses any path holding "?" (Wine's accepts it), and the tests'
// trees run past MAX_PATH. scripts/test keeps std::filesystem's operations
// out of the end-to-end tests, so that this stays the only way in.
//
// The calls are qualified (tree::remove), so that a std::filesystem::path
// argument never brings std::filesystem's own functions of the same names
// into play.
namespace kova::e2e::tree {

namespace fs = std::filesystem;

// The full path in extended-length form: \\?\C:\..., \\?\UNC\server\share\...
[[nodiscard]] std::wstring extended(const fs::path& path);

// The folder for temporary files, as the system gives it.
[[nodiscard]] fs::path temporary_folder();

// Each missing folder of the path, one component at a time.
void make_folders(const fs::path& folder);
// The whole content; empty when the file cannot be read.
[[nodiscard]] std::string read(const fs::path& file);
// Replaces the file's content (its folders made as needed).
void write(const fs::path& file, std::string_view bytes);
void copy(const fs::path& from, const fs::path& to);
void move(const fs::path& from, const fs::path& to);
// A file, an empty folder or a link (never what it names).
void remove(const fs::path& path);
// A whole tree, links removed themselves and never followed.
void remove_all(const fs::path& path);
[[nodiscard]] bool exists(const fs::path& path);
[[nodiscard]] bool is_file(const fs::path& path);

// Every entry below `root`, by its path relative to it ("a\b\c.txt"), with
// its bytes, "<folder>", "<link>" (a reparse point, not followed) or
// "<unreadable>", as the listing's own attributes tell. A folder that cannot
// be opened for listing, or whose listing stops before its end, fails the
// test with its path and the error, since two equally short snapshots would
// compare equal: unless a case denies it on purpose (UnlistableOnPurpose),
// when it is "<unlistable>".
using Snapshot = std::map<std::string, std::string>;
[[nodiscard]] Snapshot snapshot(const fs::path& root);

// While it lives, the snapshot takes the folder's refusal to be listed as
// what the case set up.
class UnlistableOnPurpose {
public:
    explicit UnlistableOnPurpose(const fs::path& folder);
    UnlistableOnPurpose(const UnlistableOnPurpose&) = delete;
    UnlistableOnPurpose& operator=(const UnlistableOnPurpose&) = delete;
    ~UnlistableOnPurpose();

private:
    std::wstring folder_;
};

// For the walk's own test, where no folder can be denied: the walk's next
// listing call of that kind fails with the error given.
enum class ListingCall { open, next };
void plant_listing_failure(ListingCall call, unsigned long error);

// The entries that differ between two snapshots, each followed by a space.
[[nodiscard]] std::string changed_entries(const Snapshot& before, const Snapshot& after);

}  // namespace kova::e2e::tree
