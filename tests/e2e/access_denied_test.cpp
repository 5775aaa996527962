// What Wine can show of access denial. A wineserver started without the DAC
// capabilities refuses a mode-000 file or folder to the launcher (the ctest
// entry end-to-end-access-denied runs this suite in a prefix of its own with
// such a server, through scripts/wine-run). Wine cannot separate a file's
// attributes from its content: it refuses to open the file at all, so a
// listed file reads as missing, where Windows reads its attributes and
// refuses only its content (WindowsNative.AListedFileWhoseContentIsDenied...).
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "core/win32/handle.h"
#include "harness.h"

namespace kova::e2e {
namespace {

// Mode 000 while it lives, given back before the sandbox is removed; a
// folder denied so is one the snapshot cannot list, on purpose.
class Unreadable {
public:
    Unreadable(const fs::path& path, bool folder) : path_(path), folder_(folder) {
        run_unix_command("/bin/chmod", "000 " + unix_path(path_));
        if (folder) on_purpose_.emplace(path_);
    }
    Unreadable(const Unreadable&) = delete;
    Unreadable& operator=(const Unreadable&) = delete;
    ~Unreadable() { run_unix_command("/bin/chmod", (folder_ ? "755 " : "644 ") + unix_path(path_)); }

private:
    fs::path path_;
    bool folder_;
    std::optional<tree::UnlistableOnPurpose> on_purpose_;
};

// Without the capabilities a root wineserver reads a mode-000 file anyway,
// and the case would show nothing.
void expect_denial_in_force(const fs::path& path) {
    const win32::FileHandle handle(CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_FALSE(handle) << utf8(path) << " is still readable: this suite runs in the prefix whose wineserver "
                            "lacks the DAC capabilities (ctest -R end-to-end-access-denied)";
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(AccessDenied, EachUnreadableInputGetsItsOwnReadFailureLine) {
    KOVA_NEEDS_WINE("mode bits enforced by a wineserver without DAC capabilities; WindowsNative.* denies through a DACL");
    struct Case {
        std::function<fs::path(const Sandbox&)> path;
        bool folder;
        std::string_view message;
    };
    const Case cases[] = {
        {[](const Sandbox& s) { return s.app() / "current.json"; }, false, "Installed version record could not be read."},
        {[](const Sandbox& s) { return s.tessarine() / "mcp-settings.json"; }, false, "MCP folder settings could not be read."},
        {[](const Sandbox& s) { return s.version("1.4.0") / "manifest.txt"; }, false,
         "Installed release record is missing. Repair Lumenframe in KOVA Hub."},
        // Denied even its attributes, a listed file cannot be found.
        {[](const Sandbox& s) { return s.version("1.4.0") / "lumenframe.exe"; }, false, "Installed release file is missing."},
        {[](const Sandbox& s) { return s.work(); }, true, "An MCP folder no longer exists."},
    };
    for (const Case& c : cases) {
        Sandbox sandbox;
        install(sandbox);
        const fs::path path = c.path(sandbox);
        const Unreadable unreadable(path, c.folder);
        ASSERT_NO_FATAL_FAILURE(expect_denial_in_force(path));
        expect_refusal(run_launcher(sandbox), c.message);
    }
}

TEST(AccessDenied, TheSnapshotFailsOnAFolderItCannotList) {
    KOVA_NEEDS_WINE("mode bits enforced by a wineserver without DAC capabilities; WindowsNative.* denies through a DACL");
    expect_the_snapshot_to_refuse_a_denied_folder([](const fs::path& folder) {
        run_unix_command("/bin/chmod", "000 " + unix_path(folder));
        std::shared_ptr<void> given_back(nullptr, [folder](void*) { run_unix_command("/bin/chmod", "755 " + unix_path(folder)); });
        expect_denial_in_force(folder);
        return given_back;
    });
}

}  // namespace
}  // namespace kova::e2e
