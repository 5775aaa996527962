#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <vector>

#include "bin/kova-mcp/companion.h"
#include "harness.h"

namespace kova::e2e {
namespace {

constexpr std::string_view kUsage = "Usage: kova-mcp lumenframe\n";

// Wine, not Windows, sets some variables itself whenever a process starts and
// puts them last, whatever order its block had: its own folders and user
// (WINE..., but for the WINEDEBUG and WINEPREFIX it is given), SystemDrive and
// SystemRoot. Those are compared apart, as a set; all others in order.
bool set_by_wine_at_start(const std::wstring& entry) {
    const std::wstring_view name = std::wstring_view(entry).substr(0, entry.find(L'='));
    return name == L"SystemDrive" || name == L"SystemRoot" ||
           (name.starts_with(L"WINE") && name != L"WINEDEBUG" && name != L"WINEPREFIX");
}

std::vector<std::wstring> without_wines_own(std::vector<std::wstring> entries) {
    std::erase_if(entries, set_by_wine_at_start);
    return entries;
}

std::vector<std::wstring> wines_own(std::vector<std::wstring> entries) {
    std::erase_if(entries, [](const std::wstring& entry) { return !set_by_wine_at_start(entry); });
    std::sort(entries.begin(), entries.end());
    return entries;
}

TEST(Launcher, AGoodInstallationRunsTheCompanionFromItsFolderWithNothingWritten) {
    Sandbox sandbox;
    install(sandbox);
    const RunResult run = run_launcher(sandbox, {.input = "hello"});
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.error, "");
    EXPECT_EQ(run.output, "hello");
    ASSERT_TRUE(run.report);
    EXPECT_EQ(run.report->cwd, sandbox.version("1.4.0").wstring());
    EXPECT_EQ(run.report->command_line, L"\"" + (sandbox.version("1.4.0") / "lumenframe-mcp.exe").wstring() + L"\"");
    EXPECT_EQ(run.report->allowed_roots, final_path_of(sandbox.work()));
}

TEST(Launcher, TheCompanionGetsTheLaunchersEnvironmentWithOnlyTheRootsChanged) {
    Sandbox sandbox;
    install(sandbox);
    // A stale value in another case is replaced; "lumenframe_a" sorts before
    // the new variable only when case is ignored, as Windows orders names.
    const RunOptions options{.environment = {{L"KOVA_TEST_MARKER", L"caf\u00e9 \xD83D\xDE00"},
                                             {L"lumenframe_allowed_roots", L"stale value"},
                                             {L"lumenframe_a", L"before"},
                                             {L"LUMENFRAME_B", L"after"}}};
    const RunResult run = run_launcher(sandbox, options);
    ASSERT_TRUE(run.report);
    std::vector<std::wstring> expected;
    for (const std::wstring& entry : environment_entries(sandbox, options)) {
        if (!names_variable(entry, L"LUMENFRAME_ALLOWED_ROOTS")) expected.push_back(entry);
    }
    expected.push_back(L"LUMENFRAME_ALLOWED_ROOTS=" + final_path_of(sandbox.work()));
    sort_environment(expected);
    EXPECT_EQ(without_wines_own(run.report->environment), without_wines_own(expected));
    EXPECT_EQ(wines_own(run.report->environment), wines_own(expected));

}

// The companion inherits the three standard streams and nothing else, not a
// handle the MCP host leaked into the launcher. The probe itself can see an
// inherited handle: the test companion started directly, inheriting all,
// finds it.
TEST(Launcher, OnlyTheStandardStreamsPassToTheCompanion) {
    Sandbox sandbox;
    install(sandbox);
    const RunResult direct = run_launcher(sandbox, {.arguments = L"", .program = test_companion_path(), .leak_probe_handle = true});
    ASSERT_TRUE(direct.report);
    ASSERT_EQ(direct.report->probe, L"present") << "the probe does not see an inherited handle";
    const RunResult run = run_launcher(sandbox, {.leak_probe_handle = true});
    expect_companion_ran(run);
    ASSERT_TRUE(run.report);
    EXPECT_EQ(run.report->probe, L"absent");
}

TEST(Launcher, AnythingButExactlyTheCommandWordGetsTheUsageLine) {
    Sandbox sandbox;
    install(sandbox);
    const std::wstring cases[] = {
        L"", L"Lumenframe", L"LUMENFRAME", L"\"lumenframe \"", L"lumenframes", L"lumenfram", L"lumenframe x",
        L"lumenframe \"\"", L"\"\" lumenframe", L"lumen\xD800" L"frame", L"\"\"",
    };
    for (const std::wstring& arguments : cases) {
        const RunResult run = run_launcher(sandbox, {.arguments = arguments});
        EXPECT_EQ(run.exit_code, 2u) << arguments;
        EXPECT_EQ(run.error, kUsage);
        EXPECT_EQ(run.output, "");
        EXPECT_FALSE(run.report);
    }
}

TEST(Launcher, TheUsageCheckComesBeforeAnythingIsRead) {
    Sandbox sandbox;
    const RunResult run = run_launcher(sandbox, {.arguments = L"", .local_app_data = std::wstring(kUnset)});
    EXPECT_EQ(run.exit_code, 2u);
    EXPECT_EQ(run.error, kUsage);
}

TEST(Launcher, QuotesAndTrailingBlanksAroundTheCommandWordAreFine) {
    Sandbox sandbox;
    install(sandbox);
    for (const std::wstring arguments : {L"\"lumenframe\"", L"lumenframe   \t", L"  lumenframe"}) {
        expect_companion_ran(run_launcher(sandbox, {.arguments = arguments}));
    }
}

TEST(Launcher, TheUsageLineNamesKovaMcpWhateverTheFileIsCalled) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path renamed = sandbox.io() / "other-name.exe";
    tree::copy(launcher_path(), renamed);
    const RunResult usage = run_launcher(sandbox, {.arguments = L"", .program = renamed.wstring()});
    EXPECT_EQ(usage.exit_code, 2u);
    EXPECT_EQ(usage.error, kUsage);
    // The program name is never examined, not even for valid UTF-16.
    expect_companion_ran(run_launcher(sandbox, {.program_word = L"odd\xD800name.exe"}));
}

