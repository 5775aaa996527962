#include "bin/kova-mcp/allowed_roots_value.h"

namespace kova {
namespace {

constexpr wchar_t kSeparator = L';';
constexpr wchar_t kQuote = L'"';

}  // namespace

std::optional<std::wstring> build_allowed_roots_value(std::vector<Path> folders) {
    std::wstring value;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const Path& folder = folders[i];
        if (i != 0) value += kSeparator;
        if (folder.find(kQuote) != Path::npos) return std::nullopt;
        if (folder.find(kSeparator) != Path::npos) {
            value += kQuote;
            value += folder;
            value += kQuote;
        } else {
            value += folder;
        }
    }
    return value;
}

}  // namespace kova
