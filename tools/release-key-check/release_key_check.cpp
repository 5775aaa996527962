// Judges a release key text by the launcher's own rule, at configure time of
// a build that embeds it: nothing printed and exit 0 when kova-mcp would take
// the key, otherwise one line saying why and exit 1. A build never ships a
// launcher that refuses every run with "Invalid embedded release key.".
#include <cstdio>
#include <expected>

#include "installer/release_key.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::puts("usage: release_key_check KEY-TEXT");
        return 2;
    }
    const auto key = kova::read_release_key_text(argv[1]);
    if (key) return 0;
    switch (key.error()) {
        case kova::ReleaseKeyFault::not_standard_base64:
            std::puts("it is not standard Base64 with its padding");
            break;
        case kova::ReleaseKeyFault::not_named_p256_form:
            std::puts("it is not the SubjectPublicKeyInfo of a P-256 (prime256v1) key by name with an uncompressed point");
            break;
        case kova::ReleaseKeyFault::not_on_curve:
            std::puts("its point does not lie on the P-256 curve");
            break;
    }
    return 1;
}
