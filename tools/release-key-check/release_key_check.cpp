// Judges a release key text by the launcher's own rule, at configure time of
// a build that embeds it. The text comes in KOVA_RELEASE_KEY_TEXT (a command
// line would split it at its blanks). Nothing printed and exit 0 when kova-mcp
// would take the key; otherwise one line "release-key-check: WHY" and exit 3,
// so that the build blames the key only on the check's own verdict, never on
// whatever kept the check from running. A build never ships a launcher that
// refuses every run with "Invalid embedded release key.".
#include <cstdio>
#include <cstdlib>
#include <expected>
#include <string_view>

#include "installer/release_key.h"

namespace {

constexpr int kRefused = 3;

int refuse(const char* why) {
    std::printf("release-key-check: %s\n", why);
    return kRefused;
}

}  // namespace

int main() {
    const char* given = std::getenv("KOVA_RELEASE_KEY_TEXT");
    if (given == nullptr) {
        std::puts("KOVA_RELEASE_KEY_TEXT is not set");
        return 2;
    }
    const std::string_view text = given;
    if (text.find("-----BEGIN") != std::string_view::npos) {
        return refuse("this is PEM; give the Base64 that `kova-make-release public-key` prints");
    }
    if (text.find_first_of(" \t\r\n") != std::string_view::npos) {
        return refuse("it holds white space; give the Base64 that `kova-make-release public-key` prints, on one line");
    }
    const auto key = kova::read_release_key_text(text);
    if (key) return 0;
    switch (key.error()) {
        case kova::ReleaseKeyFault::not_standard_base64:
            return refuse("it is not standard Base64 with its padding");
        case kova::ReleaseKeyFault::not_named_p256_form:
            return refuse("it is not the SubjectPublicKeyInfo of a P-256 (prime256v1) key by name with an uncompressed point");
        case kova::ReleaseKeyFault::not_on_curve:
            break;
    }
    return refuse("its point does not lie on the P-256 curve");
}
