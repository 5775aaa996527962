#include <gtest/gtest.h>

#include <utility>

#include "deep_json.h"
#include "exact_text.h"
#include "settings/settings_file.h"

namespace kova {
namespace {

constexpr std::string_view kInvalid = "MCP folder settings are invalid.";
constexpr std::string_view kCount = "Choose 1\xE2\x80\x93" "8 MCP folders.";

TEST(SettingsFile, TheCountMessageSpellsItsDashAsAnEnDash) {
    const Result<Settings> settings = decode_settings(R"({"allowed_roots":[]})");
    ASSERT_FALSE(settings.has_value());
    EXPECT_EQ(settings.error().text(), "Choose 1\u2013" "8 MCP folders.");
    EXPECT_EQ(settings.error().text().size(), 25u);
}

TEST(SettingsFile, AcceptsBothFormsAndKeepsEntriesAsWritten) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {R"({"allowed_roots":["C:\\Work"]})", {"C:\\Work"}},
        {R"({"allowed_roots":["C:\\My Projects"]})", {"C:\\My Projects"}},
        {R"({"theme":{"a":[1,{"b":[]}]},"allowed_roots":["C:\\A","","C:\\A"],"more":[[]]})", {"C:\\A", "", "C:\\A"}},
        {R"([["D:\\Data"]])", {"D:\\Data"}},
        {R"({"allowed_roots":["1","2","3","4","5","6","7","8"]})", {"1", "2", "3", "4", "5", "6", "7", "8"}},
        {"\r\n {\"allowed_roots\":[\"\\u00e9\"]} \t\n", {"\xC3\xA9"}},
        {R"({"n":-1e309,"allowed_roots":["C:\\"],"m":[1e400,{"a":0,"a":1}]})", {"C:\\"}},
    };
    for (const auto& [text, roots] : cases) {
        const Result<Settings> settings = decode_settings(testing::ExactText(text).view());
        ASSERT_TRUE(settings.has_value()) << text;
        EXPECT_EQ(settings->allowed_roots, roots) << text;
    }
}

TEST(SettingsFile, AMillionNestedContainersInAnotherMemberAreSkipped) {
    const std::string text = R"({"hub":)" + testing::deeply_nested(testing::kHalfAMillion) + R"(,"allowed_roots":["C:\\"]})";
    const Result<Settings> settings = decode_settings(text);
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->allowed_roots, std::vector<std::string>{"C:\\"});
}

// The count is known without keeping every entry; a bad entry anywhere, even
// far beyond the limit, still makes the file invalid. (Peak memory for such a
// file is measured by scripts/bench.)
TEST(SettingsFile, AHundredMegabyteListIsCountedToItsEnd) {
    constexpr std::size_t kEntries = 25'000'000;
    std::string text = R"({"allowed_roots":[)";
    text.reserve(kEntries * 4 + 32);
    for (std::size_t i = 0; i < kEntries; ++i) text += "\"a\",";
    text.back() = ']';
    text += '}';
    ASSERT_GE(text.size(), 100'000'000u);
    EXPECT_EQ(decode_settings(text).error().text(), kCount);
    text.replace(text.size() - 5, 3, "\"\\ud800\"");
    EXPECT_EQ(decode_settings(text).error().text(), kInvalid);
}

TEST(SettingsFile, RefusesWithTheMessageOfTheFirstBrokenRule) {
    const std::pair<const char*, std::string_view> cases[] = {
        {"", kInvalid},
        {" \n", kInvalid},
        {"\xEF\xBB\xBF{\"allowed_roots\":[\"C:\\\\\"]}", kInvalid},
        {R"({})", kInvalid},
        {R"({"Allowed_Roots":["C:\\"]})", kInvalid},
        {R"({allowed_roots":["C:\\"]})", kInvalid},
        {R"({"allowed_roots":["C:\\)", kInvalid},
        {R"({"allowed_roots":[)", kInvalid},
        {R"({"allowed_roots":)", kInvalid},
        {"{\"allowed_roots\":[\"a\tb\"]}", kInvalid},  // a raw control character
        {R"({"allowed_roots":["C:\\"],"allowed_roots":["C:\\"]})", kInvalid},
        {R"({"allowed_roots":null})", kInvalid},
        {R"({"allowed_roots":"C:\\"})", kInvalid},
        {R"({"allowed_roots":["C:\\",1]})", kInvalid},
        {R"({"allowed_roots":["C:\\",null]})", kInvalid},
        {R"({"allowed_roots":["C:\\"]}x)", kInvalid},
        {R"({"allowed_roots":["C:\\"],})", kInvalid},
        {R"({"allowed_roots":["C:\\",]})", kInvalid},
        {R"([])", kInvalid},
        {R"([["C:\\"],1])", kInvalid},
        {R"(["C:\\"])", kInvalid},
        {R"("C:\\")", kInvalid},
        {"null", kInvalid},
        {"true", kInvalid},
        {"3", kInvalid},
        {R"({"allowed_roots":[],"allowed_roots":[]})", kInvalid},  // invalid wins over the count
        {R"({"allowed_roots":[]})", kCount},
        {R"([[]])", kCount},
        {R"({"allowed_roots":["1","2","3","4","5","6","7","8","9"]})", kCount},
    };
    for (const auto& [text, message] : cases) {
        const Result<Settings> settings = decode_settings(testing::ExactText(text).view());
        ASSERT_FALSE(settings.has_value()) << text;
        EXPECT_EQ(settings.error().text(), message) << text;
    }
}

}  // namespace
}  // namespace kova