TEST(Launcher, EndsWithAllThirtyTwoBitsOfTheCompanionsExitCode) {
    Sandbox sandbox;
    install(sandbox);
    for (const std::uint32_t code : {0u, 1u, 2u, 0xC0000005u, 0xFFFFFFFFu, 0x100u}) {
        const RunResult run = run_launcher(sandbox, {.companion_exit_code = code});
        EXPECT_EQ(run.exit_code, code);
        EXPECT_EQ(run.error, "");
        EXPECT_TRUE(run.report);
    }
}

TEST(Launcher, ABrokenInstallationIsReportedBeforeTheSettings) {
    Sandbox sandbox;
    tree::write(sandbox.tessarine() / "mcp-settings.json", "not json");
    expect_refusal(run_launcher(sandbox), "Install Lumenframe in KOVA Hub first.");
}

TEST(Launcher, WithoutStandardErrorTheFailureIsSilentAndTheCodeUnchanged) {
    Sandbox sandbox;
    const RunResult failed = run_launcher(sandbox, {.without_standard_error = true});
    EXPECT_EQ(failed.exit_code, 1u);
    EXPECT_EQ(failed.error, "");
    const RunResult usage = run_launcher(sandbox, {.arguments = L"x", .without_standard_error = true});
    EXPECT_EQ(usage.exit_code, 2u);
    install(sandbox);
    const RunResult run = run_launcher(sandbox, {.companion_exit_code = 7, .without_standard_error = true});
    EXPECT_EQ(run.exit_code, 7u);
}

TEST(Launcher, ABrokenStandardErrorNeitherHangsNorChangesTheExitCode) {
    Sandbox sandbox;
    const RunResult failed = run_launcher(sandbox, {.error_reader_gone = true});
    EXPECT_EQ(failed.exit_code, 1u);
    const RunResult usage = run_launcher(sandbox, {.arguments = L"", .error_reader_gone = true});
    EXPECT_EQ(usage.exit_code, 2u);
}

