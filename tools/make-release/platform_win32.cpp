#include "make-release/platform.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "core/utf.h"
#include "core/win32/file_system.h"
#include "core/win32/handle.h"

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

}  // namespace

std::optional<std::string> environment_text(const std::string& name) {
    const std::optional<std::wstring> wide_name = utf8_to_utf16(name);
    if (!wide_name) return std::nullopt;
    const win32::Win32Result<std::wstring> value = win32::environment_variable(wide_name->c_str());
    if (!value) return std::nullopt;
    return utf16_to_utf8(*value);
}

std::optional<std::string> replace_file(const std::filesystem::path& target, std::string_view content) {
    const std::filesystem::path temporary =
        target.parent_path() / (L"." + target.filename().wstring() + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp");
    win32::FileHandle file(
        CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return failure("cannot be created", GetLastError());
    std::optional<std::string> error;
    if (!write_all(file.get(), content)) {
        error = failure("cannot be written", GetLastError());
    } else if (!FlushFileBuffers(file.get())) {
        error = failure("cannot be flushed to the disk", GetLastError());
    }
    if (!CloseHandle(file.release()) && !error) error = failure("cannot be closed", GetLastError());
    if (!error && !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = failure("cannot replace the old one", GetLastError());
    }
    if (error) DeleteFileW(temporary.c_str());
    return error;
}

}  // namespace kova::tool

int wmain(int argc, wchar_t** argv) {
    kova::tool::Arguments arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(kova::utf16_to_utf8(argv[i]));
    return kova::tool::run(arguments);
}
