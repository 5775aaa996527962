#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "harness.h"
#include "link_cases.h"

namespace kova::e2e {
namespace {

TEST(Installation, AppStorageMustBeSetAndAbsolute) {
    Sandbox sandbox;
    install(sandbox);
    expect_refusal(run_launcher(sandbox, {.local_app_data = std::wstring(kUnset)}), "Windows app storage is unavailable.");
    for (const std::wstring value : {L"", L"Data\\Local", L"Z:Local", L"\\tmp\\Local", L"\\\\server"}) {
        expect_refusal(run_launcher(sandbox, {.local_app_data = value}), "Windows app storage path is invalid.");
    }
}

TEST(Installation, AppStorageWithATrailingSeparatorOrForwardSlashesWorks) {
    Sandbox sandbox;
    install(sandbox);
    std::wstring forward = sandbox.local().wstring();
    std::replace(forward.begin(), forward.end(), L'\\', L'/');
    const std::wstring local = sandbox.local().wstring();
    // Each value, and the folder the launcher must join onto it: one separator before Tessarine.
    const std::pair<std::wstring, std::wstring> cases[] = {{local + L"\\", local}, {forward, forward}};
    for (const auto& [value, base] : cases) {
        const RunResult run = run_launcher(sandbox, {.local_app_data = value});
        EXPECT_EQ(run.exit_code, 0u);
        EXPECT_EQ(run.error, "");
        ASSERT_TRUE(run.report);
        const std::wstring program = base + L"\\Tessarine\\Apps\\Lumenframe\\versions\\1.4.0\\lumenframe-mcp.exe";
        EXPECT_EQ(run.report->command_line, L"\"" + program + L"\"") << value;
        EXPECT_EQ(run.report->cwd, sandbox.version("1.4.0").wstring()) << value;
    }
}

// A current directory takes no extended-length path: with LOCALAPPDATA in
// that form the companion is started by that path, in the plain form of its
// folder. Wine takes a verbatim current directory and reports it plain, so
// only Windows shows the difference; the case runs on both.
TEST(Installation, AnAppStorageInExtendedFormGivesTheCompanionItsFolderPlain) {
    Sandbox sandbox;
    install(sandbox);
    const std::wstring local = tree::extended(sandbox.local());
    const RunResult run = run_launcher(sandbox, {.local_app_data = local});
    expect_companion_ran(run);
    ASSERT_TRUE(run.report);
    EXPECT_EQ(run.report->command_line, L"\"" + local + L"\\Tessarine\\Apps\\Lumenframe\\versions\\1.4.0\\lumenframe-mcp.exe\"");
    EXPECT_EQ(run.report->cwd, sandbox.version("1.4.0").wstring());
}

TEST(Installation, WithoutAnInstalledVersionRecordTheAppIsNotInstalled) {
    Sandbox sandbox;
    expect_refusal(run_launcher(sandbox), "Install Lumenframe in KOVA Hub first.");
    install(sandbox);
    tree::remove(sandbox.app() / "current.json");
    expect_refusal(run_launcher(sandbox), "Install Lumenframe in KOVA Hub first.");
}

TEST(Installation, AnUnreadableVersionRecordIsNotAnInvalidOne) {
    Sandbox sandbox;
    install(sandbox);
    tree::remove(sandbox.app() / "current.json");
    tree::make_folders(sandbox.app() / "current.json");
    expect_refusal(run_launcher(sandbox), "Installed version record could not be read.");
    tree::remove(sandbox.app() / "current.json");
    tree::write(sandbox.app() / "current.json", "{\"current\":\"1.4.0\",\"x\":\"\xFF\"}");
    expect_refusal(run_launcher(sandbox), "Installed version record could not be read.");
}

TEST(Installation, TheVersionRecordIsDecodedStrictly) {
    Sandbox sandbox;
    install(sandbox);
    const std::pair<std::string, bool> cases[] = {
        {"\xEF\xBB\xBF{\"current\":\"1.4.0\"}", false},
        {R"({"current":"1.4.0","current":"1.4.0"})", false},
        {R"({"current":"1.4.0","previous":""})", false},
        {R"({"Current":"1.4.0"})", false},
        {R"(["1.4.0"])", false},
        {R"({"current":"../1.4.0"})", false},
        {std::string("{\"current\":\"1.4.0\"}\0trailing", 28), false},
        {R"(["1.4.0",null])", true},
        {"{\"current\":\"1.4.0\",\"previous\":\"0.9\",\"hub\":{\"a\":[1]}}\r\n\r\n", true},
    };
    for (const auto& [text, valid] : cases) {
        tree::write(sandbox.app() / "current.json", text);
        const RunResult run = run_launcher(sandbox);
        if (valid) {
            expect_companion_ran(run);
        } else {
            expect_refusal(run, "Installed version record is invalid.");
        }
    }
}

TEST(Installation, TheCurrentVersionFolderMustExist) {
    Sandbox sandbox;
    install(sandbox);
    tree::write(sandbox.app() / "current.json", R"({"current":"1.5.0","previous":"1.4.0"})");
    expect_refusal(run_launcher(sandbox), "App directory could not be resolved.");
}

// Wine follows Unix symbolic links on open and reports the target as the
// final path, which is what the boundary check is about; it cannot make
// Windows junctions, so those are not shown here.
TEST(UnixLink, AVersionFolderOutsideTheAppFolderEscapesItsBoundary) {
    KOVA_NEEDS_WINE("a Unix link made through Wine's Z: drive; its WindowsNative counterpart makes a real one");
    Sandbox sandbox;
    install(sandbox);
    const fs::path outside = sandbox.root() / "elsewhere" / "versions";
    tree::make_folders(outside.parent_path());
    tree::move(sandbox.app() / "versions", outside);
    make_unix_symlink(outside, sandbox.app() / "versions");
    expect_refusal(run_launcher(sandbox), "App directory escaped its installation boundary.");
}

TEST(UnixLink, AVersionFolderThatIsTheAppFolderEscapesItsBoundary) {
    KOVA_NEEDS_WINE("a Unix link made through Wine's Z: drive; its WindowsNative counterpart makes a real one");
    expect_a_version_folder_linked_to_the_app_folder_to_escape(make_unix_symlink);
}

TEST(UnixLink, AnAppFolderThatIsALinkElsewhereIsFineSinceBothSidesAreResolved) {
    KOVA_NEEDS_WINE("a Unix link made through Wine's Z: drive; its WindowsNative counterpart makes a real one");
    expect_an_app_folder_linked_elsewhere_to_run(make_unix_symlink);
}

TEST(Installation, AMalformedBuiltInKeyRefusesEveryRun) {
    Sandbox sandbox;
    install(sandbox);
    expect_refusal(run_launcher(sandbox, {.program = malformed_key_launcher_path()}), "Invalid embedded release key.");
}

}  // namespace
}  // namespace kova::e2e
