#include <gtest/gtest.h>

#include <utility>

#include "bin/kova-mcp/environment_block.h"

namespace kova {
namespace {

using namespace std::string_literals;

// ASCII case folding stands in for CompareStringOrdinal here; the Windows
// build's tests exercise the real one through the launcher.
std::optional<int> compare_ascii_ignoring_case(std::wstring_view a, std::wstring_view b) {
    const auto fold = [](wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; };
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return fold(a[i]) < fold(b[i]) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

constexpr std::wstring_view kRoots = L"LUMENFRAME_ALLOWED_ROOTS=\\\\?\\C:\\W";

// The block's entries in order; a block that does not end in an empty entry
// (two NULs) is reported as such.
std::vector<std::wstring> entries_of(const std::wstring& block) {
    std::vector<std::wstring> entries;
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = block.find(L'\0', at);
        if (end == std::wstring::npos) return {L"<block not ended by two NULs>"};
        if (end == at) break;
        entries.push_back(block.substr(at, end - at));
        at = end + 1;
    }
    if (at + 1 != block.size()) entries.push_back(L"<text after the end of the block>");
    return entries;
}

std::vector<std::wstring> with_roots(const std::wstring& block) {
    const std::optional<std::wstring> edited =
        environment_with(block, L"LUMENFRAME_ALLOWED_ROOTS", L"\\\\?\\C:\\W", compare_ascii_ignoring_case);
    if (!edited) return {L"<no block>"};
    return entries_of(*edited);
}

using Entries = std::vector<std::wstring>;

TEST(EnvironmentBlock, SetsTheVariableInSortedPlaceAndChangesNothingElse) {
    const std::pair<std::wstring, Entries> cases[] = {
        {L"=C:=C:\\work\0A=1\0PATH=x\0\0"s, {L"=C:=C:\\work", L"A=1", std::wstring(kRoots), L"PATH=x"}},
        {L"A=1\0B=2\0\0"s, {L"A=1", L"B=2", std::wstring(kRoots)}},
        {L"\0"s, {std::wstring(kRoots)}},
        {L""s, {std::wstring(kRoots)}},
    };
    for (const auto& [block, expected] : cases) EXPECT_EQ(with_roots(block), expected) << ::testing::PrintToString(block);
}

TEST(EnvironmentBlock, ReplacesAVariableOfTheSameNameInAnyCase) {
    const std::pair<std::wstring, Entries> cases[] = {
        {L"A=1\0lumenframe_allowed_roots=old\0Z=\0\0"s, {L"A=1", std::wstring(kRoots), L"Z="}},
        {L"LUMENFRAME_ALLOWED_ROOTS=a\0Lumenframe_Allowed_Roots=b\0\0"s, {std::wstring(kRoots)}},
        // A longer name that merely starts with it is another variable.
        {L"LUMENFRAME_ALLOWED_ROOTS_OLD=k\0\0"s, {std::wstring(kRoots), L"LUMENFRAME_ALLOWED_ROOTS_OLD=k"}},
    };
    for (const auto& [block, expected] : cases) EXPECT_EQ(with_roots(block), expected) << ::testing::PrintToString(block);
}

TEST(EnvironmentBlock, AComparisonThatFailsGivesNoBlock) {
    const auto failing = [](std::wstring_view, std::wstring_view) -> std::optional<int> { return std::nullopt; };
    EXPECT_FALSE(environment_with(L"A=1\0\0"s, L"LUMENFRAME_ALLOWED_ROOTS", L"x", failing));
}

}  // namespace
}  // namespace kova
