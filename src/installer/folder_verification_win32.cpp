#include "installer/folder_verification.h"

#include <memory>
#include <utility>

#include "installer/app_storage.h"
#include "installer/version_folder_win32.h"

namespace kova {

Result<Release> verify_installed_release(const Path& app_folder, std::string_view version,
                                         const crypto::VerifyingKey& key) {
    Result<Path> canonical_folder = check_install_boundary(app_folder, version_folder(app_folder, version));
    if (!canonical_folder) return fail(canonical_folder.error());
    const std::unique_ptr<VersionFolder> folder = observe_win32_version_folder(std::move(*canonical_folder));
    return judge_version_folder(*folder, version, key, stop_at_first_failure);
}

}  // namespace kova
