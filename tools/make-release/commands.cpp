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
#include "make-release/observed_folder.h"
#include "make-release/platform.h"
#include "release-signer/release_signer.h"

namespace kova::tool {
namespace {

constexpr int kDone = 0;
constexpr int kRefused = 1;

void complain(const std::string& line) { std::cerr << "kova-make-release: " << line << '\n'; }

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

// A pass phrase comes from the environment or a file, never from the
// command line, where other users of the machine could read it.
std::expected<std::optional<std::string>, std::string> pass_phrase_of(const KeyFile& key) {
    if (key.pass_env) {
        std::optional<std::string> value = environment_text(*key.pass_env);
        if (!value) return std::unexpected("the environment variable " + *key.pass_env + " is not set");
        return value;
    }
    if (key.pass_file) {
        std::optional<std::string> text = read_file(path_from_utf8(*key.pass_file));
        if (!text) return std::unexpected(shown(path_from_utf8(*key.pass_file)) + ": cannot be read");
        text->erase(std::min(text->find('\n'), text->size()));
        if (!text->empty() && text->back() == '\r') text->pop_back();
        return text;
    }
    return std::optional<std::string>{};
}

std::expected<signing::SigningKey, std::string> load_key(const KeyFile& key) {
    const std::expected<std::optional<std::string>, std::string> pass_phrase = pass_phrase_of(key);
    if (!pass_phrase) return std::unexpected(pass_phrase.error());
    const fs::path path = path_from_utf8(key.path);
    const std::optional<std::string> pem = read_file(path);
    if (!pem) return std::unexpected(shown(path) + ": cannot be read");
    std::expected<signing::SigningKey, signing::KeyRefusal> loaded = signing::load_private_key_pem(*pem, *pass_phrase);
    if (loaded) return std::move(*loaded);
    switch (loaded.error().problem) {
        case signing::KeyProblem::needs_pass_phrase:
            return std::unexpected(shown(path) +
                                   ": the key is encrypted; give its pass phrase with --pass-env NAME or --pass-file FILE");
        case signing::KeyProblem::wrong_pass_phrase:
            return std::unexpected(shown(path) + ": the pass phrase given does not open the key");
        case signing::KeyProblem::not_p256:
            return std::unexpected(shown(path) + ": a key of type " + loaded.error().key_type +
                                   "; releases are signed with a P-256 (prime256v1) EC key");
        case signing::KeyProblem::unreadable:
            break;
    }
    return std::unexpected(shown(path) + ": not a private key in PEM");
}

std::string version_problem(const std::string& version) {
    return "version \"" + shown(path_from_utf8(version)) +
           "\" is not a version name: 1 to 32 ASCII letters, digits, '-' and '.', a digit first, never \"..\"";
}

struct PlannedFile {
    const ReleaseFileRule* rule = nullptr;
    fs::path path;
    std::uint64_t size = 0;
};

// What is wrong with one entry of a folder to be signed, if anything: it must
// be a regular file bearing a release name, of 1 byte up to that name's limit.
std::optional<std::string> entry_problem(const fs::directory_entry& entry, const std::string& name,
                                         PlannedFile& planned) {
    std::error_code error;
    const fs::file_status status = entry.symlink_status(error);
    if (error) return "cannot be examined";
    if (fs::is_symlink(status)) return "a link; a release holds regular files only";
    if (fs::is_directory(status)) return "a folder; a release holds regular files only";
    if (!fs::is_regular_file(status)) return "not a regular file";
    const ReleaseFileRule* rule = release_file_rule(name);
    if (rule == nullptr) return "not a release file name; the names are exactly " + release_names();
    const std::uintmax_t size = entry.file_size(error);
    if (error) return "its size cannot be read";
    if (size < kMinFileBytes) return "empty; a release file holds at least one byte";
    if (size > rule->max_bytes) {
        return std::to_string(size) + " bytes, over the limit of " + std::to_string(rule->max_bytes) + " for this file";
    }
    planned = {rule, entry.path(), size};
    return std::nullopt;
}

// Every problem of the folder, one line each; the files to sign, in the
// order of the release names.
std::vector<PlannedFile> plan_release(const fs::path& folder, std::vector<std::string>& problems, bool& has_manifest) {
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) entries.push_back(*it);
    if (error) {
        problems.push_back(shown(folder) + ": cannot be listed");
        return {};
    }
    std::sort(entries.begin(), entries.end());
    std::vector<PlannedFile> planned;
    for (const fs::directory_entry& entry : entries) {
        const fs::path name = entry.path().filename();
        const std::optional<std::string> text = name_text(name);
        std::optional<std::string> problem;
        PlannedFile file;
        if (!text) {
            problem = "a name that is not Unicode text";
        } else if (*text == kManifestFileName) {
            has_manifest = true;
            if (!entry.is_regular_file(error) || entry.is_symlink(error)) problem = "not a regular file, so it cannot be replaced";
        } else {
            problem = entry_problem(entry, *text, file);
        }
        if (problem) {
            problems.push_back(shown(entry.path()) + ": " + *problem);
        } else if (file.rule != nullptr) {
            planned.push_back(std::move(file));
        }
    }
    for (const ReleaseFileRule& rule : kReleaseFileRules) {
        const bool present = std::any_of(planned.begin(), planned.end(), [&rule](const PlannedFile& f) { return f.rule == &rule; });
        const fs::path path = folder / path_from_utf8(std::string(rule.name));
        if (rule.required && !present && !fs::exists(fs::symlink_status(path, error))) {
            problems.push_back(shown(folder) + ": no " + std::string(rule.name) + ", which every release holds");
        }
    }
    std::sort(planned.begin(), planned.end(), [](const PlannedFile& a, const PlannedFile& b) { return a.rule < b.rule; });
    return planned;
}

std::string describe(const Finding& finding) {
    switch (finding.verdict) {
        case Verdict::ok: return "ok";
        case Verdict::missing: return "missing";
        case Verdict::outside: return "outside the folder";
        case Verdict::not_a_file: return "not a file";
        case Verdict::unreadable: return "its size cannot be read";
        case Verdict::wrong_size:
            return "wrong size (" + std::to_string(finding.size) + " bytes; the release lists " +
                   std::to_string(finding.listed_size) + ")";
        case Verdict::not_hashed: return "cannot be read to its end";
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

}  // namespace

int print_public_key(const KeyFile& key) {
    const std::expected<signing::SigningKey, std::string> loaded = load_key(key);
    if (!loaded) return refuse(loaded.error());
    std::cout << signing::public_key_base64(*loaded) << '\n';
    return kDone;
}

int sign_folder(const KeyFile& key, const std::string& version, const std::string& folder_text) {
    std::vector<std::string> problems;
    if (!is_valid_version(version)) problems.push_back(version_problem(version));
    std::expected<signing::SigningKey, std::string> loaded = load_key(key);
    if (!loaded) problems.push_back(loaded.error());
    const fs::path folder = path_from_utf8(folder_text);
    const fs::path manifest = folder / path_from_utf8(std::string(kManifestFileName));
    bool has_manifest = false;
    const std::vector<PlannedFile> planned = plan_release(folder, problems, has_manifest);

    // Hashed only when nothing else is wrong: the digests are worth
    // nothing then, and a large file takes its time.
    std::vector<signing::FileEntry> files;
    for (std::size_t i = 0; problems.empty() && i < planned.size(); ++i) {
        const Result<std::string> digest = file_sha256(planned[i].path);
        if (digest) {
            files.push_back({std::string(planned[i].rule->name), planned[i].size, *digest});
        } else {
            problems.push_back(shown(planned[i].path) + ": cannot be read");
        }
    }
    if (!problems.empty()) {
        for (const std::string& problem : problems) complain(problem);
        if (has_manifest) complain(shown(manifest) + ": left as it was, from an earlier signing; nothing was signed");
        return kRefused;
    }

    const std::string record = signing::make_record(signing::release_json(version, files), *loaded);
    // The folder as the launcher would judge it with this key, the new record
    // in place: what the tool writes, the launcher accepts.
    const Result<crypto::VerifyingKey> public_key = decode_release_key_text(signing::public_key_base64(*loaded));
    std::error_code error;
    ObservedFolder observed(fs::canonical(folder, error));
    if (!public_key || error) return refuse(shown(folder) + ": cannot be judged after signing");
    observed.use_manifest(record);
    const Result<Release> judged = judge_version_folder(observed, version, *public_key, stop_at_first_failure);
    if (!judged) return refuse(shown(folder) + ": changed while it was signed; nothing was written (" +
                               std::string(judged.error().text()) + ")");
    if (const std::optional<std::string> failure = replace_file(manifest, record + "\n")) {
        return refuse(shown(manifest) + ": " + *failure + "; nothing was signed");
    }
    std::cout << "kova-make-release: signed version " << version << ": " << shown(manifest) << " lists "
              << listing(files) << '\n';
    return kDone;
}

int verify_folder(const std::string& public_key_text, const std::optional<std::string>& version_given,
                  const std::string& folder_text) {
    const fs::path key_path = path_from_utf8(public_key_text);
    const std::optional<std::string> pem = read_file(key_path);
    if (!pem) return refuse(shown(key_path) + ": cannot be read");
    const std::optional<crypto::VerifyingKey> key = signing::load_public_key_pem(*pem);
    if (!key) return refuse(shown(key_path) + ": not a P-256 (prime256v1) public key in PEM");
    const fs::path folder = path_from_utf8(folder_text);
    std::error_code error;
    const fs::path canonical = fs::canonical(folder, error);
    if (error || !fs::is_directory(canonical, error)) return refuse(shown(folder) + ": no such folder");
    const std::optional<std::string> version = version_given ? version_given : name_text(canonical.filename());
    if (!version || !is_valid_version(*version)) {
        return refuse(version_given ? version_problem(*version_given)
                                    : shown(folder) + ": its name is not a version name; give --version VERSION");
    }
    ObservedFolder observed(canonical);
    const Result<Release> release = judge_version_folder(observed, *version, *key, [](const Finding& finding) {
        std::cout << finding.name << ": " << describe(finding) << '\n';
        return true;
    });
    if (!release) {
        std::cout << release.error().text() << '\n';
        return kRefused;
    }
    return kDone;
}

}  // namespace kova::tool
