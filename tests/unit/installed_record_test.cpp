#include <gtest/gtest.h>

#include <utility>

#include "deep_json.h"
#include "exact_text.h"
#include "installer/installed_record.h"
#include "installer/version_name.h"

namespace kova {
namespace {

TEST(VersionName, AcceptsOnlyTheSafeSpelling) {
    const std::pair<const char*, bool> cases[] = {
        {"1.4.0", true},
        {"2.0.0-beta.1", true},
        {"1.2.0-rc.1", true},
        {"1.0-A", true},
        {"1.0-Z", true},
        {"1.0-a", true},
        {"1.0-z", true},
        {"1.0-@", false},  // the neighbours of the letter ranges
        {"1.0-[", false},
        {"1.0-`", false},
        {"1.0-{", false},
        {"0", true},
        {"12345678901234567890123456789012", true},
        {"123456789012345678901234567890123", false},
        {"", false},
        {"v1.0", false},
        {".1", false},
        {"-1", false},
        {"1..0", false},
        {"1.0+build", false},
        {"1_0", false},
        {"1/0", false},
        {"1\\0", false},
        {"1:0", false},
        {"1 0", false},
        {"1.0\n", false},
        {"\xD9\xA1.0", false},  // ARABIC-INDIC DIGIT ONE
    };
    for (const auto& [name, valid] : cases) EXPECT_EQ(is_valid_version(name), valid) << name;
}

TEST(InstalledRecord, AcceptsTheObjectAndArrayForms) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"current":"1.4.0"})", nullptr},
        {R"({"current":"1.4.0","previous":null})", nullptr},
        {R"({"current":"1.4.0","previous":"1.3.9"})", "1.3.9"},
        {R"({"other":{"a":[1,{"b":null}]},"current":"1.4.0"})", nullptr},
        {R"({"current":"1.4.0","previous":"9.9.9-not-installed"})", "9.9.9-not-installed"},
        {R"(["1.4.0",null])", nullptr},
        {R"(["1.4.0","1.3.9"])", "1.3.9"},
        {"{\"current\":\"1.4.0\"}\n\n\r\n\t ", nullptr},
        {R"({"current":"\u0031.4.0"})", nullptr},
        // Other members are skipped whatever they hold, in any number, if only well-formed.
        {R"({"current":"1.4.0","x":{"a":1,"a":2},"x":1e400,"y":-1e309})", nullptr},
    };
    for (const auto& [text, previous] : cases) {
        const Result<Installed> installed = decode_installed(text);
        ASSERT_TRUE(installed.has_value()) << text;
        EXPECT_EQ(installed->current, "1.4.0") << text;
        EXPECT_EQ(installed->previous.has_value(), previous != nullptr) << text;
        if (previous != nullptr && installed->previous) {
            EXPECT_EQ(*installed->previous, previous) << text;
        }
    }
}

TEST(InstalledRecord, AMillionNestedContainersInAnotherMemberAreSkipped) {
    const std::string text = R"({"hub":)" + testing::deeply_nested(testing::kHalfAMillion) + R"(,"current":"1.4.0"})";
    const Result<Installed> installed = decode_installed(text);
    ASSERT_TRUE(installed.has_value());
    EXPECT_EQ(installed->current, "1.4.0");
    EXPECT_FALSE(decode_installed(text.substr(0, text.size() - 1)).has_value());
}

TEST(InstalledRecord, RefusesEveryOtherShape) {
    const char* const cases[] = {
        "",
        " ",
        "\xEF\xBB\xBF{\"current\":\"1.4.0\"}",
        R"({"Current":"1.4.0"})",
        R"({"current":"1.4.0","current":"1.4.0"})",
        R"({"current":null})",
        R"({"current":140})",
        R"({"current":"1.4.0","previous":""})",
        R"({xcurrent":"1.4.0"})",
        R"({"current":)",
        R"({"current":"1.4)",
        R"({"current":"1.4.0",)",
        "{",
        "[",
        R"({"current":"1.4.0","previous":5})",
        R"({"current":"v1.4.0"})",
        R"({"current":"1..4"})",
        R"({"current":"1.4.0"} {"current":"1.4.0"})",
        R"({"current":"1.4.0"},)",
        R"({"current":"1.4.0",})",
        R"({"current":"1.4.0"} x)",
        R"(["1.4.0"])",
        R"(["1.4.0",null,null])",
        R"([])",
        R"("1.4.0")",
        R"(null)",
        R"({"current":"1.4.0" /* c */})",
        R"({"current":"1.4.0","other":[1,2,]})",
        R"({"current":"1.4.0","other":01})",
        "{\"current\":\"1.4.0\"}\f",
    };
    for (const char* text : cases) {
        const Result<Installed> installed = decode_installed(testing::ExactText(text).view());
        ASSERT_FALSE(installed.has_value()) << text;
        EXPECT_EQ(installed.error().text(), "Installed version record is invalid.") << text;
    }
}

}  // namespace
}  // namespace kova
