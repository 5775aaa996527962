#pragma once

#include <cstdint>
#include <string_view>

namespace kova {

// Writes UTF-8 text to standard error: as bytes to a pipe, a file or a UTF-8
// console, as UTF-16 to any other console. Dropped when there is no standard
// error; a broken one (reader gone) is given up on, never waited for.
void write_standard_error(std::string_view utf8_text);

// Ends the process at once with all 32 bits of `code`.
[[noreturn]] void exit_process(std::uint32_t code);

}  // namespace kova
