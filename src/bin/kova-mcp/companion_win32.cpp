#include "bin/kova-mcp/companion.h"

#include <windows.h>

#include <array>
#include <memory>
#include <vector>

#include "bin/kova-mcp/environment_block.h"
#include "core/win32/handle.h"

namespace kova {
namespace {

struct EnvironmentStringsDeleter {
    void operator()(wchar_t* block) const { FreeEnvironmentStringsW(block); }
};

std::optional<int> compare_names_ignoring_case(std::wstring_view a, std::wstring_view b) {
    const int order = CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE);
    if (order == 0) return std::nullopt;
    return order - CSTR_EQUAL;
}

std::wstring_view whole_block(const wchar_t* block) {
    // The block ends at the first empty entry: two NULs in a row.
    const wchar_t* end = block;
    while (*end != L'\0') end += std::wstring_view(end).size() + 1;
    return {block, static_cast<std::size_t>(end - block)};
}

std::optional<std::wstring> companion_environment(std::wstring_view allowed_roots_value) {
    const std::unique_ptr<wchar_t, EnvironmentStringsDeleter> block(GetEnvironmentStringsW());
    if (!block) return std::nullopt;
    return environment_with(whole_block(block.get()), kAllowedRootsVariable, allowed_roots_value,
                            compare_names_ignoring_case);
}

// The launcher's standard handles, made inheritable where they are not, so
// that the companion uses the very same streams. An absent handle stays
// absent; one that cannot be passed on fails the start rather than hand the
// companion a stream it cannot use.
class InheritedStandardHandles {
public:
    [[nodiscard]] bool make() {
        constexpr std::array<DWORD, 3> kWhich{STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
        for (std::size_t i = 0; i < kWhich.size(); ++i) {
            const std::optional<HANDLE> handle = inheritable(GetStdHandle(kWhich[i]), duplicates_[i]);
            if (!handle) return false;
            handles_[i] = *handle;
        }
        return true;
    }
    [[nodiscard]] HANDLE input() const { return handles_[0]; }
    [[nodiscard]] HANDLE output() const { return handles_[1]; }
    [[nodiscard]] HANDLE error() const { return handles_[2]; }

private:
    static std::optional<HANDLE> inheritable(HANDLE handle, win32::KernelHandle& duplicate) {
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return handle;
        DWORD flags = 0;
        if (GetHandleInformation(handle, &flags) && (flags & HANDLE_FLAG_INHERIT) != 0) return handle;
        HANDLE copy = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
            return std::nullopt;
        }
        duplicate = win32::KernelHandle(copy);
        return copy;
    }

    std::array<HANDLE, 3> handles_{};
    std::array<win32::KernelHandle, 3> duplicates_;
};

}  // namespace

std::optional<std::uint32_t> run_companion(const Path& program, std::wstring allowed_roots_value) {
    std::optional<std::wstring> environment = companion_environment(allowed_roots_value);
    if (!environment) return std::nullopt;
    const Path working_folder = folder_of(program);
    // A path cannot hold a double quote, so quoting it needs no escapes.
    std::wstring command_line = L"\"" + program + L"\"";

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION process{};
    {
        InheritedStandardHandles standard;
        if (!standard.make()) return std::nullopt;
        startup.hStdInput = standard.input();
        startup.hStdOutput = standard.output();
        startup.hStdError = standard.error();
        if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                            environment->data(), working_folder.c_str(), &startup, &process)) {
            return std::nullopt;
        }
    }
    const win32::KernelHandle process_handle(process.hProcess);
    const win32::KernelHandle thread_handle(process.hThread);
    environment.reset();
    if (WaitForSingleObject(process_handle.get(), INFINITE) != WAIT_OBJECT_0) return std::nullopt;
    DWORD exit_code = 0;
    if (!GetExitCodeProcess(process_handle.get(), &exit_code)) return std::nullopt;
    return static_cast<std::uint32_t>(exit_code);
}

}  // namespace kova
