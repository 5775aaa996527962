// Each input is a release description's JSON, signed at run time with the
// test key, so that it passes the signature and reaches the payload, package
// and file rules behind it, which the record target can never reach.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "installer/release_record.h"
#include "release-signer/release_signer.h"
#include "test_keys.h"

namespace {

bool is_release_name(std::string_view name) {
    return name == "lumenframe.exe" || name == "lumenframe-mcp.exe" || name == "THIRD_PARTY_NOTICES.txt" ||
           name == "AI_MODELS.zip";
}

// What every accepted release must be, checked here without the verifier's
// own rule functions.
bool obeys_the_rules(const kova::Release& release) {
    if (release.schemaVersion != 1 || release.product != "lumenframe" || release.platform != "windows-x86_64") return false;
    if (release.files.size() < 2 || release.files.size() > 4) return false;
    for (std::size_t i = 0; i < release.files.size(); ++i) {
        const kova::ReleaseFile& file = release.files[i];
        if (!is_release_name(file.name) || file.bytes == 0) return false;
        if (file.bytes > (file.name == "AI_MODELS.zip" ? 2'000'000'000u : 300'000'000u)) return false;
        if (file.sha256.size() != 64 || file.sha256.find_first_not_of("0123456789abcdef") != std::string::npos) return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (release.files[j].name == file.name) return false;
        }
    }
    const auto listed = [&release](std::string_view name) {
        return std::any_of(release.files.begin(), release.files.end(), [name](const auto& f) { return f.name == name; });
    };
    return listed("lumenframe.exe") && listed("lumenframe-mcp.exe");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view payload(reinterpret_cast<const char*>(data), size);
    const std::string record = kova::signing::make_record(payload, kova::testing::test_signing_key());
    const kova::Result<kova::Release> release = kova::verify_release_record(record, kova::testing::test_verifying_key());
    if (release) {
        if (!obeys_the_rules(*release)) std::abort();
        return 0;
    }
    // What the tool signs, the verifier must never find badly signed.
    const std::string_view message = release.error().text();
    if (record.size() <= kova::kMaxReleaseRecordBytes &&
        (message == "Invalid release signature." || message == "Release signature did not verify.")) {
        std::abort();
    }
    return 0;
}
