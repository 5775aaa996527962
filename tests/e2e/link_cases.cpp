#include "link_cases.h"

#include <gtest/gtest.h>

namespace kova::e2e {

void expect_a_version_folder_linked_to_the_app_folder_to_escape(const MakeFolderLink& make_link) {
    Sandbox sandbox;
    install(sandbox);
    ASSERT_NO_FATAL_FAILURE(make_link(sandbox.app(), sandbox.app() / "versions" / "2.0.0"));
    tree::write(sandbox.app() / "current.json", R"({"current":"2.0.0"})");
    expect_refusal(run_launcher(sandbox), "App directory escaped its installation boundary.");
}

void expect_an_app_folder_linked_elsewhere_to_run(const MakeFolderLink& make_link) {
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
