#include "marshal/utf8.hpp"

#include <cstdint>

namespace marshal {
namespace {

// Length of the well-formed sequence starting at `i`, or 0 when the bytes there are not one.
// The ranges of the second byte follow the table of well-formed sequences in the Unicode
// standard, which rules out overlong forms, surrogates and code points above U+10FFFF.
std::size_t sequence_length(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  const std::uint8_t b0 = byte(i);
  if (b0 < 0x80) return 1;
  std::size_t len = 0;
  std::uint8_t lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + 1 >= s.size() || byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < len; ++k) {
    if (i + k >= s.size() || (byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return len;
}

// How many bytes of an ill-formed sequence make one maximal subpart (replaced by one U+FFFD).
std::size_t maximal_subpart(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  const std::uint8_t b0 = byte(i);
  std::size_t len = 0;
  std::uint8_t lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 1;
  }
  std::size_t k = 1;
  if (i + k < s.size() && byte(i + k) >= lo && byte(i + k) <= hi) {
    ++k;
    while (k < len && i + k < s.size() && (byte(i + k) & 0xC0) == 0x80) ++k;
  }
  return k;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    // ASCII runs are the common case in settings data.
    if (static_cast<std::uint8_t>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    const std::size_t len = sequence_length(bytes, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string utf8_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t len = sequence_length(bytes, i);
    if (len > 0) {
      out.append(bytes.substr(i, len));
      i += len;
    } else {
      out.append("\xEF\xBF\xBD");
      i += maximal_subpart(bytes, i);
    }
  }
  return out;
}

}  // namespace marshal
