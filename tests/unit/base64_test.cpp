#include <gtest/gtest.h>

#include "core/base64.h"

namespace kova {
namespace {

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

struct DecodeCase {
    const char* text;
    Base64 variant;
    std::optional<std::string> bytes;
};

TEST(Base64, DecodesOnlyTheOneCanonicalText) {
    const auto url = Base64::url_unpadded;
    const auto standard = Base64::standard_padded;
    const DecodeCase cases[] = {
        {"", url, ""},
        {"QQ", url, "A"},
        {"QUI", url, "AB"},
        {"QUJD", url, "ABC"},
        {"-_8", url, "\xFB\xFF"},
        {"QR", url, std::nullopt},       // unused low bits set
        {"QUJ", url, std::nullopt},
        {"QQ==", url, std::nullopt},     // padding is refused here
        {"QQ=", url, std::nullopt},
        {"Q", url, std::nullopt},        // one lone character over a multiple of four
        {"QUJDR", url, std::nullopt},
        {"+/8", url, std::nullopt},      // standard alphabet
        {"QU JD", url, std::nullopt},
        {"QUJD\n", url, std::nullopt},
        {"QQ==", standard, "A"},
        {"QUI=", standard, "AB"},
        {"QUJD", standard, "ABC"},
        {"+/8=", standard, "\xFB\xFF"},
        {"", standard, ""},
        {"QR==", standard, std::nullopt},
        {"QUJ=", standard, std::nullopt},
        {"QQ", standard, std::nullopt},  // padding is required here
        {"QUI", standard, std::nullopt},
        {"Q===", standard, std::nullopt},
        {"====", standard, std::nullopt},
        {"QQ==QUJD", standard, std::nullopt},
        {"Q=Q=", standard, std::nullopt},
        {"-_8=", standard, std::nullopt},
        {" QQ==", standard, std::nullopt},
    };
    for (const DecodeCase& c : cases) {
        const std::optional<Bytes> decoded = decode_base64(c.text, c.variant);
        ASSERT_EQ(decoded.has_value(), c.bytes.has_value()) << c.text;
        if (decoded) {
            EXPECT_EQ(*decoded, bytes_of(*c.bytes)) << c.text;
        }
    }
}

TEST(Base64, EncodingRoundTripsEveryLength) {
    Bytes data;
    for (int length = 0; length < 70; ++length) {
        for (const Base64 variant : {Base64::standard_padded, Base64::url_unpadded}) {
            EXPECT_EQ(decode_base64(encode_base64(data, variant), variant), data) << length;
        }
        data.push_back(static_cast<std::uint8_t>(length * 37 + 250));
    }
}

}  // namespace
}  // namespace kova
