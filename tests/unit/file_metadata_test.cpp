#include <gtest/gtest.h>

#include "core/file_metadata.h"

namespace kova {
namespace {

// The rules the launcher applies to what Windows reports. Wine cannot make
// the links and reparse points below, so they are judged here, on the very
// attributes and tags a Windows listing or handle reports.
constexpr std::uint32_t kFile = 0x20;
constexpr std::uint32_t kFolder = 0x10;
constexpr std::uint32_t kReparse = 0x400;
constexpr std::uint32_t kSymlinkTag = 0xA000000C;
constexpr std::uint32_t kJunctionTag = 0xA0000003;
constexpr std::uint32_t kDedupTag = 0x80000013;
constexpr std::uint32_t kCloudTag = 0x9000001A;
constexpr std::uint32_t kCloudTag3 = 0x9000301A;       // a cloud placeholder of another flavour
constexpr std::uint32_t kAppExecLinkTag = 0x8000001B;  // an app execution alias
constexpr std::uint32_t kAfUnixTag = 0x80000023;       // a Unix domain socket
constexpr std::uint32_t kWslSymlinkTag = 0xA000001D;   // a symbolic link made by WSL
constexpr std::uint32_t kWofTag = 0x80000017;          // a file compressed by the overlay filter

struct Case {
    const char* what;
    FileMetadata metadata;
    bool link;
    bool plain_file_entry;  // may stand in a version folder
    bool plain_folder;      // may be handed to the companion
};

TEST(FileMetadata, LinksAreTheReparsePointsWithTheNameSurrogateBit) {
    const Case cases[] = {
        {"plain file", {kFile, 0, 1}, false, true, false},
        {"plain folder", {kFolder, 0, 0}, false, false, true},
        {"file symbolic link", {kFile | kReparse, kSymlinkTag, 0}, true, false, false},
        {"folder symbolic link", {kFolder | kReparse, kSymlinkTag, 0}, true, false, false},
        {"junction", {kFolder | kReparse, kJunctionTag, 0}, true, false, false},
        {"deduplicated file", {kFile | kReparse, kDedupTag, 5}, false, true, false},
        {"cloud file", {kFile | kReparse, kCloudTag, 5}, false, true, false},
        {"cloud folder", {kFolder | kReparse, kCloudTag, 0}, false, false, true},
        {"cloud file of another flavour", {kFile | kReparse, kCloudTag3, 5}, false, true, false},
        // Today's verdicts on tags without the name-surrogate bit: judged by
        // their content, like any file, and listed files by their digest.
        {"app execution alias", {kFile | kReparse, kAppExecLinkTag, 0}, false, true, false},
        {"Unix domain socket", {kFile | kReparse, kAfUnixTag, 0}, false, true, false},
        {"WOF-compressed file", {kFile | kReparse, kWofTag, 5}, false, true, false},
        {"WSL symbolic link", {kFile | kReparse, kWslSymlinkTag, 0}, true, false, false},
        {"a tag without the reparse attribute counts for nothing", {kFile, kSymlinkTag, 1}, false, true, false},
        {"Wine's view of a Unix folder link", {kFolder | kReparse, 0, 0}, false, false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(is_name_surrogate_link(c.metadata), c.link) << c.what;
        EXPECT_EQ(is_plain_file_entry(c.metadata), c.plain_file_entry) << c.what;
        EXPECT_EQ(is_plain_folder(c.metadata), c.plain_folder) << c.what;
    }
}

}  // namespace
}  // namespace kova
