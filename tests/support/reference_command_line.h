#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kova::reference {

// The C runtime's splitting of a command line, as its documentation states
// the rules, written apart from the launcher's own splitter:
// - the program name runs to the first space or tab outside double quotes,
//   and its quotes are dropped; backslashes there are plain characters;
// - then arguments are separated by spaces and tabs outside double quotes;
// - 2n backslashes before a double quote give n backslashes and the quote
//   opens or closes quoting; 2n+1 give n backslashes and a literal quote;
// - inside quoting, two double quotes give one literal quote, and quoting
//   goes on;
// - backslashes not before a double quote are plain characters.
[[nodiscard]] inline std::vector<std::wstring> split_like_the_c_runtime(std::wstring_view line) {
    std::vector<std::wstring> words(1);
    std::size_t i = 0;
    bool quoted = false;
    for (; i < line.size(); ++i) {
        if (line[i] == L'"') {
            quoted = !quoted;
        } else if (!quoted && (line[i] == L' ' || line[i] == L'\t')) {
            break;
        } else {
            words[0] += line[i];
        }
    }
    quoted = false;
    bool in_word = false;
    std::size_t pending_backslashes = 0;
    for (; i < line.size(); ++i) {
        const wchar_t c = line[i];
        if (c == L'\\') {
            ++pending_backslashes;
            continue;
        }
        if (c == L'"') {
            if (!in_word) words.emplace_back(), in_word = true;
            words.back().append(pending_backslashes / 2, L'\\');
            const bool escaped = pending_backslashes % 2 == 1;
            pending_backslashes = 0;
            if (escaped) {
                words.back() += L'"';
            } else if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
                words.back() += L'"';
                ++i;
            } else {
                quoted = !quoted;
            }
            continue;
        }
        if (pending_backslashes > 0) {
            if (!in_word) words.emplace_back(), in_word = true;
            words.back().append(pending_backslashes, L'\\');
            pending_backslashes = 0;
        }
        if (!quoted && (c == L' ' || c == L'\t')) {
            in_word = false;
            continue;
        }
        if (!in_word) words.emplace_back(), in_word = true;
        words.back() += c;
    }
    if (pending_backslashes > 0) {
        if (!in_word) words.emplace_back();
        words.back().append(pending_backslashes, L'\\');
    }
    return words;
}

}  // namespace kova::reference
