#include "adler32.hpp"

namespace marshal::detail {

std::uint32_t adler32(std::span<const std::uint8_t> bytes) {
  constexpr std::uint32_t MOD = 65521;
  // 5552 is the largest run whose sums cannot overflow 32 bits before the modulo.
  constexpr std::size_t RUN = 5552;
  std::uint32_t a = 1, b = 0;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t end = std::min(bytes.size(), i + RUN);
    for (; i < end; ++i) {
      a += bytes[i];
      b += a;
    }
    a %= MOD;
    b %= MOD;
  }
  return (b << 16) | a;
}

}  // namespace marshal::detail
