#include "core/win32/file_system.h"

#include <vector>

namespace kova::win32 {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Below this length every Win32 call takes a path as it is; CreateDirectory's
// limit (MAX_PATH minus room for an 8.3 name) is the tightest of them.
constexpr std::size_t kClassicPathLimit = 248;
constexpr std::wstring_view kExtendedLengthPrefix = L"\\\\?\\";
constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";
constexpr std::wstring_view kExtendedUncPrefix = L"\\\\?\\UNC\\";
constexpr DWORD kReadChunk = 64 * 1024;

// Resolves the path as GetFullPathNameW does (against the current directory)
// and writes it in extended-length form when it is too long to open as it is.
Path openable_form(const Path& path) {
    if (path.size() < kClassicPathLimit || path.starts_with(kExtendedLengthPrefix)) return path;
    std::vector<wchar_t> buffer(path.size() + 64);
    for (;;) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) return path;
        if (length < buffer.size()) {
            const Path full(buffer.data(), length);
            if (full.starts_with(kExtendedLengthPrefix) || full.starts_with(kDevicePrefix)) return full;
            if (full.starts_with(L"\\\\")) return Path(kExtendedUncPrefix) + full.substr(2);
            return Path(kExtendedLengthPrefix) + full;
        }
        buffer.resize(length);
    }
}

std::optional<FileMetadata> metadata_of_handle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
    FileMetadata metadata;
    metadata.attributes = info.dwFileAttributes;
    metadata.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if ((metadata.attributes & kAttributeReparsePoint) != 0) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) return std::nullopt;
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
std::optional<FileMetadata> metadata_of_directory_entry(const Path& path) {
    if (has_wildcard_in_last_component(path)) return std::nullopt;
    WIN32_FIND_DATAW data{};
    const FindHandle find(
        FindFirstFileExW(openable_form(path).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (!find) return std::nullopt;
    return metadata_of_find_data(data);
}

}  // namespace

FileHandle open_existing(const Path& path, DWORD access, DWORD* error) {
    const Path openable = openable_form(path);
    FileHandle handle(CreateFileW(openable.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    // Taken at once: the destructors that follow may change the thread's last error.
    if (error != nullptr) *error = handle ? ERROR_SUCCESS : GetLastError();
    return handle;
}

std::optional<Path> final_path(HANDLE handle) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
        if (length == 0) return std::nullopt;
        // When the buffer is too small the count includes the terminating NUL.
        if (length < buffer.size()) return Path(buffer.data(), length);
        buffer.resize(length);
    }
}

std::optional<Path> canonicalize(const Path& path) {
    const FileHandle handle = open_existing(path, 0);
    if (!handle) return std::nullopt;
    return final_path(handle.get());
}

std::optional<FileMetadata> query_metadata(const Path& path) {
    DWORD error = ERROR_SUCCESS;
    const FileHandle handle = open_existing(path, 0, &error);
    if (handle) return metadata_of_handle(handle.get());
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return std::nullopt;
    const std::optional<FileMetadata> entry = metadata_of_directory_entry(path);
    if (!entry || is_name_surrogate_link(*entry)) return std::nullopt;
    return entry;
}

bool read_to_end(HANDLE file, std::span<std::uint8_t> buffer,
                 const std::function<void(std::span<const std::uint8_t>)>& consume) {
    const auto capacity = static_cast<DWORD>(buffer.size());
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), capacity, &read, nullptr)) return false;
        if (read == 0) return true;
        consume(buffer.first(read));
    }
}

std::optional<std::string> read_whole_file(const Path& path) {
    const FileHandle file = open_existing(path, GENERIC_READ);
    if (!file) return std::nullopt;
    std::string content;
    std::vector<std::uint8_t> buffer(kReadChunk);
    const bool complete = read_to_end(file.get(), buffer, [&content](std::span<const std::uint8_t> bytes) {
        content.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    });
    if (!complete) return std::nullopt;
    return content;
}

std::optional<std::wstring> environment_variable(const wchar_t* name) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            if (GetLastError() != ERROR_SUCCESS) return std::nullopt;
            return std::wstring();
        }
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(length);
    }
}

ListingStatus list_folder(const Path& folder, const std::function<bool(const FolderEntry&)>& visit) {
    WIN32_FIND_DATAW data{};
    const FindHandle find(
        FindFirstFileExW(openable_form(join(folder, L"*")).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                         nullptr, 0));
    if (!find) return ListingStatus::failed;
    for (;;) {
        const std::wstring_view name = data.cFileName;
        if (name != L"." && name != L"..") {
            if (!visit(FolderEntry{std::wstring(name), metadata_of_find_data(data)})) return ListingStatus::stopped;
        }
        if (!FindNextFileW(find.get(), &data)) {
            return GetLastError() == ERROR_NO_MORE_FILES ? ListingStatus::complete : ListingStatus::failed;
        }
    }
}

}  // namespace kova::win32
