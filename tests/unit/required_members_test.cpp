#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "installer/installed_record.h"
#include "installer/release_record.h"
#include "release-signer/release_signer.h"
#include "settings/settings_file.h"
#include "test_keys.h"

namespace kova {
namespace {

using nlohmann::ordered_json;

// A record whose required member is missing is invalid with the record's own
// message, in the object form and the array form alike, never judged further.
struct RecordForm {
    const char* what;
    ordered_json complete;                // every member, in declared order
    std::vector<std::string> required;    // the names of the required ones
    std::function<std::string_view(const ordered_json&)> verdict;
    std::string_view invalid;
};

std::string_view message_of(const auto& result) { return result ? "" : result.error().text(); }

ordered_json as_array(const ordered_json& object) {
    ordered_json array = ordered_json::array();
    for (const auto& [name, value] : object.items()) array.push_back(value);
    return array;
}

std::string_view release_verdict(const ordered_json& release) {
    return message_of(verify_release_record(signing::make_record(release.dump(), testing::test_signing_key()),
                                            testing::test_verifying_key()));
}

TEST(RequiredMembers, AMissingOneMakesTheRecordInvalidInEitherForm) {
    const ordered_json file = {{"name", "lumenframe.exe"}, {"bytes", 1}, {"sha256", testing::kSomeDigest}};
    const ordered_json companion = {{"name", "lumenframe-mcp.exe"}, {"bytes", 2}, {"sha256", testing::kSomeDigest}};
    const ordered_json release = {{"schemaVersion", 1}, {"product", "lumenframe"}, {"version", "1.4.0"},
                                  {"platform", "windows-x86_64"}, {"publisher", "signed"}, {"files", {file, companion}}};
    const RecordForm records[] = {
        {"current.json", {{"current", "1.4.0"}, {"previous", "1.3.9"}}, {"current"},
         [](const ordered_json& j) { return message_of(decode_installed(j.dump())); }, "Installed version record is invalid."},
        {"mcp-settings.json", {{"allowed_roots", {"C:\\Work"}}}, {"allowed_roots"},
         [](const ordered_json& j) { return message_of(decode_settings(j.dump())); }, "MCP folder settings are invalid."},
        {"the release description", release, {"schemaVersion", "product", "version", "platform", "files"}, release_verdict,
         "Invalid release metadata."},
        {"a release file", file, {"name", "bytes", "sha256"},
         [release](const ordered_json& j) {
             ordered_json with_file = release;
             with_file["files"][0] = j;
             return release_verdict(with_file);
         },
         "Invalid release metadata."},
    };
    for (const RecordForm& record : records) {
        EXPECT_EQ(record.verdict(record.complete), "") << record.what;
        EXPECT_EQ(record.verdict(as_array(record.complete)), "") << record.what;
        for (const std::string& name : record.required) {
            ordered_json without = record.complete;
            without.erase(name);
            EXPECT_EQ(record.verdict(without), record.invalid) << record.what << " without " << name;
            EXPECT_EQ(record.verdict(as_array(without)), record.invalid) << record.what << " as an array without " << name;
        }
    }
}

}  // namespace
}  // namespace kova
