#include "make-release/platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "core/utf.h"

namespace kova::tool {
namespace {

std::string failure(std::string_view what) { return std::string(what) + ": " + std::strerror(errno); }

bool write_all(int file, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(file, content.data(), content.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Makes the rename itself last: the folder's entry is on the disk too.
bool flush_folder(const std::filesystem::path& folder) {
    const int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (handle < 0) return false;
    const bool flushed = ::fsync(handle) == 0;
    return ::close(handle) == 0 && flushed;
}

}  // namespace

std::optional<std::string> environment_text(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr || !is_valid_utf8(value)) return std::nullopt;
    return std::string(value);
}

std::optional<std::string> replace_file(const std::filesystem::path& target, std::string_view content) {
    std::string name = ".";
    name += target.filename().string();
    name += '.';
    name += std::to_string(::getpid());
    name += ".tmp";
    const std::filesystem::path temporary = target.parent_path() / name;
    const int file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (file < 0) return failure("cannot be created");
    std::optional<std::string> error;
    if (!write_all(file, content)) {
        error = failure("cannot be written");
    } else if (::fsync(file) != 0) {
        error = failure("cannot be flushed to the disk");
    }
    if (::close(file) != 0 && !error) error = failure("cannot be closed");
    if (!error && ::rename(temporary.c_str(), target.c_str()) != 0) error = failure("cannot replace the old one");
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    if (!flush_folder(target.parent_path())) return failure("was written, but its folder cannot be flushed to the disk");
    return std::nullopt;
}

}  // namespace kova::tool

int main(int argc, char** argv) {
    kova::tool::Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view text = argv[i];
        arguments.push_back(kova::is_valid_utf8(text) ? std::optional<std::string>(text) : std::nullopt);
    }
    return kova::tool::run(arguments);
}
