#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace kova::testing {

// A copy of a text in a heap block of exactly its size, without a
// terminating NUL, so that AddressSanitizer reports any read past its end,
// as it would in a decoded payload.
class ExactText {
public:
    explicit ExactText(std::string_view text) : bytes_(new char[text.size()]), size_(text.size()) {
        if (size_ != 0) std::memcpy(bytes_.get(), text.data(), size_);
    }
    [[nodiscard]] std::string_view view() const { return {bytes_.get(), size_}; }

private:
    std::unique_ptr<char[]> bytes_;
    std::size_t size_;
};

}  // namespace kova::testing
