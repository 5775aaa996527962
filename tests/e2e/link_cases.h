#pragma once

#include <functional>
#include <string_view>

#include "harness.h"

// Rules about links, each written once and shown with each kind of link a
// platform can make: UnixLink.* with Unix links through Wine's Z: drive,
// WindowsNative.* with real junctions and symbolic links on Windows.
namespace kova::e2e {

using MakeLink = std::function<void(const fs::path& target, const fs::path& link)>;

// Moves lumenframe.exe out of the version folder and puts a link to it in its place.
void link_the_app_out_of_its_folder(const Sandbox& sandbox, const MakeLink& make_link);

// The release tool refuses to sign a folder whose lumenframe.exe links out of
// it, with `sign_problem`, and verify finds the file outside, as the launcher
// refuses it. What the listing says of the link itself (`listing_line`)
// depends on how the platform lists a link.
void expect_the_release_tool_to_judge_a_link_out_of_the_folder(const MakeLink& make_link, std::string_view sign_problem,
                                                                std::string_view listing_line);

// A version folder that leads to the app folder itself escapes its boundary.
void expect_a_version_folder_linked_to_the_app_folder_to_escape(const MakeLink& make_link);

// An app folder that leads elsewhere is fine: both sides are resolved.
void expect_an_app_folder_linked_elsewhere_to_run(const MakeLink& make_link);

}  // namespace kova::e2e
