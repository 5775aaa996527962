#include "make-release/commands.h"

#include <algorithm>
#include <expected>
#include <iostream>
#include <string_view>
#include <utility>
#include <vector>

#include "core/storage_layout.h"
#include "installer/folder_verification.h"
#include "installer/release.h"
#include "installer/release_key.h"
#include "installer/version_name.h"
#include "make-release/names.h"
#include "make-release/platform.h"
#include "release-signer/release_signer.h"

namespace kova::tool {
namespace {

constexpr int kRefused = 1;

// The public half of the project's test key pair, which anyone can sign with.
constexpr std::string_view kTestPublicKey = KOVA_TEST_PUBLIC_KEY;

// A PEM key, even RSA of 16384 bits, is a few kilobytes; a pass phrase far less.
constexpr std::uint64_t kKeyFileLimit = 64 * 1024;

int refuse(const std::string& line) {
    complain(line);
    return kRefused;
}

std::string release_names() {
    std::string names;
    for (const ReleaseFileRule& rule : kReleaseFileRules) {
        if (!names.empty()) names += ", ";
        names += rule.name;
    }
    return names;
}

std::string describe(ReadFault fault) {
    switch (fault) {
        case ReadFault::missing: return "does not exist";
        case ReadFault::folder: return "is a folder, not a file";
        case ReadFault::not_regular: return "is not a regular file (a device, a FIFO or a socket)";
        case ReadFault::too_large:
            return "is larger than " + std::to_string(kKeyFileLimit) + " bytes, which no key or pass-phrase file is";
        case ReadFault::unreadable: break;
    }
    return "cannot be read" + system_reason();
}

std::string describe(FolderFault fault) {
    switch (fault) {
        case FolderFault::missing: return "no such folder";
        case FolderFault::not_a_folder: return "not a folder";
        case FolderFault::unreadable: break;
    }
    return "the folder cannot be opened" + system_reason();
}

std::expected<std::string, std::string> read_small_file(const std::string& path_text) {
    const fs::path path = path_from_utf8(path_text);
    std::expected<std::string, ReadFault> text = read_regular_file(path, kKeyFileLimit);
    if (!text) return std::unexpected(quoted(path) + ": " + describe(text.error()));
    return std::move(*text);
}

// A pass phrase comes from the environment or a file, never from the
// command line, where other users of the machine could read it.
std::expected<std::optional<std::string>, std::string> pass_phrase_of(const KeyFile& key) {
    if (key.pass_env) {
        std::expected<std::string, VariableFault> value = environment_text(*key.pass_env);
        if (value) return std::move(*value);
        return std::unexpected("the environment variable " + *key.pass_env +
                               (value.error() == VariableFault::unset ? " is not set" : " is not UTF-8 text"));
    }
    if (key.pass_file) {
        std::expected<std::string, std::string> text = read_small_file(*key.pass_file);
        if (!text) return std::unexpected(text.error());
        text->erase(std::min(text->find('\n'), text->size()));
        if (!text->empty() && text->back() == '\r') text->pop_back();
        return std::move(*text);
    }
    return std::optional<std::string>{};
}

// Of a pass phrase longer than OpenSSL takes, what the openssl command that
// encrypted the key used, by the way the pass phrase is given here.
std::string what_openssl_encrypted_with(const KeyFile& key) {
    if (key.pass_file) {
        return "and the openssl command's -pass file: keeps only the first " +
               std::to_string(signing::kMaxPassPhraseBytes - 1) + " bytes of a line: give those";
    }
    return "and the openssl command encrypts a key with only the first " + std::to_string(signing::kMaxPassPhraseBytes) +
           " bytes of a longer -pass env: or pass: phrase: give those";
}

// The key, and the public half the launcher would build in, decoded by the
// launcher's own rule before anything else is done with the key.
struct LoadedKey {
    signing::SigningKey key;
    crypto::VerifyingKey public_key;
};

std::expected<LoadedKey, std::string> load_key(const KeyFile& key) {
    const std::expected<std::optional<std::string>, std::string> pass_phrase = pass_phrase_of(key);
    if (!pass_phrase) return std::unexpected(pass_phrase.error());
    const fs::path path = path_from_utf8(key.path);
    const std::expected<std::string, std::string> pem = read_small_file(key.path);
    if (!pem) return std::unexpected(pem.error());
    std::expected<signing::SigningKey, signing::KeyRefusal> loaded = signing::load_private_key_pem(*pem, *pass_phrase);
    if (!loaded) {
        switch (loaded.error().problem) {
            case signing::KeyProblem::needs_pass_phrase:
                return std::unexpected(quoted(path) +
                                       ": the key is encrypted; give its pass phrase with --pass-env NAME or --pass-file FILE");
            case signing::KeyProblem::wrong_pass_phrase:
                return std::unexpected(quoted(path) + ": the pass phrase given does not open the key");
            case signing::KeyProblem::pass_phrase_too_long:
                return std::unexpected(quoted(path) + ": the pass phrase given is " + std::to_string((*pass_phrase)->size()) +
                                       " bytes; OpenSSL takes at most " + std::to_string(signing::kMaxPassPhraseBytes) +
                                       ", " + what_openssl_encrypted_with(key));
            case signing::KeyProblem::not_p256:
                return std::unexpected(quoted(path) + ": a key of type " + loaded.error().key_type +
                                       "; releases are signed with a P-256 (prime256v1) EC key");
            case signing::KeyProblem::unreadable:
                break;
        }
        return std::unexpected(quoted(path) + ": not a private key in PEM");
    }
    Result<crypto::VerifyingKey> public_key = decode_release_key_text(signing::public_key_base64(*loaded));
    if (!public_key) return std::unexpected(quoted(path) + ": its public half is not a key kova-mcp can build in");
    return LoadedKey{std::move(*loaded), std::move(*public_key)};
}

// A version the launcher could not run: not a version name, or one that no
// Windows folder can bear, since Windows drops a trailing full stop from a
// path's last name (the version rule allows no space at all).
std::optional<std::string> version_problem(const std::string& version) {
    if (!is_valid_version(version)) {
        return "version " + quoted(path_from_utf8(version)) +
               " is not a version name: 1 to 32 ASCII letters, digits, '-' and '.', a digit first, never \"..\"";
    }
    if (version.ends_with('.')) {
        return "version \"" + version +
               "\" ends in a full stop, which Windows drops from a folder's name: no versions folder can bear it";
    }
    return std::nullopt;
}

struct PlannedFile {
    const ReleaseFileRule* rule = nullptr;
    std::uint64_t size = 0;
};

struct Plan {
    std::vector<PlannedFile> files;  // in the order of the release names
    bool earlier_manifest = false;   // a manifest.txt that signing replaces
};

// The name the entry misses by letter case alone, if any.
std::optional<std::string_view> name_differing_in_case(std::string_view name) {
    if (same_name_on_windows(name, kManifestFileName)) return kManifestFileName;
    for (const ReleaseFileRule& rule : kReleaseFileRules) {
        if (same_name_on_windows(name, rule.name)) return rule.name;
    }
    return std::nullopt;
}

std::optional<std::string> found_problem(FileState state) {
    switch (state) {
        case FileState::missing: return "cannot be opened";
        case FileState::outside: return "resolves to a file outside the folder";
        case FileState::not_a_file: return "not a regular file";
        case FileState::unreadable: return "its size cannot be read";
        case FileState::present: break;
    }
    return std::nullopt;
}

// What is wrong with one entry of a folder to be signed, if anything: it must
// be a regular file bearing a release name, of 1 byte up to that name's limit,
// observed as the launcher observes it.
std::optional<std::string> entry_problem(VersionFolder& folder, const ListedEntry& entry, Plan& plan) {
    if (!entry.name) return "a name that is not Unicode text";
    if (is_directory(entry.metadata)) return "a folder; a release holds regular files only";
    if (is_name_surrogate_link(entry.metadata)) return "a link; a release holds regular files only";
    const std::string& name = *entry.name;
    if (name == kManifestFileName) {
        if (folder.find(name).state != FileState::present) return "not a regular file, so it cannot be replaced";
        plan.earlier_manifest = true;
        return std::nullopt;
    }
    if (is_temporary_name_for(name, kManifestFileName)) {
        return "left by a run of kova-make-release that did not finish; remove it";
    }
    const ReleaseFileRule* rule = release_file_rule(name);
    if (rule == nullptr) {
        if (const std::optional<std::string_view> meant = name_differing_in_case(name)) {
            return "differs from " + std::string(*meant) + " only in letter case; the launcher takes exact names only";
        }
        return "not a release file name; the names are exactly " + release_names();
    }
    const FoundFile found = folder.find(name);
    if (std::optional<std::string> problem = found_problem(found.state)) return problem;
    if (found.size < kMinFileBytes) return "empty; a release file holds at least one byte";
    if (found.size > rule->max_bytes) {
        return std::to_string(found.size) + " bytes, over the limit of " + std::to_string(rule->max_bytes) +
               " for this file";
    }
    plan.files.push_back({rule, found.size});
    return std::nullopt;
}

// Every problem of the folder, one line each, and the files to sign.
Plan plan_release(VersionFolder& folder, const fs::path& shown_folder, std::vector<std::string>& problems) {
    std::vector<ListedEntry> entries;
    if (!folder.list([&entries](const ListedEntry& entry) {
            entries.push_back(entry);
            return true;
        })) {
        problems.push_back(quoted(shown_folder) + ": cannot be listed" + system_reason());
        return {};
    }
    std::sort(entries.begin(), entries.end(),
              [](const ListedEntry& a, const ListedEntry& b) { return a.shown_name < b.shown_name; });
    Plan plan;
    for (const ListedEntry& entry : entries) {
        if (const std::optional<std::string> problem = entry_problem(folder, entry, plan)) {
            problems.push_back(quoted(shown_folder / path_from_utf8(entry.shown_name)) + ": " + *problem);
        }
    }
    for (const ReleaseFileRule& rule : kReleaseFileRules) {
        const bool listed = std::any_of(entries.begin(), entries.end(),
                                        [&rule](const ListedEntry& entry) { return entry.name == rule.name; });
        if (rule.required && !listed) {
            problems.push_back(quoted(shown_folder) + ": no " + std::string(rule.name) + ", which every release holds");
        }
    }
    std::sort(plan.files.begin(), plan.files.end(),
              [](const PlannedFile& a, const PlannedFile& b) { return a.rule < b.rule; });
    return plan;
}

std::string describe(const Finding& finding) {
    switch (finding.verdict) {
        case Verdict::ok: return "ok";
        case Verdict::no_record: return "missing, or not a regular file of UTF-8 text";
        case Verdict::missing: return "missing";
        case Verdict::outside: return "outside the folder";
        case Verdict::not_a_file: return "not a file";
        case Verdict::unreadable: return "its size cannot be read";
        case Verdict::wrong_size:
            return "wrong size (" + std::to_string(finding.size) + " bytes; the release lists " +
                   std::to_string(finding.listed_size) + ")";
        case Verdict::not_opened: return "cannot be opened for reading";
        case Verdict::not_read: return "cannot be read to its end";
        case Verdict::wrong_digest: return "wrong digest";
        case Verdict::unexpected: return "unexpected entry";
    }
    return "?";
}

std::string listing(const std::vector<signing::FileEntry>& files) {
    std::string names;
    for (const signing::FileEntry& file : files) names += (names.empty() ? "" : ", ") + file.name;
    return names;
}

// The folder as it would be with another manifest.txt in place.
class WithManifest final : public VersionFolder {
public:
    WithManifest(VersionFolder& folder, std::string manifest) : folder_(folder), manifest_(std::move(manifest)) {}
    std::optional<std::string> read_manifest() override { return manifest_; }
    FoundFile find(std::string_view name) override { return folder_.find(name); }
    Result<std::string> digest(std::string_view name) override { return folder_.digest(name); }
    bool list(const std::function<bool(const ListedEntry&)>& visit) override { return folder_.list(visit); }

private:
    VersionFolder& folder_;
    std::string manifest_;
};

std::string what_is_left(bool earlier_manifest) {
    return earlier_manifest ? "the earlier manifest.txt is as it was" : "no manifest.txt was written";
}

// The name the publisher gives the folder, a link's own name included: the
// launcher finds a version by the name of its folder under versions,
// wherever that leads. A path that ends in "." or ".." names the folder it
// resolves to.
std::optional<std::string> name_given(const fs::path& folder, const ObservedFolder& observed) {
    fs::path given = folder;
    while (!given.has_filename() && given.has_relative_path()) given = given.parent_path();
    const fs::path name = given.filename();
    if (name.empty() || name == "." || name == "..") return observed.name;
    return name_text(name);
}

// What was signed as asked, but no launcher a publisher ships will take.
void warn_of_what_no_shipped_launcher_takes(const KeyFile& key, const LoadedKey& loaded, const std::string& version,
                                            const std::optional<std::string>& folder_name) {
    if (signing::public_key_base64(loaded.key) == kTestPublicKey) {
        complain("warning: " + quoted(path_from_utf8(key.path)) +
                 " is the test key of tests/keys, whose private half anyone can read: only a test build of kova-mcp "
                 "takes this record, and a release build refuses to trust that key");
    }
    if (folder_name && *folder_name != version) {
        complain("warning: version " + version + " is not the folder's name " + quoted(path_from_utf8(*folder_name)) +
                 ": the launcher reads version " + version + " only from a folder versions\\" + version +
                 ", and refuses this record anywhere else");
    }
}

}  // namespace

void complain(const std::string& line) { std::cerr << "kova-make-release: " << line << '\n'; }

int print_public_key(const KeyFile& key) {
    const std::expected<LoadedKey, std::string> loaded = load_key(key);
    if (!loaded) return refuse(loaded.error());
    std::cout << signing::public_key_base64(loaded->key) << '\n';
    return kDone;
}

int sign_folder(const KeyFile& key, const std::string& version, const std::string& folder_text) {
    std::vector<std::string> problems;
    if (std::optional<std::string> problem = version_problem(version)) problems.push_back(std::move(*problem));
    std::expected<LoadedKey, std::string> loaded = load_key(key);
    if (!loaded) problems.push_back(loaded.error());
    const fs::path folder = path_from_utf8(folder_text);
    const fs::path manifest = folder / path_from_utf8(std::string(kManifestFileName));
    std::expected<ObservedFolder, FolderFault> observed = observe_version_folder(folder);
    Plan plan;
    if (!observed) {
        problems.push_back(quoted(folder) + ": " + describe(observed.error()));
    } else {
        plan = plan_release(*observed->folder, folder, problems);
    }

    // Hashed only when nothing else is wrong: the digests are worth
    // nothing then, and a large file takes its time.
    std::vector<signing::FileEntry> files;
    for (std::size_t i = 0; problems.empty() && i < plan.files.size(); ++i) {
        const std::string name(plan.files[i].rule->name);
        const Result<std::string> digest = observed->folder->digest(name);
        if (digest) {
            files.push_back({name, plan.files[i].size, *digest});
        } else {
            problems.push_back(quoted(folder / path_from_utf8(name)) + ": " +
                               describe(Finding{name, verdict_of_digest_failure(digest.error())}) + system_reason());
        }
    }
    if (!problems.empty()) {
        for (const std::string& problem : problems) complain(problem);
        if (plan.earlier_manifest) complain(quoted(manifest) + ": left as it was, from an earlier signing; nothing was signed");
        return kRefused;
    }

    const std::string record = signing::make_record(signing::release_json(version, files), loaded->key);
    // The folder as the launcher would judge it with this key, the new record
    // in place: what the tool writes, the launcher accepts.
    WithManifest signed_folder(*observed->folder, record);
    const Result<Release> judged = judge_version_folder(signed_folder, version, loaded->public_key, stop_at_first_failure);
    if (!judged) {
        return refuse(quoted(folder) + ": changed while it was signed, so nothing was signed and " +
                      what_is_left(plan.earlier_manifest) + " (" + std::string(judged.error().text()) + ")");
    }
    if (const std::optional<ReplaceFailure> failure = replace_file(manifest, record + "\n")) {
        if (failure->replaced) {
            return refuse(quoted(manifest) + ": signed and in place, but " + failure->what +
                          "; it may not survive a crash of this machine");
        }
        return refuse(quoted(manifest) + ": " + failure->what + "; nothing was signed and " +
                      what_is_left(plan.earlier_manifest));
    }
    std::cout << "kova-make-release: signed version " << version << ": " << quoted(manifest) << " lists "
              << listing(files) << '\n';
    warn_of_what_no_shipped_launcher_takes(key, *loaded, version, name_given(folder, *observed));
    return kDone;
}

int verify_folder(const std::string& public_key_path, const std::optional<std::string>& version_given,
                  const std::string& folder_text) {
    const std::expected<std::string, std::string> pem = read_small_file(public_key_path);
    if (!pem) return refuse(pem.error());
    const std::optional<crypto::VerifyingKey> key = signing::load_public_key_pem(*pem);
    if (!key) return refuse(quoted(path_from_utf8(public_key_path)) + ": not a P-256 (prime256v1) public key in PEM");
    const fs::path folder = path_from_utf8(folder_text);
    std::expected<ObservedFolder, FolderFault> observed = observe_version_folder(folder);
    if (!observed) return refuse(quoted(folder) + ": " + describe(observed.error()));
    const std::optional<std::string> folder_name = name_given(folder, *observed);
    if (version_given) {
        if (std::optional<std::string> problem = version_problem(*version_given)) return refuse(*problem);
    } else if (!folder_name || !is_valid_version(*folder_name)) {
        return refuse(quoted(folder) + ": its name is not a version name; give --version VERSION");
    } else if (std::optional<std::string> problem = version_problem(*folder_name)) {
        return refuse(quoted(folder) + ": its name is no version the launcher can run: " + *problem);
    }
    const std::string version = version_given.value_or(folder_name.value_or(""));
    const Result<Release> release = judge_version_folder(*observed->folder, version, *key, [](const Finding& finding) {
        std::cout << quoted_text(finding.name) << ": " << describe(finding) << '\n';
        return true;
    });
    if (!release) {
        std::cout << release.error().text() << '\n';
        return kRefused;
    }
    return kDone;
}

}  // namespace kova::tool
