#include <gtest/gtest.h>

#include <openssl/bn.h>
#include <openssl/ec.h>

#include <functional>
#include <utility>
#include <nlohmann/json.hpp>

#include "core/base64.h"
#include "installer/release_record.h"
#include "deep_json.h"
#include "exact_text.h"
#include "test_keys.h"

namespace kova {
namespace {

using nlohmann::ordered_json;
using testing::kSomeDigest;

constexpr std::string_view kOk = "";
const std::string kN = "FFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551";

ordered_json base_release() {
    return ordered_json::parse(R"({"schemaVersion":1,"product":"lumenframe","version":"1.4.0",
        "platform":"windows-x86_64","publisher":"signed","files":[
        {"name":"lumenframe.exe","bytes":10,"sha256":")" + kSomeDigest + R"("},
        {"name":"lumenframe-mcp.exe","bytes":20,"sha256":")" + kSomeDigest + R"("}]})");
}

std::string signed_record(std::string_view json_text) { return signing::make_record(json_text, testing::test_signing_key()); }

std::string_view verdict(std::string_view text) {
    const Result<Release> release = verify_release_record(text, testing::test_verifying_key());
    return release ? kOk : release.error().text();
}

std::string record_with_signature(const Bytes& der) {
    return "nrel1." + encode_base64(Bytes{'{', '}'}, Base64::url_unpadded) + "." + encode_base64(der, Base64::url_unpadded);
}

TEST(ReleaseRecord, AGoodRecordYieldsTheWholeRelease) {
    const Result<Release> release = verify_release_record(signed_record(base_release().dump()), testing::test_verifying_key());
    ASSERT_TRUE(release.has_value());
    EXPECT_EQ(release->schemaVersion, 1u);
    EXPECT_EQ(release->product, "lumenframe");
    EXPECT_EQ(release->version, "1.4.0");
    EXPECT_EQ(release->platform, "windows-x86_64");
    EXPECT_EQ(release->publisher, "signed");
    ASSERT_EQ(release->files.size(), 2u);
    EXPECT_EQ(release->files[1].name, "lumenframe-mcp.exe");
    EXPECT_EQ(release->files[1].bytes, 20u);
    EXPECT_EQ(release->files[1].sha256, kSomeDigest);
}

TEST(ReleaseRecord, SizeFieldsAndTagComeFirst) {
    const std::string good = signed_record(base_release().dump());
    const std::string payload = good.substr(6, good.rfind('.') - 6);
    const std::pair<std::string, std::string_view> cases[] = {
        {std::string(8193, 'x'), "Release manifest is too large."},
        {"nrel1." + std::string(8185, 'A') + ".", "Invalid release signature."},  // exactly 8192: judged further
        {"", "Unsupported release manifest."},
        {"nrel1", "Unsupported release manifest."},
        {"nrel1." + payload, "Unsupported release manifest."},
        {good + ".", "Unsupported release manifest."},
        {"NREL1" + good.substr(5), "Unsupported release manifest."},
        {"nrel2" + good.substr(5), "Unsupported release manifest."},
        {"\xEF\xBB\xBF" + good, "Unsupported release manifest."},
        {good + "\n", "Invalid release signature."},  // trimming is the reader's job
        {good, kOk},
    };
    for (const auto& [text, message] : cases) EXPECT_EQ(verdict(text), message) << text.substr(0, 40);
}

TEST(ReleaseRecord, SignatureFieldMustBeStrictUrlSafeBase64) {
    const std::string good = signed_record(base_release().dump());
    const std::string head = good.substr(0, good.rfind('.') + 1);
    const std::string signature = good.substr(good.rfind('.') + 1);
    const std::pair<std::string, std::string_view> cases[] = {
        {head, "Invalid release signature."},
        {head + signature + "=", "Invalid release signature."},
        {head + signature.substr(0, signature.size() - 1) + "+", "Invalid release signature."},
        {head + "/" + signature.substr(1), "Invalid release signature."},
        {head + signature + "A", "Invalid release signature."},
        {head + signature.substr(0, 10) + " " + signature.substr(10), "Invalid release signature."},
    };
    for (const auto& [text, message] : cases) EXPECT_EQ(verdict(text), message) << text;
}

Bytes der_signature(const std::string& r_hex, const std::string& s_hex) {
    const auto integer = [](const std::string& hex) {
        Bytes out{0x02, static_cast<std::uint8_t>(hex.size() / 2)};
        for (std::size_t i = 0; i < hex.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        return out;
    };
    Bytes r = integer(r_hex);
    Bytes s = integer(s_hex);
    Bytes out{0x30, static_cast<std::uint8_t>(r.size() + s.size())};
    out.insert(out.end(), r.begin(), r.end());
    out.insert(out.end(), s.begin(), s.end());
    return out;
}

TEST(ReleaseRecord, SignatureBytesMustBeStrictDerWithScalarsInRange) {
    const std::string one = "01";
    const std::string n_minus_1 = kN.substr(0, 62) + "50";
    const std::string top_bit = "00" + std::string(62, 'F').replace(0, 1, "8");
    Bytes trailing = der_signature(one, one);
    trailing.push_back(0x00);
    Bytes long_form = der_signature(one, one);
    long_form.insert(long_form.begin() + 1, 0x81);
    const std::pair<Bytes, std::string_view> cases[] = {
        {der_signature("00", one), "Invalid release signature."},                  // r = 0
        {der_signature(one, "00"), "Invalid release signature."},                  // s = 0
        {der_signature("00" + kN, one), "Invalid release signature."},             // r = n
        {der_signature(one, "00" + kN), "Invalid release signature."},             // s = n
        {der_signature("0001", one), "Invalid release signature."},                // superfluous zero
        {der_signature(one, "007F"), "Invalid release signature."},                // superfluous zero
        {der_signature("80", one), "Invalid release signature."},                  // negative
        {der_signature("0001" + std::string(62, '0'), one), "Invalid release signature."},
        {der_signature("01" + std::string(64, '0'), one), "Invalid release signature."},  // 33 bytes
        {der_signature("", one), "Invalid release signature."},                    // empty INTEGER
        {trailing, "Invalid release signature."},
        {long_form, "Invalid release signature."},                                 // 0x81 for a short length
        {Bytes{0x30, 0x00}, "Invalid release signature."},
        {Bytes{}, "Invalid release signature."},
        {der_signature(one, one), "Release signature did not verify."},
        {der_signature("00" + n_minus_1, "00" + n_minus_1), "Release signature did not verify."},
        {der_signature(top_bit, top_bit), "Release signature did not verify."},
    };
    for (const auto& [der, message] : cases) EXPECT_EQ(verdict(record_with_signature(der)), message) << crypto::to_lower_hex(der);
}

// ECDSA signatures are malleable: (r, n - s) verifies as well as (r, s).
std::string with_high_s(const std::string& record) {
    const std::size_t dot = record.rfind('.');
    const Bytes der = *decode_base64(record.substr(dot + 1), Base64::url_unpadded);
    const unsigned char* cursor = der.data();
    ECDSA_SIG* signature = d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(der.size()));
    BIGNUM* order = nullptr;
    BN_hex2bn(&order, kN.c_str());
    BIGNUM* high = BN_new();
    BN_sub(high, order, ECDSA_SIG_get0_s(signature));
    const bool was_low = BN_cmp(high, ECDSA_SIG_get0_s(signature)) > 0;
    ECDSA_SIG_set0(signature, BN_dup(ECDSA_SIG_get0_r(signature)), was_low ? high : BN_dup(ECDSA_SIG_get0_s(signature)));
    if (!was_low) BN_free(high);
    unsigned char* encoded = nullptr;
    const int length = i2d_ECDSA_SIG(signature, &encoded);
    const Bytes out(encoded, encoded + length);
    OPENSSL_free(encoded);
    ECDSA_SIG_free(signature);
    BN_free(order);
    return record.substr(0, dot + 1) + encode_base64(out, Base64::url_unpadded);
}

TEST(ReleaseRecord, AcceptsHighSAndRefusesAnyChangeToThePayloadField) {
    const std::string good = signed_record(base_release().dump());
    EXPECT_EQ(verdict(with_high_s(good)), kOk);
    for (const std::size_t position : {std::size_t{6}, std::size_t{20}, good.rfind('.') - 1}) {
        std::string changed = good;
        changed[position] = changed[position] == 'A' ? 'B' : 'A';
        EXPECT_EQ(verdict(changed), "Release signature did not verify.") << position;
    }
    // The same JSON with other spacing is another message.
    const std::string respaced = signed_record(base_release().dump(1));
    const std::string spliced = respaced.substr(0, respaced.rfind('.')) + good.substr(good.rfind('.'));
    EXPECT_EQ(verdict(spliced), "Release signature did not verify.");
}

TEST(ReleaseRecord, PayloadIsDecodedOnlyUnderAValidSignature) {
    const auto key = [] { return std::cref(testing::test_signing_key()); };
    EXPECT_EQ(verdict(signing::make_record_with_field("not*base64", key())), "Invalid release metadata.");
    EXPECT_EQ(verdict(signing::make_record_with_field("QR", key())), "Invalid release metadata.");
    const std::string unsigned_garbage = "nrel1.not*base64" + signed_record("{}").substr(signed_record("{}").rfind('.'));
    EXPECT_EQ(verdict(unsigned_garbage), "Release signature did not verify.");
}

using Edit = std::function<void(ordered_json&)>;

struct PayloadCase {
    const char* what;
    Edit edit;
    std::string_view message;
};

ordered_json file(const std::string& name, std::uint64_t bytes, const std::string& sha256 = kSomeDigest) {
    return {{"name", name}, {"bytes", bytes}, {"sha256", sha256}};
}

TEST(ReleaseRecord, JudgesTheDecodedReleaseByItsRules) {
    const std::string_view metadata = "Invalid release metadata.";
    const std::string_view package = "Release is not a supported Lumenframe Windows package.";
    const std::string_view unsafe = "Release includes an unsafe or invalid file.";
    const PayloadCase cases[] = {
        {"extra member", [](auto& j) { j["extra"] = {{"a", {1, {{"b", nullptr}}}}}; }, kOk},
        {"publisher absent", [](auto& j) { j.erase("publisher"); }, kOk},
        {"publisher null", [](auto& j) { j["publisher"] = nullptr; }, kOk},
        {"publisher unsigned", [](auto& j) { j["publisher"] = "unsigned"; }, kOk},
        {"four files", [](auto& j) { j["files"].push_back(file("AI_MODELS.zip", 2000000000)); j["files"].push_back(file("THIRD_PARTY_NOTICES.txt", 300000000)); }, kOk},
        {"executable at its limit", [](auto& j) { j["files"][0]["bytes"] = 300000000; }, kOk},
        {"schemaVersion 1.0", [](auto& j) { j["schemaVersion"] = 1.0; }, metadata},
        {"schemaVersion string", [](auto& j) { j["schemaVersion"] = "1"; }, metadata},
        {"schemaVersion beyond 32 bits", [](auto& j) { j["schemaVersion"] = 4294967297ull; }, metadata},
        {"bytes negative", [](auto& j) { j["files"][0]["bytes"] = -1; }, metadata},
        {"bytes fractional", [](auto& j) { j["files"][0]["bytes"] = 10.5; }, metadata},
        {"files missing", [](auto& j) { j.erase("files"); }, metadata},
        {"files an object", [](auto& j) { j["files"] = ordered_json::object(); }, metadata},
        {"file without sha256", [](auto& j) { j["files"][0].erase("sha256"); }, metadata},
        {"file name a number", [](auto& j) { j["files"][0]["name"] = 5; }, metadata},
        {"product null", [](auto& j) { j["product"] = nullptr; }, metadata},
        {"publisher a number", [](auto& j) { j["publisher"] = 1; }, metadata},
        {"top-level array of five", [](auto& j) { j = {1, "lumenframe", "1.4.0", "windows-x86_64", j["files"]}; }, metadata},
        {"schemaVersion 2", [](auto& j) { j["schemaVersion"] = 2; }, package},
        {"schemaVersion 4294967295", [](auto& j) { j["schemaVersion"] = 4294967295u; }, package},
        {"product in capitals", [](auto& j) { j["product"] = "Lumenframe"; }, package},
        {"other platform", [](auto& j) { j["platform"] = "windows-arm64"; }, package},
        {"publisher empty", [](auto& j) { j["publisher"] = ""; }, package},
        {"publisher a company", [](auto& j) { j["publisher"] = "Tessarine"; }, package},
        {"version starts with a letter", [](auto& j) { j["version"] = "v1.4.0"; }, package},
        {"one file", [](auto& j) { j["files"].erase(1); }, package},
        {"five files with a foreign name", [](auto& j) { for (auto n : {"a", "b", "c"}) j["files"].push_back(file(n, 1)); }, package},
        {"no lumenframe.exe", [](auto& j) { j["files"][0]["name"] = "THIRD_PARTY_NOTICES.txt"; }, package},
        {"no lumenframe-mcp.exe", [](auto& j) { j["files"][1]["name"] = "AI_MODELS.zip"; }, package},
        {"companion twice", [](auto& j) { j["files"].push_back(file("lumenframe-mcp.exe", 20)); }, unsafe},
        {"name differing in case", [](auto& j) { j["files"].push_back(file("Lumenframe.exe", 1)); }, unsafe},
        {"name with a folder part", [](auto& j) { j["files"].push_back(file("sub\\AI_MODELS.zip", 1)); }, unsafe},
        {"name with a parent step", [](auto& j) { j["files"].push_back(file("../AI_MODELS.zip", 1)); }, unsafe},
        {"manifest listed", [](auto& j) { j["files"].push_back(file("manifest.txt", 1)); }, unsafe},
        {"bytes zero", [](auto& j) { j["files"][1]["bytes"] = 0; }, unsafe},
        {"models one byte over", [](auto& j) { j["files"].push_back(file("AI_MODELS.zip", 2000000001)); }, unsafe},
        {"notices one byte over", [](auto& j) { j["files"].push_back(file("THIRD_PARTY_NOTICES.txt", 300000001)); }, unsafe},
        {"executable one byte over", [](auto& j) { j["files"][0]["bytes"] = 300000001; }, unsafe},
        {"digest upper case", [](auto& j) { j["files"][0]["sha256"] = std::string(64, 'A'); }, unsafe},
        {"digest of 63", [](auto& j) { j["files"][0]["sha256"] = std::string(63, 'a'); }, unsafe},
        {"digest of 65", [](auto& j) { j["files"][0]["sha256"] = std::string(65, 'a'); }, unsafe},
        {"digest not hex", [](auto& j) { j["files"][0]["sha256"] = std::string(63, 'a') + "g"; }, unsafe},
    };
    for (const PayloadCase& c : cases) {
        ordered_json release = base_release();
        c.edit(release);
        EXPECT_EQ(verdict(signed_record(release.dump())), c.message) << c.what;
    }
}

TEST(ReleaseRecord, JudgesRawPayloadTexts) {
    const std::string files = R"([{"name":"lumenframe.exe","bytes":1,"sha256":")" + kSomeDigest +
                              R"("},["lumenframe-mcp.exe",2,")" + kSomeDigest + R"("]])";
    const std::pair<std::string, std::string_view> cases[] = {
        {R"([1,"lumenframe","1.4.0","windows-x86_64",null,)" + files + "]", kOk},
        {R"({"schemaVersion":1,"product":"lumenframe","version":"1.4.0","version":"1.4.0","platform":"windows-x86_64","files":)" + files + "}", "Invalid release metadata."},
        {R"({"schemaVersion":1e0,"product":"lumenframe","version":"1.4.0","platform":"windows-x86_64","files":)" + files + "}", "Invalid release metadata."},
        {R"({"x":[1e400,-1e309],"schemaVersion":1,"product":"lumenframe","version":"1.4.0","platform":"windows-x86_64","files":)" + files + "}", kOk},
        {R"([1,"lumenframe","1.4.0","windows-x86_64",null,[["lumenframe.exe",1e400,")" + kSomeDigest + R"("]]])", "Invalid release metadata."},
        {R"({"schemaVersion":1,"product":"lumen\u0066rame","version":"1.4.0","platform":"windows-x86_64","files":)" + files + "}", kOk},
        {"\xEF\xBB\xBF" R"([1,"lumenframe","1.4.0","windows-x86_64",null,)" + files + "]", "Invalid release metadata."},
        {R"([1,"lumenframe","1.4.0","windows-x86_64",null,)" + files + "] x", "Invalid release metadata."},
        {R"([1,"lumenframe","1.4.0","windows-x86_64",)" + files + "]", "Invalid release metadata."},
        {std::string("[1,\"lumen\xFF\"]"), "Invalid release metadata."},
        {R"({schemaVersion":1,"product":"lumenframe","version":"1.4.0","platform":"windows-x86_64","files":)" + files + "}", "Invalid release metadata."},
        {R"({"schemaVersion":1,"product":"lumenframe","version":"1.4.0","platform":"windows x86_64","files":)" + files, "Invalid release metadata."},
        {R"({"schemaVersion":1,"product":"lumenframe","version":"1.4.0","platform":"windows)", "Invalid release metadata."},
        {R"({"schemaVersion":1,"product":)", "Invalid release metadata."},
        {R"([1,"lumenframe","1.4.0","windows-x86_64",null,[)", "Invalid release metadata."},
        {"", "Invalid release metadata."},
    };
    for (const auto& [json_text, message] : cases) {
        EXPECT_EQ(verdict(signed_record(json_text)), message) << json_text;
        EXPECT_EQ(decode_release(testing::ExactText(json_text).view()).has_value(), message == kOk) << json_text;
    }
}

