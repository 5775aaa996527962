#include "core/strict_json.h"

#include <limits>
#include <set>
#include <vector>

namespace kova::json {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// nlohmann keeps the last of repeated members silently; this tracks one set of
// names per open object and flags any repetition.
class RepeatedMemberCheck {
public:
    bool on_event(Value::parse_event_t event, const Value& parsed) {
        switch (event) {
            case Value::parse_event_t::object_start:
                open_objects_.emplace_back();
                break;
            case Value::parse_event_t::object_end:
                if (!open_objects_.empty()) open_objects_.pop_back();
                break;
            case Value::parse_event_t::key:
                if (!open_objects_.empty() && parsed.is_string() &&
                    !open_objects_.back().insert(parsed.get_ref<const std::string&>()).second) {
                    repeated_ = true;
                }
                break;
            default:
                break;
        }
        return true;
    }

    [[nodiscard]] bool found_repetition() const { return repeated_; }

private:
    std::vector<std::set<std::string>> open_objects_;
    bool repeated_ = false;
};

}  // namespace

std::optional<Value> parse_strict(std::string_view text) {
    if (text.starts_with(kUtf8ByteOrderMark)) return std::nullopt;
    // nlohmann ends its input at a NUL byte and accepts whatever came before;
    // a raw NUL is valid nowhere in JSON text.
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    RepeatedMemberCheck check;
    Value value = Value::parse(
        text.begin(), text.end(),
        [&check](int /*depth*/, Value::parse_event_t event, Value& parsed) { return check.on_event(event, parsed); },
        /*allow_exceptions=*/false, /*ignore_comments=*/false);
    if (value.is_discarded() || check.found_repetition()) return std::nullopt;
    return value;
}

namespace detail {

bool find_members(const Value& record, const Member* members, const Value** found, std::size_t count) {
    if (record.is_array()) {
        if (record.size() != count) return false;
        for (std::size_t i = 0; i < count; ++i) found[i] = &record[i];
        return true;
    }
    if (!record.is_object()) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const auto it = record.find(members[i].name);
        found[i] = it == record.end() ? nullptr : &*it;
        if (found[i] == nullptr && members[i].required) return false;
    }
    return true;
}

}  // namespace detail

std::optional<std::string> as_string(const Value& value) {
    if (!value.is_string()) return std::nullopt;
    return value.get<std::string>();
}

std::optional<std::uint64_t> as_uint64(const Value& value) {
    // Fractions, exponents and integers beyond 64 bits arrive as floats, and
    // negative numbers as signed integers: only the unsigned kind qualifies.
    if (!value.is_number_unsigned()) return std::nullopt;
    return value.get<std::uint64_t>();
}

std::optional<std::uint32_t> as_uint32(const Value& value) {
    const std::optional<std::uint64_t> wide = as_uint64(value);
    if (!wide || *wide > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    return static_cast<std::uint32_t>(*wide);
}

std::optional<std::optional<std::string>> as_optional_string(const Value* value) {
    if (value == nullptr || value->is_null()) return std::optional<std::string>{};
    std::optional<std::string> text = as_string(*value);
    if (!text) return std::nullopt;
    return text;
}

}  // namespace kova::json
