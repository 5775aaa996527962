#include "make-release/platform.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

#include "core/utf.h"
#include "core/win32/file_system.h"
#include "core/win32/handle.h"
#include "installer/version_folder_win32.h"
#include "make-release/names.h"

namespace kova::tool {
namespace {

std::string failure(std::string_view what, DWORD error) {
    return std::string(what) + " (Windows error " + std::to_string(error) + ")";
}

bool write_all(HANDLE file, std::string_view content) {
    while (!content.empty()) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 20));
        if (!WriteFile(file, content.data(), chunk, &written, nullptr) || written == 0) return false;
        content.remove_prefix(written);
    }
    return true;
}

bool is_absent(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// What the handle names, before anything is read from it: a console or a
// pipe could block for ever.
std::optional<ReadFault> fault_of_kind(HANDLE file) {
    if (GetFileType(file) != FILE_TYPE_DISK) return ReadFault::not_regular;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return ReadFault::unreadable;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return ReadFault::folder;
    return std::nullopt;
}

}  // namespace

std::string system_reason() { return " (Windows error " + std::to_string(GetLastError()) + ")"; }

std::expected<std::string, VariableFault> environment_text(const std::string& name) {
    const std::optional<std::wstring> wide_name = utf8_to_utf16(name);
    if (!wide_name) return std::unexpected(VariableFault::unset);
    const win32::Win32Result<std::wstring> value = win32::environment_variable(wide_name->c_str());
    if (!value) return std::unexpected(VariableFault::unset);
    std::optional<std::string> text = utf16_to_utf8(*value);
    if (!text) return std::unexpected(VariableFault::not_text);
    return std::move(*text);
}

std::expected<std::string, ReadFault> read_regular_file(const fs::path& path, std::uint64_t limit) {
    const win32::Win32Result<win32::FileHandle> file = win32::open_existing(path.native(), GENERIC_READ);
    if (!file) return std::unexpected(is_absent(file.error()) ? ReadFault::missing : ReadFault::unreadable);
    if (const std::optional<ReadFault> fault = fault_of_kind(file->get())) return std::unexpected(*fault);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file->get(), &size)) return std::unexpected(ReadFault::unreadable);
    return collect_within(static_cast<std::uint64_t>(size.QuadPart), limit,
                          [&file](std::span<std::uint8_t> buffer, const auto& consume) {
                              return win32::read_to_end(file->get(), buffer, consume).has_value();
                          });
}

std::expected<ObservedFolder, FolderFault> observe_version_folder(const fs::path& folder) {
    win32::Win32Result<Path> canonical = win32::canonicalize(folder.native());
    if (!canonical) return std::unexpected(is_absent(canonical.error()) ? FolderFault::missing : FolderFault::unreadable);
    const win32::Win32Result<FileMetadata> metadata = win32::query_metadata(*canonical);
    if (!metadata) return std::unexpected(FolderFault::unreadable);
    if (!is_directory(*metadata)) return std::unexpected(FolderFault::not_a_folder);
    std::optional<std::string> name = name_text(fs::path(*canonical).filename());
    return ObservedFolder{observe_win32_version_folder(std::move(*canonical)), std::move(name)};
}

std::optional<ReplaceFailure> replace_file(const fs::path& target, std::string_view content) {
    const fs::path temporary = temporary_path_for(target, GetCurrentProcessId());
    win32::FileHandle file(
        CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ReplaceFailure{false, failure("cannot be created", GetLastError())};
    std::optional<std::string> error;
    if (!write_all(file.get(), content)) {
        error = failure("cannot be written", GetLastError());
    } else if (!FlushFileBuffers(file.get())) {
        error = failure("cannot be flushed to the disk", GetLastError());
    }
    if (!CloseHandle(file.release()) && !error) error = failure("cannot be closed", GetLastError());
    // The move is written through: once it returns, the new name is on the disk.
    if (!error && !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = failure("cannot replace the old one", GetLastError());
    }
    if (!error) return std::nullopt;
    DeleteFileW(temporary.c_str());
    return ReplaceFailure{false, std::move(*error)};
}

}  // namespace kova::tool

int wmain(int argc, wchar_t** argv) {
    kova::tool::Arguments arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(kova::utf16_to_utf8(argv[i]));
    return kova::tool::run(arguments);
}
