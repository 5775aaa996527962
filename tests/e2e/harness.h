#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "release-signer/release_signer.h"
#include "tree.h"

// Runs the real kova-mcp.exe against folder trees the tests build, from a
// Windows parent, so that the environment block (LOCALAPPDATA included, which
// Wine would otherwise set itself) and the standard handles are the test's.
namespace kova::e2e {

namespace fs = std::filesystem;

// The executables and keys under test, found at run time (beside the test
// executable, or named by an environment variable, or where the build put
// them): the cross-built test executables run on Windows as they are.
std::wstring launcher_path();
std::wstring release_tool_path();
std::wstring test_companion_path();
std::wstring malformed_key_launcher_path();
fs::path test_keys_folder();

// Under Wine, whose ntdll alone exports wine_get_version, or on Windows.
bool running_under_wine();
// KOVA_REQUIRE_WINDOWS=1, as on the Windows CI job: a test that needs
// Windows fails where it would otherwise skip.
bool windows_required();

}  // namespace kova::e2e

// The one way a case of the Windows tier skips: it says why, and with
// KOVA_REQUIRE_WINDOWS=1 (as on the Windows CI job) a case that cannot run
// fails instead, so that no run passes by silently doing less.
#define KOVA_SKIP(why)                                                                      \
    do {                                                                                    \
        if (::kova::e2e::windows_required()) {                                              \
            FAIL() << "KOVA_REQUIRE_WINDOWS=1, and this case cannot run here: " << why;     \
        }                                                                                   \
        GTEST_SKIP() << why;                                                                \
    } while (false)

// A rule that only Windows itself can show.
#define KOVA_NEEDS_WINDOWS(why) \
    if (::kova::e2e::running_under_wine()) KOVA_SKIP("needs Windows, since Wine cannot show it: " << why)

// What Wine shows its own way (a Unix link made through its Z: drive, a
// mode-000 file); on Windows the case cannot run, and says what covers the
// rule there. The Windows job leaves these suites out by name.
#define KOVA_NEEDS_WINE(why) \
    if (!::kova::e2e::running_under_wine()) KOVA_SKIP("needs Wine: " << why)

namespace kova::e2e {

// What the test companion saw.
struct CompanionReport {
    std::wstring cwd;
    std::wstring command_line;
    std::optional<std::wstring> allowed_roots;
    std::vector<std::wstring> environment;
    std::optional<std::wstring> probe;  // "present" or "absent": the launcher's inherited event, in the companion
};

// One folder per test: `root` is what the launcher reads (the tree it must
// leave unchanged), `io` holds the streams and the companion's report.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    [[nodiscard]] const fs::path& root() const { return root_; }
    [[nodiscard]] const fs::path& io() const { return io_; }
    [[nodiscard]] fs::path local() const { return local_.empty() ? root_ / "Local" : local_; }
    // LOCALAPPDATA elsewhere in the tree, such as deeper than the classic limit.
    void set_local(fs::path local) { local_ = std::move(local); }
    [[nodiscard]] fs::path tessarine() const { return local() / "Tessarine"; }
    [[nodiscard]] fs::path app() const { return tessarine() / "Apps" / "Lumenframe"; }
    [[nodiscard]] fs::path version(std::string_view name) const { return app() / "versions" / std::string(name); }
    [[nodiscard]] fs::path work() const { return root_ / "Work"; }

private:
    fs::path root_;
    fs::path io_;
    fs::path local_;
};

// A complete, correctly signed installation of `version` with the test
// companion as lumenframe-mcp.exe, and settings naming the sandbox's Work folder.
void install(const Sandbox& sandbox, std::string_view version = "1.4.0");

// Lists the folder's files (manifest.txt aside) in name order and writes a
// manifest.txt signed with the test key for `version`.
void sign_folder(const fs::path& folder, std::string_view version);
std::vector<signing::FileEntry> list_release_files(const fs::path& folder);
std::string sha256_hex(std::string_view bytes);

// A folder below `base`, made, whose path is longer than `past` characters.
fs::path deep_folder(const fs::path& base, std::size_t past);

