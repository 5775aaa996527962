#include <gtest/gtest.h>

#include "core/base64.h"
#include "installer/ecdsa_signature.h"

namespace kova {
namespace {

// Lengths written in their long forms, and integers padded, are the BER
// leniencies that d2i_ECDSA_SIG lets through.
TEST(StrictDer, RefusesLongFormsAndIndefiniteLengths) {
    const Bytes scalar(32, 0x11);
    Bytes body{0x02, 0x20};
    body.insert(body.end(), scalar.begin(), scalar.end());
    body.insert(body.end(), {0x02, 0x20});
    body.insert(body.end(), scalar.begin(), scalar.end());

    Bytes good{0x30, static_cast<std::uint8_t>(body.size())};
    good.insert(good.end(), body.begin(), body.end());
    EXPECT_TRUE(is_strict_p256_signature(good));

    Bytes long_sequence{0x30, 0x81, static_cast<std::uint8_t>(body.size())};
    long_sequence.insert(long_sequence.end(), body.begin(), body.end());
    EXPECT_FALSE(is_strict_p256_signature(long_sequence));

    Bytes indefinite{0x30, 0x80};
    indefinite.insert(indefinite.end(), body.begin(), body.end());
    indefinite.insert(indefinite.end(), {0x00, 0x00});
    EXPECT_FALSE(is_strict_p256_signature(indefinite));

    Bytes long_integer = good;
    long_integer[3] = 0x81;
    long_integer.insert(long_integer.begin() + 4, 0x20);
    long_integer[1] = static_cast<std::uint8_t>(long_integer.size() - 2);
    EXPECT_FALSE(is_strict_p256_signature(long_integer));

    Bytes wrong_tag = good;
    wrong_tag[2] = 0x03;
    EXPECT_FALSE(is_strict_p256_signature(wrong_tag));

    Bytes short_length = good;
    short_length[1] = static_cast<std::uint8_t>(short_length[1] - 1);
    EXPECT_FALSE(is_strict_p256_signature(short_length));

    Bytes extra_inside = good;
    extra_inside.push_back(0x00);
    extra_inside[1] = static_cast<std::uint8_t>(extra_inside[1] + 1);
    EXPECT_FALSE(is_strict_p256_signature(extra_inside));

    EXPECT_FALSE(is_strict_p256_signature(Bytes(good.begin(), good.end() - 1)));
}

}  // namespace
}  // namespace kova
