#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "installer/crypto.h"
#include "installer/folder_verification.h"

namespace kova {
namespace {

TEST(FileDigest, HexIsTwoLowerCaseDigitsPerByteHighHalfFirst) {
    EXPECT_EQ(crypto::to_lower_hex(std::vector<std::uint8_t>{0xAB, 0x01}), "ab01");
    EXPECT_EQ(crypto::to_lower_hex(std::vector<std::uint8_t>{0x00, 0x0F, 0xF0, 0x9A, 0xFF}), "000ff09aff");
    EXPECT_EQ(crypto::to_lower_hex(std::vector<std::uint8_t>{}), "");
}

// The text handed over `chunk` bytes a read at most, as a file whose reads
// come back short; the buffer is the one the launcher and the tool hash with.
ReadThrough reads_of(const std::string& text, std::size_t chunk) {
    return [&text, chunk](std::span<std::uint8_t> buffer, const auto& consume) {
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t count = std::min({chunk, buffer.size(), text.size() - at});
            std::copy_n(text.begin() + static_cast<std::ptrdiff_t>(at), count, buffer.begin());
            consume(buffer.first(count));
            at += count;
        }
        return true;
    };
}

// Known answers of FIPS 180-4's examples, through the reading path that
// hashes every listed file.
TEST(FileDigest, IsTheSha256OfEveryByteRead) {
    struct Case {
        std::string text;
        std::size_t chunk;
        const char* sha256;
    };
    const Case cases[] = {
        {"", 1, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", 1, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 7,
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1'000'000, 'a'), kHashBufferBytes, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {std::string(1'000'000, 'a'), 100'003, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) {
        const Result<std::string> digest = sha256_of_reads(reads_of(c.text, c.chunk));
        ASSERT_TRUE(digest.has_value()) << c.text.size();
        EXPECT_EQ(*digest, c.sha256) << c.text.size() << " bytes in reads of " << c.chunk;
    }
    const Result<std::string> failed = sha256_of_reads([](std::span<std::uint8_t>, const auto&) { return false; });
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error(), kDigestReadFailed);
}

}  // namespace
}  // namespace kova
