// The quoted form of an error text. Whatever the text holds, the line stays one line and shows
// every character a reader could not otherwise see or tell apart.
#include <cstdint>
#include <string>
#include <string_view>

#include "marshal/utf8.hpp"
#include "orvane/cli/cli.hpp"
#include "support/ascii.hpp"
#include "unicode_tables.hpp"

namespace orvane {
namespace {

void append_code_point_escape(std::string& out, char32_t cp) {
  char digits[8];
  std::size_t n = 0;
  do {
    digits[n++] = support::hex_digit(static_cast<unsigned>(cp));
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
    const marshal::Utf8Char c = marshal::decode_utf8_at(text, i);
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
