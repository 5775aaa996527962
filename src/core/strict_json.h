#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kova::json {

using Value = nlohmann::json;

// Exactly one JSON value (RFC 8259) with only space, tab, line feed or
// carriage return around it; no byte-order mark; no object that repeats a
// member name (names compared after escape decoding). nullopt otherwise.
[[nodiscard]] std::optional<Value> parse_strict(std::string_view text);

struct Member {
    std::string_view name;
    bool required;
};

template <std::size_t N>
using Members = std::array<const Value*, N>;

namespace detail {
// Finds member values in an object by exact name, or in an array by position
// (exactly one element per member). Absent optional members are null pointers.
bool find_members(const Value& record, const Member* members, const Value** found, std::size_t count);
}  // namespace detail

// The record forms shared by every file format: an object with the named
// members (others are skipped), or an array of the members' values in their
// declared order. nullopt when neither form fits or a required member is absent.
template <std::size_t N>
[[nodiscard]] std::optional<Members<N>> record_members(const Value& record, const std::array<Member, N>& members) {
    Members<N> found{};
    if (!detail::find_members(record, members.data(), found.data(), N)) return std::nullopt;
    return found;
}

// Typed reads: nullopt when the JSON type is not the one asked for. Integers
// are accepted only when written without fraction or exponent, non-negative
// and within range.
[[nodiscard]] std::optional<std::string> as_string(const Value& value);
[[nodiscard]] std::optional<std::uint64_t> as_uint64(const Value& value);
[[nodiscard]] std::optional<std::uint32_t> as_uint32(const Value& value);

// An optional string member: absent or null gives an empty optional inside.
[[nodiscard]] std::optional<std::optional<std::string>> as_optional_string(const Value* value);

}  // namespace kova::json
