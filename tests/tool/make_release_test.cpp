// The release tool as a publisher uses it: the real kova-make-release,
// started as a process, on folders and keys made here.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
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

    ToolRun sign(const std::string& version = "1.4.0", std::vector<std::string> more = {}) const {
        std::vector<std::string> arguments{"sign", "--key", key().string(), "--version", version};
        arguments.insert(arguments.end(), more.begin(), more.end());
        arguments.push_back(release().string());
        return tool(arguments);
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

std::string pem_of(EVP_PKEY* key, const std::string& pass_phrase = "") {
    BIO* bio = BIO_new(BIO_s_mem());
    if (pass_phrase.empty()) {
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
        {"no key file", [](const Scratch& s) { fs::remove(s.key()); }, "1.4.0", {"key.pem: does not exist"}},
        {"a folder for a key", [](const Scratch& s) { fs::remove(s.key()); fs::create_directory(s.key()); }, "1.4.0", {"key.pem: is a folder, not a file"}},
        {"a device for a key", [](const Scratch& s) { fs::remove(s.key()); fs::create_symlink("/dev/zero", s.key()); }, "1.4.0",
         {"key.pem: is not a regular file"}},
        {"version v1.4", [](const Scratch&) {}, "v1.4", {bad_version}},
        {"version ../1", [](const Scratch&) {}, "../1", {bad_version}},
        {"version 1..4", [](const Scratch&) {}, "1..4", {bad_version}},
        {"an empty version", [](const Scratch&) {}, "", {bad_version}},
        {"a version of 33 characters", [](const Scratch&) {}, std::string(33, '1'), {bad_version}},
        {"a version no Windows folder bears", [](const Scratch&) {}, "1.", {"ends in a full stop, which Windows drops"}},
        {"an extra file", [](const Scratch& s) { write_file(s.release() / "notes.txt", "x"); }, "1.4.0", {"notes.txt: not a release file name"}},
        {"a name in another case", [](const Scratch& s) { write_file(s.release() / "AI_models.zip", "x"); }, "1.4.0",
         {"AI_models.zip: differs from AI_MODELS.zip only in letter case"}},
        {"a dead run's temporary file", [](const Scratch& s) { write_file(s.release() / ".manifest.txt.4242.tmp", "x"); }, "1.4.0",
         {".manifest.txt.4242.tmp: left by a run of kova-make-release that did not finish"}},
        {"a folder named manifest.txt", [](const Scratch& s) { fs::create_directory(s.manifest()); }, "1.4.0",
         {"manifest.txt: a folder; a release holds regular files only"}},
        {"a 0-byte file", [](const Scratch& s) { write_file(s.release() / "THIRD_PARTY_NOTICES.txt", ""); }, "1.4.0", {"THIRD_PARTY_NOTICES.txt: empty"}},
        {"notices over their limit", [](const Scratch& s) { write_file(s.release() / "THIRD_PARTY_NOTICES.txt", "x"); fs::resize_file(s.release() / "THIRD_PARTY_NOTICES.txt", 300'000'001); }, "1.4.0",
         {"THIRD_PARTY_NOTICES.txt: 300000001 bytes, over the limit of 300000000"}},
        {"a link", [](const Scratch& s) { fs::create_symlink(s.release() / "lumenframe.exe", s.release() / "AI_MODELS.zip"); }, "1.4.0", {"AI_MODELS.zip: a link"}},
        {"a folder", [](const Scratch& s) { fs::create_directory(s.release() / "AI_MODELS.zip"); }, "1.4.0", {"AI_MODELS.zip: a folder"}},
        {"no lumenframe-mcp.exe", [](const Scratch& s) { fs::remove(s.release() / "lumenframe-mcp.exe"); }, "1.4.0", {"no lumenframe-mcp.exe"}},
        {"an empty folder", [](const Scratch& s) { fs::remove(s.release() / "lumenframe-mcp.exe"); fs::remove(s.release() / "lumenframe.exe"); }, "1.4.0",
         {"no lumenframe.exe", "no lumenframe-mcp.exe"}},
        {"every problem at once", [](const Scratch& s) { write_file(s.release() / "a", "x"); write_file(s.release() / "AI_MODELS.zip", ""); }, "v1",
         {bad_version, "a: not a release file name", "AI_MODELS.zip: empty"}},
    };
    for (const Case& c : cases) {
        const Scratch scratch;
        c.arrange(scratch);
        expect_refused(scratch, scratch.sign(c.version), c.problems, c.what);
    }
}

TEST(MakeRelease, AnEncryptedKeyOpensOnlyWithItsPassPhraseAndNeverPrompts) {
    const Scratch scratch;
    EVP_PKEY* key = nullptr;
    {
        BIO* bio = BIO_new_mem_buf(Scratch::kTestPem().data(), static_cast<int>(Scratch::kTestPem().size()));
        key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
        BIO_free(bio);
    }
    write_file(scratch.key(), pem_of(key, "correct horse"));
    EVP_PKEY_free(key);
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
    write_file(scratch.root() / "long", std::string(1024, 'p'));
    expect_refused(scratch, scratch.sign("1.4.0", {"--pass-file", (scratch.root() / "long").string()}),
                   {"the pass phrase given is 1024 bytes; OpenSSL takes at most 1023"}, "a pass phrase too long");
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
          {"public-key", "--key", "k", "--pass-env", "A", "--pass-file", "B"}}) {
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
    EXPECT_NE(run.error.find("manifest.txt: cannot be written: File too large; nothing was signed and the earlier "
                             "manifest.txt is as it was"),
              std::string::npos)
        << run.error;
    EXPECT_EQ(read_file(scratch.manifest()), "an earlier record\n");
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch.release())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"THIRD_PARTY_NOTICES.txt", "lumenframe-mcp.exe", "lumenframe.exe", "manifest.txt"}));
}

