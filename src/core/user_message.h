#pragma once

#include <expected>
#include <string_view>

namespace kova {

// One or two complete English sentences for the end user. The text is fixed
// at compile time, so no system error detail can ever end up in it.
class UserMessage {
public:
    consteval explicit UserMessage(std::string_view text) : text_(text) {}

    [[nodiscard]] constexpr std::string_view text() const { return text_; }

    friend constexpr bool operator==(const UserMessage& a, const UserMessage& b) {
        return a.text_ == b.text_;
    }

private:
    std::string_view text_;
};

template <class T>
using Result = std::expected<T, UserMessage>;

inline std::unexpected<UserMessage> fail(const UserMessage& message) {
    return std::unexpected<UserMessage>(message);
}

}  // namespace kova
