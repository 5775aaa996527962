#include "bin/kova-mcp/companion.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "bin/kova-mcp/environment_block.h"
#include "core/win32/file_system.h"
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

    // Each handle once, without the absent ones: standard output and error
    // are often the same handle, and a list that names one twice is refused.
    [[nodiscard]] std::vector<HANDLE> distinct() const {
        std::vector<HANDLE> handles;
        for (const HANDLE handle : handles_) {
            if (handle != nullptr && handle != INVALID_HANDLE_VALUE &&
                std::find(handles.begin(), handles.end(), handle) == handles.end()) {
                handles.push_back(handle);
            }
        }
        return handles;
    }

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

// The handles the companion inherits: exactly its standard streams. Without
// the list every inheritable handle of the launcher would pass on, among them
// any the MCP host leaked into it; a pipe end of another server's client,
// held by a long-lived companion, keeps that client from ever seeing its end.
class InheritedHandleList {
public:
    InheritedHandleList() = default;
    InheritedHandleList(const InheritedHandleList&) = delete;
    InheritedHandleList& operator=(const InheritedHandleList&) = delete;
    ~InheritedHandleList() {
        if (initialized_) DeleteProcThreadAttributeList(list());
    }

    [[nodiscard]] bool make(std::vector<HANDLE> handles) {
        handles_ = std::move(handles);
        if (handles_.empty()) return true;
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        if (!InitializeProcThreadAttributeList(list(), 1, 0, &size)) return false;
        initialized_ = true;
        return UpdateProcThreadAttribute(list(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                         handles_.size() * sizeof(HANDLE), nullptr, nullptr) != FALSE;
    }

    [[nodiscard]] bool inherits_any() const { return !handles_.empty(); }
    [[nodiscard]] LPPROC_THREAD_ATTRIBUTE_LIST attributes() { return inherits_any() ? list() : nullptr; }

private:
    [[nodiscard]] LPPROC_THREAD_ATTRIBUTE_LIST list() {
        return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    }

    std::vector<HANDLE> handles_;  // the list points into this
    std::vector<std::byte> storage_;
    bool initialized_ = false;
};

// The companion's working directory: its version folder. A current directory
// does not take the extended-length form that a LOCALAPPDATA of \\?\ gives,
// so the plain form of the same folder is used where there is one: it must
// fit MAX_PATH and name the same path once normalised.
Path working_directory_of(const Path& program) {
    const Path folder = folder_of(program);
    const Path plain = without_extended_prefix(folder);
    if (plain == folder || plain.size() >= MAX_PATH || win32::full_path(plain) != plain) return folder;
    return plain;
}

}  // namespace

std::optional<std::uint32_t> run_companion(const Path& program, std::wstring allowed_roots_value) {
    std::optional<std::wstring> environment = companion_environment(allowed_roots_value);
    if (!environment) return std::nullopt;
    const Path working_folder = working_directory_of(program);
    // A path cannot hold a double quote, so quoting it needs no escapes.
    std::wstring command_line = L"\"" + program + L"\"";

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION process{};
    {
        InheritedStandardHandles standard;
        if (!standard.make()) return std::nullopt;
        startup.StartupInfo.hStdInput = standard.input();
        startup.StartupInfo.hStdOutput = standard.output();
        startup.StartupInfo.hStdError = standard.error();
        InheritedHandleList inherited;
        if (!inherited.make(standard.distinct())) return std::nullopt;
        startup.lpAttributeList = inherited.attributes();
        if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, inherited.inherits_any(),
                            CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT, environment->data(),
                            working_folder.c_str(), &startup.StartupInfo, &process)) {
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
