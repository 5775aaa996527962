#include <gtest/gtest.h>

#include <random>
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

// Code points at each boundary of the encodings, with low bits that differ,
// so that a shift or mask off by one shows in both directions.
TEST(Utf16, ConvertsEveryLengthAndBoundaryBothWays) {
    struct Case {
        const char* utf8;
        std::wstring utf16;
    };
    const Case cases[] = {
        {"\x7F", L"\x7F"},
        {"\xC2\x80", L"\x80"},
        {"\xC3\xA8", L"\xE8"},                     // è
        {"\xDF\xBF", L"\x7FF"},
        {"\xE0\xA0\x80", L"\x800"},
        {"\xEF\xBF\xBD", L"\xFFFD"},
        {"\xEF\xBF\xBF", L"\xFFFF"},
        {"\xF0\x90\x80\x80", L"\xD800\xDC00"},   // U+10000
        {"\xF0\x9F\x98\x81", L"\xD83D\xDE01"},   // U+1F601
        {"\xF4\x8F\xBF\xBF", L"\xDBFF\xDFFF"},   // U+10FFFF: the last high surrogate
        {"a\xC3\xA8\xF0\x9F\x98\x81z", L"a\xE8\xD83D\xDE01z"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8_to_utf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(utf16_to_utf8(c.utf16), std::string(c.utf8)) << c.utf8;
    }
    EXPECT_FALSE(utf16_to_utf8(L"\xDBFF"));
    EXPECT_FALSE(utf16_to_utf8(L"\xDBFFz"));
}

TEST(Utf16, RandomValidTextSurvivesTheRoundTrip) {
    std::mt19937 random(20261209);
    std::uniform_int_distribution<std::uint32_t> code_point(1, 0x10FFFF - 0x800);
    for (int text = 0; text < 200; ++text) {
        std::wstring utf16;
        for (int i = 0; i < 64; ++i) {
            std::uint32_t c = code_point(random);
            if (c >= 0xD800) c += 0x800;  // past the surrogates
            if (c < 0x10000) {
                utf16 += static_cast<wchar_t>(c);
            } else {
                utf16 += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
                utf16 += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            }
        }
        const std::optional<std::string> utf8 = utf16_to_utf8(utf16);
        ASSERT_TRUE(utf8.has_value());
        EXPECT_TRUE(is_valid_utf8(*utf8));
        EXPECT_EQ(utf8_to_utf16(*utf8), utf16);
    }
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
