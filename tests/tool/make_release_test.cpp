// The release tool as a publisher uses it: the real kova-make-release,
// started as a process, on folders and keys made here.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/base64.h"
#include "release-signer/release_signer.h"
#include "test_keys.h"

extern char** environ;

namespace kova {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int exit_code = -1;
    std::string output;
    std::string error;
};

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class Scratch {
public:
    Scratch() : root_(fs::temp_directory_path() / ("kova-tool-" + std::to_string(getpid()) + "-" + std::to_string(++count_))) {
        fs::remove_all(root_);
        fs::create_directories(root_ / "1.4.0");
        write_file(release() / "lumenframe.exe", "the app");
        write_file(release() / "lumenframe-mcp.exe", "the companion");
        write_file(key(), std::string(kTestPem()));
    }
    ~Scratch() { fs::remove_all(root_); }
    [[nodiscard]] fs::path root() const { return root_; }
    [[nodiscard]] fs::path release() const { return root_ / "1.4.0"; }
    [[nodiscard]] fs::path key() const { return root_ / "key.pem"; }
    [[nodiscard]] fs::path manifest() const { return release() / "manifest.txt"; }

    // Runs the tool, through /bin/sh when `shell` holds a prefix of commands.
    ToolRun tool(std::vector<std::string> arguments, const std::string& shell = "",
             const std::map<std::string, std::string>& environment = {}) const {
        if (!shell.empty()) {
            arguments.insert(arguments.begin(), {"/bin/sh", "-c", shell + "; exec \"$0\" \"$@\"", KOVA_MAKE_RELEASE});
        } else {
            arguments.insert(arguments.begin(), KOVA_MAKE_RELEASE);
        }
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        std::vector<std::string> variables;
        for (char** entry = environ; *entry != nullptr; ++entry) variables.emplace_back(*entry);
        for (const auto& [name, value] : environment) variables.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (std::string& variable : variables) envp.push_back(variable.data());
        envp.push_back(nullptr);
        const std::string out = (root_ / "stdout").string();
        const std::string err = (root_ / "stderr").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ToolRun run;
        if (spawned != 0) return run;
        int status = 0;
        waitpid(pid, &status, 0);
        run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.output = read_file(out);
        run.error = read_file(err);
        return run;
    }

    ToolRun sign(const std::string& version = "1.4.0", std::vector<std::string> more = {}, const std::string& shell = "") const {
        std::vector<std::string> arguments{"sign", "--key", key().string(), "--version", version};
        arguments.insert(arguments.end(), more.begin(), more.end());
        arguments.push_back(release().string());
        return tool(arguments, shell);
    }

    static std::string_view kTestPem();

private:
    fs::path root_;
    static inline int count_ = 0;
};

std::string_view Scratch::kTestPem() {
    static const std::string pem = read_file(KOVA_TEST_KEY_PEM);
    return pem;
}

std::string pem_of(EVP_PKEY* key, const std::string& pass_phrase = "", bool encrypted = false) {
    BIO* bio = BIO_new(BIO_s_mem());
    if (pass_phrase.empty() && !encrypted) {
        PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    } else {
        PEM_write_bio_PKCS8PrivateKey(bio, key, EVP_aes_256_cbc(), pass_phrase.data(), static_cast<int>(pass_phrase.size()),
                                      nullptr, nullptr);
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<std::size_t>(length));
    BIO_free(bio);
    return pem;
}

std::string generated_key(const char* type, const char* curve = nullptr) {
    EVP_PKEY* key = curve != nullptr ? EVP_PKEY_Q_keygen(nullptr, nullptr, type, curve)
                    : std::string_view(type) == "RSA" ? EVP_PKEY_Q_keygen(nullptr, nullptr, type, std::size_t{2048})
                                                       : EVP_PKEY_Q_keygen(nullptr, nullptr, type);
    std::string pem = pem_of(key);
    EVP_PKEY_free(key);
    return pem;
}

