// The rules Wine cannot show, against the real kova-mcp.exe on a real file
// system: links and junctions (Wine makes none from Win32), final paths past
// about 265 characters (Wine's GetFinalPathNameByHandleW fails on them),
// content denied while attributes stay readable (Wine's access is all or
// nothing), 8.3 names. Under Wine each case skips and says why; the Windows
// CI job sets KOVA_REQUIRE_WINDOWS=1, which turns such a skip into a failure.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <winioctl.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/path.h"
#include "core/win32/handle.h"
#include "harness.h"
#include "link_cases.h"

namespace kova::e2e {
namespace {

constexpr std::string_view kChanged = "Installed Lumenframe files changed. Repair the app in KOVA Hub.";
constexpr std::string_view kUnexpected = "Installed Lumenframe folder contains an unexpected file. Repair the app in KOVA Hub.";
constexpr std::string_view kEscaped = "App directory escaped its installation boundary.";
constexpr std::string_view kFolderGone = "An MCP folder no longer exists.";
constexpr std::string_view kNotStarted = "Lumenframe MCP could not start. Repair it in KOVA Hub.";

constexpr DWORD kJunctionTag = 0xA0000003;  // IO_REPARSE_TAG_MOUNT_POINT
constexpr DWORD kSymlinkTag = 0xA000000C;   // IO_REPARSE_TAG_SYMLINK

enum class LinkKind { junction, file_symlink, folder_symlink };

// A mount point's reparse data: the target as an NT path, then as shown.
void make_junction(const fs::path& target, const fs::path& link) {
    ASSERT_TRUE(CreateDirectoryW(tree::extended(link).c_str(), nullptr)) << GetLastError();
    const std::wstring shown = without_extended_prefix(final_path_of(target));
    const std::wstring substitute = L"\\??\\" + shown;
    const std::size_t names = (substitute.size() + 1 + shown.size() + 1) * sizeof(wchar_t);
    std::vector<std::uint8_t> data(8 + 8 + names);
    const auto put16 = [&data](std::size_t at, std::size_t value) {
        data[at] = static_cast<std::uint8_t>(value & 0xFF);
        data[at + 1] = static_cast<std::uint8_t>(value >> 8);
    };
    const DWORD tag = kJunctionTag;
    std::memcpy(data.data(), &tag, sizeof tag);
    put16(4, 8 + names);                                             // ReparseDataLength
    put16(8, 0);                                                     // SubstituteNameOffset
    put16(10, substitute.size() * sizeof(wchar_t));                  // SubstituteNameLength
    put16(12, (substitute.size() + 1) * sizeof(wchar_t));            // PrintNameOffset
    put16(14, shown.size() * sizeof(wchar_t));                       // PrintNameLength
    std::memcpy(data.data() + 16, substitute.c_str(), (substitute.size() + 1) * sizeof(wchar_t));
    std::memcpy(data.data() + 16 + (substitute.size() + 1) * sizeof(wchar_t), shown.c_str(),
                (shown.size() + 1) * sizeof(wchar_t));
    const win32::FileHandle handle(CreateFileW(tree::extended(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(handle) << GetLastError();
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(handle.get(), FSCTL_SET_REPARSE_POINT, data.data(), static_cast<DWORD>(data.size()),
                                nullptr, 0, &returned, nullptr))
        << "FSCTL_SET_REPARSE_POINT failed: " << GetLastError();
}

// Makes the link, then asserts that it really stands there with the
// attribute and tag it must have, before any case relies on it: Wine's
// CreateSymbolicLinkW returns TRUE and makes nothing.
void make_link(LinkKind kind, const fs::path& target, const fs::path& link) {
    if (kind == LinkKind::junction) {
        ASSERT_NO_FATAL_FAILURE(make_junction(target, link));
    } else {
        DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
        if (kind == LinkKind::folder_symlink) flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
        ASSERT_TRUE(CreateSymbolicLinkW(tree::extended(link).c_str(), tree::extended(target).c_str(), flags))
            << "CreateSymbolicLinkW failed (" << GetLastError() << "): Developer Mode or the privilege is needed";
    }
    WIN32_FIND_DATAW entry{};
    const win32::FindHandle find(FindFirstFileW(tree::extended(link).c_str(), &entry));
    ASSERT_TRUE(find) << "no link at " << utf8(link);
    ASSERT_NE(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << utf8(link) << " is no reparse point";
    ASSERT_EQ(entry.dwReserved0, kind == LinkKind::junction ? kJunctionTag : kSymlinkTag) << utf8(link);
    ASSERT_EQ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, kind != LinkKind::file_symlink) << utf8(link);
}

fs::path folder_of(const Sandbox& sandbox) { return sandbox.version("1.4.0"); }

const MakeLink make_junction_link = [](const fs::path& target, const fs::path& link) {
    make_link(LinkKind::junction, target, link);
};
const MakeLink make_file_symlink = [](const fs::path& target, const fs::path& link) {
    make_link(LinkKind::file_symlink, target, link);
};

TEST(WindowsNative, AJunctionOrAFolderLinkInTheVersionFolderIsUnexpected) {
    KOVA_NEEDS_WINDOWS("Wine makes no junction or symbolic link from Win32");
    for (const LinkKind kind : {LinkKind::junction, LinkKind::folder_symlink}) {
        Sandbox sandbox;
        install(sandbox);
        tree::make_folders(sandbox.root() / "some-folder");
        ASSERT_NO_FATAL_FAILURE(make_link(kind, sandbox.root() / "some-folder", folder_of(sandbox) / "extra"));
        expect_refusal(run_launcher(sandbox), kUnexpected);
    }
}

TEST(WindowsNative, AListedFileThatIsASymbolicLink) {
    KOVA_NEEDS_WINDOWS("Wine makes no symbolic link from Win32");
    // To a file outside the folder: it resolves outside, and its content is
    // never trusted.
    {
        Sandbox sandbox;
        install(sandbox);
        ASSERT_NO_FATAL_FAILURE(link_the_app_out_of_its_folder(sandbox, make_file_symlink));
        expect_refusal(run_launcher(sandbox), kChanged);
    }
    // To a listed file inside the folder, listed with its size and digest: it
    // passes as a file, then the listing refuses the link itself.
    {
        Sandbox sandbox;
        install(sandbox);
        ASSERT_NO_FATAL_FAILURE(
            make_link(LinkKind::file_symlink, folder_of(sandbox) / "lumenframe.exe", folder_of(sandbox) / "AI_MODELS.zip"));
        sign_folder(folder_of(sandbox), "1.4.0");
        ASSERT_NE(tree::read(folder_of(sandbox) / "manifest.txt").size(), 0u);
        expect_refusal(run_launcher(sandbox), kUnexpected);
    }
}

TEST(WindowsNative, AVersionFolderThatIsAJunctionMustStayInsideTheAppFolder) {
    KOVA_NEEDS_WINDOWS("Wine makes no junction from Win32");
    {
        Sandbox sandbox;
        install(sandbox);
        const fs::path store = sandbox.app() / "store" / "1.4.0";
        tree::make_folders(store.parent_path());
        tree::move(folder_of(sandbox), store);
        ASSERT_NO_FATAL_FAILURE(make_link(LinkKind::junction, store, folder_of(sandbox)));
        const RunResult run = run_launcher(sandbox);
        expect_companion_ran(run);
        ASSERT_TRUE(run.report);
        EXPECT_EQ(run.report->cwd, folder_of(sandbox).wstring());
    }
    {
        Sandbox sandbox;
        install(sandbox);
        const fs::path outside = sandbox.root() / "outside" / "1.4.0";
        tree::make_folders(outside.parent_path());
        tree::move(folder_of(sandbox), outside);
        ASSERT_NO_FATAL_FAILURE(make_link(LinkKind::junction, outside, folder_of(sandbox)));
        expect_refusal(run_launcher(sandbox), kEscaped);
    }
}

// The counterparts of UnixLink.AVersionFolderThatIsTheAppFolderEscapesItsBoundary
// and UnixLink.AnAppFolderThatIsALinkElsewhereIsFineSinceBothSidesAreResolved.
TEST(WindowsNative, AVersionFolderThatIsAJunctionToTheAppFolderEscapesItsBoundary) {
    KOVA_NEEDS_WINDOWS("Wine makes no junction from Win32");
    expect_a_version_folder_linked_to_the_app_folder_to_escape(make_junction_link);
}

TEST(WindowsNative, AnAppFolderThatIsAJunctionElsewhereIsFineSinceBothSidesAreResolved) {
    KOVA_NEEDS_WINDOWS("Wine makes no junction from Win32");
    expect_an_app_folder_linked_elsewhere_to_run(make_junction_link);
}

// The counterpart of UnixLink.TheReleaseToolJudgesALinkOutOfTheFolderAsTheLauncherDoes.
// The Windows tool lists a real link as the launcher does, with its tag, so
// it names the link itself as well as the file outside that it resolves to.
TEST(WindowsNative, TheReleaseToolJudgesALinkOutOfTheFolderAsTheLauncherDoes) {
    KOVA_NEEDS_WINDOWS("Wine makes no symbolic link from Win32");
    expect_the_release_tool_to_judge_a_link_out_of_the_folder(make_file_symlink, "a link; a release holds regular files only",
                                                              "\"lumenframe.exe\": unexpected entry\r\n");
}

TEST(WindowsNative, AnAllowedFolderReachedThroughALinkIsTheFolderItLeadsTo) {
    KOVA_NEEDS_WINDOWS("Wine makes no junction or symbolic link from Win32");
    for (const LinkKind kind : {LinkKind::junction, LinkKind::folder_symlink}) {
        Sandbox sandbox;
        install(sandbox);
        ASSERT_NO_FATAL_FAILURE(make_link(kind, sandbox.work(), sandbox.root() / "shortcut"));
        write_settings(sandbox, {utf8(sandbox.root() / "shortcut")});
        const RunResult run = run_launcher(sandbox);
        expect_companion_ran(run);
        ASSERT_TRUE(run.report);
        EXPECT_EQ(run.report->allowed_roots, final_path_of(sandbox.work()));
    }
}

TEST(WindowsNative, ADanglingLinkIsNoAllowedFolder) {
    KOVA_NEEDS_WINDOWS("Wine makes no symbolic link from Win32, and leaves a dangling Unix link out of listings");
    Sandbox sandbox;
    install(sandbox);
    tree::make_folders(sandbox.root() / "gone");
    ASSERT_NO_FATAL_FAILURE(make_link(LinkKind::folder_symlink, sandbox.root() / "gone", sandbox.root() / "dangling"));
    tree::remove(sandbox.root() / "gone");
    write_settings(sandbox, {utf8(sandbox.root() / "dangling")});
    expect_refusal(run_launcher(sandbox), kFolderGone);
}

TEST(WindowsNative, AnAllowedFolderPastThreeHundredCharactersIsHandedOverWhole) {
    KOVA_NEEDS_WINDOWS("Wine's GetFinalPathNameByHandleW fails for final paths past about 265 characters");
    Sandbox sandbox;
    install(sandbox);
    const fs::path deep = deep_folder(sandbox.root(), 300);
    write_settings(sandbox, {utf8(deep)});
    const RunResult run = run_launcher(sandbox);
    expect_companion_ran(run);
    ASSERT_TRUE(run.report && run.report->allowed_roots);
    EXPECT_EQ(*run.report->allowed_roots, final_path_of(tree::extended(deep)));
    EXPECT_GT(run.report->allowed_roots->size(), 300u);
}

TEST(WindowsNative, ARelativeEntryWhoseFullPathIsLongIsOpened) {
    KOVA_NEEDS_WINDOWS("Wine's GetFinalPathNameByHandleW fails for final paths past about 265 characters");
    Sandbox sandbox;
    install(sandbox);
    const fs::path deep = deep_folder(sandbox.root() / "r", 280);
    // Short as written, long once resolved against the launcher's directory.
    const std::string entry = utf8(deep).substr(utf8(sandbox.root()).size() + 1);
    ASSERT_LT(entry.size(), 248u);
    write_settings(sandbox, {entry});
    const RunResult run = run_launcher(sandbox, {.working_directory = sandbox.root()});
    expect_companion_ran(run);
    ASSERT_TRUE(run.report);
    EXPECT_EQ(run.report->allowed_roots, final_path_of(tree::extended(deep)));
}

// Verification reaches every file through extended-length paths; the start
// does not, since CreateProcessW takes no working directory past MAX_PATH,
// long-path aware or not.
TEST(WindowsNative, AnAppStoragePastThreeHundredCharactersVerifiesThenCannotStart) {
    KOVA_NEEDS_WINDOWS("Wine's GetFinalPathNameByHandleW fails for final paths past about 265 characters");
    Sandbox sandbox;
    // Laid out through extended-length paths; given to the launcher plain.
    sandbox.set_local(fs::path(tree::extended(deep_folder(sandbox.root(), 300))) / "Local");
    install(sandbox);
    const std::wstring local = without_extended_prefix(sandbox.local().wstring());
    ASSERT_GT(local.size(), 300u);
    expect_refusal(run_launcher(sandbox, {.local_app_data = local}), kNotStarted);
}

// The file's DACL denies reading its data to everyone; its attributes, and
// the listing, stay readable. Put back before the sandbox goes.
class DeniedContent {
public:
    explicit DeniedContent(const fs::path& file) : path_(tree::extended(file)) {
        PACL dacl = nullptr;
        if (GetNamedSecurityInfoW(path_.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                  nullptr, &original_) != ERROR_SUCCESS) {
            ADD_FAILURE() << "GetNamedSecurityInfoW failed";
            return;
        }
        original_dacl_ = dacl;
        BYTE everyone[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof everyone;
        CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size);
        EXPLICIT_ACCESSW deny{};
        deny.grfAccessPermissions = FILE_READ_DATA;
        deny.grfAccessMode = DENY_ACCESS;
        deny.grfInheritance = NO_INHERITANCE;
        deny.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        deny.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        deny.Trustee.ptstrName = reinterpret_cast<LPWSTR>(everyone);
        PACL denied = nullptr;
        if (SetEntriesInAclW(1, &deny, dacl, &denied) != ERROR_SUCCESS ||
            SetNamedSecurityInfoW(path_.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, denied,
                                  nullptr) != ERROR_SUCCESS) {
            ADD_FAILURE() << "the deny entry could not be set";
        }
        LocalFree(denied);
    }
    DeniedContent(const DeniedContent&) = delete;
    DeniedContent& operator=(const DeniedContent&) = delete;
    ~DeniedContent() {
        if (original_ == nullptr) return;
        SetNamedSecurityInfoW(path_.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, original_dacl_,
                              nullptr);
        LocalFree(original_);
    }

private:
    std::wstring path_;
    PSECURITY_DESCRIPTOR original_ = nullptr;
    PACL original_dacl_ = nullptr;
};

TEST(WindowsNative, AListedFileWhoseContentIsDeniedCannotBeOpenedForHashing) {
    KOVA_NEEDS_WINDOWS("Wine enforces no DACL, and denies all or nothing where it denies at all");
    Sandbox sandbox;
    install(sandbox);
    const fs::path app = folder_of(sandbox) / "lumenframe.exe";
    const DeniedContent denied(app);
    const win32::FileHandle reading(CreateFileW(tree::extended(app).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    ASSERT_FALSE(reading) << "the deny entry is not in force: this process can still read " << utf8(app);
    ASSERT_NE(GetFileAttributesW(tree::extended(app).c_str()), INVALID_FILE_ATTRIBUTES) << "its attributes must stay readable";
    expect_refusal(run_launcher(sandbox), "Downloaded file could not be opened.");
}

TEST(WindowsNative, TheSnapshotFailsOnAFolderItCannotList) {
    KOVA_NEEDS_WINDOWS("Wine enforces no DACL; AccessDenied.* denies through mode bits");
    // FILE_LIST_DIRECTORY is FILE_READ_DATA's bit: a folder denied its content cannot be listed.
    expect_the_snapshot_to_refuse_a_denied_folder([](const fs::path& folder) { return std::make_shared<DeniedContent>(folder); });
}

// The folder's short name as Windows gives it; when the volume made none,
// one of the test's own, which an administrator may set (the Windows CI
// runner is one, and turns 8.3 names on for the volume first).
std::wstring short_form(const fs::path& folder) {
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetShortPathNameW(folder.wstring().c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), length);
}

// A privilege of the process's token, enabled while this lives and then put
// back as it was, so that no later case runs with a privilege it did not ask for.
class EnabledPrivilege {
public:
    explicit EnabledPrivilege(const wchar_t* name) {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
        token_ = win32::KernelHandle(token);
        TOKEN_PRIVILEGES wanted{};
        wanted.PrivilegeCount = 1;
        wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        DWORD size = sizeof previous_;
        enabled_ = LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid) &&
                   AdjustTokenPrivileges(token_.get(), FALSE, &wanted, sizeof previous_, &previous_, &size) &&
                   GetLastError() != ERROR_NOT_ALL_ASSIGNED;
    }
    EnabledPrivilege(const EnabledPrivilege&) = delete;
    EnabledPrivilege& operator=(const EnabledPrivilege&) = delete;
    ~EnabledPrivilege() {
        if (enabled_ && !AdjustTokenPrivileges(token_.get(), FALSE, &previous_, 0, nullptr, nullptr)) {
            ADD_FAILURE() << "the token's privileges could not be put back: error " << GetLastError();
        }
    }
    explicit operator bool() const { return enabled_; }

private:
    win32::KernelHandle token_;
    TOKEN_PRIVILEGES previous_{};
    bool enabled_ = false;
};

// Why a folder has no short name: SetFileShortNameW's error and how 8.3
// names are made on this machine (NtfsDisable8dot3NameCreation: 0 on every
// volume, 1 on none, 2 as each volume says, 3 on the system volume only).
std::string short_name_refused(const fs::path& folder, DWORD error) {
    DWORD setting = 0;
    DWORD size = sizeof setting;
    const LSTATUS read = RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\FileSystem",
                                      L"NtfsDisable8dot3NameCreation", RRF_RT_REG_DWORD, nullptr, &setting, &size);
    return "the volume of " + utf8(folder) + " made no 8.3 name for it and refused one (SetFileShortNameW error " +
           std::to_string(error) + "); NtfsDisable8dot3NameCreation is " +
           (read == ERROR_SUCCESS ? std::to_string(setting) : "unreadable") +
           ": as an administrator, `fsutil 8dot3name set C: 0` (or the volume's letter) before the test";
}

// Gives the folder a short name of the test's own; the error when it cannot.
DWORD give_short_name(const fs::path& folder, const wchar_t* name) {
    const EnabledPrivilege restore(SE_RESTORE_NAME);
    if (!restore) return ERROR_PRIVILEGE_NOT_HELD;
    const win32::FileHandle handle(CreateFileW(tree::extended(folder).c_str(), GENERIC_WRITE | DELETE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle || !SetFileShortNameW(handle.get(), name)) return GetLastError();
    return ERROR_SUCCESS;
}

TEST(WindowsNative, AnAppStorageGivenInShortFormIsTheSameFolder) {
    KOVA_NEEDS_WINDOWS("Wine's 8.3 names are made up, not the volume's own");
    Sandbox sandbox;
    // A name that is no 8.3 name itself.
    sandbox.set_local(sandbox.root() / "Local App Data");
    install(sandbox);
    std::wstring short_local = short_form(sandbox.local());
    if (short_local == sandbox.local().wstring()) {
        const DWORD refused = give_short_name(sandbox.local(), L"KOVALOCL");
        ASSERT_EQ(refused, static_cast<DWORD>(ERROR_SUCCESS)) << short_name_refused(sandbox.local(), refused);
        short_local = short_form(sandbox.local());
    }
    ASSERT_NE(short_local, sandbox.local().wstring()) << "GetShortPathNameW gives no short form of " << utf8(sandbox.local());
    const RunResult run = run_launcher(sandbox, {.local_app_data = short_local});
    expect_companion_ran(run);
    ASSERT_TRUE(run.report);
    const std::wstring program = short_local + L"\\Tessarine\\Apps\\Lumenframe\\versions\\1.4.0\\lumenframe-mcp.exe";
    EXPECT_EQ(run.report->command_line, L"\"" + program + L"\"");
    EXPECT_EQ(final_path_of(run.report->cwd), final_path_of(folder_of(sandbox)));
}

}  // namespace
}  // namespace kova::e2e
