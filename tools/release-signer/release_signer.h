#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <openssl/pem.h>
#include <openssl/types.h>

#include "installer/crypto.h"

// Makes signed release records (manifest.txt) the way a publisher's release
// process does. Used by the release tool, the tests, the demo and the
// benchmark; never part of kova-mcp.exe.
namespace kova::signing {

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const;
};
using SigningKey = std::unique_ptr<EVP_PKEY, KeyDeleter>;

enum class KeyProblem {
    unreadable,              // not a private key in PEM
    needs_pass_phrase,       // encrypted, and no pass phrase given
    wrong_pass_phrase,       // encrypted, and the pass phrase given does not open it
    pass_phrase_too_long,    // encrypted, and the pass phrase given is longer than OpenSSL takes
    not_p256,                // a key of another type or curve
};

// OpenSSL asks for a pass phrase with a buffer of PEM_BUFSIZE bytes, which
// its own callback fills to the last byte: the openssl command encrypts a
// key with at most the first 1024 bytes of a pass phrase.
inline constexpr std::size_t kMaxPassPhraseBytes = PEM_BUFSIZE;

struct KeyRefusal {
    KeyProblem problem;
    std::string key_type;  // with not_p256: as OpenSSL names it ("RSA", "ED25519", "EC secp384r1")
};

// A P-256 private key in PEM (PKCS#8, encrypted or not, or SEC 1), its curve
// given by name or by explicit parameters. Never asks for a pass phrase: an
// encrypted key opens with `pass_phrase` or not at all.
[[nodiscard]] std::expected<SigningKey, KeyRefusal> load_private_key_pem(
    std::string_view pem, const std::optional<std::string>& pass_phrase = std::nullopt);

// A P-256 public key in PEM (a SubjectPublicKeyInfo, its curve given by name
// or by explicit parameters, its point compressed or not), as the launcher
// would decode its named-curve, uncompressed form; empty for anything else.
[[nodiscard]] std::optional<crypto::VerifyingKey> load_public_key_pem(std::string_view pem);

// A DER ECDSA P-256/SHA-256 signature over `message`.
[[nodiscard]] std::vector<std::uint8_t> sign(const SigningKey& key, std::string_view message);

// The public half as standard padded Base64 of its SubjectPublicKeyInfo with
// the curve by name: the text a build takes as KOVA_RELEASE_PUBLIC_KEY.
[[nodiscard]] std::string public_key_base64(const SigningKey& key);

struct FileEntry {
    std::string name;
    std::uint64_t bytes = 0;
    std::string sha256;  // 64 lower-case hexadecimal digits
};

// The release description for a Lumenframe Windows package.
[[nodiscard]] std::string release_json(std::string_view version, const std::vector<FileEntry>& files);

// "nrel1." + Base64url(payload JSON) + "." + Base64url(signature over the
// text before the second full stop).
[[nodiscard]] std::string make_record(std::string_view payload_json, const SigningKey& key);

// The same for a payload field given as it stands (any text at all).
[[nodiscard]] std::string make_record_with_field(std::string_view payload_field, const SigningKey& key);

}  // namespace kova::signing