// As a user whom file permissions bind: the tests run as root, whose DAC
// capabilities would read a mode-000 file all the same.
std::string without_dac_capabilities() {
    if (geteuid() != 0) return "";
    return "exec setpriv --inh-caps=-dac_override,-dac_read_search --bounding-set=-dac_override,-dac_read_search "
           "\"$0\" \"$@\"";
}

std::string public_pem_of(const std::string& private_pem) {
    BIO* in = BIO_new_mem_buf(private_pem.data(), static_cast<int>(private_pem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(in, nullptr, nullptr, nullptr);
    BIO_free(in);
    BIO* out = BIO_new(BIO_s_mem());
    PEM_write_bio_PUBKEY(out, key);
    char* data = nullptr;
    const long length = BIO_get_mem_data(out, &data);
    std::string pem(data, static_cast<std::size_t>(length));
    BIO_free(out);
    EVP_PKEY_free(key);
    return pem;
}

// A Unix domain socket at `path`, as a daemon leaves one.
void make_socket(const fs::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.native().copy(address.sun_path, sizeof address.sun_path - 1);
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
    ::close(socket);
}

std::size_t lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

// A refusal: exit 1, each expected text on standard error, and no manifest.
void expect_refused(const Scratch& scratch, const ToolRun& run, const std::vector<std::string>& texts, const std::string& what) {
    EXPECT_EQ(run.exit_code, 1) << what << "\n" << run.error;
    for (const std::string& text : texts) EXPECT_NE(run.error.find(text), std::string::npos) << what << ": " << run.error;
    EXPECT_EQ(lines(run.error), texts.size()) << what << ": one line per problem\n" << run.error;
    EXPECT_FALSE(fs::is_regular_file(scratch.manifest())) << what << ": a manifest was written";
}

TEST(MakeRelease, RefusesToSignWhatTheLauncherWouldRefuse) {
    const std::string p256 = "releases are signed with a P-256 (prime256v1) EC key";
    const std::string bad_version = "is not a version name";
    struct Case {
        std::string what;
        std::function<void(const Scratch&)> arrange;
        std::string version;
        std::vector<std::string> problems;
    };
    const Case cases[] = {
        {"an RSA key", [](const Scratch& s) { write_file(s.key(), generated_key("RSA")); }, "1.4.0", {"a key of type RSA; " + p256}},
        {"a P-384 key", [](const Scratch& s) { write_file(s.key(), generated_key("EC", "P-384")); }, "1.4.0", {"a key of type EC secp384r1; " + p256}},
        {"a secp256k1 key", [](const Scratch& s) { write_file(s.key(), generated_key("EC", "secp256k1")); }, "1.4.0", {"a key of type EC secp256k1; " + p256}},
        {"an Ed25519 key", [](const Scratch& s) { write_file(s.key(), generated_key("ED25519")); }, "1.4.0", {"a key of type ED25519; " + p256}},
        {"no key file", [](const Scratch& s) { fs::remove(s.key()); }, "1.4.0", {"key.pem\": does not exist"}},
        {"a folder for a key", [](const Scratch& s) { fs::remove(s.key()); fs::create_directory(s.key()); }, "1.4.0", {"key.pem\": is a folder, not a file"}},
        {"a device for a key", [](const Scratch& s) { fs::remove(s.key()); fs::create_symlink("/dev/zero", s.key()); }, "1.4.0",
         {"key.pem\": is not a regular file"}},
        {"a socket for a key", [](const Scratch& s) { fs::remove(s.key()); make_socket(s.key()); }, "1.4.0",
         {"key.pem\": is not a regular file (a device, a FIFO or a socket)"}},
        {"a key file this user may not read", [](const Scratch& s) { fs::permissions(s.key(), fs::perms::none); }, "1.4.0",
         {"key.pem\": cannot be read: Permission denied"}},
        {"a key file that is no PEM key", [](const Scratch& s) { write_file(s.key(), "-----BEGIN NOTHING-----\n"); }, "1.4.0",
         {"key.pem\": not a private key in PEM"}},
        // Its size says 0; what it holds is megabytes.
        {"a key file larger than it says", [](const Scratch& s) { fs::remove(s.key()); fs::create_symlink("/proc/kallsyms", s.key()); }, "1.4.0",
         {"key.pem\": is larger than 65536 bytes, which no key or pass-phrase file is"}},
        {"no such folder", [](const Scratch& s) { fs::remove_all(s.release()); }, "1.4.0", {"1.4.0\": no such folder"}},
        {"version v1.4", [](const Scratch&) {}, "v1.4", {bad_version}},
        {"version ../1", [](const Scratch&) {}, "../1", {bad_version}},
        {"version 1..4", [](const Scratch&) {}, "1..4", {bad_version}},
        {"an empty version", [](const Scratch&) {}, "", {bad_version}},
        {"a version of 33 characters", [](const Scratch&) {}, std::string(33, '1'), {bad_version}},
        {"a version no Windows folder bears", [](const Scratch&) {}, "1.", {"ends in a full stop, which Windows drops"}},
        {"an extra file", [](const Scratch& s) { write_file(s.release() / "notes.txt", "x"); }, "1.4.0", {"notes.txt\": not a release file name"}},
        {"a name in another case", [](const Scratch& s) { write_file(s.release() / "AI_models.zip", "x"); }, "1.4.0",
         {"AI_models.zip\": differs from AI_MODELS.zip only in letter case"}},
        {"a dead run's temporary file", [](const Scratch& s) { write_file(s.release() / ".manifest.txt.4242.tmp", "x"); }, "1.4.0",
         {".manifest.txt.4242.tmp\": left by a run of kova-make-release that did not finish"}},
        {"a file that cannot be opened for hashing", [](const Scratch& s) { fs::permissions(s.release() / "lumenframe.exe", fs::perms::none); }, "1.4.0",
         {"lumenframe.exe\": cannot be opened for reading: Permission denied"}},
        {"a folder named manifest.txt", [](const Scratch& s) { fs::create_directory(s.manifest()); }, "1.4.0",
         {"manifest.txt\": a folder; a release holds regular files only"}},
        {"a 0-byte file", [](const Scratch& s) { write_file(s.release() / "THIRD_PARTY_NOTICES.txt", ""); }, "1.4.0", {"THIRD_PARTY_NOTICES.txt\": empty"}},
        {"notices over their limit", [](const Scratch& s) { write_file(s.release() / "THIRD_PARTY_NOTICES.txt", "x"); fs::resize_file(s.release() / "THIRD_PARTY_NOTICES.txt", 300'000'001); }, "1.4.0",
         {"THIRD_PARTY_NOTICES.txt\": 300000001 bytes, over the limit of 300000000"}},
        {"a link", [](const Scratch& s) { fs::create_symlink(s.release() / "lumenframe.exe", s.release() / "AI_MODELS.zip"); }, "1.4.0", {"AI_MODELS.zip\": a link"}},
        {"a folder", [](const Scratch& s) { fs::create_directory(s.release() / "AI_MODELS.zip"); }, "1.4.0", {"AI_MODELS.zip\": a folder"}},
        {"no lumenframe-mcp.exe", [](const Scratch& s) { fs::remove(s.release() / "lumenframe-mcp.exe"); }, "1.4.0", {"no lumenframe-mcp.exe"}},
        {"an empty folder", [](const Scratch& s) { fs::remove(s.release() / "lumenframe-mcp.exe"); fs::remove(s.release() / "lumenframe.exe"); }, "1.4.0",
         {"no lumenframe.exe", "no lumenframe-mcp.exe"}},
        {"every problem at once", [](const Scratch& s) { write_file(s.release() / "a", "x"); write_file(s.release() / "AI_MODELS.zip", ""); }, "v1",
         {bad_version, "a\": not a release file name", "AI_MODELS.zip\": empty"}},
    };
    for (const Case& c : cases) {
        const Scratch scratch;
        c.arrange(scratch);
        expect_refused(scratch, scratch.sign(c.version, {}, without_dac_capabilities()), c.problems, c.what);
    }
}

TEST(MakeRelease, AnEncryptedKeyOpensOnlyWithItsPassPhraseAndNeverPrompts) {
    const Scratch scratch;
    write_file(scratch.key(), pem_of(testing::test_signing_key().get(), "correct horse"));
    write_file(scratch.root() / "pass", "correct horse\n");
    write_file(scratch.root() / "wrong", "battery staple\n");
    expect_refused(scratch, scratch.sign(), {"give its pass phrase with --pass-env NAME or --pass-file FILE"}, "no pass phrase");
    expect_refused(scratch, scratch.sign("1.4.0", {"--pass-file", (scratch.root() / "wrong").string()}),
                   {"the pass phrase given does not open the key"}, "a wrong pass phrase");
    expect_refused(scratch, scratch.sign("1.4.0", {"--pass-env", "KOVA_TEST_UNSET_PASS"}),
                   {"the environment variable KOVA_TEST_UNSET_PASS is not set"}, "an unset variable");
    expect_refused(scratch, scratch.tool({"public-key", "--key", scratch.key().string(), "--pass-env", "KOVA_TEST_PASS"}, "",
                                         {{"KOVA_TEST_PASS", "caf\xE9"}}),
                   {"the environment variable KOVA_TEST_PASS is not UTF-8 text"}, "a pass phrase that is not text");
    // OpenSSL takes 1024 bytes at most; the line says what the openssl
    // command made of a longer one, by the way it was given.
    for (const std::size_t length : {1025, 2000}) {
        write_file(scratch.root() / "long", std::string(length, 'p'));
        expect_refused(scratch, scratch.sign("1.4.0", {"--pass-file", (scratch.root() / "long").string()}),
                       {"the pass phrase given is " + std::to_string(length) + " bytes; OpenSSL takes at most 1024, and "
                        "the openssl command's -pass file: keeps only the first 1023 bytes of a line: give those"},
                       "a pass phrase too long");
    }
    expect_refused(scratch, scratch.tool({"public-key", "--key", scratch.key().string(), "--pass-env", "KOVA_TEST_PASS"}, "",
                                         {{"KOVA_TEST_PASS", std::string(2000, 'p')}}),
                   {"the pass phrase given is 2000 bytes; OpenSSL takes at most 1024, and the openssl command encrypts "
                    "a key with only the first 1024 bytes of a longer -pass env: or pass: phrase: give those"},
                   "a pass phrase too long, from the environment");
    // Encrypted with all of 1024 bytes, as `openssl genpkey -pass env:` does.
    const std::string longest(1024, 'q');
    write_file(scratch.root() / "longest.pem", pem_of(testing::test_signing_key().get(), longest));
    const ToolRun longest_run = scratch.tool({"public-key", "--key", (scratch.root() / "longest.pem").string(), "--pass-env",
                                              "KOVA_TEST_PASS"}, "", {{"KOVA_TEST_PASS", longest}});
    EXPECT_EQ(longest_run.exit_code, 0) << longest_run.error;
    // Encrypted with an empty pass phrase is encrypted all the same.
    write_file(scratch.root() / "empty.pem", pem_of(testing::test_signing_key().get(), "", true));
    expect_refused(scratch, scratch.tool({"sign", "--key", (scratch.root() / "empty.pem").string(), "--version", "1.4.0",
                                          scratch.release().string()}),
                   {"give its pass phrase with --pass-env NAME or --pass-file FILE"}, "an empty pass phrase not given");
    const ToolRun from_file = scratch.sign("1.4.0", {"--pass-file", (scratch.root() / "pass").string()});
    EXPECT_EQ(from_file.exit_code, 0) << from_file.error;
    fs::remove(scratch.manifest());
    const ToolRun from_environment = scratch.tool({"public-key", "--key", scratch.key().string(), "--pass-env", "KOVA_TEST_PASS"},
                                              "", {{"KOVA_TEST_PASS", "correct horse"}});
    EXPECT_EQ(from_environment.exit_code, 0) << from_environment.error;
    EXPECT_EQ(from_environment.output, signing::public_key_base64(testing::test_signing_key()) + "\n");
}

TEST(MakeRelease, ArgumentsThatAreNotTextAndHelpAreHandled) {
    const Scratch scratch;
    const ToolRun not_text = scratch.sign("1.4\xFF");
    EXPECT_EQ(not_text.exit_code, 2);
    EXPECT_EQ(not_text.error, "kova-make-release: an argument is not Unicode text\n");
    const ToolRun help = scratch.tool({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_TRUE(help.output.starts_with("Usage: kova-make-release sign")) << help.output;
    EXPECT_EQ(help.error, "");
    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{}, {"sign"}, {"sign", "--key", "k", "--version", "1"}, {"verify", "x"}, {"frobnicate"},
          {"public-key", "--key", "k", "--pass-env", "A", "--pass-file", "B"},
          {"sign", "--key", "k", "--version", "1", "--frob", "x", "F"},      // an unknown option
          {"sign", "--key", "k", "--version", "1", "--version", "1", "F"},   // one given twice
          {"sign", "--version", "1", "F", "--key"},                          // one without its value
          {"sign", "--key", "k", "--version", "1", "F", "G"},                // a folder too many
          {"sign", "--key", "k", "F"},                                       // no version
          {"public-key", "--key", "k", "F"},
          {"verify", "--key", "k", "F"},                                     // another command's option
          {"verify", "--public-key", "p", "F", "G"}}) {
        const ToolRun usage = scratch.tool(wrong);
        EXPECT_EQ(usage.exit_code, 2) << ::testing::PrintToString(wrong);
        EXPECT_EQ(usage.error, help.output) << ::testing::PrintToString(wrong);
        EXPECT_EQ(usage.output, "");
    }
}

TEST(MakeRelease, AManifestThatCannotBeWrittenLeavesTheOldOneAsItWas) {
    const Scratch scratch;
    write_file(scratch.manifest(), "an earlier record\n");
    write_file(scratch.release() / "THIRD_PARTY_NOTICES.txt", "notices");
    // No file may grow beyond 512 bytes, as on a full disk: a record of three
    // files is larger, a line on standard error is not. The tool itself
    // ignores the signal that would end it there.
    const ToolRun run = scratch.tool({"sign", "--key", scratch.key().string(), "--version", "1.4.0", scratch.release().string()},
                                     "ulimit -f 1");
    EXPECT_EQ(run.exit_code, 1) << run.error;
    EXPECT_NE(run.error.find("manifest.txt\": cannot be written: File too large; nothing was signed and the earlier "
                             "manifest.txt is as it was"),
              std::string::npos)
        << run.error;
    EXPECT_EQ(read_file(scratch.manifest()), "an earlier record\n");
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch.release())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"THIRD_PARTY_NOTICES.txt", "lumenframe-mcp.exe", "lumenframe.exe", "manifest.txt"}));
}

