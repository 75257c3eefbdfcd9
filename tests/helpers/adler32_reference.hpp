// Adler-32 (RFC 1950) as defined, one byte at a time: what tests write into streams they build and
// the codec's own block-wise checksum is held to.
#pragma once

#include <cstdint>
#include <span>

namespace marshal::testing {

inline std::uint32_t adler32_by_definition(std::span<const std::uint8_t> bytes) {
  constexpr std::uint32_t MOD = 65521;
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : bytes) {
    a = (a + byte) % MOD;
    b = (b + a) % MOD;
  }
  return (b << 16) | a;
}

}  // namespace marshal::testing
