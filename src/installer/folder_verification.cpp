#include "installer/folder_verification.h"

#include <new>
#include <utility>
#include <vector>

#include "core/storage_layout.h"
#include "core/utf.h"

namespace kova {
namespace {

constexpr UserMessage kRecordMissing{"Installed release record is missing. Repair Lumenframe in KOVA Hub."};
constexpr UserMessage kVersionMismatch{"Installed release version does not match its signature."};
constexpr UserMessage kFileMissing{"Installed release file is missing."};
constexpr UserMessage kFilesChanged{"Installed Lumenframe files changed. Repair the app in KOVA Hub."};
constexpr UserMessage kFileUnreadable{"Installed release file is unreadable."};
constexpr UserMessage kFolderUnreadable{"Installed app folder is unreadable."};
constexpr UserMessage kUnexpectedEntry{
    "Installed Lumenframe folder contains an unexpected file. Repair the app in KOVA Hub."};

// The first failure's message is the verdict; later findings are reported
// but change nothing.
class Judgement {
public:
    explicit Judgement(const FindingSink& report) : report_(report) {}

    // False when the check is to end here.
    bool record(Finding finding, const UserMessage& message) {
        if (finding.verdict != Verdict::ok && !first_failure_) first_failure_ = message;
        return report_(finding);
    }

    [[nodiscard]] const std::optional<UserMessage>& first_failure() const { return first_failure_; }

private:
    const FindingSink& report_;
    std::optional<UserMessage> first_failure_;
};

constexpr UserMessage kNoFailure{"No failure."};

// Where a listed file resolves, what it is, its size, then its digest; the
// size is compared before any content is read.
Finding check_listed_file(VersionFolder& folder, const ReleaseFile& file, UserMessage& message) {
    Finding finding{file.name, Verdict::ok, 0, file.bytes};
    const FoundFile found = folder.find(file.name);
    switch (found.state) {
        case FileState::missing: message = kFileMissing; finding.verdict = Verdict::missing; return finding;
        case FileState::outside: message = kFilesChanged; finding.verdict = Verdict::outside; return finding;
        case FileState::not_a_file: message = kFilesChanged; finding.verdict = Verdict::not_a_file; return finding;
        case FileState::unreadable: message = kFileUnreadable; finding.verdict = Verdict::unreadable; return finding;
        case FileState::present: break;
    }
    finding.size = found.size;
    if (found.size != file.bytes) {
        message = kFilesChanged;
        finding.verdict = Verdict::wrong_size;
        return finding;
    }
    const Result<std::string> digest = folder.digest(file.name);
    if (!digest) {
        message = digest.error();
        finding.verdict = verdict_of_digest_failure(digest.error());
    } else if (*digest != file.sha256) {
        message = kFilesChanged;
        finding.verdict = Verdict::wrong_digest;
    }
    return finding;
}

bool may_stand_in_folder(const Release& release, const ListedEntry& entry) {
    return entry.name && (*entry.name == kManifestFileName || lists(release, *entry.name)) &&
           is_plain_file_entry(entry.metadata);
}

}  // namespace

Result<std::string> sha256_of_reads(const ReadThrough& read) {
    try {
        crypto::Sha256 sha256;
        std::vector<std::uint8_t> buffer(kHashBufferBytes);
        if (!read(buffer, [&sha256](std::span<const std::uint8_t> bytes) { sha256.update(bytes); })) {
            return fail(kDigestReadFailed);
        }
        const crypto::Sha256Digest digest = sha256.finish();
        return crypto::to_lower_hex(digest);
    } catch (const std::bad_alloc&) {
        return fail(kDigestReadFailed);
    }
}

Verdict verdict_of_digest_failure(const UserMessage& message) {
    return message == kDigestOpenFailed ? Verdict::not_opened : Verdict::not_read;
}

bool stop_at_first_failure(const Finding& finding) { return finding.verdict == Verdict::ok; }

Result<Release> judge_version_folder(VersionFolder& folder, std::string_view version, const crypto::VerifyingKey& key,
                                     const FindingSink& report) {
    const std::optional<std::string> text = folder.read_manifest();
    if (!text || !is_valid_utf8(*text)) {
        report(Finding{std::string(kManifestFileName), Verdict::no_record});
        return fail(kRecordMissing);
    }
    Result<Release> release = verify_release_record(trim_white_space(*text), key);
    if (!release) return fail(release.error());
    if (release->version != version) return fail(kVersionMismatch);

    Judgement judgement(report);
    for (const ReleaseFile& file : release->files) {
        UserMessage message = kNoFailure;
        Finding finding = check_listed_file(folder, file, message);
        if (!judgement.record(std::move(finding), message)) return fail(*judgement.first_failure());
    }
    const bool listed = folder.list([&](const ListedEntry& entry) {
        return may_stand_in_folder(*release, entry) ||
               judgement.record(Finding{entry.shown_name, Verdict::unexpected}, kUnexpectedEntry);
    });
    if (judgement.first_failure()) return fail(*judgement.first_failure());
    if (!listed) return fail(kFolderUnreadable);
    return release;
}

}  // namespace kova