// A problem's line names the entry as it is written, control characters and
// bytes that are not text escaped, in the order of the names.
TEST(MakeRelease, NamesAreShownAsWrittenAndInNameOrder) {
    const Scratch scratch;
    for (const char* name : {"zeta", ".notes.tmp", ".manifest.txt.10.tmp", ".manifest.txt.tmp", ".manifest.txt..tmp", "caf\xE9",
                             "caf\xC3\xA9.txt", "a\tb"}) {
        write_file(scratch.release() / name, "x");
    }
    const std::string folder = "\"" + scratch.release().string() + "/";
    const std::string not_a_release_name =
        "\": not a release file name; the names are exactly lumenframe.exe, lumenframe-mcp.exe, THIRD_PARTY_NOTICES.txt, "
        "AI_MODELS.zip\n";
    const ToolRun run = scratch.sign();
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.error, "kova-make-release: " + folder + ".manifest.txt..tmp" + not_a_release_name +
                         "kova-make-release: " + folder + ".manifest.txt.10.tmp\": left by a run of kova-make-release that did not finish; remove it\n"
                         "kova-make-release: " + folder + ".manifest.txt.tmp" + not_a_release_name +
                         "kova-make-release: " + folder + ".notes.tmp" + not_a_release_name +
                         "kova-make-release: " + folder + "a\\x09b" + not_a_release_name +
                         "kova-make-release: " + folder + "caf\\xE9\": a name that is not Unicode text\n"
                         "kova-make-release: " + folder + "caf\xC3\xA9.txt" + not_a_release_name +
                         "kova-make-release: " + folder + "zeta" + not_a_release_name);
}

