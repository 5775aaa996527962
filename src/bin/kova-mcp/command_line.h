#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kova {

// Splits a Windows command line as the Microsoft C runtime does: the program
// name up to the first unquoted blank (quotes only group there), then
// arguments where blanks separate, quotes group, 2N backslashes before a quote
// give N and a grouping quote, 2N+1 give N and a literal quote, and `""` inside
// a quoted run gives one literal quote.
[[nodiscard]] std::vector<std::wstring> split_command_line(std::wstring_view command_line);

// Exactly one argument after the program name, equal to "lumenframe" code unit
// for code unit. The program name is not examined.
[[nodiscard]] bool is_lumenframe_command(std::wstring_view command_line);

}  // namespace kova
