#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/file_metadata.h"
#include "core/path.h"
#include "core/user_message.h"
#include "installer/crypto.h"
#include "installer/release_record.h"

// Whether a version folder is exactly what its publisher signed. The rules
// live here once, over what can be observed of a folder; the launcher
// observes through Win32, the release tool through std::filesystem, and both
// get the same verdict.
namespace kova {

// Hashing streams every file through one buffer of this size, so memory does
// not grow with the file.
inline constexpr std::size_t kHashBufferBytes = 262'144;

inline constexpr UserMessage kDigestOpenFailed{"Downloaded file could not be opened."};
inline constexpr UserMessage kDigestReadFailed{"Downloaded file could not be checked."};

// Reads an open file from start to end through `buffer`, handing each read's
// bytes to `consume`; false when a read fails.
using ReadThrough = std::function<bool(std::span<std::uint8_t> buffer,
                                       const std::function<void(std::span<const std::uint8_t>)>& consume)>;

// The SHA-256 of all that `read` hands over, through one buffer of
// kHashBufferBytes, as 64 lower-case hexadecimal digits; kDigestReadFailed
// when a read fails or memory runs out, which is a failure to check the file
// too.
[[nodiscard]] Result<std::string> sha256_of_reads(const ReadThrough& read);

// A listed file as found through the folder by its name, links followed.
enum class FileState {
    missing,     // cannot be found or opened
    outside,     // resolves outside the folder
    not_a_file,  // a folder, or what it is cannot be read
    unreadable,  // its size cannot be read
    present,
};

struct FoundFile {
    FileState state = FileState::missing;
    std::uint64_t size = 0;
};

// One entry of the folder's listing, as the listing reports it (links not
// followed). `name` is empty when the entry's name is not Unicode text.
struct ListedEntry {
    std::optional<std::string> name;
    std::string shown_name;  // for reports, whatever the name holds
    FileMetadata metadata;
};

// What can be observed of one version folder.
class VersionFolder {
public:
    virtual ~VersionFolder() = default;
    // manifest.txt, whole; empty when it cannot be read.
    [[nodiscard]] virtual std::optional<std::string> read_manifest() = 0;
    [[nodiscard]] virtual FoundFile find(std::string_view name) = 0;
    // The SHA-256 of a file `find` has just found present, as 64 lower-case
    // hexadecimal digits, or kDigestOpenFailed / kDigestReadFailed.
    [[nodiscard]] virtual Result<std::string> digest(std::string_view name) = 0;
    // Hands each direct entry to `visit` until it returns false; false when
    // the listing cannot be opened or breaks off.
    [[nodiscard]] virtual bool list(const std::function<bool(const ListedEntry&)>& visit) = 0;
};

// What was found of the record, of one listed file or of one entry of the folder.
enum class Verdict {
    ok,
    no_record,   // manifest.txt cannot be read whole as UTF-8
    missing,
    outside,
    not_a_file,
    unreadable,
    wrong_size,
    not_opened,  // it cannot be opened for hashing
    not_read,    // it cannot be read to its end
    wrong_digest,
    unexpected,
};

// Which of the two ways of failing to hash a file a digest's message tells.
[[nodiscard]] Verdict verdict_of_digest_failure(const UserMessage& message);

struct Finding {
    std::string name;
    Verdict verdict = Verdict::ok;
    std::uint64_t size = 0;           // with wrong_size: the size found
    std::uint64_t listed_size = 0;    // with wrong_size: the size the release lists
};

// Receives each finding as it is made: an unreadable record, or the listed
// files in record order, then unexpected entries in listing order; returning
// false ends the check there.
using FindingSink = std::function<bool(const Finding&)>;

// The launcher's verdict on a version folder: manifest.txt read whole as
// UTF-8 and trimmed, verified with `key` into a release for `version`, every
// listed file found with its size and digest, and nothing else in the folder
// but manifest.txt: no other name, no folder, no link. The message is that of
// the first failure in this order, whatever else is reported.
[[nodiscard]] Result<Release> judge_version_folder(VersionFolder& folder, std::string_view version,
                                                   const crypto::VerifyingKey& key, const FindingSink& report);

// Stops at the first failure, as a run of the launcher does.
[[nodiscard]] bool stop_at_first_failure(const Finding& finding);

// Canonicalizes the app folder and the version folder, requires the second
// inside the first, and judges it, stopping at the first failure. Returns the
// verified release.
[[nodiscard]] Result<Release> verify_installed_release(const Path& app_folder, std::string_view version,
                                                       const crypto::VerifyingKey& key);

// SHA-256 of a file's whole content as 64 lower-case hexadecimal digits.
[[nodiscard]] Result<std::string> hash_file_sha256(const Path& file);

}  // namespace kova
