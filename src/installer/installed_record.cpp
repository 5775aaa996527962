#include "installer/installed_record.h"

#include <array>

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
    Installed installed;
    const bool decoded = json::read_document(text, [&installed](json::Reader& reader) {
        return json::read_record(reader, kInstalledMembers, [&installed](std::size_t member, json::Reader& value) {
            return member == 0 ? json::read_into(value, installed.current) : json::read_into(value, installed.previous);
        });
    });
    if (!decoded || !is_valid_version(installed.current)) return fail(kInstalledRecordInvalid);
    if (installed.previous && !is_valid_version(*installed.previous)) return fail(kInstalledRecordInvalid);
    return installed;
}

}  // namespace kova
