// kova-with-env NAME=VALUE... -- PROGRAM [ARGUMENT...]
// Starts PROGRAM with the given variables set, on this process's standard
// handles, and ends with its exit code. Wine sets LOCALAPPDATA itself and
// ignores the Linux value, so the demo and the MCP client test start the
// launcher through this to give it a LOCALAPPDATA of their own.
#include <windows.h>

#include <string>
#include <vector>

namespace {

// Quotes one argument so that the Microsoft C runtime splits it back unchanged.
std::wstring quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int i = 1;
    for (; i < argc && std::wstring(argv[i]) != L"--"; ++i) {
        const std::wstring assignment = argv[i];
        const std::size_t equals = assignment.find(L'=');
        if (equals == std::wstring::npos || equals == 0) return 125;
        SetEnvironmentVariableW(assignment.substr(0, equals).c_str(), assignment.substr(equals + 1).c_str());
    }
    if (i + 1 >= argc) return 125;
    const std::wstring program = argv[i + 1];
    std::wstring command_line;
    for (int j = i + 1; j < argc; ++j) command_line += (j > i + 1 ? L" " : L"") + quoted(argv[j]);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return 126;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ExitProcess(code);
}