// No signed payload can be this large; the decoder behind the signature is
// held to the same bound all the same.
TEST(ReleaseRecord, AMillionNestedContainersInAnotherMemberAreSkipped) {
    const std::string text = R"({"x":)" + testing::deeply_nested(testing::kHalfAMillion) +
                             R"(,"schemaVersion":1,"product":"p","version":"v","platform":"q","files":[]})";
    const std::optional<Release> release = decode_release(text);
    ASSERT_TRUE(release.has_value());
    EXPECT_EQ(release->product, "p");
}

TEST(TrimWhiteSpace, RemovesUnicodeWhiteSpaceAtBothEndsOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {"abc\n", "abc"},
        {"abc\r\n", "abc"},
        {"\n\n  abc \t\v\f\r\n", "abc"},
        {"\xC2\x85\xC2\xA0\xE1\x9A\x80\xE2\x80\x80\xE2\x80\x8A\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\x9F\xE3\x80\x80" "abc"
         "\xE3\x80\x80\xE2\x80\x8A",
         "abc"},
        {"a b\nc", "a b\nc"},
        {"\xEF\xBB\xBF" "abc", "\xEF\xBB\xBF" "abc"},
        {"\xE2\x80\x8B" "abc", "\xE2\x80\x8B" "abc"},  // zero width space is not White_Space
        {"abc\xC3\xA9", "abc\xC3\xA9"},
        {" \n ", ""},
        {"", ""},
    };
    for (const auto& [text, trimmed] : cases) EXPECT_EQ(trim_white_space(text), trimmed) << text;
}

}  // namespace
}  // namespace kova
