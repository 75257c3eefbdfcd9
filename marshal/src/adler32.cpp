#include "adler32.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace marshal::detail {
namespace {

constexpr std::uint32_t MOD = 65521;
// 5552 is the largest run whose sums cannot overflow 32 bits before the modulo.
constexpr std::size_t RUN = 5552;

#if defined(__SSE2__)
constexpr std::size_t BLOCK = 16;

std::uint64_t lane_sum(__m128i two_lanes) {
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(two_lanes)) +
         static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(two_lanes, two_lanes)));
}

// Byte by byte, `b` waits on `a` at every step. Over whole blocks of 16 bytes the same figures
// come from sums that do not wait on one another: `a` grows by the bytes' total, and `b` by 16
// times `a` as it stood before each block plus each byte weighted by the number of sums it
// enters within its block.
void add_blocks(std::uint32_t& a, std::uint32_t& b, const std::uint8_t*& p, std::size_t blocks) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i weights_low = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
  const __m128i weights_high = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
  __m128i total = zero;     // the bytes so far, in two 64-bit lanes
  __m128i earlier = zero;   // the totals before each block, added up, in two 64-bit lanes
  __m128i weighted = zero;  // four 32-bit lanes
  for (std::size_t i = 0; i < blocks; ++i, p += BLOCK) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    earlier = _mm_add_epi64(earlier, total);
    total = _mm_add_epi64(total, _mm_sad_epu8(v, zero));
    weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(v, zero), weights_low));
    weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), weights_high));
  }
  const std::uint64_t weighted_sum =
      lane_sum(_mm_unpacklo_epi32(weighted, zero)) + lane_sum(_mm_unpackhi_epi32(weighted, zero));
  const std::uint64_t new_b =
      b + BLOCK * (blocks * std::uint64_t{a} + lane_sum(earlier)) + weighted_sum;
  a = static_cast<std::uint32_t>((a + lane_sum(total)) % MOD);
  b = static_cast<std::uint32_t>(new_b % MOD);
}
#endif

}  // namespace

std::uint32_t adler32(std::span<const std::uint8_t> bytes) {
  std::uint32_t a = 1, b = 0;
  const std::uint8_t* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    std::size_t run = std::min(left, RUN);
    left -= run;
#if defined(__SSE2__)
    add_blocks(a, b, p, run / BLOCK);
    run %= BLOCK;
#endif
    for (; run > 0; --run) {
      a += *p++;
      b += a;
    }
    a %= MOD;
    b %= MOD;
  }
  return (b << 16) | a;
}

}  // namespace marshal::detail
