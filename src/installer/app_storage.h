#pragma once

#include <optional>
#include <string_view>

#include "core/path.h"
#include "core/user_message.h"
#include "installer/installed_record.h"

namespace kova {

inline constexpr std::string_view kCompanionExecutableName = "lumenframe-mcp.exe";

// %LOCALAPPDATA%, unchanged, when it is set and absolute.
[[nodiscard]] Result<Path> app_storage_root();

// %LOCALAPPDATA%\Tessarine: the maker's folder, which also holds the settings.
[[nodiscard]] Result<Path> maker_folder();

// %LOCALAPPDATA%\Tessarine\Apps\Lumenframe (existing or not).
[[nodiscard]] Result<Path> app_storage_dir();

// The app folder joined with `versions` and the version name.
[[nodiscard]] Path version_folder(const Path& app_folder, std::string_view version);

// current.json: the record, or an empty optional when there is none (its
// metadata cannot be read: the app is not installed), or a message.
[[nodiscard]] Result<std::optional<Installed>> read_installed(const Path& app_folder);

// Canonicalizes both folders and requires the version folder to lie strictly
// inside the app folder. Returns the canonical version folder.
[[nodiscard]] Result<Path> check_install_boundary(const Path& app_folder, const Path& version_folder);

// Locates and verifies the installed companion; returns the path of its
// lumenframe-mcp.exe, formed from LOCALAPPDATA (not canonical).
[[nodiscard]] Result<Path> resolve_installed_mcp();

}  // namespace kova
