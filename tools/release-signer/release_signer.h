#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <openssl/types.h>

// Makes signed release records (manifest.txt) the way a publisher's release
// process does. Used by the release tool, the tests, the demo and the
// benchmark; never part of kova-mcp.exe.
namespace kova::signing {

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const;
};
using SigningKey = std::unique_ptr<EVP_PKEY, KeyDeleter>;

// A P-256 private key in PEM (PKCS#8 or SEC 1).
[[nodiscard]] std::optional<SigningKey> load_private_key_pem(std::string_view pem);

// A DER ECDSA P-256/SHA-256 signature over `message`.
[[nodiscard]] std::vector<std::uint8_t> sign(const SigningKey& key, std::string_view message);

// The public half as standard padded Base64 of its SubjectPublicKeyInfo: the
// text a build takes as KOVA_RELEASE_PUBLIC_KEY.
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
