#pragma once

#include <functional>

#include "harness.h"

// Rules about folder links, each written once and shown with each kind of
// link a platform can make: UnixLink.* with Unix links through Wine's Z:
// drive, WindowsNative.* with real junctions on Windows.
namespace kova::e2e {

using MakeFolderLink = std::function<void(const fs::path& target, const fs::path& link)>;

// A version folder that leads to the app folder itself escapes its boundary.
void expect_a_version_folder_linked_to_the_app_folder_to_escape(const MakeFolderLink& make_link);

// An app folder that leads elsewhere is fine: both sides are resolved.
void expect_an_app_folder_linked_elsewhere_to_run(const MakeFolderLink& make_link);

}  // namespace kova::e2e
