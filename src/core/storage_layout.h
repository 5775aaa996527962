#pragma once

#include <string_view>

#include "core/path.h"
#include "core/user_message.h"

// Where KOVA Hub keeps what the launcher reads, under the user's local
// application data:
//
//   %LOCALAPPDATA%\Tessarine\mcp-settings.json
//   %LOCALAPPDATA%\Tessarine\Apps\Lumenframe\current.json
//   %LOCALAPPDATA%\Tessarine\Apps\Lumenframe\versions\<version>\manifest.txt
//   %LOCALAPPDATA%\Tessarine\Apps\Lumenframe\versions\<version>\lumenframe-mcp.exe
namespace kova {

inline constexpr std::string_view kSettingsFileName = "mcp-settings.json";
inline constexpr std::string_view kInstalledRecordName = "current.json";
inline constexpr std::string_view kManifestFileName = "manifest.txt";
inline constexpr std::string_view kCompanionExecutableName = "lumenframe-mcp.exe";

// %LOCALAPPDATA%, unchanged, when it is set and absolute.
[[nodiscard]] Result<Path> app_storage_root();

// %LOCALAPPDATA%\Tessarine: the maker's folder, which also holds the settings.
[[nodiscard]] Result<Path> maker_folder();

// %LOCALAPPDATA%\Tessarine\Apps\Lumenframe (existing or not).
[[nodiscard]] Result<Path> app_storage_dir();

// The app folder joined with `versions` and the version name.
[[nodiscard]] Path version_folder(const Path& app_folder, std::string_view version);

// A file name of the layout joined onto a folder.
[[nodiscard]] Path join_name(const Path& folder, std::string_view ascii_name);

}  // namespace kova
