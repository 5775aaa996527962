#include "tree.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "core/utf.h"
#include "core/win32/handle.h"
#include "harness.h"

namespace kova::e2e::tree {
namespace {

constexpr std::wstring_view kExtended = L"\\\\?\\";
constexpr std::wstring_view kExtendedUnc = L"\\\\?\\UNC\\";

std::string shown(std::wstring_view path) { return utf16_to_utf8(path).value_or("(a path that is not text)"); }

// The length of the root an extended path keeps as it is: \\?\C:\ or
// \\?\UNC\server\share\.
std::size_t root_length(std::wstring_view path) {
    std::size_t at = path.starts_with(kExtendedUnc) ? kExtendedUnc.size() : kExtended.size();
    for (int names = path.starts_with(kExtendedUnc) ? 2 : 1; names > 0 && at < path.size(); --names) {
        const std::size_t separator = path.find(L'\\', at);
        at = separator == std::wstring_view::npos ? path.size() : separator + 1;
    }
    return at;
}

std::wstring parent_of(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

DWORD attributes_of(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool is_folder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void make_folders_of(const std::wstring& path) {
    for (std::size_t at = root_length(path); at < path.size();) {
        std::size_t end = path.find(L'\\', at);
        if (end == std::wstring::npos) end = path.size();
        const std::wstring folder = path.substr(0, end);
        if (end > at && !is_folder(attributes_of(folder)) && !CreateDirectoryW(folder.c_str(), nullptr)) {
            ADD_FAILURE() << "cannot make the folder " << shown(folder) << ": error " << GetLastError();
            return;
        }
        at = end + 1;
    }
}

std::optional<std::string> read_whole(const std::wstring& path) {
    const win32::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    std::string bytes;
    std::vector<char> buffer(1 << 16);
    DWORD read = 0;
    while (ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
        if (read == 0) return bytes;
        bytes.append(buffer.data(), read);
    }
    return std::nullopt;
}

// Deletes a tree without following its links: a junction or a symbolic link
// is removed itself, never what it names.
void remove_tree_of(const std::wstring& path) {
    const DWORD attributes = attributes_of(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        WIN32_FIND_DATAW entry{};
        const win32::FindHandle find(
            FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0));
        if (find) {
            do {
                const std::wstring_view name = entry.cFileName;
                if (name != L"." && name != L"..") remove_tree_of(path + L"\\" + entry.cFileName);
            } while (FindNextFileW(find.get(), &entry));
        }
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (folder) {
        RemoveDirectoryW(path.c_str());
    } else {
        DeleteFileW(path.c_str());
    }
}

std::vector<std::wstring>& unlistable_on_purpose() {
    static std::vector<std::wstring> folders;
    return folders;
}

bool is_unlistable_on_purpose(const std::wstring& folder) {
    for (const std::wstring& denied : unlistable_on_purpose()) {
        if (CompareStringOrdinal(denied.c_str(), -1, folder.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    }
    return false;
}

struct PlantedFailure {
    ListingCall call;
    DWORD error;
};
std::optional<PlantedFailure> planted;

// A listing call, or the failure the walk's test planted in its place.
bool planted_failure(ListingCall call) {
    if (!planted || planted->call != call) return false;
    SetLastError(planted->error);
    planted.reset();
    return true;
}

HANDLE first_entry(const std::wstring& folder, WIN32_FIND_DATAW& entry) {
    if (planted_failure(ListingCall::open)) return INVALID_HANDLE_VALUE;
    return FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
}

bool next_entry(HANDLE find, WIN32_FIND_DATAW& entry) {
    if (planted_failure(ListingCall::next)) return false;
    return FindNextFileW(find, &entry) != FALSE;
}

// Whether the folder was listed to its end; a folder denied on purpose is
// not, and says so; any other failure fails the test.
bool walk(const std::wstring& folder, const std::wstring& relative, Snapshot& tree) {
    WIN32_FIND_DATAW entry{};
    const win32::FindHandle find(first_entry(folder, entry));
    if (!find) {
        const DWORD error = GetLastError();
        if (is_unlistable_on_purpose(folder)) return false;
        ADD_FAILURE() << "the snapshot cannot list the folder " << shown(folder) << ": error " << error;
        return false;
    }
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        const std::wstring key = relative.empty() ? name : relative + L"\\" + name;
        std::string& seen = tree[shown(key)];
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            seen = "<link>";
        } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            seen = "<folder>";
            if (!walk(path, key, tree)) seen = "<unlistable>";
        } else {
            seen = read_whole(path).value_or("<unreadable>");
        }
    } while (next_entry(find.get(), entry));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) {
        ADD_FAILURE() << "the snapshot's listing of " << shown(folder) << " stopped before its end: error " << error;
    }
    return true;
}

}  // namespace

std::wstring extended(const fs::path& path) {
    const std::wstring& text = path.native();
    if (text.starts_with(kExtended)) return text;
    const DWORD needed = GetFullPathNameW(text.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(text.c_str(), needed, full.data(), nullptr);
    if (needed == 0 || length == 0 || length >= needed) {
        ADD_FAILURE() << "no full path for " << shown(text) << ": error " << GetLastError();
        return text;
    }
    full.resize(length);
    if (full.starts_with(L"\\\\")) return std::wstring(kExtendedUnc) + full.substr(2);
    return std::wstring(kExtended) + full;
}

fs::path temporary_folder() {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    const std::wstring given(buffer.data(), length);
    // Windows may give it in short form (C:\Users\RUNNER~1\...): a case that
    // compares a short form with a long one needs every other component long.
    const DWORD needed = GetLongPathNameW(given.c_str(), nullptr, 0);
    std::wstring long_form(needed, L'\0');
    const DWORD written = needed == 0 ? 0 : GetLongPathNameW(given.c_str(), long_form.data(), needed);
    if (written == 0 || written >= needed) {
        ADD_FAILURE() << "no long form of the temporary folder " << shown(given) << ": error " << GetLastError();
        return fs::path(given);
    }
    long_form.resize(written);
    return fs::path(long_form);
}

void make_folders(const fs::path& folder) { make_folders_of(extended(folder)); }

std::string read(const fs::path& file) { return read_whole(extended(file)).value_or(""); }

void write(const fs::path& file, std::string_view bytes) {
    const std::wstring path = extended(file);
    make_folders_of(parent_of(path));
    const win32::FileHandle handle(
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        ADD_FAILURE() << "cannot create " << shown(path) << ": error " << GetLastError();
        return;
    }
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        if (!WriteFile(handle.get(), bytes.data(), chunk, &written, nullptr) || written == 0) {
            ADD_FAILURE() << "cannot write " << shown(path) << ": error " << GetLastError();
            return;
        }
        bytes.remove_prefix(written);
    }
}

void copy(const fs::path& from, const fs::path& to) {
    const std::wstring target = extended(to);
    make_folders_of(parent_of(target));
    if (!CopyFileW(extended(from).c_str(), target.c_str(), FALSE)) {
        ADD_FAILURE() << "cannot copy " << shown(from.native()) << " to " << shown(target) << ": error " << GetLastError();
    }
}

void move(const fs::path& from, const fs::path& to) {
    if (!MoveFileExW(extended(from).c_str(), extended(to).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ADD_FAILURE() << "cannot move " << shown(from.native()) << " to " << shown(to.native()) << ": error " << GetLastError();
    }
}

void remove(const fs::path& path) {
    const std::wstring target = extended(path);
    const DWORD attributes = attributes_of(target);
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (!(is_folder(attributes) ? RemoveDirectoryW(target.c_str()) : DeleteFileW(target.c_str()))) {
        ADD_FAILURE() << "cannot remove " << shown(target) << ": error " << GetLastError();
    }
}

void remove_all(const fs::path& path) {
    const std::wstring target = extended(path);
    if (attributes_of(target) == INVALID_FILE_ATTRIBUTES) return;
    if (running_under_wine()) {
        // Unix links in the tree look like folders to Win32 code under Wine:
        // let the Unix side remove them without following them, under a name
        // of its own since it finishes whenever it does.
        static int removals = 0;
        const std::wstring doomed =
            target + L".removed." + std::to_wstring(GetTickCount64()) + L"." + std::to_wstring(++removals);
        if (MoveFileExW(target.c_str(), doomed.c_str(), 0)) {
            if (attributes_of(L"Z:\\bin\\rm") != INVALID_FILE_ATTRIBUTES &&
                run_unix("/bin/rm", "-rf " + unix_path(fs::path(doomed.substr(kExtended.size()))))) {
                return;
            }
            remove_tree_of(doomed);
            return;
        }
    }
    remove_tree_of(target);
}

bool exists(const fs::path& path) { return attributes_of(extended(path)) != INVALID_FILE_ATTRIBUTES; }

bool is_file(const fs::path& path) {
    const DWORD attributes = attributes_of(extended(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

Snapshot snapshot(const fs::path& root) {
    Snapshot tree;
    walk(extended(root), L"", tree);
    return tree;
}

UnlistableOnPurpose::UnlistableOnPurpose(const fs::path& folder) : folder_(extended(folder)) {
    unlistable_on_purpose().push_back(folder_);
}

UnlistableOnPurpose::~UnlistableOnPurpose() { std::erase(unlistable_on_purpose(), folder_); }

void plant_listing_failure(ListingCall call, unsigned long error) { planted = PlantedFailure{call, error}; }

std::string changed_entries(const Snapshot& before, const Snapshot& after) {
    std::string changed;
    for (const auto& [name, content] : before) {
        const auto it = after.find(name);
        if (it == after.end() || it->second != content) changed += name + " ";
    }
    for (const auto& [name, content] : after) {
        if (!before.contains(name)) changed += name + " ";
    }
    return changed;
}

}  // namespace kova::e2e::tree
