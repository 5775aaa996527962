#include <gtest/gtest.h>

#include "harness.h"
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
    write_file(folder_of(sandbox) / "THIRD_PARTY_NOTICES.txt", "notices\n");
    write_file(folder_of(sandbox) / "AI_MODELS.zip", std::string(1 << 20, '\x5A'));
    sign_folder(folder_of(sandbox), "1.4.0");
    expect_companion_ran(run_launcher(sandbox));
}

TEST(Folder, WhiteSpaceAroundTheRecordIsTrimmedButAByteOrderMarkIsNot) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path manifest = folder_of(sandbox) / "manifest.txt";
    const std::string record = read_file(manifest).substr(0, read_file(manifest).find('\n'));
    for (const std::string& text : {record, record + "\r\n", "\n\n  " + record + " \t\n\n", "\xC2\xA0" + record + "\xE3\x80\x80"}) {
        write_file(manifest, text);
        expect_companion_ran(run_launcher(sandbox));
    }
    write_file(manifest, "\xEF\xBB\xBF" + record);
    expect_refusal(run_launcher(sandbox), "Unsupported release manifest.");
}

TEST(Folder, AMissingOrNonUtf8RecordIsMissing) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path manifest = folder_of(sandbox) / "manifest.txt";
    const std::string record = read_file(manifest);
    write_file(manifest, record + "\xFF");
    expect_refusal(run_launcher(sandbox), kRecordMissing);
    fs::remove(manifest);
    expect_refusal(run_launcher(sandbox), kRecordMissing);
    fs::create_directory(manifest);
    expect_refusal(run_launcher(sandbox), kRecordMissing);
}

TEST(Folder, ARecordMustBeSignedByTheBuiltInKey) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path manifest = folder_of(sandbox) / "manifest.txt";
    std::string record = read_file(manifest);
    record[10] = record[10] == 'A' ? 'B' : 'A';
    write_file(manifest, record);
    expect_refusal(run_launcher(sandbox), "Release signature did not verify.");
}

TEST(Folder, ARecordSignedForAnotherVersionDoesNotMatch) {
    Sandbox sandbox;
    install(sandbox);
    sign_folder(folder_of(sandbox), "1.3.9");
    expect_refusal(run_launcher(sandbox), "Installed release version does not match its signature.");
    sign_folder(folder_of(sandbox), "1.4.0-RC");
    write_file(sandbox.app() / "current.json", R"({"current":"1.4.0-rc"})");
    fs::rename(folder_of(sandbox), sandbox.version("1.4.0-rc"));
    expect_refusal(run_launcher(sandbox), "Installed release version does not match its signature.");
}

TEST(Folder, EveryListedFileMustBeThereAsAFileOfItsSizeAndDigest) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path app = folder_of(sandbox) / "lumenframe.exe";
    const std::string original = read_file(app);

    fs::remove(app);
    expect_refusal(run_launcher(sandbox), "Installed release file is missing.");

    fs::create_directory(app);
    expect_refusal(run_launcher(sandbox), kChanged);
    fs::remove(app);

    for (const std::string& changed : {original + "x", original.substr(0, original.size() - 1),
                                       std::string(original).replace(3, 1, "#")}) {
        write_file(app, changed);
        expect_refusal(run_launcher(sandbox), kChanged);
    }
    write_file(app, original);
    expect_companion_ran(run_launcher(sandbox));
}

TEST(Folder, OnlyTheFirstWrongFileInRecordOrderIsReported) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path app = folder_of(sandbox) / "lumenframe.exe";
    const fs::path companion = folder_of(sandbox) / "lumenframe-mcp.exe";
    const std::string companion_bytes = read_file(companion);
    fs::remove(app);
    write_file(companion, companion_bytes + "!");
    expect_refusal(run_launcher(sandbox), "Installed release file is missing.");
    write_file(app, "MZ changed");
    fs::remove(companion);
    expect_refusal(run_launcher(sandbox), kChanged);
}

TEST(Folder, TheFolderMayHoldNothingElse) {
    Sandbox sandbox;
    install(sandbox);
    const fs::path folder = folder_of(sandbox);
    write_file(folder / "lumenframe-copy.exe", read_file(folder / "lumenframe.exe"));
    expect_refusal(run_launcher(sandbox), kUnexpected);
    fs::remove(folder / "lumenframe-copy.exe");

    fs::create_directory(folder / "empty");
    expect_refusal(run_launcher(sandbox), kUnexpected);
    fs::remove(folder / "empty");

    // An unlisted optional file is as unexpected as any other.
    write_file(folder / "AI_MODELS.zip", "models");
    expect_refusal(run_launcher(sandbox), kUnexpected);
    fs::remove(folder / "AI_MODELS.zip");
    expect_companion_ran(run_launcher(sandbox));
}

TEST(Folder, ANameThatDiffersOnlyInCaseIsFoundButThenRefused) {
    Sandbox sandbox;
    install(sandbox);
    // Written afresh: Wine's MoveFileW keeps the old case on a case-only rename.
    const std::string bytes = read_file(folder_of(sandbox) / "lumenframe.exe");
    fs::remove(folder_of(sandbox) / "lumenframe.exe");
    write_file(folder_of(sandbox) / "LumenFrame.exe", bytes);
    expect_refusal(run_launcher(sandbox), kUnexpected);
}

// Wine reports a Unix link to a folder with attributes 0x410 and reparse
// tag 0, and a link to a file as a plain file: the name-surrogate rule itself
// is covered beneath the Win32 call; what Wine can show is shown here.
TEST(Folder, AListedFileThatLinksOutOfTheFolderIsRefused) {
    KOVA_NEEDS_WINE("a Unix link made through Wine's Z: drive; WindowsNative.* makes real ones");
    Sandbox sandbox;
    install(sandbox);
    const fs::path folder = folder_of(sandbox);
    const fs::path outside = sandbox.root() / "outside.exe";
    fs::rename(folder / "lumenframe.exe", outside);
    make_unix_symlink(outside, folder / "lumenframe.exe");
    expect_refusal(run_launcher(sandbox), kChanged);
}

TEST(Folder, ALinkedFolderAmongTheEntriesIsUnexpected) {
    KOVA_NEEDS_WINE("a Unix link made through Wine's Z: drive; WindowsNative.* makes real ones");
    Sandbox sandbox;
    install(sandbox);
    fs::create_directories(sandbox.root() / "some-folder");
    make_unix_symlink(sandbox.root() / "some-folder", folder_of(sandbox) / "extra");
    expect_refusal(run_launcher(sandbox), kUnexpected);
}

}  // namespace
}  // namespace kova::e2e
