#pragma once

#include <string>
#include <string_view>

#include "installer/crypto.h"
#include "release-signer/release_signer.h"

// The project's test key pair (tests/keys), compiled into the tests.
namespace kova::testing {

const signing::SigningKey& test_signing_key();
const crypto::VerifyingKey& test_verifying_key();

// 64 lower-case hex digits that pass the digest rule.
inline const std::string kSomeDigest(64, 'a');

}  // namespace kova::testing