// A JSON string of a path, for hand-written settings files.
std::string json_string(const fs::path& path);
void write_settings(const Sandbox& sandbox, const std::vector<std::string>& roots);

inline constexpr std::wstring_view kUnset = L"\x01unset";

struct RunOptions {
    std::wstring arguments = L"lumenframe";
    std::optional<std::wstring> program;          // default: the built kova-mcp.exe
    std::optional<std::wstring> program_word;     // the command line's first word; default: the program, quoted
    std::optional<std::wstring> local_app_data;   // default: the sandbox's Local; kUnset removes it
    std::vector<std::pair<std::wstring, std::wstring>> environment;
    std::string input;
    std::uint32_t companion_exit_code = 0;
    bool without_standard_error = false;
    std::optional<fs::path> working_directory;    // default: the sandbox's io folder
    bool through_pipes = false;                   // the three standard streams as pipes, as an MCP client has them
    bool error_reader_gone = false;               // standard error a pipe whose reading end is closed
    HANDLE error_handle = nullptr;                // standard error this handle (a console) instead of a file
    bool leak_probe_handle = false;               // an inheritable event the launcher inherits, for the companion to look for
};

struct RunResult {
    std::uint32_t exit_code = 0;
    std::string error;
    std::string output;
    std::optional<CompanionReport> report;  // present only when the companion started
};

struct ToolRun {
    std::uint32_t exit_code = 0;
    std::string output;
    std::string error;
};

// A path as one word of a command line.
std::wstring quoted(const fs::path& path);

// Runs the Windows build of kova-make-release with `arguments` (a command
// line after the program's name), its output and error in files.
ToolRun run_release_tool(const Sandbox& sandbox, const std::wstring& arguments);

// Runs the launcher with files as standard streams, and checks that the
// sandbox's tree is byte for byte the same afterwards.
RunResult run_launcher(const Sandbox& sandbox, const RunOptions& options = {});

// True when an environment entry ("NAME=value") sets `name`, in any letter
// case, as Windows compares variable names.
bool names_variable(std::wstring_view entry, std::wstring_view name);

// Puts environment entries in the order Windows keeps them: by name, as
// CompareStringOrdinal orders names without regard to case.
void sort_environment(std::vector<std::wstring>& entries);

// The launcher's own environment for a run, as the test builds it, in order.
std::vector<std::wstring> environment_entries(const Sandbox& sandbox, const RunOptions& options);

std::wstring final_path_of(const fs::path& path);
std::wstring widen(std::string_view text);
std::string utf8(const fs::path& path);

// A folder of an installed sandbox denied its listing by `deny` (what it
// returns keeps the denial while it lives): the snapshot fails the test once,
// naming the folder and ERROR_ACCESS_DENIED; the same folder denied on
// purpose is "<unlistable>" and fails nothing.
using DenyListing = std::function<std::shared_ptr<void>(const fs::path& folder)>;
void expect_the_snapshot_to_refuse_a_denied_folder(const DenyListing& deny);

// A Unix symbolic link, made by /bin/ln through Wine's Z: drive: Wine can
// neither make nor follow a Windows symbolic link or junction of its own.
void make_unix_symlink(const fs::path& target, const fs::path& link);

// Starts a Unix program through Wine's Z: drive with the words as they
// stand; Wine does not wait for it. False when it cannot be started.
bool run_unix(const std::string& program, const std::string& arguments);

// A Unix command run through Wine's Z: drive (chmod, ln), waited for.
void run_unix_command(const std::string& program, const std::string& arguments);

// A Linux path for a path of Wine's Z: drive.
std::string unix_path(const fs::path& path);

// A refused run: exactly the failure line, exit code 1, nothing on standard
// output, and the companion never started.
void expect_refusal(const RunResult& run, std::string_view message);

// A run in which every check passed: exit code 0, nothing on standard
// error, and the companion started.
void expect_companion_ran(const RunResult& run);

// The failure line the launcher writes: the message and one line feed.
inline std::string line(std::string_view message) { return std::string(message) + "\n"; }

}  // namespace kova::e2e
