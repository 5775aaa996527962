#include "installer/installed_record.h"

#include "core/strict_json.h"
#include "installer/version_name.h"

namespace kova {
namespace {

constexpr std::array<json::Member, 2> kInstalledMembers{{
    {"current", true},
    {"previous", false},
}};

}  // namespace

Result<Installed> decode_installed(std::string_view text) {
    const std::optional<json::Value> document = json::parse_strict(text);
    if (!document) return fail(kInstalledRecordInvalid);
    const auto members = json::record_members(*document, kInstalledMembers);
    if (!members) return fail(kInstalledRecordInvalid);
    std::optional<std::string> current = json::as_string(*(*members)[0]);
    std::optional<std::optional<std::string>> previous = json::as_optional_string((*members)[1]);
    if (!current || !previous) return fail(kInstalledRecordInvalid);
    if (!is_valid_version(*current)) return fail(kInstalledRecordInvalid);
    if (*previous && !is_valid_version(**previous)) return fail(kInstalledRecordInvalid);
    return Installed{std::move(*current), std::move(*previous)};
}

}  // namespace kova
