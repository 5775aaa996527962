#include "link_cases.h"

#include <gtest/gtest.h>

namespace kova::e2e {
namespace {

constexpr std::string_view kChanged = "Installed Lumenframe files changed. Repair the app in KOVA Hub.";

}  // namespace

void link_the_app_out_of_its_folder(const Sandbox& sandbox, const MakeLink& make_link) {
    const fs::path app = sandbox.version("1.4.0") / "lumenframe.exe";
    const fs::path outside = sandbox.root() / "outside.exe";
    tree::move(app, outside);
    make_link(outside, app);
}

void expect_the_release_tool_to_judge_a_link_out_of_the_folder(const MakeLink& make_link, std::string_view sign_problem,
                                                                std::string_view listing_line) {
    Sandbox sandbox;
    install(sandbox);
    ASSERT_NO_FATAL_FAILURE(link_the_app_out_of_its_folder(sandbox, make_link));
    const fs::path folder = sandbox.version("1.4.0");
    const fs::path keys = test_keys_folder();
    const ToolRun signed_run = run_release_tool(
        sandbox, L"sign --key " + quoted(keys / "release-test-key.pem") + L" --version 1.4.0 " + quoted(folder));
    EXPECT_EQ(signed_run.exit_code, 1u);
    EXPECT_EQ(signed_run.error, "kova-make-release: \"" + utf8(folder / "lumenframe.exe") + "\": " + std::string(sign_problem) +
                                    "\r\nkova-make-release: \"" + utf8(folder / "manifest.txt") +
                                    "\": left as it was, from an earlier signing; nothing was signed\r\n");
    const ToolRun verified =
        run_release_tool(sandbox, L"verify --public-key " + quoted(keys / "release-test-key.pub.pem") + L" " + quoted(folder));
    EXPECT_EQ(verified.exit_code, 1u);
    EXPECT_EQ(verified.output, "\"lumenframe.exe\": outside the folder\r\n\"lumenframe-mcp.exe\": ok\r\n" +
                                   std::string(listing_line) + std::string(kChanged) + "\r\n");
    expect_refusal(run_launcher(sandbox), kChanged);
}

void expect_a_version_folder_linked_to_the_app_folder_to_escape(const MakeLink& make_link) {
    Sandbox sandbox;
    install(sandbox);
    ASSERT_NO_FATAL_FAILURE(make_link(sandbox.app(), sandbox.app() / "versions" / "2.0.0"));
    tree::write(sandbox.app() / "current.json", R"({"current":"2.0.0"})");
    expect_refusal(run_launcher(sandbox), "App directory escaped its installation boundary.");
}

void expect_an_app_folder_linked_elsewhere_to_run(const MakeLink& make_link) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path moved = sandbox.root() / "other-place" / "Lumenframe";
    tree::make_folders(moved.parent_path());
    tree::move(sandbox.app(), moved);
    ASSERT_NO_FATAL_FAILURE(make_link(moved, sandbox.app()));
    const RunResult run = run_launcher(sandbox);
    expect_companion_ran(run);
    ASSERT_TRUE(run.report);
    EXPECT_EQ(run.report->cwd, sandbox.version("1.4.0").wstring());
}

}  // namespace kova::e2e
