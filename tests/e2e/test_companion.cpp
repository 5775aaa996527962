// Stands in for lumenframe-mcp.exe in the end-to-end tests. It reports what
// it was started with to the file named by KOVA_TEST_REPORT, copies standard
// input to standard output byte for byte, and exits with KOVA_TEST_EXIT_CODE.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::wstring variable(const wchar_t* name, bool& present) {
    std::vector<wchar_t> buffer(32768);
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    present = length != 0 || GetLastError() == ERROR_SUCCESS;
    return std::wstring(buffer.data(), length);
}

// Each field: its name, "=", its length in UTF-16 units as 8 hex digits, the units.
void add_field(std::wstring& report, const wchar_t* name, const std::wstring& value) {
    wchar_t length[9];
    wsprintfW(length, L"%08X", static_cast<unsigned>(value.size()));
    report += name;
    report += L'=';
    report += length;
    report += value;
}

// Whether the event the test's launcher inherited reached this process too:
// the handle value must name that very event, not merely some object.
std::wstring probe_result(const std::wstring& event_name, const std::wstring& value) {
    const HANDLE probe = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::stoull(value)));
    DWORD flags = 0;
    if (!GetHandleInformation(probe, &flags)) return L"absent";
    const HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, event_name.c_str());
    using Compare = BOOL(WINAPI*)(HANDLE, HANDLE);
    const auto compare = reinterpret_cast<Compare>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CompareObjectHandles")));
    const bool same = event != nullptr && compare != nullptr && compare(event, probe);
    if (event != nullptr) CloseHandle(event);
    if (compare == nullptr) return L"unknown";
    return same ? L"present" : L"absent";
}

void write_report(const std::wstring& path) {
    std::wstring report;
    std::vector<wchar_t> cwd(32768);
    add_field(report, L"cwd", std::wstring(cwd.data(), GetCurrentDirectoryW(static_cast<DWORD>(cwd.size()), cwd.data())));
    add_field(report, L"cmdline", GetCommandLineW());
    bool present = false;
    const std::wstring roots = variable(L"LUMENFRAME_ALLOWED_ROOTS", present);
    if (present) add_field(report, L"roots", roots);
    bool probing = false;
    const std::wstring probe_event = variable(L"KOVA_TEST_PROBE_EVENT", probing);
    if (probing) add_field(report, L"probe", probe_result(probe_event, variable(L"KOVA_TEST_PROBE_HANDLE", probing)));
    wchar_t* block = GetEnvironmentStringsW();
    const wchar_t* end = block;
    while (*end != L'\0') end += lstrlenW(end) + 1;
    add_field(report, L"env", std::wstring(block, static_cast<std::size_t>(end - block)));
    FreeEnvironmentStringsW(block);
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) ExitProcess(90);
    DWORD written = 0;
    WriteFile(file, report.data(), static_cast<DWORD>(report.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
}

void copy_input_to_output() {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    std::vector<char> buffer(65536);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) || read == 0) return;
        DWORD offset = 0;
        while (offset < read) {
            DWORD written = 0;
            if (!WriteFile(out, buffer.data() + offset, read - offset, &written, nullptr)) return;
            offset += written;
        }
    }
}

}  // namespace

int main() {
    bool present = false;
    const std::wstring report = variable(L"KOVA_TEST_REPORT", present);
    if (present && !report.empty()) write_report(report);
    copy_input_to_output();
    const std::wstring code = variable(L"KOVA_TEST_EXIT_CODE", present);
    ExitProcess(present ? static_cast<UINT>(std::stoul(code)) : 0u);
}
