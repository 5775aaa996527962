#include <gtest/gtest.h>

#include "core/strict_json.h"

namespace kova::json {
namespace {

TEST(StrictJson, RefusesWhatNlohmannWouldLetThrough) {
    using namespace std::string_literals;
    for (const std::string& text : {"4\0garbage"s, "{}\0"s, "[\"a\0b\"]"s}) {  // nlohmann stops at a NUL
        EXPECT_FALSE(parse_strict(text).has_value()) << ::testing::PrintToString(text);
    }
    const char* const refused[] = {
        "\xEF\xBB\xBF{}",                    // byte-order mark, skipped by nlohmann by default
        R"({"a":1,"a":1})",                  // repeated member, kept silently by nlohmann
        R"({"a":1,"\u0061":2})",             // repeated after escape decoding
        R"([{"x":{"a":1}},{"a":1,"b":{"a":1,"a":2}}])",
        R"({"a":{"b":1},"c":{"b":1,"b":1}})",
        "{} {}",
        "{}x",
        "[1,]",
        "// c\n{}",
        "",
        "\v{}",
        "\"\xC0\xAF\"",                       // overlong UTF-8 inside a string
    };
    for (const char* text : refused) EXPECT_FALSE(parse_strict(text).has_value()) << text;
}

TEST(StrictJson, KeepsRepeatedNamesInSiblingAndNestedObjectsApart) {
    const char* const accepted[] = {
        R"([{"a":1},{"a":2}])",
        R"({"a":{"a":{"a":1}},"b":{"a":2}})",
        " \t\r\n{\"a\":1} \t\r\n",
    };
    for (const char* text : accepted) EXPECT_TRUE(parse_strict(text).has_value()) << text;
}

constexpr std::array<Member, 3> kMembers{{{"x", true}, {"y", false}, {"z", true}}};

TEST(RecordMembers, ReadsTheObjectFormByExactName) {
    const auto value = parse_strict(R"({"z":3,"X":9,"x":1,"other":[{}]})");
    ASSERT_TRUE(value);
    const auto members = record_members(*value, kMembers);
    ASSERT_TRUE(members);
    EXPECT_EQ((*members)[0]->get<int>(), 1);
    EXPECT_EQ((*members)[1], nullptr);
    EXPECT_EQ((*members)[2]->get<int>(), 3);
    EXPECT_FALSE(record_members(*parse_strict(R"({"x":1,"y":2})"), kMembers));
}

TEST(RecordMembers, ReadsTheArrayFormByPositionWithExactlyOneElementPerMember) {
    const Value value = *parse_strict("[1,null,3]");
    const auto members = record_members(value, kMembers);
    ASSERT_TRUE(members);
    EXPECT_TRUE((*members)[1]->is_null());
    EXPECT_EQ((*members)[2]->get<int>(), 3);
    EXPECT_FALSE(record_members(*parse_strict("[1,2]"), kMembers));
    EXPECT_FALSE(record_members(*parse_strict("[1,2,3,4]"), kMembers));
    EXPECT_FALSE(record_members(*parse_strict("\"x\""), kMembers));
    EXPECT_FALSE(record_members(*parse_strict("null"), kMembers));
}

TEST(TypedReads, AcceptOnlyTheirOwnJsonType) {
    EXPECT_EQ(as_uint64(*parse_strict("18446744073709551615")), 18446744073709551615u);
    EXPECT_FALSE(as_uint64(*parse_strict("18446744073709551616")));
    EXPECT_FALSE(as_uint64(*parse_strict("-3")));
    EXPECT_FALSE(as_uint64(*parse_strict("-0")));
    EXPECT_FALSE(as_uint64(*parse_strict("1.0")));
    EXPECT_FALSE(as_uint64(*parse_strict("1e2")));
    EXPECT_FALSE(as_uint64(*parse_strict("\"1\"")));
    EXPECT_EQ(as_uint32(*parse_strict("4294967295")), 4294967295u);
    EXPECT_FALSE(as_uint32(*parse_strict("4294967296")));
    EXPECT_EQ(as_string(*parse_strict("\"a\\\\b\"")), "a\\b");
    EXPECT_FALSE(as_string(*parse_strict("1")));
    EXPECT_FALSE(as_string(*parse_strict("null")));
    const auto absent = as_optional_string(nullptr);
    ASSERT_TRUE(absent);
    EXPECT_FALSE(*absent);
    const Value null_value = *parse_strict("null");
    ASSERT_TRUE(as_optional_string(&null_value));
    EXPECT_FALSE(*as_optional_string(&null_value));
    const Value number = *parse_strict("1");
    EXPECT_FALSE(as_optional_string(&number));
}

}  // namespace
}  // namespace kova::json
