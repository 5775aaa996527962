// Shows both halves of "no openssl.cnf is ever read": the configuration below
// breaks every SHA-256 fetch once it is loaded ("loaded"), and the launcher's
// initialisation leaves it unread, so records still verify ("launcher").
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "installer/crypto.h"
#include "installer/release_key.h"
#include "installer/release_record.h"
#include "test_keys.h"

namespace {

constexpr std::string_view kBreakingConfig =
    "openssl_conf = openssl_init\n[openssl_init]\nalg_section = evp\n[evp]\ndefault_properties = fips=yes\n";

void point_openssl_conf_at(const std::filesystem::path& path) {
#ifdef _WIN32
    _putenv_s("OPENSSL_CONF", path.string().c_str());
#else
    setenv("OPENSSL_CONF", path.c_str(), 1);
#endif
}

int fail(const char* why) {
    std::fprintf(stderr, "openssl-config-check: %s\n", why);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return fail("usage: openssl-config-check loaded|launcher");
    const std::string_view mode = argv[1];
    const std::filesystem::path config = std::filesystem::temp_directory_path() / ("kova-openssl-" + std::string(mode) + ".cnf");
    std::ofstream(config, std::ios::binary) << kBreakingConfig;
    point_openssl_conf_at(config);

    if (mode == "loaded") {
        if (OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG, nullptr) != 1) return fail("the configuration did not load");
        EVP_MD* sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
        EVP_MD_free(sha256);
        if (sha256 != nullptr) return fail("the configuration loaded but did not break SHA-256");
        std::puts("loaded: the configuration breaks SHA-256");
        return 0;
    }
    if (mode == "launcher") {
        kova::crypto::initialize();
        const std::string record = kova::signing::make_record(
            kova::signing::release_json("1.4.0", {{"lumenframe.exe", 1, kova::testing::kSomeDigest},
                                                  {"lumenframe-mcp.exe", 1, kova::testing::kSomeDigest}}),
            kova::testing::test_signing_key());
        const auto key = kova::decode_release_key();
        if (!key) return fail("the built-in key did not decode");
        if (!kova::verify_release_record(record, *key)) return fail("a good record did not verify");
        std::puts("launcher: the configuration was not read");
        return 0;
    }
    return fail("unknown mode");
}
