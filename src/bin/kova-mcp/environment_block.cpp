#include "bin/kova-mcp/environment_block.h"

#include <vector>

namespace kova {
namespace {

// A name may begin with "=" (as in "=C:=C:\work"): its separator is looked for
// from the second character on.
std::wstring_view name_of(std::wstring_view entry) {
    const std::size_t separator = entry.size() > 1 ? entry.find(L'=', 1) : std::wstring_view::npos;
    return separator == std::wstring_view::npos ? entry : entry.substr(0, separator);
}

std::vector<std::wstring_view> entries_of(std::wstring_view block) {
    std::vector<std::wstring_view> entries;
    while (!block.empty()) {
        const std::size_t end = block.find(L'\0');
        const std::wstring_view entry = block.substr(0, end);
        if (entry.empty()) break;
        entries.push_back(entry);
        if (end == std::wstring_view::npos) break;
        block.remove_prefix(end + 1);
    }
    return entries;
}

}  // namespace

std::optional<std::wstring> environment_with(std::wstring_view block, std::wstring_view name, std::wstring_view value,
                              CompareNames compare) {
    std::wstring result;
    bool placed = false;
    const auto place = [&] {
        result.append(name);
        result += L'=';
        result.append(value);
        result += L'\0';
        placed = true;
    };
    for (const std::wstring_view entry : entries_of(block)) {
        const std::optional<int> order = compare(name_of(entry), name);
        if (!order) return std::nullopt;
        if (*order == 0) continue;
        if (!placed && *order > 0) place();
        result.append(entry);
        result += L'\0';
    }
    if (!placed) place();
    result += L'\0';
    return result;
}

}  // namespace kova
