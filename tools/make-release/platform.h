#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the release tool needs of its platform beyond std::filesystem.
namespace kova::tool {

// The program's arguments after its name, as UTF-8; an argument that is not
// Unicode text (invalid UTF-8, or on Windows an unpaired surrogate) is empty.
using Arguments = std::vector<std::optional<std::string>>;

// Runs the tool; the platform's entry point calls it.
int run(const Arguments& arguments);

// The value of an environment variable as UTF-8; empty when it is not set or
// not Unicode text.
[[nodiscard]] std::optional<std::string> environment_text(const std::string& name);

// Writes `content` to `target` through a new file in the same folder that is
// written, flushed to the disk and closed, every step checked, then renamed
// over `target`. On any failure the new file is removed, `target` is as it
// was, and the returned text says what failed.
[[nodiscard]] std::optional<std::string> replace_file(const std::filesystem::path& target, std::string_view content);

}  // namespace kova::tool
