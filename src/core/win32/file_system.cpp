#include "core/win32/file_system.h"

#include <new>
#include <optional>
#include <vector>

namespace kova::win32 {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Below this length every Win32 call takes a path as it is; CreateDirectory's
// limit (MAX_PATH minus room for an 8.3 name) is the tightest of them.
constexpr std::size_t kClassicPathLimit = 248;
constexpr DWORD kReadChunk = 64 * 1024;

std::unexpected<DWORD> last_error() { return std::unexpected<DWORD>(GetLastError()); }

// The path as it is, or in extended-length form when the text or the path it
// resolves to is too long to open as it is: a short relative text can name a
// folder deep below the current directory.
Path openable_form(const Path& path) {
    if (path.starts_with(kExtendedLengthPrefix)) return path;
    const std::optional<Path> full = full_path(path);
    if (!full || (path.size() < kClassicPathLimit && full->size() < kClassicPathLimit)) return path;
    if (full->starts_with(kExtendedLengthPrefix) || full->starts_with(kDevicePrefix)) return *full;
    if (full->starts_with(L"\\\\")) return Path(kExtendedUncPrefix) + full->substr(2);
    return Path(kExtendedLengthPrefix) + *full;
}

Win32Result<FileMetadata> metadata_of_handle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return last_error();
    FileMetadata metadata;
    metadata.attributes = info.dwFileAttributes;
    metadata.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if ((metadata.attributes & kAttributeReparsePoint) != 0) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) return last_error();
        metadata.reparse_tag = tag.ReparseTag;
    }
    return metadata;
}

FileMetadata metadata_of_find_data(const WIN32_FIND_DATAW& data) {
    FileMetadata metadata;
    metadata.attributes = data.dwFileAttributes;
    metadata.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    // For a reparse point the listing reports its tag in dwReserved0.
    if ((metadata.attributes & kAttributeReparsePoint) != 0) metadata.reparse_tag = data.dwReserved0;
    return metadata;
}

bool has_wildcard_in_last_component(const Path& path) {
    const std::size_t last = path.find_last_of(L"\\/");
    const std::size_t start = last == Path::npos ? 0 : last + 1;
    return path.find_first_of(L"*?", start) != Path::npos;
}

// The directory entry itself, links not followed.
Win32Result<FileMetadata> metadata_of_directory_entry(const Path& path) {
    if (has_wildcard_in_last_component(path)) return std::unexpected<DWORD>(ERROR_INVALID_NAME);
    WIN32_FIND_DATAW data{};
    const FindHandle find(
        FindFirstFileExW(openable_form(path).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (!find) return last_error();
    return metadata_of_find_data(data);
}

}  // namespace

std::optional<Path> full_path(const Path& path) {
    std::vector<wchar_t> buffer(path.size() + MAX_PATH);
    for (;;) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) return std::nullopt;
        if (length < buffer.size()) return Path(buffer.data(), length);
        buffer.resize(length);
    }
}

Win32Result<FileHandle> open_existing(const Path& path, DWORD access) {
    const Path openable = openable_form(path);
    FileHandle handle(CreateFileW(openable.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) return last_error();
    return handle;
}

Win32Result<Path> final_path(HANDLE handle) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
        if (length == 0) return last_error();
        // When the buffer is too small the count includes the terminating NUL.
        if (length < buffer.size()) return Path(buffer.data(), length);
        buffer.resize(length);
    }
}

Win32Result<Path> canonicalize(const Path& path) {
    const Win32Result<FileHandle> handle = open_existing(path, 0);
    if (!handle) return std::unexpected(handle.error());
    return final_path(handle->get());
}

Win32Result<FileMetadata> query_metadata(const Path& path) {
    const Win32Result<FileHandle> handle = open_existing(path, 0);
    if (handle) return metadata_of_handle(handle->get());
    if (handle.error() != ERROR_ACCESS_DENIED && handle.error() != ERROR_SHARING_VIOLATION) {
        return std::unexpected(handle.error());
    }
    Win32Result<FileMetadata> entry = metadata_of_directory_entry(path);
    if (entry && is_name_surrogate_link(*entry)) return std::unexpected(handle.error());
    return entry;
}

Win32Result<void> read_to_end(HANDLE file, std::span<std::uint8_t> buffer,
                              const std::function<void(std::span<const std::uint8_t>)>& consume) {
    const auto capacity = static_cast<DWORD>(buffer.size());
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), capacity, &read, nullptr)) return last_error();
        if (read == 0) return {};
        consume(buffer.first(read));
    }
}

// Room for the whole file is made at once, so that reading never holds two
// copies; a file that grows meanwhile is still read to its end. A file too
// large for memory is a failure to read it, never a crash.
Win32Result<std::string> read_whole_file(const Path& path) {
    const Win32Result<FileHandle> file = open_existing(path, GENERIC_READ);
    if (!file) return std::unexpected(file.error());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file->get(), &size)) return last_error();
    try {
        std::string content;
        if (static_cast<std::uint64_t>(size.QuadPart) > content.max_size()) return std::unexpected<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
        content.reserve(static_cast<std::size_t>(size.QuadPart));
        std::vector<std::uint8_t> buffer(kReadChunk);
        const Win32Result<void> complete = read_to_end(file->get(), buffer, [&content](std::span<const std::uint8_t> bytes) {
            content.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        });
        if (!complete) return std::unexpected(complete.error());
        return content;
    } catch (const std::bad_alloc&) {
        return std::unexpected<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
    }
}

Win32Result<std::wstring> environment_variable(const wchar_t* name) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            if (GetLastError() != ERROR_SUCCESS) return last_error();
            return std::wstring();
        }
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(length);
    }
}

Win32Result<ListingEnd> list_folder(const Path& folder, const std::function<bool(const FolderEntry&)>& visit) {
    WIN32_FIND_DATAW data{};
    const FindHandle find(
        FindFirstFileExW(openable_form(join(folder, L"*")).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                         nullptr, 0));
    if (!find) return last_error();
    for (;;) {
        const std::wstring_view name = data.cFileName;
        if (name != L"." && name != L"..") {
            if (!visit(FolderEntry{std::wstring(name), metadata_of_find_data(data)})) return ListingEnd::stopped;
        }
        if (!FindNextFileW(find.get(), &data)) {
            if (GetLastError() == ERROR_NO_MORE_FILES) return ListingEnd::complete;
            return last_error();
        }
    }
}

}  // namespace kova::win32
