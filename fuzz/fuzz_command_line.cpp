// The launcher's command-line splitter against a small reference of the C
// runtime's documented rules. Each input byte picks one of the characters
// the rules turn on, so that short inputs reach every rule.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bin/kova-mcp/command_line.h"
#include "reference_command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr wchar_t kAlphabet[] = {L' ', L'\t', L'"', L'\\', L'l', L'u', L'\xE9', L'\xD800'};
    std::wstring line;
    for (std::size_t i = 0; i < size; ++i) line += kAlphabet[data[i] % (sizeof kAlphabet / sizeof kAlphabet[0])];
    if (kova::split_command_line(line) != kova::reference::split_like_the_c_runtime(line)) std::abort();
    return 0;
}
