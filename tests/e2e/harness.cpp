#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include <nlohmann/json.hpp>

#include "core/utf.h"
#include "core/win32/handle.h"
#include "installer/crypto.h"
#include "test_inputs.h"
#include "test_keys.h"

namespace kova::e2e {
namespace {

std::wstring found(const char* variable, std::string_view name, const char* built_path) {
    return testing::test_input(variable, name, built_path).wstring();
}


win32::FileHandle create_stream_file(const fs::path& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return win32::FileHandle(CreateFileW(path.wstring().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

CompanionReport parse_report(const std::string& bytes) {
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    CompanionReport report;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t equals = text.find(L'=', at);
        const std::wstring name = text.substr(at, equals - at);
        const std::size_t length = std::stoul(text.substr(equals + 1, 8), nullptr, 16);
        std::wstring value = text.substr(equals + 9, length);
        at = equals + 9 + length;
        if (name == L"cwd") report.cwd = value;
        if (name == L"cmdline") report.command_line = value;
        if (name == L"roots") report.allowed_roots = value;
        if (name == L"probe") report.probe = value;
        if (name == L"env") {
            for (std::size_t start = 0; start < value.size();) {
                const std::size_t end = value.find(L'\0', start);
                report.environment.push_back(value.substr(start, end - start));
                start = end == std::wstring::npos ? value.size() : end + 1;
            }
        }
    }
    return report;
}

}  // namespace

std::string unix_path(const fs::path& path) {
    std::string text = utf8(path);
    if (text.size() >= 2 && (text[0] == 'Z' || text[0] == 'z') && text[1] == ':') text.erase(0, 2);
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
    return text;
}

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::wstring widen(std::string_view text) {
    std::optional<std::wstring> wide = utf8_to_utf16(text);
    return wide ? *wide : std::wstring();
}

std::wstring launcher_path() { return found("KOVA_LAUNCHER_EXE", "kova-mcp.exe", KOVA_LAUNCHER_EXE); }
std::wstring test_companion_path() {
    return found("KOVA_TEST_COMPANION_EXE", "kova-test-companion.exe", KOVA_TEST_COMPANION_EXE);
}
std::wstring release_tool_path() { return found("KOVA_RELEASE_TOOL_EXE", "kova-make-release.exe", KOVA_RELEASE_TOOL_EXE); }
std::wstring malformed_key_launcher_path() {
    return found("KOVA_MALFORMED_KEY_LAUNCHER_EXE", "kova-mcp-malformed-key.exe", KOVA_MALFORMED_KEY_LAUNCHER_EXE);
}
fs::path test_keys_folder() { return testing::test_input("KOVA_TEST_KEYS_DIR", "keys", KOVA_TEST_KEYS_DIR); }

bool running_under_wine() {
    static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

bool windows_required() {
    wchar_t value[8] = {};
    return GetEnvironmentVariableW(L"KOVA_REQUIRE_WINDOWS", value, 8) == 1 && value[0] == L'1';
}

namespace {

struct Pipe {
    win32::KernelHandle read;
    win32::KernelHandle write;
};

Pipe make_pipe() {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) ADD_FAILURE() << "CreatePipe failed";
    return {win32::KernelHandle(read), win32::KernelHandle(write)};
}

void keep_private(const win32::KernelHandle& handle) { SetHandleInformation(handle.get(), HANDLE_FLAG_INHERIT, 0); }

}  // namespace

// Wine starts Unix programs too; it hands them the words as they stand. It
// does not wait for them: the handle it returns is signalled at once.
bool run_unix(const std::string& program, const std::string& arguments) {
    std::wstring command_line = widen(program + " " + arguments);
    const std::wstring windows_program = L"Z:" + widen(program);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(windows_program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
}

Sandbox::Sandbox() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // Under Wine the sandboxes go to Z:\tmp, where /bin/ln can reach them.
    const fs::path temp = tree::exists("Z:\\tmp") ? fs::path("Z:\\tmp") : tree::temporary_folder();
    const fs::path base = temp / "kova-e2e" /
                          (std::string(test->test_suite_name()) + "." + test->name() + "." + std::to_string(GetCurrentProcessId()));
    tree::remove_all(base);
    root_ = base / "tree";
    io_ = base / "io";
    tree::make_folders(root_);
    tree::make_folders(io_);
}

Sandbox::~Sandbox() { tree::remove_all(root_.parent_path()); }

std::string sha256_hex(std::string_view bytes) {
    crypto::Sha256 sha256;
    sha256.update({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    const crypto::Sha256Digest digest = sha256.finish();
    return crypto::to_lower_hex(digest);
}

std::vector<signing::FileEntry> list_release_files(const fs::path& folder) {
    std::vector<signing::FileEntry> files;
    for (const auto& name : {"lumenframe.exe", "lumenframe-mcp.exe", "THIRD_PARTY_NOTICES.txt", "AI_MODELS.zip"}) {
        const fs::path path = folder / name;
        if (!tree::is_file(path)) continue;
        const std::string content = tree::read(path);
        files.push_back({name, content.size(), sha256_hex(content)});
    }
    return files;
}

void sign_folder(const fs::path& folder, std::string_view version) {
    const std::string record = signing::make_record(signing::release_json(version, list_release_files(folder)),
                                                    testing::test_signing_key());
    tree::write(folder / "manifest.txt", record + "\n");
}

fs::path deep_folder(const fs::path& base, std::size_t past) {
    fs::path deep = base;
    for (char name = 'a'; utf8(deep).size() <= past; ++name) deep /= std::string(30, name);
    tree::make_folders(deep);
    return deep;
}

std::string json_string(const fs::path& path) { return nlohmann::json(utf8(path)).dump(); }

void write_settings(const Sandbox& sandbox, const std::vector<std::string>& roots) {
    tree::write(sandbox.tessarine() / "mcp-settings.json", nlohmann::json{{"allowed_roots", roots}}.dump());
}

void install(const Sandbox& sandbox, std::string_view version) {
    const fs::path folder = sandbox.version(version);
    tree::write(sandbox.app() / "current.json", R"({"current":")" + std::string(version) + R"("})");
    tree::write(folder / "lumenframe.exe", "MZ stand-in for the Lumenframe app");
    tree::copy(test_companion_path(), folder / "lumenframe-mcp.exe");
    sign_folder(folder, version);
    tree::make_folders(sandbox.work());
    write_settings(sandbox, {utf8(sandbox.work())});
}

namespace {

// A name may begin with "=" (as in "=C:=C:\work"); its own "=" comes after.
std::wstring_view name_of(std::wstring_view entry) { return entry.substr(0, entry.find(L'=', 1)); }

bool names_precede(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_LESS_THAN;
}

}  // namespace

bool names_variable(std::wstring_view entry, std::wstring_view name) {
    return entry.size() > name.size() && entry[name.size()] == L'=' &&
           CompareStringOrdinal(entry.data(), static_cast<int>(name.size()), name.data(), static_cast<int>(name.size()),
                                TRUE) == CSTR_EQUAL;
}

void sort_environment(std::vector<std::wstring>& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const std::wstring& a, const std::wstring& b) { return names_precede(name_of(a), name_of(b)); });
}

std::vector<std::wstring> environment_entries(const Sandbox& sandbox, const RunOptions& options) {
    std::vector<std::wstring> names{L"LOCALAPPDATA", L"KOVA_TEST_REPORT", L"KOVA_TEST_EXIT_CODE"};
    for (const auto& [name, value] : options.environment) names.push_back(name);
    std::vector<std::wstring> entries;
    wchar_t* own = GetEnvironmentStringsW();
    for (const wchar_t* entry = own; *entry != L'\0'; entry += lstrlenW(entry) + 1) {
        const std::wstring_view text(entry);
        bool replaced = false;
        for (const std::wstring& name : names) replaced = replaced || names_variable(text, name);
        if (!replaced) entries.emplace_back(text);
    }
    FreeEnvironmentStringsW(own);
    const std::wstring local = options.local_app_data.value_or(sandbox.local().wstring());
    if (local != kUnset) entries.push_back(L"LOCALAPPDATA=" + local);
    entries.push_back(L"KOVA_TEST_REPORT=" + (sandbox.io() / "report.bin").wstring());
    entries.push_back(L"KOVA_TEST_EXIT_CODE=" + std::to_wstring(options.companion_exit_code));
    for (const auto& [name, value] : options.environment) entries.push_back(name + L"=" + value);
    // Sorted, as Windows keeps every environment block.
    sort_environment(entries);
    return entries;
}

std::wstring final_path_of(const fs::path& path) {
    const win32::FileHandle handle(CreateFileW(path.wstring().c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    wchar_t buffer[4096];
    const DWORD length = GetFinalPathNameByHandleW(handle.get(), buffer, 4096, 0);
    return std::wstring(buffer, length);
}


void make_unix_symlink(const fs::path& target, const fs::path& link) {
    ASSERT_TRUE(run_unix("/bin/ln", "-s " + unix_path(target) + " " + unix_path(link)));
    for (int tries = 0; tries < 500 && !tree::exists(link); ++tries) Sleep(10);
    ASSERT_TRUE(tree::exists(link)) << "no link at " << utf8(link);
}

void run_unix_command(const std::string& program, const std::string& arguments) {
    // Wine does not wait for a Unix program, and hands it the words split at
    // blanks: a script runs the command and leaves a mark, which is waited for.
    static int commands = 0;
    const std::string name = "kova-unix." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(++commands);
    const fs::path script = fs::path("Z:\\tmp") / (name + ".sh");
    const fs::path mark = fs::path("Z:\\tmp") / (name + ".done");
    tree::write(script, program + " " + arguments + "\ntouch " + unix_path(mark) + "\n");
    ASSERT_TRUE(run_unix("/bin/sh", unix_path(script)));
    for (int tries = 0; tries < 500 && !tree::exists(mark); ++tries) Sleep(10);
    ASSERT_TRUE(tree::exists(mark)) << program << " " << arguments << " did not finish";
    tree::remove(mark);
    tree::remove(script);
}

void expect_refusal(const RunResult& run, std::string_view message) {
    EXPECT_EQ(run.exit_code, 1u) << message;
    EXPECT_EQ(run.error, line(message));
    EXPECT_EQ(run.output, "");
    EXPECT_FALSE(run.report.has_value()) << "the companion started although the run failed with: " << message;
}

void expect_companion_ran(const RunResult& run) {
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.error, "");
    EXPECT_TRUE(run.report.has_value()) << "the companion did not start";
}

namespace {

std::wstring environment_block(const std::vector<std::wstring>& entries) {
    std::wstring block;
    for (const std::wstring& entry : entries) block.append(entry).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

// The launcher's three standard streams: files by default, pipes where the
// options ask for them. Only the handles the child must see are inheritable.
class LauncherStreams {
public:
    LauncherStreams(const Sandbox& sandbox, const RunOptions& options)
        : input_(create_stream_file(sandbox.io() / "stdin.bin", GENERIC_READ, OPEN_EXISTING)),
          output_(create_stream_file(sandbox.io() / "stdout.bin", GENERIC_WRITE, CREATE_ALWAYS)),
          error_(create_stream_file(sandbox.io() / "stderr.bin", GENERIC_WRITE, CREATE_ALWAYS)) {
        startup_.cb = sizeof startup_;
        startup_.dwFlags = STARTF_USESTDHANDLES;
        startup_.hStdInput = input_.get();
        startup_.hStdOutput = output_.get();
        startup_.hStdError = options.without_standard_error ? nullptr : error_.get();
        if (options.through_pipes) {
            to_child_ = make_pipe();
            from_child_ = make_pipe();
            error_pipe_ = make_pipe();
            keep_private(to_child_.write);
            keep_private(from_child_.read);
            keep_private(error_pipe_.read);
            startup_.hStdInput = to_child_.read.get();
            startup_.hStdOutput = from_child_.write.get();
            startup_.hStdError = error_pipe_.write.get();
        }
        if (options.error_reader_gone) {
            error_pipe_ = make_pipe();
            error_pipe_.read.reset();
            startup_.hStdError = error_pipe_.write.get();
        }
        if (options.error_handle != nullptr) startup_.hStdError = options.error_handle;
    }

    [[nodiscard]] STARTUPINFOW& startup() { return startup_; }

    // Writes the input to the child and reads its output and error, once it
    // runs. Only the child may hold its ends of the pipes, or end of file
    // never comes.
    void exchange_through_pipes(std::string_view input, std::string& output, std::string& error) {
        to_child_.read.reset();
        from_child_.write.reset();
        error_pipe_.write.reset();
        writer_ = std::thread([this, input] {
            std::string_view rest = input;
            while (!rest.empty()) {
                DWORD written = 0;
                const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1 << 16));
                if (!WriteFile(to_child_.write.get(), rest.data(), chunk, &written, nullptr)) break;
                rest.remove_prefix(written);
            }
            to_child_.write.reset();
        });
        reader_ = std::thread([this, &output] { read_to_end(from_child_.read.get(), output); });
        error_reader_ = std::thread([this, &error] { read_to_end(error_pipe_.read.get(), error); });
    }

    void finish_exchange() {
        for (std::thread* thread : {&writer_, &reader_, &error_reader_}) {
            if (thread->joinable()) thread->join();
        }
    }

    ~LauncherStreams() { finish_exchange(); }

private:
    win32::FileHandle input_;
    win32::FileHandle output_;
    win32::FileHandle error_;
    Pipe to_child_;
    Pipe from_child_;
    Pipe error_pipe_;
    STARTUPINFOW startup_{};
    std::thread writer_;
    std::thread reader_;
    std::thread error_reader_;

    static void read_to_end(HANDLE pipe, std::string& bytes) {
        std::vector<char> buffer(1 << 16);
        DWORD read = 0;
        while (ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0) {
            bytes.append(buffer.data(), read);
        }
    }
};

// Wine 8 has, once in a fresh-clone run, failed CreateProcessW with
// ERROR_INTERNAL_ERROR while another Wine process tree was starting; the
// launcher had not run, so starting it again changes nothing.
std::optional<PROCESS_INFORMATION> start_launcher(const Sandbox& sandbox, const RunOptions& options,
                                                  STARTUPINFOW& startup) {
    const std::wstring program = options.program.value_or(launcher_path());
    std::wstring command_line = options.program_word.value_or(L"\"" + program + L"\"") + L" " + options.arguments;
    std::wstring environment = environment_block(environment_entries(sandbox, options));
    const std::wstring cwd = options.working_directory.value_or(sandbox.io()).wstring();
    PROCESS_INFORMATION process{};
    DWORD start_error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                           environment.data(), cwd.c_str(), &startup, &process)) {
            return process;
        }
        start_error = GetLastError();
        if (start_error != ERROR_INTERNAL_ERROR) break;
        Sleep(200);
    }
    ADD_FAILURE() << "the launcher could not be started: " << start_error;
    return std::nullopt;
}

}  // namespace

