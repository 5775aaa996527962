#include "installer/crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <new>
#include <utility>

#include "core/invariant.h"

namespace kova::crypto {
namespace {

constexpr std::string_view kP256GroupName = "prime256v1";

struct MdContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct PkeyContextDeleter {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};

// The one accepted form, byte for byte up to the point's coordinates:
// SEQUENCE { SEQUENCE { id-ecPublicKey, secp256r1 }, BIT STRING { 0x04 X Y } }.
// This refuses explicit curve parameters, compressed points and any BER
// leniency that d2i_PUBKEY would accept.
constexpr std::array<std::uint8_t, 27> kP256SpkiPrefix{
    0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01, 0x06,
    0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04,
};
constexpr std::size_t kP256SpkiBytes = kP256SpkiPrefix.size() + 64;

bool has_p256_spki_form(std::span<const std::uint8_t> der) {
    return der.size() == kP256SpkiBytes && std::equal(kP256SpkiPrefix.begin(), kP256SpkiPrefix.end(), der.begin());
}

bool is_valid_public_point(EVP_PKEY* key) {
    const std::unique_ptr<EVP_PKEY_CTX, PkeyContextDeleter> context(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    return context && EVP_PKEY_public_check(context.get()) == 1;
}

}  // namespace

void initialize() {
    if (OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr) != 1) {
        invariant_violation("libcrypto could not be initialised");
    }
}

bool is_p256_key(EVP_PKEY* key) {
    initialize();
    if (EVP_PKEY_get_base_id(key) != EVP_PKEY_EC) return false;
    char name[32] = {};
    std::size_t length = 0;
    if (EVP_PKEY_get_group_name(key, name, sizeof name, &length) != 1) return false;
    return std::string_view(name, length) == kP256GroupName;
}

void PkeyDeleter::operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }

std::expected<VerifyingKey, PublicKeyFault> decode_verifying_key(std::span<const std::uint8_t> spki_der) {
    initialize();
    if (!has_p256_spki_form(spki_der)) return std::unexpected(PublicKeyFault::not_named_p256_form);
    const unsigned char* cursor = spki_der.data();
    // The form is fixed byte for byte up to the coordinates, so what OpenSSL
    // can still refuse here is the point itself.
    std::unique_ptr<EVP_PKEY, PkeyDeleter> key(d2i_PUBKEY(nullptr, &cursor, static_cast<long>(spki_der.size())));
    if (!key || cursor != spki_der.data() + spki_der.size() || !is_p256_key(key.get()) ||
        !is_valid_public_point(key.get())) {
        return std::unexpected(PublicKeyFault::not_on_curve);
    }
    return VerifyingKey(std::move(key));
}

bool verify_p256_sha256(const VerifyingKey& key, std::span<const std::uint8_t> message,
                        std::span<const std::uint8_t> der_signature) {
    initialize();
    const std::unique_ptr<EVP_MD_CTX, MdContextDeleter> context(EVP_MD_CTX_new());
    if (!context) return false;
    if (EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) return false;
    return EVP_DigestVerify(context.get(), der_signature.data(), der_signature.size(), message.data(),
                            message.size()) == 1;
}

Sha256::Sha256() : context_(nullptr) {
    initialize();
    context_ = EVP_MD_CTX_new();
    if (context_ == nullptr) throw std::bad_alloc();
    if (EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) != 1) invariant_violation("SHA-256 could not be set up");
}

Sha256::~Sha256() { EVP_MD_CTX_free(context_); }

void Sha256::update(std::span<const std::uint8_t> bytes) {
    if (EVP_DigestUpdate(context_, bytes.data(), bytes.size()) != 1) invariant_violation("SHA-256 update failed");
}

Sha256Digest Sha256::finish() {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_, digest.data(), &length) != 1 || length != digest.size()) {
        invariant_violation("SHA-256 could not be finished");
    }
    return digest;
}

std::string to_lower_hex(std::span<const std::uint8_t> bytes) {
    constexpr std::string_view kDigits = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

}  // namespace kova::crypto
