#pragma once

#include <optional>

#include "core/path.h"
#include "core/storage_layout.h"
#include "core/user_message.h"
#include "installer/installed_record.h"

namespace kova {

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
