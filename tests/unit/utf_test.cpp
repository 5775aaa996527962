#include <gtest/gtest.h>

#include <utility>

#include "core/utf.h"

namespace kova {
namespace {

TEST(Utf8, RefusesEveryMalformedSequence) {
    const std::pair<std::string, bool> cases[] = {
        {"", true},
        {"plain", true},
        {"\xE2\x80\x93", true},          // U+2013
        {"\xF0\x9F\x98\x80", true},      // U+1F600
        {"\xF4\x8F\xBF\xBF", true},      // U+10FFFF
        {std::string("a\0b", 3), true},  // NUL is valid UTF-8
        {"\x80", false},
        {"\xC0\xAF", false},             // overlong "/"
        {"\xE0\x80\xAF", false},         // overlong
        {"\xED\xA0\x80", false},         // surrogate D800
        {"\xF4\x90\x80\x80", false},     // above U+10FFFF
        {"\xE2\x80", false},             // truncated
        {"\xFF", false},
        {"\xEF\xBB\xBF", true},          // a byte-order mark is a valid character
    };
    for (const auto& [text, valid] : cases) EXPECT_EQ(is_valid_utf8(text), valid) << text;
}

TEST(Utf16, ConvertsBothWaysAndRefusesUnpairedSurrogates) {
    EXPECT_EQ(utf8_to_utf16("Caf\xC3\xA9 \xF0\x9F\x98\x80"), std::wstring(L"Caf\u00e9 \xD83D\xDE00"));
    EXPECT_EQ(utf16_to_utf8(L"Caf\u00e9 \xD83D\xDE00"), std::string("Caf\xC3\xA9 \xF0\x9F\x98\x80"));
    EXPECT_FALSE(utf8_to_utf16("\xED\xA0\x80"));
    EXPECT_FALSE(utf16_to_utf8(L"a\xD800"));
    EXPECT_FALSE(utf16_to_utf8(L"a\xDC00z"));
    EXPECT_FALSE(utf16_to_utf8(L"\xD800\xD800"));
}

}  // namespace
}  // namespace kova
