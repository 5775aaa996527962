#include <gtest/gtest.h>

#include <utility>

#include "core/path.h"

namespace kova {
namespace {

struct AbsoluteCase {
    const wchar_t* path;
    bool absolute;
};

TEST(AbsolutePath, FollowsTheDriveUncDeviceAndExtendedLengthForms) {
    const AbsoluteCase cases[] = {
        {L"C:\\Data\\Local", true},
        {L"C:/Data/Local", true},
        {L"c:\\", true},
        {L"\\\\server\\share\\Data", true},
        {L"\\\\server\\share", true},
        {L"//server/share", true},
        {L"\\\\?\\C:\\Data\\Local", true},
        {L"\\\\?\\", true},
        {L"\\\\?\\UNC\\", true},
        {L"\\\\.\\C:\\Data", true},
        {L"//./C:/Data", true},
        {L"", false},
        {L"Data\\Local", false},
        {L"C:Data", false},
        {L"C:", false},
        {L"\\Data\\Local", false},
        {L"/Data/Local", false},
        {L"\\\\server", false},
        {L"\\\\server\\", false},
        {L"\\\\\\share", false},
        {L"1:\\Data", false},
        {L" C:\\Data", false},
    };
    for (const AbsoluteCase& c : cases) EXPECT_EQ(is_absolute_path(c.path), c.absolute) << c.path;
}

TEST(JoinPath, AddsOneSeparatorUnlessThereIsOne) {
    EXPECT_EQ(join(L"C:\\Data", L"Tessarine"), L"C:\\Data\\Tessarine");
    EXPECT_EQ(join(L"C:\\Data\\", L"Tessarine"), L"C:\\Data\\Tessarine");
    EXPECT_EQ(join(L"C:/Data/", L"Tessarine"), L"C:/Data/Tessarine");
}

struct ComparisonCase {
    const wchar_t* a;
    const wchar_t* b;
    bool same;
    bool a_starts_with_b;
};

TEST(ComponentComparison, ComparesNamesExactlyAndDrivesWithoutCase) {
    const ComparisonCase cases[] = {
        {L"\\\\?\\C:\\Apps\\L", L"\\\\?\\C:\\Apps\\L", true, true},
        {L"\\\\?\\c:\\Apps\\L", L"\\\\?\\C:\\Apps\\L", true, true},
        {L"\\\\?\\C:\\Apps\\L\\", L"\\\\?\\C:\\Apps\\L", true, true},
        {L"\\\\?\\C:\\Apps\\.\\L", L"\\\\?\\C:\\Apps\\\\L", true, true},
        {L"\\\\?\\C:/Apps/L", L"\\\\?\\C:\\Apps\\L", true, true},
        {L"\\\\?\\C:\\apps\\L", L"\\\\?\\C:\\Apps\\L", false, false},
        {L"\\\\?\\C:\\Apps\\L\\versions\\1.0", L"\\\\?\\C:\\Apps\\L", false, true},
        {L"\\\\?\\C:\\Apps\\Lumenframe2", L"\\\\?\\C:\\Apps\\Lumenframe", false, false},
        {L"\\\\?\\C:\\Apps", L"\\\\?\\C:\\Apps\\L", false, false},
        {L"\\\\?\\D:\\Apps\\L\\v", L"\\\\?\\C:\\Apps\\L", false, false},
        {L"C:\\Apps\\L\\v", L"\\\\?\\C:\\Apps\\L", false, false},
        {L"\\\\?\\UNC\\srv\\share\\L\\v", L"\\\\?\\UNC\\srv\\share\\L", false, true},
        {L"\\\\?\\UNC\\srv\\other\\L\\v", L"\\\\?\\UNC\\srv\\share\\L", false, false},
        {L"\\\\?\\UNC\\SRV\\share\\L", L"\\\\?\\UNC\\srv\\share\\L", false, false},
        {L"\\\\?\\C:\\Apps\\L\\..\\x", L"\\\\?\\C:\\Apps\\L", false, true},
        {L"C:\\Apps\\x", L"C:xApps\\x", false, false},  // a drive path's root is its separator
        {L"C:xApps\\x", L"C:\\Apps\\x", false, false},
        {L"\\\\?\\UNC\\", L"\\\\?\\UNC", false, false},  // an empty server and share
        {L"\\\\?\\UNC\\srv\\share", L"\\\\?\\UNC\\", false, false},
        {L"\\\\?\\UNC\\", L"\\\\?\\UNC\\", true, true},
    };
    for (const ComparisonCase& c : cases) {
        EXPECT_EQ(same_path(c.a, c.b), c.same) << c.a << L" ~ " << c.b;
        EXPECT_EQ(path_starts_with(c.a, c.b), c.a_starts_with_b) << c.a << L" ~ " << c.b;
    }
}

TEST(FolderOf, DropsTheLastComponent) {
    EXPECT_EQ(folder_of(L"C:\\A\\versions\\1.0\\lumenframe-mcp.exe"), L"C:\\A\\versions\\1.0");
    EXPECT_EQ(folder_of(L"\\\\?\\C:\\v\\lumenframe-mcp.exe"), L"\\\\?\\C:\\v");
    EXPECT_EQ(folder_of(L"C:\\lumenframe-mcp.exe"), L"C:\\");
}

TEST(WithoutExtendedPrefix, GivesThePlainFormOfDriveAndUncPathsOnly) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"\\\\?\\C:\\Users\\ana", L"C:\\Users\\ana"},
        {L"\\\\?\\UNC\\server\\share\\x", L"\\\\server\\share\\x"},
        {L"\\\\?\\Volume{0b}\\x", L"\\\\?\\Volume{0b}\\x"},
        {L"\\\\?\\C:", L"\\\\?\\C:"},
        {L"\\\\?\\C:/x", L"\\\\?\\C:/x"},
        {L"C:\\plain", L"C:\\plain"},
    };
    for (const auto& [path, plain] : cases) EXPECT_EQ(without_extended_prefix(path), plain) << path;
}

}  // namespace
}  // namespace kova

namespace kova {
namespace {

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
TEST(InvariantViolation, EndsTheProcessWithCode101AndADiagnostic) {
    EXPECT_EXIT((void)folder_of(L"lumenframe-mcp.exe"), ::testing::ExitedWithCode(101),
                "kova-mcp: internal error: a file path without a folder");
}
#endif

}  // namespace
}  // namespace kova