// What the signer writes is the release as the launcher reads it: every
// member, each file's size and its SHA-256 (known answers) in lower-case hex.
TEST(MakeRelease, TheSignedDescriptionHoldsEveryMemberTheLauncherReads) {
    const Scratch scratch;
    ASSERT_EQ(scratch.sign().exit_code, 0);
    const std::string record = read_file(scratch.manifest());
    ASSERT_TRUE(record.starts_with("nrel1.") && record.ends_with("\n")) << record;
    const std::size_t second = record.find('.', 6);
    const std::optional<Bytes> payload = decode_base64(record.substr(6, second - 6), Base64::url_unpadded);
    ASSERT_TRUE(payload.has_value());
    EXPECT_EQ(nlohmann::ordered_json::parse(payload->begin(), payload->end()), nlohmann::ordered_json::parse(R"({
        "schemaVersion": 1, "product": "lumenframe", "version": "1.4.0", "platform": "windows-x86_64", "publisher": "signed",
        "files": [
          {"name": "lumenframe.exe", "bytes": 7, "sha256": "ecf6410c21e70b6249f59badba275ed326c3043ff2a39f08b88373ead8932dbc"},
          {"name": "lumenframe-mcp.exe", "bytes": 13, "sha256": "14db86d240b30ccf70dd72f902daa1bf5269835a1df024067deac445dd7f23d0"}]})"));
}

