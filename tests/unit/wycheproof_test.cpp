#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "core/base64.h"
#include "installer/release_key.h"
#include "installer/release_record.h"
#include "test_inputs.h"

namespace kova {
namespace {

Bytes from_hex(const std::string& hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// The vectors travel with the tests (tests/data/wycheproof, with their licence).
TEST(Wycheproof, EveryP256Sha256VectorGetsItsExpectedVerdict) {
    const std::filesystem::path file =
        testing::test_input("KOVA_WYCHEPROOF_DIR", "wycheproof", KOVA_WYCHEPROOF_DIR) / "ecdsa_secp256r1_sha256_test.json";
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << "no Wycheproof vectors at " << file.string();
    const nlohmann::json vectors = nlohmann::json::parse(std::string(std::istreambuf_iterator<char>(in), {}));
    int accepted = 0;
    int refused = 0;
    for (const nlohmann::json& group : vectors.at("testGroups")) {
        // Each group's key goes through the same decoding as the built-in key.
        const Bytes spki = from_hex(group.at("publicKeyDer").get<std::string>());
        const Result<crypto::VerifyingKey> key = decode_release_key_text(encode_base64(spki, Base64::standard_padded));
        ASSERT_TRUE(key.has_value()) << group.at("publicKeyDer");
        for (const nlohmann::json& test : group.at("tests")) {
            const Bytes message = from_hex(test.at("msg").get<std::string>());
            const Bytes signature = from_hex(test.at("sig").get<std::string>());
            const bool verified = check_release_signature(*key, message, signature) == SignatureCheck::verified;
            const bool valid = test.at("result") == "valid";
            EXPECT_EQ(verified, valid) << "tcId " << test.at("tcId") << " " << test.at("comment");
            (verified ? accepted : refused) += 1;
        }
    }
    std::cout << "Wycheproof: " << accepted << " accepted, " << refused << " refused, "
              << vectors.at("numberOfTests") << " vectors\n";
    EXPECT_EQ(accepted + refused, vectors.at("numberOfTests").get<int>());
}

}  // namespace
}  // namespace kova
