// The check behind every end-to-end test, that the launcher changed nothing
// it reads, is only as good as the walk that sees the tree: every entry,
// however deep, with its bytes.
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

}  // namespace
}  // namespace kova::e2e
