#include <gtest/gtest.h>

#include <openssl/crypto.h>

#include <string>

namespace {

// libcrypto would read openssl.cnf and load engines and modules from these
// folders; they must name a place only an administrator can create, never a
// Unix path that Windows reads as a folder on the current drive.
TEST(WindowsBuild, LibcryptoFoldersLieUnderSystem32) {
    for (const int which : {OPENSSL_DIR, OPENSSL_ENGINES_DIR, OPENSSL_MODULES_DIR}) {
        const std::string text = OpenSSL_version(which);
        EXPECT_NE(text.find("\"C:/Windows/System32/"), std::string::npos) << text;
    }
}

}  // namespace
