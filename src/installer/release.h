#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/storage_layout.h"

// What a Lumenframe Windows release is: the description a signed release
// record carries, and the rules it must obey. Shared by the launcher, which
// judges releases, and the release tool, which makes them.
namespace kova {

struct ReleaseFile {
    std::string name;
    std::uint64_t bytes = 0;
    std::string sha256;
};

struct Release {
    std::uint32_t schemaVersion = 0;
    std::string product;
    std::string version;
    std::string platform;
    std::optional<std::string> publisher;
    std::vector<ReleaseFile> files;
};

inline constexpr std::uint32_t kSchemaVersion = 1;
inline constexpr std::string_view kProduct = "lumenframe";
inline constexpr std::string_view kPlatform = "windows-x86_64";
inline constexpr std::array<std::string_view, 2> kPublisherValues{"signed", "unsigned"};
inline constexpr std::string_view kSignedPublisher = kPublisherValues[0];

struct ReleaseFileRule {
    std::string_view name;
    bool required;
    std::uint64_t max_bytes;
};

// The only names a release may list, each at most once.
inline constexpr std::array<ReleaseFileRule, 4> kReleaseFileRules{{
    {"lumenframe.exe", true, 300'000'000},
    {kCompanionExecutableName, true, 300'000'000},
    {"THIRD_PARTY_NOTICES.txt", false, 300'000'000},
    {"AI_MODELS.zip", false, 2'000'000'000},
}};
inline constexpr std::size_t kMinReleaseFiles = 2;
inline constexpr std::uint64_t kMinFileBytes = 1;

// The rule of a release file name, exactly as written; nullptr for any other name.
[[nodiscard]] const ReleaseFileRule* release_file_rule(std::string_view name);

// True when the release lists a file of this name, exactly as written.
[[nodiscard]] bool lists(const Release& release, std::string_view name);

// 64 digits 0-9 and a-f, the only way a release writes a SHA-256 digest.
[[nodiscard]] bool is_lower_hex_digest(std::string_view text);

// The release as a whole: schema, product, platform, publisher, version,
// the number of files and the files every release must list.
[[nodiscard]] bool is_supported_package(const Release& release);

// Each file in record order: a release name, not repeated, a size from one
// byte up to the name's limit, a digest written in lower-case hexadecimal.
[[nodiscard]] bool are_safe_files(const std::vector<ReleaseFile>& files);

}  // namespace kova
