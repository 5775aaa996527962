#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "core/strict_json.h"
#include "exact_text.h"

namespace kova::json {
namespace {

using namespace std::string_literals;

TEST(StrictJson, WellFormedIsTheGrammarOfRfc8259) {
    const std::pair<std::string, bool> cases[] = {
        {" \t\r\n{\"a\":[1,-0,0.5,2e-3,1E+2,true,false,null,\"x\"]} \t\r\n", true},
        {"1e400", true},  // beyond a double's range, and well-formed all the same
        {"-1e309", true},
        {"123456789012345678901234567890", true},
        {R"({"a":1,"a":2})", true},   // repeated names are the records' concern, not the grammar's
        {R"(["\ud800"])", true},      // an unpaired surrogate escape is well-formed where it is skipped
        {"[" + std::string(1000, '[') + std::string(1000, ']') + "]", true},
        {"[\"a b\",\" \"]", true},  // a plain space is no control character
        {"{\"C:\\\\My Projects\":\"\"}", true},
        {"", false},
        {" ", false},
        {"\xEF\xBB\xBF{}", false},  // a byte-order mark is no white space
        {"4\0garbage"s, false},
        {"[\"a\0b\"]"s, false},
        {"\v{}", false},
        {"{} {}", false},
        {"{}x", false},
        {"[1,]", false},
        {"{\"a\":1,}", false},
        {"{\"a\"}", false},
        {"{1:2}", false},
        {"{a\":1}", false},  // a name opens with a quotation mark
        {"[a\"]", false},
        {"[}", false},
        {"{]", false},
        {"[[]", false},
        {"// c\n{}", false},
        {"01", false},
        {"1.", false},
        {".1", false},
        {"+1", false},
        {"-", false},
        {"1e", false},
        {"1e+", false},
        {"0x1", false},
        {"NaN", false},
        {"nul", false},
        {"True", false},
        {"\"a\tb\"", false},       // a raw control character
        {"\"\\x\"", false},
        {"\"\\u12G4\"", false},
        {"\"\\u12\"", false},
        {"\"\xC0\xAF\"", false},    // overlong UTF-8
        {"\"\xED\xA0\x80\"", false},  // an encoded surrogate
        {"\"abc", false},
        // Texts that end where a name, a value, a string or an escape is due.
        {"[", false},
        {"{", false},
        {"{\"x\":", false},
        {"{\"a", false},
        {"{\"a\":1,", false},
        {"[1,", false},
        {"[\"a\\", false},
        {"[\"\\u12", false},
        {"tru", false},
        {"-1e", false},
        {"'a'", false},
    };
    for (const auto& [text, well_formed] : cases) {
        EXPECT_EQ(is_well_formed(testing::ExactText(text).view()), well_formed) << ::testing::PrintToString(text);
    }
}

constexpr std::array<Member, 3> kMembers{{{"x", true}, {"y", false}, {"z", true}}};

struct Record {
    std::uint64_t x = 0;
    std::optional<std::string> y{"absent"};
    std::string z;
};

std::optional<Record> decode(std::string_view text) {
    Record record;
    const bool decoded = read_document(text, [&record](Reader& reader) {
        return read_record(reader, kMembers, [&record](std::size_t member, Reader& value) {
            if (member == 0) return read_into(value, record.x);
            if (member == 1) return read_into(value, record.y);
            return read_into(value, record.z);
        });
    });
    if (!decoded) return std::nullopt;
    return record;
}

TEST(ReadRecord, ReadsTheObjectFormByExactNameAndSkipsTheRest) {
    const auto record = decode(R"({"z":"3","X":9,"other":[{"x":1,"x":2}, 1e999],"\u0078":1})");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->x, 1u);
    EXPECT_EQ(record->y, "absent");  // an absent optional member is left alone
    EXPECT_EQ(record->z, "3");
    const auto nulled = decode(R"({"x":1,"y":null,"z":""})");
    ASSERT_TRUE(nulled);
    EXPECT_EQ(nulled->y, std::nullopt);
    for (const char* text : {
             R"({"x":1,"y":"2"})",              // a required member missing
             R"({"x":1,"z":"a","x":1})",        // a declared member given twice, even alike
             R"({"x":1,"z":"a","\u0078":1})",   // twice after escape decoding
             R"({"x":"1","z":"a"})",            // the wrong type
             R"({"x":1,"y":2,"z":"a"})",
             R"({"x":1,"z":"a",})",
         }) {
        EXPECT_FALSE(decode(text)) << text;
    }
}

TEST(ReadRecord, ReadsTheArrayFormWithExactlyOneElementPerMember) {
    const auto record = decode(R"([1,null,"3"])");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->y, std::nullopt);
    EXPECT_EQ(record->z, "3");
    for (const char* text : {"[1,null]", R"([1,null,"3",4])", "[]", R"("x")", "null"}) EXPECT_FALSE(decode(text)) << text;
}

// One value of the text read into a T, as a record member is.
template <class T>
std::optional<T> read_as(std::string_view text) {
    T value{};
    if (!read_document(text, [&value](Reader& reader) { return read_into(reader, value); })) return std::nullopt;
    return value;
}

TEST(TypedReads, AcceptOnlyTheirOwnJsonType) {
    const auto unsigned64 = read_as<std::uint64_t>;
    const auto unsigned32 = read_as<std::uint32_t>;
    const auto string = read_as<std::string>;
    EXPECT_EQ(unsigned64("18446744073709551615"), 18446744073709551615u);
    for (const char* text : {"18446744073709551616", "-3", "-0", "1.0", "1e2", "1e400", "\"1\"", "null"}) {
        EXPECT_FALSE(unsigned64(text)) << text;
    }
    EXPECT_EQ(unsigned32("4294967295"), 4294967295u);
    EXPECT_FALSE(unsigned32("4294967296"));
    EXPECT_EQ(string(R"("a\\b\u00e9\ud83d\ude00")"), "a\\b\xC3\xA9\xF0\x9F\x98\x80");
    for (const char* text : {"1", "null", R"("\ud800")", R"("\udc00\ud800")"}) EXPECT_FALSE(string(text)) << text;
}

TEST(ReadDocument, AnAllocationFailureIsAFailureToDecode) {
    EXPECT_FALSE(read_document("{}", [](Reader&) -> bool { throw std::bad_alloc(); }));
}

}  // namespace
}  // namespace kova::json
