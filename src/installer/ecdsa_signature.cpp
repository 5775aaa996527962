#include "installer/ecdsa_signature.h"

#include <algorithm>
#include <array>

namespace kova {
namespace {

constexpr std::uint8_t kTagSequence = 0x30;
constexpr std::uint8_t kTagInteger = 0x02;
constexpr std::size_t kScalarBytes = 32;

// The order n of the P-256 group (FIPS 186-4, D.1.2.3).
constexpr std::array<std::uint8_t, kScalarBytes> kP256Order{
    0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xBC, 0xE6, 0xFA, 0xAD, 0xA7, 0x17, 0x9E, 0x84, 0xF3, 0xB9, 0xCA, 0xC2, 0xFC, 0x63, 0x25, 0x51,
};

class DerReader {
public:
    explicit DerReader(std::span<const std::uint8_t> bytes) : rest_(bytes) {}

    [[nodiscard]] bool at_end() const { return rest_.empty(); }

    // Reads one tag-length-value with the given tag; the content must lie
    // wholly inside the input and its length must be minimally encoded.
    std::optional<std::span<const std::uint8_t>> read(std::uint8_t tag) {
        if (rest_.size() < 2 || rest_[0] != tag) return std::nullopt;
        std::size_t length = rest_[1];
        std::size_t header = 2;
        if (length >= 0x80) {
            const std::size_t count = length & 0x7F;
            // 0x80 is the indefinite form; more than four length bytes is absurd here.
            if (count == 0 || count > 4 || rest_.size() < 2 + count) return std::nullopt;
            if (rest_[2] == 0) return std::nullopt;
            length = 0;
            for (std::size_t i = 0; i < count; ++i) length = (length << 8) | rest_[2 + i];
            if (length < 0x80) return std::nullopt;
            header += count;
        }
        if (rest_.size() - header < length) return std::nullopt;
        const auto content = rest_.subspan(header, length);
        rest_ = rest_.subspan(header + length);
        return content;
    }

private:
    std::span<const std::uint8_t> rest_;
};

// A minimal, positive INTEGER content in 1..n-1.
bool is_scalar_in_range(std::span<const std::uint8_t> content) {
    if (content.empty()) return false;
    if ((content[0] & 0x80) != 0) return false;  // negative
    if (content[0] == 0x00) {
        if (content.size() == 1) return false;          // zero
        if ((content[1] & 0x80) == 0) return false;     // superfluous leading zero
        content = content.subspan(1);
    }
    if (content.size() > kScalarBytes) return false;
    std::array<std::uint8_t, kScalarBytes> value{};
    std::copy(content.begin(), content.end(), value.end() - static_cast<std::ptrdiff_t>(content.size()));
    // Minimal encoding leaves a non-zero first byte, so the value is not zero.
    return std::lexicographical_compare(value.begin(), value.end(), kP256Order.begin(), kP256Order.end());
}

}  // namespace

bool is_strict_p256_signature(std::span<const std::uint8_t> der) {
    DerReader outer(der);
    const auto sequence = outer.read(kTagSequence);
    if (!sequence || !outer.at_end()) return false;
    DerReader inner(*sequence);
    const auto r = inner.read(kTagInteger);
    if (!r || !is_scalar_in_range(*r)) return false;
    const auto s = inner.read(kTagInteger);
    if (!s || !is_scalar_in_range(*s)) return false;
    return inner.at_end();
}

}  // namespace kova
