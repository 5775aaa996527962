#pragma once

#include <optional>
#include <string>

// The release tool's three commands. Each returns the process's exit code:
// 0 done, 1 refused (every reason on standard error, one line each).
namespace kova::tool {

inline constexpr int kDone = 0;

// One line on standard error, naming the tool.
void complain(const std::string& line);

// A private key file and where its pass phrase comes from, if it has one.
struct KeyFile {
    std::string path;
    std::optional<std::string> pass_env;   // the name of an environment variable
    std::optional<std::string> pass_file;  // a file whose first line it is
};

int sign_folder(const KeyFile& key, const std::string& version, const std::string& folder);
int print_public_key(const KeyFile& key);
int verify_folder(const std::string& public_key, const std::optional<std::string>& version, const std::string& folder);

}  // namespace kova::tool
