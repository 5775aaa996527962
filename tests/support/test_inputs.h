#pragma once

#include <filesystem>
#include <string_view>

// Where a test finds what it runs or reads, at run time, so that the test
// executables copied to another machine (a Windows runner) run as they are:
// the environment variable `variable` when it is set, else `name` beside the
// test executable when it is there, else where this build put it.
namespace kova::testing {

[[nodiscard]] std::filesystem::path test_input(const char* variable, std::string_view name, std::string_view built_path);

// The running test executable's own folder.
[[nodiscard]] std::filesystem::path executable_folder();

}  // namespace kova::testing