std::wstring quoted(const fs::path& path) { return L"\"" + path.wstring() + L"\""; }

ToolRun run_release_tool(const Sandbox& sandbox, const std::wstring& arguments) {
    ToolRun run;
    {
        const win32::FileHandle output = create_stream_file(sandbox.io() / "tool-stdout.bin", GENERIC_WRITE, CREATE_ALWAYS);
        const win32::FileHandle error = create_stream_file(sandbox.io() / "tool-stderr.bin", GENERIC_WRITE, CREATE_ALWAYS);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output.get();
        startup.hStdError = error.get();
        const std::wstring program = release_tool_path();
        std::wstring command_line = L"\"" + program + L"\" " + arguments;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                            &process)) {
            ADD_FAILURE() << "kova-make-release could not be started: " << GetLastError();
            return run;
        }
        const win32::KernelHandle process_handle(process.hProcess);
        const win32::KernelHandle thread_handle(process.hThread);
        WaitForSingleObject(process_handle.get(), INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process_handle.get(), &code);
        run.exit_code = code;
    }
    run.output = tree::read(sandbox.io() / "tool-stdout.bin");
    run.error = tree::read(sandbox.io() / "tool-stderr.bin");
    return run;
}

namespace {

// An inheritable event the launcher inherits as a host's leaked handle would
// be; its name and value go to the companion, which looks for it.
class ProbeHandle {
public:
    explicit ProbeHandle(RunOptions& options) {
        if (!options.leak_probe_handle) return;
        static int probes = 0;
        const std::wstring name = L"kova-e2e-probe-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++probes);
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        event_ = win32::KernelHandle(CreateEventW(&inherit, TRUE, FALSE, name.c_str()));
        if (!event_) ADD_FAILURE() << "CreateEventW failed: " << GetLastError();
        options.environment.emplace_back(L"KOVA_TEST_PROBE_EVENT", name);
        options.environment.emplace_back(L"KOVA_TEST_PROBE_HANDLE",
                                         std::to_wstring(reinterpret_cast<std::uintptr_t>(event_.get())));
    }

private:
    win32::KernelHandle event_;
};

}  // namespace

