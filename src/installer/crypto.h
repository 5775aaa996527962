#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include <openssl/types.h>

// The launcher's only doors into libcrypto. Each one makes sure OpenSSL was
// initialised without reading any configuration file first.
namespace kova::crypto {

// Initialises libcrypto without loading openssl.cnf (nor $OPENSSL_CONF): a
// configuration could load engine DLLs from wherever it names.
void initialize();

struct PkeyDeleter {
    void operator()(EVP_PKEY* key) const;
};

// A P-256 public key that lies on the curve. Immutable; lent to verification.
class VerifyingKey {
public:
    explicit VerifyingKey(std::unique_ptr<EVP_PKEY, PkeyDeleter> key) : key_(std::move(key)) {}
    [[nodiscard]] EVP_PKEY* get() const { return key_.get(); }

private:
    std::unique_ptr<EVP_PKEY, PkeyDeleter> key_;
};

// An EC key on the P-256 curve (prime256v1), public or private.
[[nodiscard]] bool is_p256_key(EVP_PKEY* key);

// Why a SubjectPublicKeyInfo is no verifying key.
enum class PublicKeyFault {
    not_named_p256_form,  // anything but id-ecPublicKey, secp256r1 by name, an uncompressed point
    not_on_curve,         // that form, but the point is not a point of the curve
};

// A DER SubjectPublicKeyInfo holding exactly id-ecPublicKey, the named curve
// secp256r1 and an uncompressed point on it.
[[nodiscard]] std::expected<VerifyingKey, PublicKeyFault> decode_verifying_key(std::span<const std::uint8_t> spki_der);

// ECDSA P-256 with SHA-256 over `message`; only OpenSSL's plain 1 counts.
[[nodiscard]] bool verify_p256_sha256(const VerifyingKey& key, std::span<const std::uint8_t> message,
                                      std::span<const std::uint8_t> der_signature);

inline constexpr std::size_t kSha256Bytes = 32;
using Sha256Digest = std::array<std::uint8_t, kSha256Bytes>;

// Incremental SHA-256. Creating one throws std::bad_alloc when libcrypto
// cannot allocate its context.
class Sha256 {
public:
    Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    ~Sha256();
    void update(std::span<const std::uint8_t> bytes);
    [[nodiscard]] Sha256Digest finish();

private:
    EVP_MD_CTX* context_;
};

// Two lower-case hexadecimal digits per byte, high half first.
[[nodiscard]] std::string to_lower_hex(std::span<const std::uint8_t> bytes);

}  // namespace kova::crypto