TEST(MakeRelease, ARecordThatCannotBeCreatedSignsNothing) {
    const Scratch scratch;
    fs::permissions(scratch.release(), fs::perms::owner_read | fs::perms::owner_exec);
    const ToolRun run = scratch.sign("1.4.0", {}, without_dac_capabilities());
    fs::permissions(scratch.release(), fs::perms::owner_all);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.error, "kova-make-release: \"" + scratch.manifest().string() +
                             "\": cannot be created: Permission denied; nothing was signed and no manifest.txt was written\n");
    EXPECT_FALSE(fs::exists(scratch.manifest()));
}

TEST(MakeRelease, VerifyJudgesAsTheLauncherAndNamesWhatIsWrong) {
    const Scratch scratch;
    write_file(scratch.manifest(), "an earlier record\n");
    ASSERT_EQ(scratch.sign().exit_code, 0);
    const std::vector<std::string> verify{"verify", "--public-key", KOVA_TEST_PUBLIC_KEY_PEM, scratch.release().string()};
    const ToolRun accepted = scratch.tool(verify);
    EXPECT_EQ(accepted.exit_code, 0) << accepted.error;
    EXPECT_EQ(accepted.output, "\"lumenframe.exe\": ok\n\"lumenframe-mcp.exe\": ok\n");
    write_file(scratch.release() / "lumenframe.exe", "the apq");
    write_file(scratch.release() / "lumenframe-mcp.exe", "the companion, longer");
    fs::create_directory(scratch.release() / "extra");
    const ToolRun refused = scratch.tool(verify);
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(refused.output,
              "\"lumenframe.exe\": wrong digest\n"
              "\"lumenframe-mcp.exe\": wrong size (21 bytes; the release lists 13)\n"
              "\"extra\": unexpected entry\n"
              "Installed Lumenframe files changed. Repair the app in KOVA Hub.\n");
    const ToolRun other_version = scratch.tool({"verify", "--public-key", KOVA_TEST_PUBLIC_KEY_PEM, "--version", "1.4.1",
                                            scratch.release().string()});
    EXPECT_EQ(other_version.output, "Installed release version does not match its signature.\n");
}

