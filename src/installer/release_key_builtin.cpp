#include "installer/release_key.h"

// Apart from the decoding itself, so that only what uses the built-in key
// needs a build's key library.
namespace kova {

Result<crypto::VerifyingKey> decode_release_key() { return decode_release_key_text(RELEASE_PUBLIC_KEY); }

}  // namespace kova
