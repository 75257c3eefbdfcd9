// The quoted form of an error text. Whatever the text holds, the line stays one line and shows
// every character a reader could not otherwise see or tell apart.
#include <cstdint>
#include <string>
#include <string_view>

#include "cli.hpp"
#include "unicode_tables.hpp"

namespace orvane {
namespace {

struct DecodedChar {
  char32_t code_point = 0;
  std::size_t length = 0;  // 0: the byte at this position starts no well-formed sequence
};

// One well-formed UTF-8 sequence (no overlong forms, no surrogates, nothing past U+10FFFF).
DecodedChar decode_at(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  const std::uint8_t b0 = byte(i);
  if (b0 < 0x80) return {b0, 1};
  std::size_t len = 0;
  std::uint8_t lo = 0x80, hi = 0xBF;
  char32_t cp = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0Fu;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07u;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return {};
  }
  if (i + len > s.size()) return {};
  if (byte(i + 1) < lo || byte(i + 1) > hi) return {};
  for (std::size_t k = 1; k < len; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return {};
    cp = (cp << 6) | (byte(i + k) & 0x3Fu);
  }
  return {cp, len};
}

void append_code_point_escape(std::string& out, char32_t cp) {
  static constexpr char HEX[] = "0123456789abcdef";
  char digits[8];
  std::size_t n = 0;
  do {
    digits[n++] = HEX[cp & 0xF];
    cp >>= 4;
  } while (cp != 0);
  out += "\\u{";
  while (n > 0) out += digits[--n];
  out += '}';
}

}  // namespace

// A byte that starts no well-formed UTF-8 sequence cannot come from the program's own texts;
// should one appear anyway it is shown as \u{fffd}, one per byte. A real U+FFFD in the text is
// printable and stays as it is, so the two remain distinguishable.
std::string quote_error_text(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  std::size_t i = 0;
  while (i < text.size()) {
    const DecodedChar c = decode_at(text, i);
    if (c.length == 0) {
      append_code_point_escape(out, 0xFFFD);
      ++i;
      continue;
    }
    switch (c.code_point) {
      case U'"':
        out += "\\\"";
        break;
      case U'\\':
        out += "\\\\";
        break;
      case U'\0':
        out += "\\0";
        break;
      case U'\t':
        out += "\\t";
        break;
      case U'\r':
        out += "\\r";
        break;
      case U'\n':
        out += "\\n";
        break;
      default:
        if (unicode::is_not_printable(c.code_point) || unicode::is_grapheme_extend(c.code_point)) {
          append_code_point_escape(out, c.code_point);
        } else {
          out.append(text.substr(i, c.length));
        }
        break;
    }
    i += c.length;
  }
  out += '"';
  return out;
}

}  // namespace orvane
