// Strict UTF-8, and the UTF-16 surrogates, written once for the codec, the bridge and the
// program: well-formed UTF-8 means no overlong forms, no surrogate code points and nothing above
// U+10FFFF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace marshal {

// UTF-16 surrogates: a high one followed by a low one stands for a code point above U+FFFF.
constexpr bool is_high_surrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool is_low_surrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr char32_t surrogate_pair_code_point(char32_t high, char32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// One well-formed sequence; `length` is 0 when the bytes at the position start none.
struct Utf8Char {
  char32_t code_point = 0;
  std::size_t length = 0;
};

// The sequence starting at byte `i` of `bytes` (`i` < size).
Utf8Char decode_utf8_at(std::string_view bytes, std::size_t i);

// The most bytes the UTF-8 form of one code point takes.
inline constexpr std::size_t MAX_UTF8_LENGTH = 4;

// Writes the UTF-8 form of a code point below U+110000 at `out`, which has room for
// MAX_UTF8_LENGTH bytes, and gives the bytes written.
std::size_t write_utf8(char* out, char32_t code_point);

// Appends the UTF-8 form of a code point below U+110000.
void append_utf8(std::string& out, char32_t code_point);

bool is_valid_utf8(std::string_view bytes);

// Decodes as UTF-8, replacing every maximal invalid subpart with U+FFFD.
std::string utf8_lossy(std::string_view bytes);

}  // namespace marshal