RunResult run_launcher(const Sandbox& sandbox, const RunOptions& given) {
    RunOptions options = given;
    const ProbeHandle probe(options);
    const tree::Snapshot before = tree::snapshot(sandbox.root());
    const fs::path report_path = sandbox.io() / "report.bin";
    tree::remove(report_path);
    tree::write(sandbox.io() / "stdin.bin", options.input);

    RunResult result;
    {
        LauncherStreams streams(sandbox, options);
        const std::optional<PROCESS_INFORMATION> process = start_launcher(sandbox, options, streams.startup());
        if (!process) return result;
        const win32::KernelHandle process_handle(process->hProcess);
        const win32::KernelHandle thread_handle(process->hThread);
        if (options.through_pipes) streams.exchange_through_pipes(options.input, result.output, result.error);
        WaitForSingleObject(process_handle.get(), INFINITE);
        streams.finish_exchange();
        DWORD code = 0;
        GetExitCodeProcess(process_handle.get(), &code);
        result.exit_code = code;
    }
    if (!options.through_pipes) {
        result.output = tree::read(sandbox.io() / "stdout.bin");
        result.error = tree::read(sandbox.io() / "stderr.bin");
    }
    if (tree::exists(report_path)) result.report = parse_report(tree::read(report_path));
    EXPECT_EQ(tree::changed_entries(before, tree::snapshot(sandbox.root())), "") << "the launcher changed the tree it reads";
    return result;
}

}  // namespace kova::e2e
