#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <string_view>

// Strict decoding of the records the launcher reads (current.json, the
// settings file, a release description): exactly one JSON value (RFC 8259)
// with only space, tab, line feed or carriage return around it, valid UTF-8,
// no byte-order mark.
//
// Only the members a record declares are built; everything else is scanned
// for well-formedness by the grammar and dropped, holding one bit per open
// container. So memory stays bounded by the text, whatever its nesting, and
// any number the grammar allows is well-formed where it is skipped.
namespace kova::json {

// A cursor over JSON text. Each read consumes one value (or one piece of
// structure) after any white space; a false or empty result means the text is
// not what was asked for, and the cursor is then of no further use.
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    // Skips white space, then consumes `c` if it comes next.
    [[nodiscard]] bool consume(char c);
    // True when only white space is left.
    [[nodiscard]] bool at_end();

    // Any well-formed value, dropped.
    [[nodiscard]] bool skip_value();
    // A string, decoded; empty when the next value is no string or its
    // escapes name no Unicode text (an unpaired surrogate).
    [[nodiscard]] std::optional<std::string> read_string();
    // A string left undecoded, only checked for well-formedness.
    [[nodiscard]] bool skip_string();
    // A string that read_string would accept, dropped without being kept.
    [[nodiscard]] bool skip_decodable_string();
    // A number written as digits alone (no sign, fraction or exponent) that
    // fits 64 bits; empty for any other value.
    [[nodiscard]] std::optional<std::uint64_t> read_unsigned();
    [[nodiscard]] bool read_null();

    // The next member name of an object being read; empty when the text is
    // not a string there. Names are compared after escape decoding.
    [[nodiscard]] std::optional<std::string> read_name() { return read_string(); }

private:
    void skip_white_space();
    [[nodiscard]] bool scan_string_token(std::string_view& token);
    [[nodiscard]] bool scan_number_token(std::string_view& token);
    [[nodiscard]] bool scan_word(std::string_view word);
    [[nodiscard]] bool scan_literal();
    [[nodiscard]] bool scan_scalar();

    std::string_view text_;
    std::size_t at_ = 0;
};

// True when the text is exactly one well-formed JSON value.
[[nodiscard]] bool is_well_formed(std::string_view text);

// Reads the whole text as one value with `read_value`, then requires the end.
// An allocation failure on the way is a failure to decode, never a crash.
template <class ReadValue>
[[nodiscard]] bool read_document(std::string_view text, ReadValue&& read_value) noexcept {
    try {
        Reader reader(text);
        return read_value(reader) && reader.at_end();
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Each element of an array, in order, read by `read_element`.
template <class ReadElement>
[[nodiscard]] bool read_array(Reader& reader, ReadElement&& read_element) {
    if (!reader.consume('[')) return false;
    if (reader.consume(']')) return true;
    do {
        if (!read_element(reader)) return false;
    } while (reader.consume(','));
    return reader.consume(']');
}

struct Member {
    std::string_view name;
    bool required;
};

// The record forms shared by every file format: an object whose members of
// the declared names are each read once with `read_member(index, reader)`
// (others skipped, a declared one given twice refused, a required one
// missing refused), or an array of exactly the members' values in their
// declared order. Absent optional members are left as the caller set them.
template <std::size_t N, class ReadMember>
[[nodiscard]] bool read_record(Reader& reader, const std::array<Member, N>& members, ReadMember&& read_member) {
    if (reader.consume('[')) {
        for (std::size_t i = 0; i < N; ++i) {
            if (i > 0 && !reader.consume(',')) return false;
            if (!read_member(i, reader)) return false;
        }
        return reader.consume(']');
    }
    if (!reader.consume('{')) return false;
    std::array<bool, N> seen{};
    if (!reader.consume('}')) {
        do {
            const std::optional<std::string> name = reader.read_name();
            if (!name || !reader.consume(':')) return false;
            std::size_t index = 0;
            while (index < N && members[index].name != *name) ++index;
            if (index == N) {
                if (!reader.skip_value()) return false;
                continue;
            }
            if (seen[index] || !read_member(index, reader)) return false;
            seen[index] = true;
        } while (reader.consume(','));
        if (!reader.consume('}')) return false;
    }
    for (std::size_t i = 0; i < N; ++i) {
        if (members[i].required && !seen[i]) return false;
    }
    return true;
}

// Typed members: each reads one value into `out`, false for any other JSON type.
[[nodiscard]] bool read_into(Reader& reader, std::string& out);
[[nodiscard]] bool read_into(Reader& reader, std::optional<std::string>& out);  // a string or null
[[nodiscard]] bool read_into(Reader& reader, std::uint64_t& out);
[[nodiscard]] bool read_into(Reader& reader, std::uint32_t& out);

}  // namespace kova::json
