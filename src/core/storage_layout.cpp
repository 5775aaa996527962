#include "core/storage_layout.h"

#include "core/utf.h"

namespace kova {
namespace {

constexpr std::wstring_view kVersionsFolder = L"versions";

}  // namespace

Path join_name(const Path& folder, std::string_view ascii_name) { return join(folder, widen_checked(ascii_name)); }

Path version_folder(const Path& app_folder, std::string_view version) {
    return join_name(join(app_folder, kVersionsFolder), version);
}

}  // namespace kova
