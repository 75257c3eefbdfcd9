// ASCII character classes, written once for the codec, the bridge and the program: only the
// ASCII digits and letters count, every other byte, non-ASCII included, stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace support {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

constexpr bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The value of a hexadecimal digit in either letter case, or -1 for any other byte.
constexpr int hex_digit_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The lowercase hexadecimal digit of the low four bits of `value`.
constexpr char hex_digit(unsigned value) { return "0123456789abcdef"[value & 0xF]; }

// A to Z to a to z.
constexpr char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

}  // namespace support
