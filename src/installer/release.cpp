#include "installer/release.h"

#include <algorithm>

#include "installer/version_name.h"

namespace kova {
namespace {

constexpr std::size_t kDigestTextLength = 64;

bool is_known_publisher(const std::optional<std::string>& publisher) {
    return !publisher || std::find(kPublisherValues.begin(), kPublisherValues.end(), *publisher) != kPublisherValues.end();
}

bool lists_every_required_file(const Release& release) {
    return std::all_of(kReleaseFileRules.begin(), kReleaseFileRules.end(),
                       [&release](const ReleaseFileRule& rule) { return !rule.required || lists(release, rule.name); });
}

}  // namespace

const ReleaseFileRule* release_file_rule(std::string_view name) {
    const auto rule = std::find_if(kReleaseFileRules.begin(), kReleaseFileRules.end(),
                                   [name](const ReleaseFileRule& r) { return r.name == name; });
    return rule == kReleaseFileRules.end() ? nullptr : &*rule;
}

bool lists(const Release& release, std::string_view name) {
    return std::any_of(release.files.begin(), release.files.end(), [name](const ReleaseFile& f) { return f.name == name; });
}

bool is_lower_hex_digest(std::string_view text) {
    return text.size() == kDigestTextLength && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

bool is_supported_package(const Release& release) {
    return release.schemaVersion == kSchemaVersion && release.product == kProduct && release.platform == kPlatform &&
           is_known_publisher(release.publisher) && is_valid_version(release.version) &&
           release.files.size() >= kMinReleaseFiles && release.files.size() <= kReleaseFileRules.size() &&
           lists_every_required_file(release);
}

bool are_safe_files(const std::vector<ReleaseFile>& files) {
    for (auto it = files.begin(); it != files.end(); ++it) {
        const ReleaseFileRule* rule = release_file_rule(it->name);
        if (rule == nullptr) return false;
        if (std::any_of(files.begin(), it, [&it](const ReleaseFile& earlier) { return earlier.name == it->name; })) {
            return false;
        }
        if (it->bytes < kMinFileBytes || it->bytes > rule->max_bytes) return false;
        if (!is_lower_hex_digest(it->sha256)) return false;
    }
    return true;
}

}  // namespace kova
