#include "make-release/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <system_error>
#include <utility>

#include "core/storage_layout.h"
#include "core/utf.h"
#include "make-release/names.h"

namespace kova::tool {
namespace {

constexpr std::uint32_t kAttributeNormal = 0x80;               // FILE_ATTRIBUTE_NORMAL
constexpr std::uint32_t kReparseTagSymbolicLink = 0xA000000C;  // IO_REPARSE_TAG_SYMLINK

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    [[nodiscard]] int get() const { return fd_; }

private:
    int fd_;
};

// Opened without blocking, so that a FIFO is refused rather than waited on,
// and only kept when it is a regular file.
std::expected<UniqueFd, ReadFault> open_regular(const fs::path& path, struct stat& status) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::unexpected(ReadFault::missing);
        // A socket cannot be opened at all (ENXIO): it is still no file.
        const int error = errno;
        struct stat found {};
        if (::stat(path.c_str(), &found) == 0 && !S_ISREG(found.st_mode) && !S_ISDIR(found.st_mode)) {
            return std::unexpected(ReadFault::not_regular);
        }
        errno = error;
        return std::unexpected(ReadFault::unreadable);
    }
    if (::fstat(file.get(), &status) != 0) return std::unexpected(ReadFault::unreadable);
    if (S_ISDIR(status.st_mode)) return std::unexpected(ReadFault::folder);
    if (!S_ISREG(status.st_mode)) return std::unexpected(ReadFault::not_regular);
    return file;
}

// Reads what is left of the file through `buffer`; false when a read fails.
bool read_through(int file, std::span<std::uint8_t> buffer,
                  const std::function<void(std::span<const std::uint8_t>)>& consume) {
    for (;;) {
        const ssize_t count = ::read(file, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return false;
        if (count == 0) return true;
        consume(buffer.first(static_cast<std::size_t>(count)));
    }
}

std::string failure(std::string_view what) { return std::string(what) + system_reason(); }

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
bool flush_folder(const fs::path& folder) {
    const UniqueFd handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return handle.get() >= 0 && ::fsync(handle.get()) == 0;
}

// What a listing reports of an entry, links not followed, in the terms the
// launcher's Win32 listing uses.
FileMetadata listed_metadata(const fs::file_status& status) {
    switch (status.type()) {
        case fs::file_type::directory: return {kAttributeDirectory, 0, 0};
        case fs::file_type::symlink: return {kAttributeReparsePoint, kReparseTagSymbolicLink, 0};
        default: return {kAttributeNormal, 0, 0};
    }
}

// Component by component, after both sides were made canonical.
bool is_inside(const fs::path& path, const fs::path& folder) {
    const auto [in_folder, in_path] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return in_folder == folder.end() && in_path != path.end();
}

// A version folder as std::filesystem sees it, with each name looked up as
// Windows looks it up: the entry of exactly that name, else one that differs
// only in case, which Windows would have found.
class PosixVersionFolder final : public VersionFolder {
public:
    explicit PosixVersionFolder(fs::path canonical_folder) : folder_(std::move(canonical_folder)) {}

    std::optional<std::string> read_manifest() override {
        std::expected<std::string, ReadFault> text =
            read_regular_file(entry_path(kManifestFileName), std::numeric_limits<std::uint64_t>::max());
        if (!text) return std::nullopt;
        return std::move(*text);
    }

    FoundFile find(std::string_view name) override {
        std::error_code error;
        const fs::path canonical = fs::canonical(entry_path(name), error);
        if (error) return {FileState::missing};
        if (!is_inside(canonical, folder_)) return {FileState::outside};
        if (!fs::is_regular_file(fs::status(canonical, error)) || error) return {FileState::not_a_file};
        const std::uintmax_t size = fs::file_size(canonical, error);
        if (error) return {FileState::unreadable};
        found_[std::string(name)] = canonical;
        return {FileState::present, size};
    }

    Result<std::string> digest(std::string_view name) override {
        struct stat status {};
        const std::expected<UniqueFd, ReadFault> file = open_regular(found_.at(std::string(name)), status);
        if (!file) return fail(kDigestOpenFailed);
        return sha256_of_reads([&file](std::span<std::uint8_t> buffer, const auto& consume) {
            return read_through(file->get(), buffer, consume);
        });
    }

    bool list(const std::function<bool(const ListedEntry&)>& visit) override {
        std::error_code error;
        for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
            const fs::path name = it->path().filename();
            const fs::file_status status = it->symlink_status(error);
            if (error) return false;
            if (!visit(ListedEntry{name_text(name), shown(name), listed_metadata(status)})) return true;
        }
        return !error;
    }

private:
    fs::path entry_path(std::string_view name) const {
        const fs::path exact = folder_ / path_from_utf8(std::string(name));
        std::error_code error;
        if (fs::symlink_status(exact, error).type() != fs::file_type::not_found) return exact;
        for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
            const std::optional<std::string> text = name_text(it->path().filename());
            if (text && same_name_on_windows(*text, name)) return it->path();
        }
        return exact;
    }

    fs::path folder_;
    std::map<std::string, fs::path, std::less<>> found_;
};

}  // namespace

