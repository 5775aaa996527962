#pragma once

#include <string>
#include <string_view>

#include "core/path.h"
#include "core/user_message.h"
#include "installer/crypto.h"
#include "installer/release_record.h"

namespace kova {

// Hashing streams every file through one buffer of this size, so memory does
// not grow with the file.
inline constexpr std::size_t kHashBufferBytes = 262'144;

// The version folder holds exactly what its signed manifest.txt lists, each
// file with its size and digest, plus the manifest itself: nothing else, no
// folder, no link. Returns the verified release.
[[nodiscard]] Result<Release> verify_installed_release(const Path& app_folder, std::string_view version,
                                                       const crypto::VerifyingKey& key);

// SHA-256 of a file's whole content as 64 lower-case hexadecimal digits.
[[nodiscard]] Result<std::string> hash_file_sha256(const Path& file);

}  // namespace kova
