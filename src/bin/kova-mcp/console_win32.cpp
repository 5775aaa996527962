#include "bin/kova-mcp/console.h"

#include <windows.h>

#include "core/utf.h"

namespace kova {
namespace {

bool is_console_without_utf8(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) && GetConsoleOutputCP() != CP_UTF8;
}

void write_console_utf16(HANDLE console, std::string_view utf8_text) {
    const std::optional<std::wstring> text = utf8_to_utf16(utf8_text);
    if (!text) return;
    std::wstring_view rest = *text;
    while (!rest.empty()) {
        DWORD written = 0;
        if (!WriteConsoleW(console, rest.data(), static_cast<DWORD>(rest.size()), &written, nullptr) || written == 0) {
            return;
        }
        rest.remove_prefix(written);
    }
}

void write_bytes(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0) {
            return;
        }
        bytes.remove_prefix(written);
    }
}

}  // namespace

void write_standard_error(std::string_view utf8_text) {
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    if (is_console_without_utf8(handle)) {
        write_console_utf16(handle, utf8_text);
    } else {
        write_bytes(handle, utf8_text);
    }
}

void exit_process(std::uint32_t code) { ExitProcess(code); }

}  // namespace kova
