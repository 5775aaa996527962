#include <gtest/gtest.h>

#include <utility>

#include "core/base64.h"
#include "installer/release_key.h"
#include "test_keys.h"

namespace kova {
namespace {

TEST(ReleaseKey, TheBuiltInKeyDecodes) { EXPECT_TRUE(decode_release_key().has_value()); }

TEST(ReleaseKey, TheDefaultBuiltInKeyIsTheTestKeysPublicHalf) {
    EXPECT_EQ(RELEASE_PUBLIC_KEY, signing::public_key_base64(testing::test_signing_key()));
}

std::string spki_with(std::size_t offset, std::uint8_t value) {
    std::optional<Bytes> der = decode_base64(signing::public_key_base64(testing::test_signing_key()), Base64::standard_padded);
    (*der)[offset] = value;
    return encode_base64(*der, Base64::standard_padded);
}

// The publisher's build refuses a key with the launcher's own reason.
TEST(ReleaseKey, RefusesAnythingButAnUncompressedNamedP256Point) {
    const std::string good = signing::public_key_base64(testing::test_signing_key());
    ASSERT_EQ(good.size(), 124u);
    using enum ReleaseKeyFault;
    const std::pair<std::string, ReleaseKeyFault> cases[] = {
        {"", not_named_p256_form},
        {good.substr(0, 120), not_named_p256_form},
        {good + "AAAA", not_standard_base64},
        {good.substr(0, 122) + "A=", not_named_p256_form},  // a zero byte more
        {good.substr(0, 121) + "B==", not_standard_base64},  // bits left over after the last byte
        {std::string(124, 'A'), not_named_p256_form},
        {spki_with(26, 0x03), not_named_p256_form},                           // compressed point marker
        {spki_with(90, static_cast<std::uint8_t>(0x5E)), not_on_curve},       // point off the curve
        {spki_with(22, 0x08), not_named_p256_form},                           // curve OID changed (secp256k1-like)
        {spki_with(0, 0x31), not_named_p256_form},                            // not a SEQUENCE
        // secp256k1 with a valid point
        {"MFYwEAYHKoZIzj0CAQYFK4EEAAoDQgAE7mhQbfYJgzjn2VLnFG4W62PfCGC/FoqKA26aHRQvngURVSf5XGtrSBK34CftMjd0CsD6e9yJVEqzI3bjPPcpXg==",
         not_named_p256_form},
        // brainpoolP256r1 with a valid point
        {"MFowFAYHKoZIzj0CAQYJKyQDAwIIAQEHA0IABFmlalHlHrFHo/Klx8+QKUGy139Vn+6kynQCCJWj8idCGiQM28xRtrhwQHLEAdMkQzvNP+ugopOox9rC2n9H+0Y=",
         not_named_p256_form},
        // Ed25519
        {"MCowBQYDK2VwAyEAFEtAlTDjz6/7tkH/TVk5gbvTI/Fw+UV32DVigiYgyw4=", not_named_p256_form},
        // the test key's point, compressed
        {"MDkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDIgAD9CkG8NxVMZHMI2r3D+ZdBr9ej1MaMoQpZTkrN9WZDaA=", not_named_p256_form},
        // the test key with explicit P-256 parameters instead of the named curve
        {"MIIBSzCCAQMGByqGSM49AgEwgfcCAQEwLAYHKoZIzj0BAQIhAP////8AAAABAAAAAAAAAAAAAAAA////////////////MFsEIP////8AAAABAAAAAAAAAAAAAAAA///////////////8BCBaxjXYqjqT57PrvVV2mIa8ZR0GsMxTsPY7zjw+J9JgSwMVAMSdNgiG5wSTamZ44ROdJreBn36QBEEEaxfR8uEsQkf4vOblY6RA8ncDfYEt6zOg9KE5RdiYwpZP40Li/hp/m47n60p8D54WK84zV2sxXs7LtkBoN79R9QIhAP////8AAAAA//////////+85vqtpxeehPO5ysL8YyVRAgEBA0IABPQpBvDcVTGRzCNq9w/mXQa/Xo9TGjKEKWU5KzfVmQ2gcLklf3I94/HKLapH+ZfGLs2RKKnwHsb/Fc4GoL3ypl0=",
         not_named_p256_form},
    };
    for (const auto& [text, fault] : cases) {
        const auto read = read_release_key_text(text);
        ASSERT_FALSE(read.has_value()) << text;
        EXPECT_EQ(read.error(), fault) << text;
        const auto key = decode_release_key_text(text);
        ASSERT_FALSE(key.has_value()) << text;
        EXPECT_EQ(key.error().text(), "Invalid embedded release key.");
    }
}

}  // namespace
}  // namespace kova
