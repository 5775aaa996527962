// The companion's environment block against its properties: whatever the
// launcher's block holds, the result ends in two NULs, holds the variable
// exactly once with the new value, keeps every other entry in its order,
// and stays sorted when the block was sorted.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bin/kova-mcp/environment_block.h"

namespace {

constexpr std::wstring_view kName = L"Ab";
constexpr std::wstring_view kValue = L"v";

wchar_t fold(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

std::optional<int> compare(std::wstring_view a, std::wstring_view b) {
    const auto less = [](wchar_t x, wchar_t y) { return fold(x) < fold(y); };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less)) return -1;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), less)) return 1;
    return 0;
}

std::wstring_view name_of(std::wstring_view entry) { return entry.substr(0, entry.find(L'=', 1)); }

std::vector<std::wstring> entries(std::wstring_view block) {
    std::vector<std::wstring> out;
    while (!block.empty() && block.front() != L'\0') {
        const std::size_t end = block.find(L'\0');
        out.emplace_back(block.substr(0, end));
        block.remove_prefix(end == std::wstring_view::npos ? block.size() : end + 1);
    }
    return out;
}

bool sorted(const std::vector<std::wstring>& list) {
    return std::is_sorted(list.begin(), list.end(),
                          [](const std::wstring& a, const std::wstring& b) { return *compare(name_of(a), name_of(b)) < 0; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr wchar_t kAlphabet[] = {L'A', L'a', L'b', L'B', L'=', L'\0', L'x', L'\0'};
    std::wstring block;
    for (std::size_t i = 0; i < size; ++i) block += kAlphabet[data[i] % (sizeof kAlphabet / sizeof kAlphabet[0])];
    const std::optional<std::wstring> result = kova::environment_with(block, kName, kValue, compare);
    if (!result) std::abort();
    const std::vector<std::wstring> before = entries(block);
    const std::vector<std::wstring> after = entries(*result);
    // Its entries, each ended by a NUL, then one more NUL, and nothing after.
    std::wstring rebuilt;
    for (const std::wstring& entry : after) rebuilt.append(entry).push_back(L'\0');
    rebuilt.push_back(L'\0');
    if (rebuilt != *result) std::abort();
    std::vector<std::wstring> others_before;
    std::vector<std::wstring> others_after;
    int named = 0;
    for (const std::wstring& entry : before) {
        if (*compare(name_of(entry), kName) != 0) others_before.push_back(entry);
    }
    for (const std::wstring& entry : after) {
        if (*compare(name_of(entry), kName) != 0) {
            others_after.push_back(entry);
        } else {
            ++named;
            if (entry != std::wstring(kName) + L"=" + std::wstring(kValue)) std::abort();
        }
    }
    if (named != 1 || others_before != others_after) std::abort();
    if (sorted(before) && !sorted(after)) std::abort();
    return 0;
}
