// kova-mcp: proves that the installed Lumenframe companion is exactly what
// its publisher signed, then runs its MCP server with the folders the user
// allows, on the launcher's own standard streams.
#include <windows.h>

#include <exception>
#include <string>
#include <utility>

#include "bin/kova-mcp/allowed_roots_value.h"
#include "bin/kova-mcp/command_line.h"
#include "bin/kova-mcp/companion.h"
#include "bin/kova-mcp/console.h"
#include "core/invariant.h"
#include "installer/app_storage.h"
#include "settings/allowed_roots.h"

namespace kova {
namespace {

constexpr std::string_view kUsageLine = "Usage: kova-mcp lumenframe\n";
constexpr UserMessage kValueNotBuilt{"MCP folder paths could not be configured."};
constexpr UserMessage kCompanionNotStarted{"Lumenframe MCP could not start. Repair it in KOVA Hub."};
constexpr std::uint32_t kExitFailure = 1;
constexpr std::uint32_t kExitUsage = 2;

[[noreturn]] void exit_with_failure(const UserMessage& message) {
    std::string line(message.text());
    line += '\n';
    write_standard_error(line);
    exit_process(kExitFailure);
}

[[noreturn]] void run() {
    const Result<Path> companion = resolve_installed_mcp();
    if (!companion) exit_with_failure(companion.error());
    Result<std::vector<Path>> folders = load_allowed_roots();
    if (!folders) exit_with_failure(folders.error());
    std::optional<std::wstring> value = build_allowed_roots_value(std::move(*folders));
    if (!value) exit_with_failure(kValueNotBuilt);
    const std::optional<std::uint32_t> exit_code = run_companion(*companion, std::move(*value));
    if (!exit_code) exit_with_failure(kCompanionNotStarted);
    exit_process(*exit_code);
}

}  // namespace
}  // namespace kova

int main() {
    // Before anything else: later DLL loads come from System32 only, never
    // from the launcher's folder or the current directory.
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        kova::invariant_violation("DLL loading could not be restricted");
    }
    std::set_terminate([] { kova::invariant_violation("unexpected termination"); });
    if (!kova::is_lumenframe_command(GetCommandLineW())) {
        kova::write_standard_error(kova::kUsageLine);
        kova::exit_process(kova::kExitUsage);
    }
    kova::run();
}
