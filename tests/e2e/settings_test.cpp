#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <utility>

#include "harness.h"

namespace kova::e2e {
namespace {

constexpr std::string_view kNoSettings = "Choose the folders agents may access in KOVA Hub first.";
constexpr std::string_view kUnreadable = "MCP folder settings could not be read.";
constexpr std::string_view kInvalid = "MCP folder settings are invalid.";
constexpr std::string_view kCount = "Choose 1\xE2\x80\x93" "8 MCP folders.";
constexpr std::string_view kGone = "An MCP folder no longer exists.";
constexpr std::string_view kNotFolder = "MCP access must point to folders.";

fs::path settings_file(const Sandbox& sandbox) { return sandbox.tessarine() / "mcp-settings.json"; }

std::wstring roots_of(const RunResult& run) {
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.error, "");
    if (!run.report || !run.report->allowed_roots) {
        ADD_FAILURE() << "the companion did not receive LUMENFRAME_ALLOWED_ROOTS";
        return L"";
    }
    return *run.report->allowed_roots;
}

TEST(Settings, TheSettingsFileMustExistAndBeReadable) {
    Sandbox sandbox;
    install(sandbox);
    tree::remove(settings_file(sandbox));
    expect_refusal(run_launcher(sandbox), kNoSettings);
    tree::make_folders(settings_file(sandbox));
    expect_refusal(run_launcher(sandbox), kUnreadable);
    tree::remove(settings_file(sandbox));
    tree::write(settings_file(sandbox), "{\"allowed_roots\":[\"\xC3\x28\"]}");
    expect_refusal(run_launcher(sandbox), kUnreadable);
}

TEST(Settings, TheSettingsFileIsDecodedStrictly) {
    Sandbox sandbox;
    install(sandbox);
    const std::string work = json_string(sandbox.work());
    const std::pair<std::string, std::string_view> cases[] = {
        {"", kInvalid},
        {"\xEF\xBB\xBF{\"allowed_roots\":[" + work + "]}", kInvalid},
        {"{\"allowed_roots\":[" + work + "],\"allowed_roots\":[" + work + "]}", kInvalid},
        {"{\"allowed_roots\":[" + work + ",7]}", kInvalid},
        {"{\"allowed_roots\":[" + work + "]},", kInvalid},
        {"{\"allowed_roots\":[]}", kCount},
        {"{\"allowed_roots\":[" + work + "," + work + "," + work + "," + work + "," + work + "," + work + "," + work + "," + work +
             "," + work + "]}", kCount},
    };
    for (const auto& [text, message] : cases) {
        tree::write(settings_file(sandbox), text);
        expect_refusal(run_launcher(sandbox), message);
    }
}

TEST(Settings, OtherMembersAndThePositionalFormAreAccepted) {
    Sandbox sandbox;
    install(sandbox);
    const std::string work = json_string(sandbox.work());
    for (const std::string& text : {"{\"theme\":{\"a\":[1,{}]},\"allowed_roots\":[" + work + "]}", "[[" + work + "]]"}) {
        tree::write(settings_file(sandbox), text);
        EXPECT_EQ(roots_of(run_launcher(sandbox)), final_path_of(sandbox.work()));
    }
}

TEST(Settings, EachEntryMustBeAnExistingFolder) {
    Sandbox sandbox;
    install(sandbox);
    tree::write(sandbox.root() / "a-file.txt", "x");
    const std::string work = utf8(sandbox.work());
    const std::string missing = utf8(sandbox.root() / "missing");
    const std::string file = utf8(sandbox.root() / "a-file.txt");
    const std::pair<std::vector<std::string>, std::string_view> cases[] = {
        {{missing}, kGone},
        {{work, missing}, kGone},
        {{missing, file}, kGone},  // the first bad entry ends it
        {{""}, kGone},
        {{work + std::string(1, '\0') + "x"}, kGone},
        {{file}, kNotFolder},
        {{work, file}, kNotFolder},
    };
    for (const auto& [roots, message] : cases) {
        write_settings(sandbox, roots);
        expect_refusal(run_launcher(sandbox), message);
    }
    // A device is never handed over as a folder. Which of the two lines it
    // gets depends on what the platform reports of a device's handle (Wine:
    // NUL opens and is no folder, CON has no final path).
    for (const char* device : {"NUL", "CON", "\\\\.\\NUL"}) {
        write_settings(sandbox, {device});
        const RunResult run = run_launcher(sandbox);
        EXPECT_EQ(run.exit_code, 1u) << device;
        EXPECT_TRUE(run.error == line(kGone) || run.error == line(kNotFolder)) << device << ": " << run.error;
        EXPECT_FALSE(run.report.has_value()) << device << " was handed to the companion";
    }
}

TEST(Settings, RelativeEntriesResolveAgainstTheLaunchersOwnDirectory) {
    Sandbox sandbox;
    install(sandbox);
    tree::make_folders(sandbox.root() / "Data");
    // The drive-relative and rooted forms name the same folders through the
    // current directory of the sandbox's drive (Z: under Wine).
    const std::string drive = utf8(sandbox.root().root_name());
    std::string rooted = utf8(sandbox.root() / "Data");
    rooted.erase(0, drive.size());
    write_settings(sandbox, {".", "Data", drive + "Data", rooted});
    const std::wstring data = final_path_of(sandbox.root() / "Data");
    const std::wstring here = final_path_of(sandbox.root());
    EXPECT_EQ(roots_of(run_launcher(sandbox, {.working_directory = sandbox.root()})),
              here + L";" + data + L";" + data + L";" + data);
}

TEST(Settings, OtherSpellingsOfAFolderGiveTheSameFinalPathInFileOrder) {
    Sandbox sandbox;
    install(sandbox);
    std::string forward = utf8(sandbox.work());
    std::replace(forward.begin(), forward.end(), '\\', '/');
    std::string upper = utf8(sandbox.work());
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
    write_settings(sandbox, {forward, upper + "\\", utf8(sandbox.work())});
    const std::wstring work = final_path_of(sandbox.work());
    ASSERT_TRUE(work.starts_with(L"\\\\?\\" + sandbox.root().root_name().wstring() + L"\\"));
    EXPECT_EQ(roots_of(run_launcher(sandbox)), work + L";" + work + L";" + work);
}

TEST(Settings, EightFoldersArriveInFileOrderAndASemicolonFolderQuoted) {
    Sandbox sandbox;
    install(sandbox);
    std::vector<std::string> roots;
    std::wstring expected;
    for (const std::string name : {"h", "g", "Team;Shared", "f", "My Work", "Caf\xC3\xA9", "\xF0\x9F\x98\x80", "a"}) {
        const fs::path folder = sandbox.root() / fs::path(std::u8string(name.begin(), name.end()));
        tree::make_folders(folder);
        roots.push_back(utf8(folder));
        const std::wstring path = final_path_of(folder);
        if (!expected.empty()) expected += L";";
        expected += name == "Team;Shared" ? L"\"" + path + L"\"" : path;
    }
    write_settings(sandbox, roots);
    const std::wstring value = roots_of(run_launcher(sandbox));
    EXPECT_EQ(value, expected);
    EXPECT_NE(value.find(L"\\Caf\u00e9;"), std::wstring::npos);
    EXPECT_NE(value.find(L"\\\xD83D\xDE00;"), std::wstring::npos);
}

TEST(Settings, AnEntrySpelledBeyondTheClassicPathLimitIsOpened) {
    Sandbox sandbox;
    install(sandbox);
    std::string entry = utf8(sandbox.work());
    while (entry.size() < 400) entry += "\\.";
    write_settings(sandbox, {entry});
    EXPECT_EQ(roots_of(run_launcher(sandbox)), final_path_of(sandbox.work()));
}

// Wine follows the Unix link; WindowsNative.* makes real links and junctions.
TEST(UnixLink, ALinkedAllowedFolderGivesTheFolderItLeadsTo) {
    KOVA_NEEDS_WINE("a Unix link made through Wine's Z: drive; its WindowsNative counterpart makes a real one");
    Sandbox sandbox;
    install(sandbox);
    make_unix_symlink(sandbox.work(), sandbox.root() / "shortcut");
    write_settings(sandbox, {utf8(sandbox.root() / "shortcut")});
    EXPECT_EQ(roots_of(run_launcher(sandbox)), final_path_of(sandbox.work()));
}

}  // namespace
}  // namespace kova::e2e
