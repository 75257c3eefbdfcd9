#include "marshal/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace marshal {
namespace {

// What a lead byte announces. The range of the second byte follows the table of well-formed
// sequences in the Unicode standard, which rules out overlong forms, surrogates and code points
// above U+10FFFF; later bytes are plain continuation bytes.
struct Lead {
  std::size_t length = 0;  // 0: no sequence starts with this byte
  char32_t bits = 0;       // the code point bits the lead byte carries
  std::uint8_t second_lo = 0x80;
  std::uint8_t second_hi = 0xBF;
};

Lead lead_of(std::uint8_t b0) {
  if (b0 < 0x80) return {1, b0};
  if (b0 >= 0xC2 && b0 <= 0xDF) return {2, b0 & 0x1Fu};
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    return {3, b0 & 0x0Fu, std::uint8_t(b0 == 0xE0 ? 0xA0 : 0x80),
            std::uint8_t(b0 == 0xED ? 0x9F : 0xBF)};
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    return {4, b0 & 0x07u, std::uint8_t(b0 == 0xF0 ? 0x90 : 0x80),
            std::uint8_t(b0 == 0xF4 ? 0x8F : 0xBF)};
  }
  return {};
}

std::uint8_t byte_at(std::string_view s, std::size_t k) { return static_cast<std::uint8_t>(s[k]); }

// How many bytes of an ill-formed sequence make one maximal subpart (replaced by one U+FFFD).
std::size_t maximal_subpart(std::string_view s, std::size_t i) {
  const Lead lead = lead_of(byte_at(s, i));
  if (lead.length < 2) return 1;
  std::size_t k = 1;
  if (i + k < s.size() && byte_at(s, i + k) >= lead.second_lo &&
      byte_at(s, i + k) <= lead.second_hi) {
    ++k;
    while (k < lead.length && i + k < s.size() && (byte_at(s, i + k) & 0xC0) == 0x80) ++k;
  }
  return k;
}

}  // namespace

Utf8Char decode_utf8_at(std::string_view bytes, std::size_t i) {
  const Lead lead = lead_of(byte_at(bytes, i));
  if (lead.length == 0 || i + lead.length > bytes.size()) return {};
  if (lead.length == 1) return {lead.bits, 1};
  const std::uint8_t second = byte_at(bytes, i + 1);
  if (second < lead.second_lo || second > lead.second_hi) return {};
  char32_t cp = lead.bits;
  for (std::size_t k = 1; k < lead.length; ++k) {
    const std::uint8_t b = byte_at(bytes, i + k);
    if ((b & 0xC0) != 0x80) return {};
    cp = (cp << 6) | (b & 0x3Fu);
  }
  return {cp, lead.length};
}

std::size_t write_utf8(char* out, char32_t cp) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

void append_utf8(std::string& out, char32_t cp) {
  char buffer[MAX_UTF8_LENGTH];
  out.append(buffer, write_utf8(buffer, cp));
}

bool is_valid_utf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    // ASCII runs are the common case in settings data: eight bytes at a time while they last.
    std::uint64_t word = 0;
    if (bytes.size() - i >= sizeof word) {
      std::memcpy(&word, bytes.data() + i, sizeof word);
      if ((word & 0x8080808080808080u) == 0) {
        i += sizeof word;
        continue;
      }
    }
    if (static_cast<std::uint8_t>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    const std::size_t len = decode_utf8_at(bytes, i).length;
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
    const std::size_t len = decode_utf8_at(bytes, i).length;
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
