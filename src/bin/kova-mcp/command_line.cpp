#include "bin/kova-mcp/command_line.h"

namespace kova {
namespace {

constexpr std::wstring_view kCommandWord = L"lumenframe";

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The program name: quotes toggle grouping and are dropped; no escapes.
std::wstring read_program_name(std::wstring_view& rest) {
    std::wstring name;
    bool quoted = false;
    std::size_t i = 0;
    for (; i < rest.size(); ++i) {
        const wchar_t c = rest[i];
        if (c == L'"') {
            quoted = !quoted;
        } else if (!quoted && is_blank(c)) {
            break;
        } else {
            name += c;
        }
    }
    rest.remove_prefix(i);
    return name;
}

std::wstring read_argument(std::wstring_view& rest) {
    std::wstring argument;
    bool quoted = false;
    std::size_t i = 0;
    while (i < rest.size()) {
        std::size_t backslashes = 0;
        while (i < rest.size() && rest[i] == L'\\') {
            ++backslashes;
            ++i;
        }
        if (i < rest.size() && rest[i] == L'"') {
            argument.append(backslashes / 2, L'\\');
            if (backslashes % 2 == 1) {
                argument += L'"';
            } else if (quoted && i + 1 < rest.size() && rest[i + 1] == L'"') {
                argument += L'"';
                ++i;
            } else {
                quoted = !quoted;
            }
            ++i;
            continue;
        }
        argument.append(backslashes, L'\\');
        if (i == rest.size() || (!quoted && is_blank(rest[i]))) break;
        argument += rest[i];
        ++i;
    }
    rest.remove_prefix(i);
    return argument;
}

}  // namespace

std::vector<std::wstring> split_command_line(std::wstring_view command_line) {
    std::vector<std::wstring> words;
    std::wstring_view rest = command_line;
    words.push_back(read_program_name(rest));
    for (;;) {
        while (!rest.empty() && is_blank(rest.front())) rest.remove_prefix(1);
        if (rest.empty()) break;
        words.push_back(read_argument(rest));
    }
    return words;
}

bool is_lumenframe_command(std::wstring_view command_line) {
    const std::vector<std::wstring> words = split_command_line(command_line);
    return words.size() == 2 && words[1] == kCommandWord;
}

}  // namespace kova
