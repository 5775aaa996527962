// The check behind every end-to-end test, that the launcher changed nothing
// it reads, is only as good as the walk that sees the tree: every entry,
// however deep, with its bytes.
#include <windows.h>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "harness.h"

namespace kova::e2e {
namespace {

TEST(TestTree, TheSnapshotSeesEveryFileWithItsBytesHoweverDeep) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path deep_file = deep_folder(sandbox.root() / "deep", 300) / "data.bin";
    tree::write(deep_file, "0123456789");
    const std::string deep_name = utf8(deep_file).substr(utf8(sandbox.root()).size() + 1);
    ASSERT_GT(utf8(deep_file).size(), 300u);

    const tree::Snapshot before = tree::snapshot(sandbox.root());
    const std::string manifest = "Local\\Tessarine\\Apps\\Lumenframe\\versions\\1.4.0\\manifest.txt";
    ASSERT_TRUE(before.contains(manifest));
    EXPECT_TRUE(before.at(manifest).starts_with("nrel1.")) << before.at(manifest);
    EXPECT_EQ(before.at(manifest), tree::read(sandbox.version("1.4.0") / "manifest.txt"));
    EXPECT_EQ(before.at("Local\\Tessarine\\Apps\\Lumenframe\\versions"), "<folder>");
    ASSERT_TRUE(before.contains(deep_name));
    EXPECT_EQ(before.at(deep_name), "0123456789");

    tree::write(deep_file, "01234x6789");
    EXPECT_EQ(tree::changed_entries(before, tree::snapshot(sandbox.root())), deep_name + " ");
}

// The messages of the failures the snapshot of `root` reports.
std::vector<std::string> snapshot_failures(const fs::path& root, tree::Snapshot& seen) {
    testing::TestPartResultArray failures;
    {
        const testing::ScopedFakeTestPartResultReporter reporter(&failures);
        seen = tree::snapshot(root);
    }
    std::vector<std::string> messages;
    for (int i = 0; i < failures.size(); ++i) {
        std::string message = failures.GetTestPartResult(i).message();
        if (message.starts_with("Failed\n")) message.erase(0, 7);  // what ADD_FAILURE() puts first
        messages.push_back(message);
    }
    return messages;
}

// No folder can be denied to root under Wine's usual prefix: the failures
// are planted where the walk asks for its listing.
TEST(TestTree, AListingThatCannotStartOrStopsEarlyFailsTheTest) {
    Sandbox sandbox;
    install(sandbox);
    const struct {
        tree::ListingCall call;
        DWORD error;
        std::string_view says;
    } cases[] = {
        {tree::ListingCall::open, ERROR_ACCESS_DENIED, "the snapshot cannot list the folder "},
        {tree::ListingCall::next, ERROR_NETNAME_DELETED, "the snapshot's listing of "},
    };
    for (const auto& c : cases) {
        tree::plant_listing_failure(c.call, c.error);
        tree::Snapshot seen;
        const std::vector<std::string> failures = snapshot_failures(sandbox.root(), seen);
        ASSERT_EQ(failures.size(), 1u) << c.says;
        EXPECT_TRUE(failures[0].starts_with(c.says)) << failures[0];
        EXPECT_TRUE(failures[0].ends_with(": error " + std::to_string(c.error))) << failures[0];
    }
}

}  // namespace

void expect_the_snapshot_to_refuse_a_denied_folder(const DenyListing& deny) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path locked = sandbox.root() / "locked";
    tree::write(locked / "inside.txt", "unseen");
    const std::shared_ptr<void> denied = deny(locked);
    if (testing::Test::HasFatalFailure()) return;
    tree::Snapshot seen;
    const std::vector<std::string> failures = snapshot_failures(sandbox.root(), seen);
    ASSERT_EQ(failures.size(), 1u) << "an unlistable folder must fail the snapshot once";
    EXPECT_EQ(failures[0], "the snapshot cannot list the folder " + utf8(tree::extended(locked)) + ": error " +
                               std::to_string(ERROR_ACCESS_DENIED));
    const tree::UnlistableOnPurpose on_purpose(locked);
    EXPECT_TRUE(snapshot_failures(sandbox.root(), seen).empty());
    EXPECT_EQ(seen["locked"], "<unlistable>");
}

}  // namespace kova::e2e
