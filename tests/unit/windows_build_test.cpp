#include <gtest/gtest.h>

#include <windows.h>

#include <openssl/crypto.h>

#include <algorithm>
#include <string>

namespace {

// libcrypto would read openssl.cnf and load engines and modules from these
// folders; they must name a place only an administrator can create, never a
// Unix path that Windows reads as a folder on the current drive.
// The MSVC build's libcrypto writes them with backslashes.
TEST(WindowsBuild, LibcryptoFoldersLieUnderSystem32) {
    for (const int which : {OPENSSL_DIR, OPENSSL_ENGINES_DIR, OPENSSL_MODULES_DIR}) {
        std::string text = OpenSSL_version(which);
        std::replace(text.begin(), text.end(), '\\', '/');
        EXPECT_NE(text.find("\"C:/Windows/System32/"), std::string::npos) << text;
    }
}

// USER32 is delay-loaded: nothing of it loads until libcrypto's fatal-error
// path asks whether the process is a service, and then it loads. What it
// answers depends on the session the test runs in (a service's window
// station on some runners), not on the build.
TEST(WindowsBuild, User32LoadsOnlyWhenLibcryptoFirstCallsIt) {
    EXPECT_EQ(GetModuleHandleW(L"user32.dll"), nullptr);
    static_cast<void>(OPENSSL_isservice());
    EXPECT_NE(GetModuleHandleW(L"user32.dll"), nullptr);
}

}  // namespace
