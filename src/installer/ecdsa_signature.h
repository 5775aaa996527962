#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace kova {

// True when `der` is exactly one strict-DER ECDSA-Sig-Value (RFC 3279):
// SEQUENCE { INTEGER r, INTEGER s } with definite minimal lengths, minimal
// non-negative integers of at most 32 significant bytes, both in 1..n-1 for
// the P-256 group order n, and nothing after the SEQUENCE.
[[nodiscard]] bool is_strict_p256_signature(std::span<const std::uint8_t> der);

}  // namespace kova
