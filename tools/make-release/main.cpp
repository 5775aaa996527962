// kova-make-release: writes the signed release record (manifest.txt) of a
// release folder, listing every file in it with its size and SHA-256.
//
//   kova-make-release --key PRIVATE.pem --version 1.4.0 FOLDER
//   kova-make-release --public-key PRIVATE.pem
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "installer/crypto.h"
#include "release-signer/release_signer.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kChunk = 1 << 18;

std::optional<std::string> read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::optional<std::string> sha256_of(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    kova::crypto::Sha256 sha256;
    std::vector<char> buffer(kChunk);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        sha256.update({reinterpret_cast<const std::uint8_t*>(buffer.data()), got});
    }
    if (in.bad()) return std::nullopt;
    const kova::crypto::Sha256Digest digest = sha256.finish();
    return kova::crypto::to_lower_hex(digest);
}

int usage() {
    std::cerr << "usage: kova-make-release --key PRIVATE.pem --version VERSION FOLDER\n"
                 "       kova-make-release --public-key PRIVATE.pem\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--public-key") {
        const auto pem = read_text(args[1]);
        const auto key = pem ? kova::signing::load_private_key_pem(*pem) : std::nullopt;
        if (!key) {
            std::cerr << "kova-make-release: cannot read the private key " << args[1] << "\n";
            return 1;
        }
        std::cout << kova::signing::public_key_base64(*key) << "\n";
        return 0;
    }
    if (args.size() != 5 || args[0] != "--key" || args[2] != "--version") return usage();
    const auto pem = read_text(args[1]);
    const auto key = pem ? kova::signing::load_private_key_pem(*pem) : std::nullopt;
    if (!key) {
        std::cerr << "kova-make-release: cannot read the private key " << args[1] << "\n";
        return 1;
    }
    const fs::path folder = args[4];
    std::vector<kova::signing::FileEntry> files;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name == "manifest.txt") continue;
        if (!entry.is_regular_file()) {
            std::cerr << "kova-make-release: " << name << " is not a regular file\n";
            return 1;
        }
        const auto digest = sha256_of(entry.path());
        if (!digest) {
            std::cerr << "kova-make-release: cannot read " << name << "\n";
            return 1;
        }
        files.push_back({name, static_cast<std::uint64_t>(entry.file_size()), *digest});
    }
    if (error) {
        std::cerr << "kova-make-release: cannot list " << folder.string() << "\n";
        return 1;
    }
    // The companion's own executables first, then the rest by name: a stable order.
    const auto rank = [](const std::string& name) { return name == "lumenframe.exe" ? 0 : name == "lumenframe-mcp.exe" ? 1 : 2; };
    std::sort(files.begin(), files.end(), [&rank](const auto& a, const auto& b) {
        return std::pair(rank(a.name), a.name) < std::pair(rank(b.name), b.name);
    });
    const std::string record = kova::signing::make_record(kova::signing::release_json(args[3], files), *key);
    std::ofstream out(folder / "manifest.txt", std::ios::binary);
    out << record << "\n";
    if (!out) {
        std::cerr << "kova-make-release: cannot write manifest.txt\n";
        return 1;
    }
    std::cout << "signed " << files.size() << " files for version " << args[3] << " in " << folder.string() << "\n";
    return 0;
}