// Windows finds a name in any letter case, and the launcher reads nothing
// but regular files: verify on Linux says what the launcher would say.
TEST(MakeRelease, VerifySeesTheFolderAsTheLauncherWould) {
    const std::string ok_files = "\"lumenframe.exe\": ok\n\"lumenframe-mcp.exe\": ok\n";
    const std::string no_record =
        "\"manifest.txt\": missing, or not a regular file of UTF-8 text\n"
        "Installed release record is missing. Repair Lumenframe in KOVA Hub.\n";
    const std::string unexpected = "Installed Lumenframe folder contains an unexpected file. Repair the app in KOVA Hub.\n";
    struct Case {
        std::string what;
        std::function<void(const Scratch&)> arrange;
        std::string output;
    };
    const Case cases[] = {
        {"a folder named manifest.txt", [](const Scratch& s) { fs::remove(s.manifest()); fs::create_directory(s.manifest()); }, no_record},
        {"a FIFO named manifest.txt", [](const Scratch& s) { fs::remove(s.manifest()); mkfifo(s.manifest().c_str(), 0644); }, no_record},
        {"the record in capitals", [](const Scratch& s) { fs::rename(s.manifest(), s.release() / "MANIFEST.TXT"); },
         ok_files + "\"MANIFEST.TXT\": unexpected entry\n" + unexpected},
        {"a listed file in capitals", [](const Scratch& s) { fs::rename(s.release() / "lumenframe.exe", s.release() / "LUMENFRAME.EXE"); },
         ok_files + "\"LUMENFRAME.EXE\": unexpected entry\n" + unexpected},
    };
    for (const Case& c : cases) {
        const Scratch scratch;
        ASSERT_EQ(scratch.sign().exit_code, 0);
        c.arrange(scratch);
        const ToolRun run = scratch.tool({"verify", "--public-key", KOVA_TEST_PUBLIC_KEY_PEM, scratch.release().string()});
        EXPECT_EQ(run.exit_code, 1) << c.what;
        EXPECT_EQ(run.output, c.output) << c.what;
    }
    {
        // Through a link named after the version: the name given is the
        // version, as versions\1.4.0 may lead anywhere for the launcher.
        const Scratch scratch;
        ASSERT_EQ(scratch.sign().exit_code, 0);
        fs::rename(scratch.release(), scratch.root() / "stage");
        fs::create_directory(scratch.root() / "l");
        fs::create_directory_symlink(scratch.root() / "stage", scratch.root() / "l" / "1.4.0");
        const ToolRun run = scratch.tool({"verify", "--public-key", KOVA_TEST_PUBLIC_KEY_PEM, (scratch.root() / "l" / "1.4.0").string()});
        EXPECT_EQ(run.exit_code, 0) << run.error;
        EXPECT_EQ(run.output, ok_files);
    }
    const Scratch scratch;
    const auto verify = [&scratch](const fs::path& public_key, const fs::path& folder) {
        return scratch.tool({"verify", "--public-key", public_key.string(), folder.string()});
    };
    write_file(scratch.root() / "rsa.pub.pem", public_pem_of(generated_key("RSA")));
    fs::create_directory(scratch.root() / "release");
    const std::pair<ToolRun, std::string> refusals[] = {
        {verify(KOVA_TEST_PUBLIC_KEY_PEM, scratch.release() / "lumenframe.exe"),
         (scratch.release() / "lumenframe.exe").string() + "\": not a folder"},
        {verify(scratch.root() / "rsa.pub.pem", scratch.release()),
         (scratch.root() / "rsa.pub.pem").string() + "\": not a P-256 (prime256v1) public key in PEM"},
        {verify(KOVA_TEST_PUBLIC_KEY_PEM, scratch.root() / "release"),
         (scratch.root() / "release").string() + "\": its name is not a version name; give --version VERSION"},
    };
    for (const auto& [run, line] : refusals) {
        EXPECT_EQ(run.exit_code, 1) << line;
        EXPECT_EQ(run.error, "kova-make-release: \"" + line + "\n");
    }
}

