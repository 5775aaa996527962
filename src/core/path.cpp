#include "core/path.h"

#include <algorithm>
#include <vector>

#include "core/invariant.h"

namespace kova {
namespace {

bool is_ascii_letter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

wchar_t ascii_upper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool has_drive(std::wstring_view p) { return p.size() >= 2 && is_ascii_letter(p[0]) && p[1] == L':'; }

// Splits off the text up to the next separator (or the end).
std::wstring_view next_component(std::wstring_view& rest) {
    std::size_t end = 0;
    while (end < rest.size() && !is_separator(rest[end])) ++end;
    std::wstring_view component = rest.substr(0, end);
    rest.remove_prefix(end < rest.size() ? end + 1 : end);
    return component;
}

enum class PrefixKind { none, disk, verbatim_disk, verbatim_unc, verbatim, device, unc };

struct ParsedPath {
    PrefixKind kind = PrefixKind::none;
    std::wstring prefix_key;  // drive letter upper-cased, or the prefix text
    bool has_root = false;
    std::vector<std::wstring_view> names;
};

// Reads `\\server\share` style prefixes; false when server or share is empty.
bool read_server_and_share(std::wstring_view& rest, std::wstring& key) {
    std::wstring_view probe = rest;
    const std::wstring_view server = next_component(probe);
    const bool separator_after_server = rest.size() > server.size();
    if (server.empty() || !separator_after_server) return false;
    const std::wstring_view share = next_component(probe);
    if (share.empty()) return false;
    key.assign(server);
    key += L'\\';
    key.append(share);
    rest = probe;
    return true;
}

ParsedPath parse(std::wstring_view p) {
    ParsedPath parsed;
    std::wstring_view rest = p;
    if (p.starts_with(kExtendedLengthPrefix)) {
        rest.remove_prefix(kExtendedLengthPrefix.size());
        parsed.has_root = true;
        if (rest.size() >= 4 && rest.substr(0, 3) == L"UNC" && is_separator(rest[3])) {
            rest.remove_prefix(4);
            parsed.kind = PrefixKind::verbatim_unc;
            std::wstring_view probe = rest;
            parsed.prefix_key.assign(next_component(probe));
            parsed.prefix_key += L'\\';
            parsed.prefix_key.append(next_component(probe));
            rest = probe;
        } else if (has_drive(rest) && (rest.size() == 2 || is_separator(rest[2]))) {
            parsed.kind = PrefixKind::verbatim_disk;
            parsed.prefix_key.assign(1, ascii_upper(rest[0]));
            rest.remove_prefix(2);
        } else {
            parsed.kind = PrefixKind::verbatim;
            parsed.prefix_key.assign(next_component(rest));
        }
    } else if (p.size() >= 2 && is_separator(p[0]) && is_separator(p[1])) {
        rest.remove_prefix(2);
        if (rest.size() >= 2 && rest[0] == L'.' && is_separator(rest[1])) {
            rest.remove_prefix(2);
            parsed.kind = PrefixKind::device;
            parsed.prefix_key.assign(next_component(rest));
            parsed.has_root = true;
        } else if (read_server_and_share(rest, parsed.prefix_key)) {
            parsed.kind = PrefixKind::unc;
            parsed.has_root = true;
        } else {
            rest = p;
            parsed.has_root = true;
        }
    } else if (has_drive(p)) {
        parsed.kind = PrefixKind::disk;
        parsed.prefix_key.assign(1, ascii_upper(p[0]));
        rest.remove_prefix(2);
        parsed.has_root = !rest.empty() && is_separator(rest[0]);
    } else {
        parsed.has_root = !p.empty() && is_separator(p[0]);
    }
    while (!rest.empty()) {
        const std::wstring_view name = next_component(rest);
        if (!name.empty() && name != L".") parsed.names.push_back(name);
    }
    return parsed;
}

bool same_start(const ParsedPath& a, const ParsedPath& b) {
    return a.kind == b.kind && a.prefix_key == b.prefix_key && a.has_root == b.has_root;
}

}  // namespace

Path join(Path base, std::wstring_view part) {
    if (base.empty() || !is_separator(base.back())) base += L'\\';
    base.append(part);
    return base;
}

bool is_absolute_path(std::wstring_view p) {
    if (p.starts_with(kExtendedLengthPrefix)) return true;
    if (p.size() >= 2 && is_separator(p[0]) && is_separator(p[1])) {
        std::wstring_view rest = p.substr(2);
        if (rest.size() >= 2 && rest[0] == L'.' && is_separator(rest[1])) return true;
        std::wstring key;
        return read_server_and_share(rest, key);
    }
    return has_drive(p) && p.size() >= 3 && is_separator(p[2]);
}

bool same_path(std::wstring_view a, std::wstring_view b) {
    const ParsedPath pa = parse(a);
    const ParsedPath pb = parse(b);
    return same_start(pa, pb) && pa.names == pb.names;
}

bool path_starts_with(std::wstring_view path, std::wstring_view base) {
    const ParsedPath pp = parse(path);
    const ParsedPath pb = parse(base);
    if (!same_start(pp, pb) || pb.names.size() > pp.names.size()) return false;
    for (std::size_t i = 0; i < pb.names.size(); ++i) {
        if (pp.names[i] != pb.names[i]) return false;
    }
    return true;
}

Path folder_of(std::wstring_view file_path) {
    const std::size_t last = file_path.find_last_of(L"\\/");
    if (last == std::wstring_view::npos || last == 0) invariant_violation("a file path without a folder");
    const bool parent_is_drive = last == 2 && has_drive(file_path);
    return Path(file_path.substr(0, parent_is_drive ? last + 1 : last));
}

Path without_extended_prefix(std::wstring_view path) {
    if (path.starts_with(kExtendedUncPrefix)) return L"\\\\" + Path(path.substr(kExtendedUncPrefix.size()));
    const std::wstring_view rest = path.substr(std::min(path.size(), kExtendedLengthPrefix.size()));
    const bool drive_path = has_drive(rest) && rest.size() >= 3 && rest[2] == L'\\';
    if (path.starts_with(kExtendedLengthPrefix) && drive_path) return Path(rest);
    return Path(path);
}

}  // namespace kova
