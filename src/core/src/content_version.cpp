#include "orvane/core/content_version.hpp"

#include "support/ascii.hpp"

// Header-only: the static and the cross build link no hash library.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace orvane {

std::string content_version(std::span<const std::uint8_t> bytes) {
  const XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
  std::string text;
  text.reserve(32);
  for (const std::uint64_t half : {hash.high64, hash.low64}) {
    for (int shift = 60; shift >= 0; shift -= 4) {
      text += support::hex_digit(static_cast<unsigned>(half >> shift));
    }
  }
  return text;
}

}  // namespace orvane