// Signed as asked, with a warning for what no launcher a publisher ships
// will take: the test key, a version other than the folder's name.
TEST(MakeRelease, SigningWhatNoShippedLauncherTakesIsWarnedOf) {
    const Scratch scratch;
    const std::string test_key = "kova-make-release: warning: \"" + scratch.key().string() +
                                 "\" is the test key of tests/keys, whose private half anyone can read: only a test build "
                                 "of kova-mcp takes this record, and a release build refuses to trust that key\n";
    const ToolRun same = scratch.sign("1.4.0");
    EXPECT_EQ(same.exit_code, 0);
    EXPECT_EQ(same.error, test_key);
    const ToolRun other = scratch.sign("1.4.1");
    EXPECT_EQ(other.exit_code, 0);
    EXPECT_EQ(other.error, test_key + "kova-make-release: warning: version 1.4.1 is not the folder's name \"1.4.0\": the "
                                      "launcher reads version 1.4.1 only from a folder versions\\1.4.1, and refuses this "
                                      "record anywhere else\n");
}

TEST(MakeRelease, OutputThatCannotBeWrittenIsAFailure) {
    const Scratch scratch;
    // What was signed is on disk; the line says so, and what was lost.
    const ToolRun signed_run = scratch.tool({"sign", "--key", scratch.key().string(), "--version", "1.4.0",
                                             scratch.release().string()}, "exec >/dev/full");
    EXPECT_EQ(signed_run.exit_code, 1);
    EXPECT_TRUE(signed_run.error.ends_with("kova-make-release: the folder is signed and its manifest.txt is in place, but "
                                           "standard output cannot be written, so the line saying what it lists is lost\n"))
        << signed_run.error;
    EXPECT_TRUE(fs::is_regular_file(scratch.manifest()));
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"public-key", "--key", scratch.key().string()}, {"--help"}}) {
        const ToolRun run = scratch.tool(arguments, "exec >/dev/full");
        EXPECT_EQ(run.exit_code, 1) << arguments.front();
        EXPECT_EQ(run.error, "kova-make-release: standard output cannot be written, so what the command printed is lost\n");
    }
}

