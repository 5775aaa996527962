#include <gtest/gtest.h>

#include <utility>

#include "bin/kova-mcp/allowed_roots_value.h"

namespace kova {
namespace {

TEST(AllowedRootsValue, JoinsWithSemicolonsAndQuotesOnlyWhereASemicolonIs) {
    const std::pair<std::vector<Path>, std::wstring> cases[] = {
        {{L"\\\\?\\C:\\Work"}, L"\\\\?\\C:\\Work"},
        {{L"\\\\?\\C:\\Work", L"\\\\?\\C:\\Team;Shared"}, L"\\\\?\\C:\\Work;\"\\\\?\\C:\\Team;Shared\""},
        {{L"\\\\?\\C:\\My Work"}, L"\\\\?\\C:\\My Work"},
        {{L"\\\\?\\C:\\A", L"\\\\?\\C:\\A"}, L"\\\\?\\C:\\A;\\\\?\\C:\\A"},
        {{L"\\\\?\\C:\\Caf\u00e9", L"\\\\?\\C:\\\xD83D\xDE00"}, L"\\\\?\\C:\\Caf\u00e9;\\\\?\\C:\\\xD83D\xDE00"},
        {{L"\\\\?\\C:\\odd\xDC00"}, L"\\\\?\\C:\\odd\xDC00"},
        {{L"\\\\?\\UNC\\srv\\share"}, L"\\\\?\\UNC\\srv\\share"},
        {{}, L""},
    };
    for (const auto& [folders, value] : cases) EXPECT_EQ(build_allowed_roots_value(folders), value);
}

TEST(AllowedRootsValue, RefusesAnyDoubleQuoteEvenBesideASemicolon) {
    EXPECT_FALSE(build_allowed_roots_value({L"\\\\?\\C:\\A\"B"}));
    EXPECT_FALSE(build_allowed_roots_value({L"\\\\?\\C:\\Fine", L"\\\\?\\C:\\A;\"B"}));
}

}  // namespace
}  // namespace kova
