#include <gtest/gtest.h>

#include <utility>

#include "bin/kova-mcp/command_line.h"

namespace kova {
namespace {

TEST(CommandLine, SplitsAsTheMicrosoftRuntimeDoes) {
    const std::pair<const wchar_t*, std::vector<std::wstring>> cases[] = {
        {L"kova-mcp lumenframe", {L"kova-mcp", L"lumenframe"}},
        {L"\"C:\\Program Files\\kova-mcp.exe\" lumenframe", {L"C:\\Program Files\\kova-mcp.exe", L"lumenframe"}},
        {L"C:\\a\\\"b c\"\\kova.exe x", {L"C:\\a\\b c\\kova.exe", L"x"}},  // no escapes in the program name
        {L"p \"lumen frame\"", {L"p", L"lumen frame"}},
        {L"p a\\\\b", {L"p", L"a\\\\b"}},
        {L"p a\\\\\"b c\"", {L"p", L"a\\b c"}},
        {L"p a\\\\\\\"b", {L"p", L"a\\\"b"}},
        {L"p \"a\"\"b\"", {L"p", L"a\"b"}},
        {L"p \"\"", {L"p", L""}},
        {L"p a\tb  ", {L"p", L"a", L"b"}},
        {L"p", {L"p"}},
        {L"", {L""}},
        // The examples the C runtime documents for its argument parsing.
        {L"p \"a b c\" d e", {L"p", L"a b c", L"d", L"e"}},
        {L"p \"ab\\\"c\" \"\\\\\" d", {L"p", L"ab\"c", L"\\", L"d"}},
        {L"p a\\\\\\b d\"e f\"g h", {L"p", L"a\\\\\\b", L"de fg", L"h"}},
        {L"p a\\\\\\\"b c d", {L"p", L"a\\\"b", L"c", L"d"}},
        {L"p a\\\\\\\\\"b c\" d e", {L"p", L"a\\\\b c", L"d", L"e"}},
        {L"p a\"b\"\" c d", {L"p", L"ab\" c d"}},  // since 2008, "" in quotes is a quote and quoting goes on
        // Leading white space ends an empty program name.
        {L" lumenframe", {L"", L"lumenframe"}},
        {L"\tp lumenframe", {L"", L"p", L"lumenframe"}},
    };
    for (const auto& [line, words] : cases) EXPECT_EQ(split_command_line(line), words) << line;
}

TEST(CommandLine, AcceptsExactlyOneArgumentEqualToTheCommandWord) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"kova-mcp lumenframe", true},
        {L"kova-mcp \"lumenframe\"", true},
        {L"kova-mcp lumenframe   \t", true},
        {L"\"any name.exe\" lumenframe", true},
        {L"p\xD800q lumenframe", true},  // an unpaired surrogate in the program name is not looked at
        {L"kova-mcp", false},
        {L"kova-mcp ", false},
        {L"kova-mcp Lumenframe", false},
        {L"kova-mcp LUMENFRAME", false},
        {L"kova-mcp \"lumenframe \"", false},
        {L"kova-mcp lumenframes", false},
        {L"kova-mcp lumenfram", false},
        {L"kova-mcp lumenframe x", false},
        {L"kova-mcp lumenframe \"\"", false},
        {L"kova-mcp lumen\xD800" L"frame", false},
        {L"kova-mcp \"\" lumenframe", false},
    };
    for (const auto& [line, accepted] : cases) EXPECT_EQ(is_lumenframe_command(line), accepted) << line;
}

}  // namespace
}  // namespace kova