// The same P-256 key with its curve written out: its public half is the
// named-curve form the launcher takes, and what it signs verifies.
TEST(MakeRelease, AKeyWithExplicitCurveParametersIsTheSameKey) {
    const Scratch scratch;
    EVP_PKEY* key = nullptr;
    {
        BIO* bio = BIO_new_mem_buf(Scratch::kTestPem().data(), static_cast<int>(Scratch::kTestPem().size()));
        key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
        BIO_free(bio);
    }
    ASSERT_EQ(EVP_PKEY_set_utf8_string_param(key, "encoding", "explicit"), 1);
    const std::string explicit_pem = pem_of(key);
    EVP_PKEY_free(key);
    ASSERT_GT(explicit_pem.size(), Scratch::kTestPem().size() + 200) << "the curve was not written out";
    write_file(scratch.key(), explicit_pem);
    const ToolRun public_key = scratch.tool({"public-key", "--key", scratch.key().string()});
    EXPECT_EQ(public_key.output, signing::public_key_base64(testing::test_signing_key()) + "\n");
    EXPECT_EQ(scratch.sign().exit_code, 0);
    EXPECT_EQ(scratch.tool({"verify", "--public-key", KOVA_TEST_PUBLIC_KEY_PEM, scratch.release().string()}).exit_code, 0);
    // Its public half with the point compressed is the same key too.
    EVP_PKEY* compressed = EVP_PKEY_dup(testing::test_signing_key().get());
    ASSERT_EQ(EVP_PKEY_set_utf8_string_param(compressed, "point-format", "compressed"), 1);
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PUBKEY(bio, compressed);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    write_file(scratch.root() / "compressed.pub.pem", std::string(data, static_cast<std::size_t>(length)));
    BIO_free(bio);
    EVP_PKEY_free(compressed);
    ASSERT_LT(fs::file_size(scratch.root() / "compressed.pub.pem"), fs::file_size(KOVA_TEST_PUBLIC_KEY_PEM));
    const ToolRun verified = scratch.tool({"verify", "--public-key", (scratch.root() / "compressed.pub.pem").string(),
                                           scratch.release().string()});
    EXPECT_EQ(verified.exit_code, 0) << verified.error;
}

}  // namespace
}  // namespace kova
