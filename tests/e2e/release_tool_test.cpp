#include <gtest/gtest.h>

#include "harness.h"
#include "link_cases.h"

// The Windows build of the release tool under Wine, beside the launcher:
// what it signs the launcher accepts, and what it finds wrong the launcher
// refuses with the same line.
namespace kova::e2e {
namespace {

TEST(ReleaseTool, WhatItSignsTheLauncherAcceptsAndWhatItFindsWrongTheLauncherRefuses) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path folder = sandbox.version("1.4.0");
    tree::remove(folder / "manifest.txt");
    const fs::path keys = test_keys_folder();
    const ToolRun signed_run = run_release_tool(
        sandbox, L"sign --key " + quoted(keys / "release-test-key.pem") + L" --version 1.4.0 " + quoted(folder));
    ASSERT_EQ(signed_run.exit_code, 0u) << signed_run.error;
    const std::wstring verify = L"verify --public-key " + quoted(keys / "release-test-key.pub.pem") + L" " + quoted(folder);
    const ToolRun accepted = run_release_tool(sandbox, verify);
    EXPECT_EQ(accepted.exit_code, 0u) << accepted.error;
    EXPECT_EQ(accepted.output, "\"lumenframe.exe\": ok\r\n\"lumenframe-mcp.exe\": ok\r\n");
    expect_companion_ran(run_launcher(sandbox));

    std::string app = tree::read(folder / "lumenframe.exe");
    app[3] ^= 0x01;
    tree::write(folder / "lumenframe.exe", app);
    const ToolRun refused = run_release_tool(sandbox, verify);
    EXPECT_EQ(refused.exit_code, 1u);
    EXPECT_EQ(refused.output,
              "\"lumenframe.exe\": wrong digest\r\n\"lumenframe-mcp.exe\": ok\r\n"
              "Installed Lumenframe files changed. Repair the app in KOVA Hub.\r\n");
    expect_refusal(run_launcher(sandbox), "Installed Lumenframe files changed. Repair the app in KOVA Hub.");
}

// The Windows tool observes the folder through the launcher's own Win32 code:
// a listed file that resolves outside the folder is refused by both alike
// (under Wine a Unix link to a file lists as a plain file, for both).
TEST(UnixLink, TheReleaseToolJudgesALinkOutOfTheFolderAsTheLauncherDoes) {
    KOVA_NEEDS_WINE("a Unix link made through Wine's Z: drive; its WindowsNative counterpart makes a real one");
    expect_the_release_tool_to_judge_a_link_out_of_the_folder(make_unix_symlink, "resolves to a file outside the folder", "");
}

TEST(ReleaseTool, AnArgumentThatIsNotUnicodeGetsOneLine) {
    Sandbox sandbox;
    const ToolRun run = run_release_tool(sandbox, L"sign --key k.pem --version 1.\xD800 x");
    EXPECT_EQ(run.exit_code, 2u);
    EXPECT_EQ(run.error, "kova-make-release: an argument is not Unicode text\r\n");
}

}  // namespace
}  // namespace kova::e2e
