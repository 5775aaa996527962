#pragma once

#include <memory>

#include "core/path.h"
#include "installer/folder_verification.h"

namespace kova {

// A canonical version folder as the launcher observes it through Win32:
// listed files opened by name with links followed and judged by their final
// path, everything else by the listing's own attributes. The release tool's
// Windows build judges through this very observer.
[[nodiscard]] std::unique_ptr<VersionFolder> observe_win32_version_folder(Path canonical_folder);

}  // namespace kova