TEST(MakeRelease, VerifyJudgesAsTheLauncherAndNamesWhatIsWrong) {
    const Scratch scratch;
    write_file(scratch.manifest(), "an earlier record\n");
    ASSERT_EQ(scratch.sign().exit_code, 0);
    const std::vector<std::string> verify{"verify", "--public-key", KOVA_TEST_PUBLIC_KEY_PEM, scratch.release().string()};
    const ToolRun accepted = scratch.tool(verify);
    EXPECT_EQ(accepted.exit_code, 0) << accepted.error;
    EXPECT_EQ(accepted.output, "lumenframe.exe: ok\nlumenframe-mcp.exe: ok\n");
    write_file(scratch.release() / "lumenframe.exe", "the apq");
    write_file(scratch.release() / "lumenframe-mcp.exe", "the companion, longer");
    fs::create_directory(scratch.release() / "extra");
    const ToolRun refused = scratch.tool(verify);
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(refused.output,
              "lumenframe.exe: wrong digest\n"
              "lumenframe-mcp.exe: wrong size (21 bytes; the release lists 13)\n"
              "extra: unexpected entry\n"
              "Installed Lumenframe files changed. Repair the app in KOVA Hub.\n");
    const ToolRun other_version = scratch.tool({"verify", "--public-key", KOVA_TEST_PUBLIC_KEY_PEM, "--version", "1.4.1",
                                            scratch.release().string()});
    EXPECT_EQ(other_version.output, "Installed release version does not match its signature.\n");
}

// Windows finds a name in any letter case, and the launcher reads nothing
// but regular files: verify on Linux says what the launcher would say.
TEST(MakeRelease, VerifySeesTheFolderAsTheLauncherWould) {
    const std::string ok_files = "lumenframe.exe: ok\nlumenframe-mcp.exe: ok\n";
    const std::string no_record =
        "manifest.txt: missing, or not a regular file of UTF-8 text\n"
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
         ok_files + "MANIFEST.TXT: unexpected entry\n" + unexpected},
        {"a listed file in capitals", [](const Scratch& s) { fs::rename(s.release() / "lumenframe.exe", s.release() / "LUMENFRAME.EXE"); },
         ok_files + "LUMENFRAME.EXE: unexpected entry\n" + unexpected},
    };
    for (const Case& c : cases) {
        const Scratch scratch;
        ASSERT_EQ(scratch.sign().exit_code, 0);
        c.arrange(scratch);
        const ToolRun run = scratch.tool({"verify", "--public-key", KOVA_TEST_PUBLIC_KEY_PEM, scratch.release().string()});
        EXPECT_EQ(run.exit_code, 1) << c.what;
        EXPECT_EQ(run.output, c.output) << c.what;
    }
    const Scratch scratch;
    const ToolRun file = scratch.tool({"verify", "--public-key", KOVA_TEST_PUBLIC_KEY_PEM, (scratch.release() / "lumenframe.exe").string()});
    EXPECT_EQ(file.exit_code, 1);
    EXPECT_EQ(file.error, "kova-make-release: " + (scratch.release() / "lumenframe.exe").string() + ": not a folder\n");
}

TEST(MakeRelease, OutputThatCannotBeWrittenIsAFailure) {
    const Scratch scratch;
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
}

}  // namespace
}  // namespace kova
