#include "release-signer/release_signer.h"

#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <utility>

#include <nlohmann/json.hpp>

#include "core/base64.h"
#include "core/invariant.h"
#include "installer/crypto.h"
#include "installer/release.h"
#include "installer/release_key.h"
#include "installer/release_record.h"

namespace kova::signing {
namespace {

struct MdContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct BioDeleter {
    void operator()(BIO* bio) const { BIO_free(bio); }
};

std::span<const std::uint8_t> as_bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

struct PassPhraseRequest {
    const std::optional<std::string>* pass_phrase;
    bool asked = false;
    bool too_long = false;
};

// OpenSSL asks here for the pass phrase of an encrypted key; without one it
// is refused, so that nothing ever prompts on a terminal. The pass phrase
// may fill the buffer: OpenSSL takes its length, not a terminating NUL.
int give_pass_phrase(char* buffer, int size, int /*rwflag*/, void* context) {
    auto* request = static_cast<PassPhraseRequest*>(context);
    request->asked = true;
    const std::optional<std::string>& pass_phrase = *request->pass_phrase;
    if (!pass_phrase) return -1;
    if (size <= 0 || pass_phrase->size() > static_cast<std::size_t>(size)) {
        request->too_long = true;
        return -1;
    }
    std::copy(pass_phrase->begin(), pass_phrase->end(), buffer);
    return static_cast<int>(pass_phrase->size());
}

// An EC key written with explicit curve parameters, or with its point
// compressed, is the same P-256 key; its public half is written in the one
// form the launcher takes: the named curve, the point uncompressed.
bool write_in_launcher_form(EVP_PKEY* key) {
    return EVP_PKEY_set_utf8_string_param(key, OSSL_PKEY_PARAM_EC_ENCODING, OSSL_PKEY_EC_ENCODING_GROUP) == 1 &&
           EVP_PKEY_set_utf8_string_param(key, OSSL_PKEY_PARAM_EC_POINT_CONVERSION_FORMAT,
                                          OSSL_PKEY_EC_POINT_CONVERSION_FORMAT_UNCOMPRESSED) == 1;
}

std::string describe_key(EVP_PKEY* key) {
    const char* type = EVP_PKEY_get0_type_name(key);
    std::string text = type != nullptr ? type : "unknown";
    char group[64] = {};
    std::size_t length = 0;
    if (EVP_PKEY_get_base_id(key) == EVP_PKEY_EC && EVP_PKEY_get_group_name(key, group, sizeof group, &length) == 1) {
        text += ' ';
        text.append(group, length);
    }
    return text;
}

}  // namespace

void KeyDeleter::operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }

std::expected<SigningKey, KeyRefusal> load_private_key_pem(std::string_view pem,
                                                           const std::optional<std::string>& pass_phrase) {
    crypto::initialize();
    const std::unique_ptr<BIO, BioDeleter> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) return std::unexpected(KeyRefusal{KeyProblem::unreadable, {}});
    PassPhraseRequest request{&pass_phrase};
    SigningKey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, give_pass_phrase, &request));
    if (!key) {
        if (!request.asked) return std::unexpected(KeyRefusal{KeyProblem::unreadable, {}});
        if (request.too_long) return std::unexpected(KeyRefusal{KeyProblem::pass_phrase_too_long, {}});
        return std::unexpected(
            KeyRefusal{pass_phrase ? KeyProblem::wrong_pass_phrase : KeyProblem::needs_pass_phrase, {}});
    }
    if (!crypto::is_p256_key(key.get()) || !write_in_launcher_form(key.get())) {
        return std::unexpected(KeyRefusal{KeyProblem::not_p256, describe_key(key.get())});
    }
    return key;
}

std::optional<crypto::VerifyingKey> load_public_key_pem(std::string_view pem) {
    crypto::initialize();
    const std::unique_ptr<BIO, BioDeleter> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) return std::nullopt;
    const SigningKey key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!key || !crypto::is_p256_key(key.get()) || !write_in_launcher_form(key.get())) return std::nullopt;
    Result<crypto::VerifyingKey> verifying = decode_release_key_text(public_key_base64(key));
    if (!verifying) return std::nullopt;
    return std::move(*verifying);
}

std::vector<std::uint8_t> sign(const SigningKey& key, std::string_view message) {
    crypto::initialize();
    const std::unique_ptr<EVP_MD_CTX, MdContextDeleter> context(EVP_MD_CTX_new());
    std::size_t length = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &length, as_bytes(message).data(), message.size()) != 1) {
        invariant_violation("signing could not start");
    }
    std::vector<std::uint8_t> signature(length);
    if (EVP_DigestSign(context.get(), signature.data(), &length, as_bytes(message).data(), message.size()) != 1) {
        invariant_violation("signing failed");
    }
    signature.resize(length);
    return signature;
}

std::string public_key_base64(const SigningKey& key) {
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(key.get(), &der);
    if (length <= 0) invariant_violation("the public key could not be encoded");
    std::string text = encode_base64(std::span<const std::uint8_t>(der, static_cast<std::size_t>(length)),
                                     Base64::standard_padded);
    OPENSSL_free(der);
    return text;
}

std::string release_json(std::string_view version, const std::vector<FileEntry>& files) {
    nlohmann::ordered_json release;
    release["schemaVersion"] = kSchemaVersion;
    release["product"] = kProduct;
    release["version"] = version;
    release["platform"] = kPlatform;
    release["publisher"] = kSignedPublisher;
    release["files"] = nlohmann::ordered_json::array();
    for (const FileEntry& file : files) {
        release["files"].push_back({{"name", file.name}, {"bytes", file.bytes}, {"sha256", file.sha256}});
    }
    return release.dump();
}

std::string make_record_with_field(std::string_view payload_field, const SigningKey& key) {
    std::string record(kRecordFormatTag);
    record += kRecordFieldSeparator;
    record += payload_field;
    const std::vector<std::uint8_t> signature = sign(key, record);
    record += kRecordFieldSeparator;
    record += encode_base64(signature, Base64::url_unpadded);
    return record;
}

std::string make_record(std::string_view payload_json, const SigningKey& key) {
    return make_record_with_field(encode_base64(as_bytes(payload_json), Base64::url_unpadded), key);
}

}  // namespace kova::signing
