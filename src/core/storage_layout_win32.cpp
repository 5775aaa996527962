#include "core/storage_layout.h"

#include <utility>

#include "core/win32/file_system.h"

namespace kova {
namespace {

constexpr UserMessage kStorageUnavailable{"Windows app storage is unavailable."};
constexpr UserMessage kStoragePathInvalid{"Windows app storage path is invalid."};

constexpr const wchar_t* kAppStorageVariable = L"LOCALAPPDATA";
constexpr std::wstring_view kMakerFolder = L"Tessarine";
constexpr std::wstring_view kAppsFolder = L"Apps";
constexpr std::wstring_view kAppFolder = L"Lumenframe";

}  // namespace

Result<Path> app_storage_root() {
    win32::Win32Result<std::wstring> value = win32::environment_variable(kAppStorageVariable);
    if (!value) return fail(kStorageUnavailable);
    if (!is_absolute_path(*value)) return fail(kStoragePathInvalid);
    return std::move(*value);
}

Result<Path> maker_folder() {
    Result<Path> root = app_storage_root();
    if (!root) return fail(root.error());
    return join(std::move(*root), kMakerFolder);
}

Result<Path> app_storage_dir() {
    Result<Path> folder = maker_folder();
    if (!folder) return fail(folder.error());
    return join(join(std::move(*folder), kAppsFolder), kAppFolder);
}

}  // namespace kova
