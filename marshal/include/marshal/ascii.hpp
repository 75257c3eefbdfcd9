// ASCII character classes, written once for the codec, the bridge and the program: only the
// ASCII digits and letters count, every other byte, non-ASCII included, stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace marshal {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A to Z to a to z.
constexpr char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

}  // namespace marshal
