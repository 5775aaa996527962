#include "test_inputs.h"

#include <optional>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace kova::testing {
namespace {

namespace fs = std::filesystem;

fs::path from_utf8(std::string_view text) { return fs::path(std::u8string(text.begin(), text.end())); }

#ifdef _WIN32
std::optional<fs::path> environment_path(const char* variable) {
    const std::wstring name(variable, variable + std::char_traits<char>::length(variable));
    std::vector<wchar_t> value(32768);
    const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 || length >= value.size()) return std::nullopt;
    return fs::path(std::wstring(value.data(), length));
}
#else
std::optional<fs::path> environment_path(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return from_utf8(value);
}
#endif

}  // namespace

fs::path executable_folder() {
#ifdef _WIN32
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return fs::path(std::wstring(buffer.data(), length)).parent_path();
#else
    return fs::read_symlink("/proc/self/exe").parent_path();
#endif
}

fs::path test_input(const char* variable, std::string_view name, std::string_view built_path) {
    if (std::optional<fs::path> given = environment_path(variable)) return *given;
    const fs::path beside = executable_folder() / from_utf8(name);
    std::error_code error;
    if (fs::exists(beside, error)) return beside;
    return from_utf8(built_path);
}

}  // namespace kova::testing