TEST(Launcher, BinaryStreamsPassThroughBothWaysUnchanged) {
    Sandbox sandbox;
    install(sandbox);
    std::mt19937 random(20261207);
    std::string input(3 * 1024 * 1024 + 17, '\0');
    for (char& c : input) c = static_cast<char>(random());
    input.replace(0, 6, "\r\n\x1A\n\r\0", 6);  // no text-mode translation anywhere
    const RunResult run = run_launcher(sandbox, {.input = input, .through_pipes = true});
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.error, "");
    EXPECT_EQ(run.output.size(), input.size());
    EXPECT_TRUE(run.output == input) << "the stream was altered";
}

TEST(Launcher, NoOpensslConfigurationIsEverRead) {
    // Loaded, this configuration makes every SHA-256 fetch fail (there is no
    // FIPS provider), so any verification would fail; the openssl-config
    // tests show that it does when loaded.
    Sandbox sandbox;
    install(sandbox);
    const fs::path config = sandbox.io() / "openssl.cnf";
    tree::write(config, "openssl_conf = openssl_init\n[openssl_init]\nalg_section = evp\n[evp]\ndefault_properties = fips=yes\n");
    expect_companion_ran(run_launcher(sandbox, {.environment = {{L"OPENSSL_CONF", config.wstring()}}}));
}

// Wine hands a child NULL for a standard handle value that names nothing,
// where Windows passes the value on as it stands; so the launcher cannot be
// given such a handle under Wine, and this runs its start directly, in this
// process, with a standard input that cannot be made inheritable.
TEST(CompanionStart, AStandardHandleThatCannotBePassedOnFailsTheStart) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    ASSERT_TRUE(SetStdHandle(STD_INPUT_HANDLE, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7770))));
    const std::optional<std::uint32_t> exit_code = run_companion(test_companion_path(), L"\\\\?\\C:\\");
    SetStdHandle(STD_INPUT_HANDLE, input);
    EXPECT_FALSE(exit_code.has_value()) << "the companion ran with exit code " << exit_code.value_or(0);
}

std::wstring version_value(const std::vector<std::byte>& info, const std::wstring& name) {
    wchar_t* text = nullptr;
    UINT length = 0;
    const std::wstring key = L"\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&text), &length) || length == 0) return L"";
    return std::wstring(text, length - 1);
}

TEST(Launcher, TheExecutableSaysWhatItIsAndCarriesItsManifest) {
    const std::wstring exe = launcher_path();
    DWORD ignored = 0;
    std::vector<std::byte> info(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    EXPECT_EQ(version_value(info, L"ProductName"), L"kova-mcp");
    EXPECT_EQ(version_value(info, L"OriginalFilename"), L"kova-mcp.exe");
    EXPECT_EQ(version_value(info, L"ProductVersion"), widen(KOVA_VERSION));
    EXPECT_EQ(version_value(info, L"FileVersion"), widen(KOVA_VERSION));
    EXPECT_EQ(version_value(info, L"CompanyName"), L"Tessarine");
    // The tests run a build that trusts the test key, and it says so.
    EXPECT_TRUE(version_value(info, L"FileDescription").ends_with(L" (test key)")) << version_value(info, L"FileDescription");

    const HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(resource, nullptr);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, resource))),
                               SizeofResource(module, resource));
    FreeLibrary(module);
    for (const char* part : {R"(level="asInvoker")", R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)",
                             R"(<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>)"}) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
}

TEST(Launcher, ACompanionThatCannotStartIsReported) {
    Sandbox sandbox;
    install(sandbox);
    // A file of the right size and digest that is no program: it passes every
    // check and then fails to start.
    tree::write(sandbox.version("1.4.0") / "lumenframe-mcp.exe", "this is not a Windows program");
    sign_folder(sandbox.version("1.4.0"), "1.4.0");
    expect_refusal(run_launcher(sandbox), "Lumenframe MCP could not start. Repair it in KOVA Hub.");
}

}  // namespace
}  // namespace kova::e2e
