#include <new>
#include <vector>

#include "make-release/platform.h"

namespace kova::tool {

std::expected<std::string, ReadFault> collect_within(std::uint64_t size, std::uint64_t limit, const ReadThrough& read) {
    if (size > limit) return std::unexpected(ReadFault::too_large);
    try {
        std::string content;
        content.reserve(static_cast<std::size_t>(size));
        std::vector<std::uint8_t> buffer(64 * 1024);
        bool within_limit = true;
        const bool complete = read(buffer, [&](std::span<const std::uint8_t> bytes) {
            if (content.size() + bytes.size() > limit) within_limit = false;
            if (within_limit) content.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        });
        if (!within_limit) return std::unexpected(ReadFault::too_large);
        if (!complete) return std::unexpected(ReadFault::unreadable);
        return content;
    } catch (const std::bad_alloc&) {
        return std::unexpected(ReadFault::unreadable);
    }
}

}  // namespace kova::tool
