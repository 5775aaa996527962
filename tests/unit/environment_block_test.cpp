#include <gtest/gtest.h>

#include "bin/kova-mcp/environment_block.h"

namespace kova {
namespace {

using namespace std::string_literals;

// ASCII case folding stands in for CompareStringOrdinal here; the Windows
// build's tests exercise the real one through the launcher.
int compare_ascii_ignoring_case(std::wstring_view a, std::wstring_view b) {
    const auto fold = [](wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; };
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return fold(a[i]) < fold(b[i]) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::wstring with_roots(const std::wstring& block) {
    return environment_with(block, L"LUMENFRAME_ALLOWED_ROOTS", L"\\\\?\\C:\\W", compare_ascii_ignoring_case);
}

TEST(EnvironmentBlock, SetsTheVariableInSortedPlaceAndChangesNothingElse) {
    EXPECT_EQ(with_roots(L"=C:=C:\\work\0A=1\0PATH=x\0\0"s),
              L"=C:=C:\\work\0A=1\0LUMENFRAME_ALLOWED_ROOTS=\\\\?\\C:\\W\0PATH=x\0\0"s);
    EXPECT_EQ(with_roots(L"A=1\0B=2\0\0"s), L"A=1\0B=2\0LUMENFRAME_ALLOWED_ROOTS=\\\\?\\C:\\W\0\0"s);
    EXPECT_EQ(with_roots(L"\0"s), L"LUMENFRAME_ALLOWED_ROOTS=\\\\?\\C:\\W\0\0"s);
    EXPECT_EQ(with_roots(L""s), L"LUMENFRAME_ALLOWED_ROOTS=\\\\?\\C:\\W\0\0"s);
}

TEST(EnvironmentBlock, ReplacesAVariableOfTheSameNameInAnyCase) {
    EXPECT_EQ(with_roots(L"A=1\0lumenframe_allowed_roots=old\0Z=\0\0"s),
              L"A=1\0LUMENFRAME_ALLOWED_ROOTS=\\\\?\\C:\\W\0Z=\0\0"s);
    EXPECT_EQ(with_roots(L"LUMENFRAME_ALLOWED_ROOTS=a\0Lumenframe_Allowed_Roots=b\0\0"s),
              L"LUMENFRAME_ALLOWED_ROOTS=\\\\?\\C:\\W\0\0"s);
    // A longer name that merely starts with it is another variable.
    EXPECT_EQ(with_roots(L"LUMENFRAME_ALLOWED_ROOTS_OLD=k\0\0"s),
              L"LUMENFRAME_ALLOWED_ROOTS=\\\\?\\C:\\W\0LUMENFRAME_ALLOWED_ROOTS_OLD=k\0\0"s);
}

}  // namespace
}  // namespace kova