std::string system_reason() { return std::string(": ") + std::strerror(errno); }

std::expected<std::string, VariableFault> environment_text(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::unexpected(VariableFault::unset);
    if (!is_valid_utf8(value)) return std::unexpected(VariableFault::not_text);
    return std::string(value);
}

std::expected<std::string, ReadFault> read_regular_file(const fs::path& path, std::uint64_t limit) {
    struct stat status {};
    const std::expected<UniqueFd, ReadFault> file = open_regular(path, status);
    if (!file) return std::unexpected(file.error());
    return collect_within(static_cast<std::uint64_t>(status.st_size), limit,
                          [&file](std::span<std::uint8_t> buffer, const auto& consume) {
                              return read_through(file->get(), buffer, consume);
                          });
}

std::expected<ObservedFolder, FolderFault> observe_version_folder(const fs::path& folder) {
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (status.type() == fs::file_type::not_found) return std::unexpected(FolderFault::missing);
    if (error) return std::unexpected(FolderFault::unreadable);
    if (!fs::is_directory(status)) return std::unexpected(FolderFault::not_a_folder);
    fs::path canonical = fs::canonical(folder, error);
    if (error) return std::unexpected(FolderFault::unreadable);
    std::optional<std::string> name = name_text(canonical.filename());
    return ObservedFolder{std::make_unique<PosixVersionFolder>(std::move(canonical)), std::move(name)};
}

std::optional<ReplaceFailure> replace_file(const fs::path& target, std::string_view content) {
    const fs::path temporary = temporary_path_for(target, static_cast<std::uint64_t>(::getpid()));
    const UniqueFd file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (file.get() < 0) return ReplaceFailure{false, failure("cannot be created")};
    std::optional<std::string> error;
    if (!write_all(file.get(), content)) {
        error = failure("cannot be written");
    } else if (::fsync(file.get()) != 0) {
        error = failure("cannot be flushed to the disk");
    } else if (::rename(temporary.c_str(), target.c_str()) != 0) {
        error = failure("cannot replace the old one");
    }
    if (error) {
        ::unlink(temporary.c_str());
        return ReplaceFailure{false, std::move(*error)};
    }
    if (!flush_folder(target.parent_path())) {
        return ReplaceFailure{true, failure("its folder cannot be flushed to the disk")};
    }
    return std::nullopt;
}

}  // namespace kova::tool

int main(int argc, char** argv) {
    // A write past a file size limit, or into a pipe nobody reads, is an
    // error the tool reports, not a signal that ends it without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    kova::tool::Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view text = argv[i];
        arguments.push_back(kova::is_valid_utf8(text) ? std::optional<std::string>(text) : std::nullopt);
    }
    return kova::tool::run(arguments);
}
