// A TCP port as a person types it: decimal digits only, 1 to 65535.
#pragma once

#include <optional>
#include <string_view>

#include "support/ascii.hpp"

namespace support {

constexpr std::optional<unsigned short> parse_port_number(std::string_view text) {
  if (text.empty()) return std::nullopt;
  unsigned value = 0;
  for (const char c : text) {
    if (!is_digit(c)) return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 65535) return std::nullopt;
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return static_cast<unsigned short>(value);
}

}  // namespace support
