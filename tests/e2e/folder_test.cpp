#include <gtest/gtest.h>

#include "harness.h"
#include "link_cases.h"
#include "test_keys.h"

namespace kova::e2e {
namespace {

constexpr std::string_view kChanged = "Installed Lumenframe files changed. Repair the app in KOVA Hub.";
constexpr std::string_view kUnexpected = "Installed Lumenframe folder contains an unexpected file. Repair the app in KOVA Hub.";
constexpr std::string_view kRecordMissing = "Installed release record is missing. Repair Lumenframe in KOVA Hub.";

fs::path folder_of(const Sandbox& sandbox) { return sandbox.version("1.4.0"); }

TEST(Folder, AllFourReleaseFilesPass) {
    Sandbox sandbox;
    install(sandbox);
    tree::write(folder_of(sandbox) / "THIRD_PARTY_NOTICES.txt", "notices\n");
    tree::write(folder_of(sandbox) / "AI_MODELS.zip", std::string(1 << 20, '\x5A'));
    sign_folder(folder_of(sandbox), "1.4.0");
    expect_companion_ran(run_launcher(sandbox));
}

TEST(Folder, WhiteSpaceAroundTheRecordIsTrimmedButAByteOrderMarkIsNot) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path manifest = folder_of(sandbox) / "manifest.txt";
    const std::string record = tree::read(manifest).substr(0, tree::read(manifest).find('\n'));
    for (const std::string& text : {record, record + "\r\n", "\n\n  " + record + " \t\n\n", "\xC2\xA0" + record + "\xE3\x80\x80"}) {
        tree::write(manifest, text);
        expect_companion_ran(run_launcher(sandbox));
    }
    tree::write(manifest, "\xEF\xBB\xBF" + record);
    expect_refusal(run_launcher(sandbox), "Unsupported release manifest.");
}

TEST(Folder, AMissingOrNonUtf8RecordIsMissing) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path manifest = folder_of(sandbox) / "manifest.txt";
    const std::string record = tree::read(manifest);
    tree::write(manifest, record + "\xFF");
    expect_refusal(run_launcher(sandbox), kRecordMissing);
    tree::remove(manifest);
    expect_refusal(run_launcher(sandbox), kRecordMissing);
    tree::make_folders(manifest);
    expect_refusal(run_launcher(sandbox), kRecordMissing);
}

TEST(Folder, ARecordMustBeSignedByTheBuiltInKey) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path manifest = folder_of(sandbox) / "manifest.txt";
    std::string record = tree::read(manifest);
    record[10] = record[10] == 'A' ? 'B' : 'A';
    tree::write(manifest, record);
    expect_refusal(run_launcher(sandbox), "Release signature did not verify.");
}

TEST(Folder, ARecordSignedForAnotherVersionDoesNotMatch) {
    Sandbox sandbox;
    install(sandbox);
    sign_folder(folder_of(sandbox), "1.3.9");
    expect_refusal(run_launcher(sandbox), "Installed release version does not match its signature.");
    sign_folder(folder_of(sandbox), "1.4.0-RC");
    tree::write(sandbox.app() / "current.json", R"({"current":"1.4.0-rc"})");
    tree::move(folder_of(sandbox), sandbox.version("1.4.0-rc"));
    expect_refusal(run_launcher(sandbox), "Installed release version does not match its signature.");
}

TEST(Folder, EveryListedFileMustBeThereAsAFileOfItsSizeAndDigest) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path app = folder_of(sandbox) / "lumenframe.exe";
    const std::string original = tree::read(app);

    tree::remove(app);
    expect_refusal(run_launcher(sandbox), "Installed release file is missing.");

    tree::make_folders(app);
    expect_refusal(run_launcher(sandbox), kChanged);
    tree::remove(app);

    for (const std::string& changed : {original + "x", original.substr(0, original.size() - 1),
                                       std::string(original).replace(3, 1, "#")}) {
        tree::write(app, changed);
        expect_refusal(run_launcher(sandbox), kChanged);
    }
    tree::write(app, original);
    expect_companion_ran(run_launcher(sandbox));
}

TEST(Folder, OnlyTheFirstWrongFileInRecordOrderIsReported) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path app = folder_of(sandbox) / "lumenframe.exe";
    const fs::path companion = folder_of(sandbox) / "lumenframe-mcp.exe";
    const std::string companion_bytes = tree::read(companion);
    tree::remove(app);
    tree::write(companion, companion_bytes + "!");
    expect_refusal(run_launcher(sandbox), "Installed release file is missing.");
    tree::write(app, "MZ changed");
    tree::remove(companion);
    expect_refusal(run_launcher(sandbox), kChanged);
}

TEST(Folder, TheFolderMayHoldNothingElse) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path folder = folder_of(sandbox);
    tree::write(folder / "lumenframe-copy.exe", tree::read(folder / "lumenframe.exe"));
    expect_refusal(run_launcher(sandbox), kUnexpected);
    tree::remove(folder / "lumenframe-copy.exe");

    tree::make_folders(folder / "empty");
    expect_refusal(run_launcher(sandbox), kUnexpected);
    tree::remove(folder / "empty");

    // An unlisted optional file is as unexpected as any other.
    tree::write(folder / "AI_MODELS.zip", "models");
    expect_refusal(run_launcher(sandbox), kUnexpected);
    tree::remove(folder / "AI_MODELS.zip");
    expect_companion_ran(run_launcher(sandbox));
}

TEST(Folder, ANameThatDiffersOnlyInCaseIsFoundButThenRefused) {
    Sandbox sandbox;
    install(sandbox);
    // Written afresh: Wine's MoveFileW keeps the old case on a case-only rename.
    const std::string bytes = tree::read(folder_of(sandbox) / "lumenframe.exe");
    tree::remove(folder_of(sandbox) / "lumenframe.exe");
    tree::write(folder_of(sandbox) / "LumenFrame.exe", bytes);
    expect_refusal(run_launcher(sandbox), kUnexpected);
}

// Wine reports a Unix link to a folder with attributes 0x410 and reparse
// tag 0, and a link to a file as a plain file: the name-surrogate rule itself
// is covered beneath the Win32 call; what Wine can show is shown here.
TEST(UnixLink, AListedFileThatLinksOutOfTheFolderIsRefused) {
    KOVA_NEEDS_WINE("a Unix link made through Wine's Z: drive; its WindowsNative counterpart makes a real one");
    Sandbox sandbox;
    install(sandbox);
    ASSERT_NO_FATAL_FAILURE(link_the_app_out_of_its_folder(sandbox, make_unix_symlink));
    expect_refusal(run_launcher(sandbox), kChanged);
}

TEST(UnixLink, ALinkedFolderAmongTheEntriesIsUnexpected) {
    KOVA_NEEDS_WINE("a Unix link made through Wine's Z: drive; its WindowsNative counterpart makes a real one");
    Sandbox sandbox;
    install(sandbox);
    tree::make_folders(sandbox.root() / "some-folder");
    make_unix_symlink(sandbox.root() / "some-folder", folder_of(sandbox) / "extra");
    expect_refusal(run_launcher(sandbox), kUnexpected);
}

}  // namespace
}  // namespace kova::e2e
