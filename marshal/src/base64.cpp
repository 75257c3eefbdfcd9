#include "base64.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace marshal::detail {
namespace {

constexpr std::string_view ALPHABET =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t NOT_A_SYMBOL = 0xFF;

constexpr std::array<std::uint8_t, 256> make_symbol_values() {
  std::array<std::uint8_t, 256> values{};
  values.fill(NOT_A_SYMBOL);
  for (std::size_t i = 0; i < ALPHABET.size(); ++i) {
    values[static_cast<std::uint8_t>(ALPHABET[i])] = static_cast<std::uint8_t>(i);
  }
  return values;
}

constexpr std::array<std::uint8_t, 256> SYMBOL_VALUES = make_symbol_values();

std::uint8_t symbol_value(char c) { return SYMBOL_VALUES[static_cast<std::uint8_t>(c)]; }

std::string invalid_symbol(char c, std::size_t offset) {
  return "Invalid symbol " + std::to_string(static_cast<unsigned>(static_cast<std::uint8_t>(c))) +
         ", offset " + std::to_string(offset) + ".";
}

// The offset of the first character that can be neither a symbol nor padding, or npos.
std::size_t first_invalid_symbol(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=' && symbol_value(text[i]) == NOT_A_SYMBOL) return i;
  }
  // Padding only ends the text and starts third or fourth in the last group.
  const std::size_t first_pad = text.find('=');
  if (first_pad == std::string_view::npos) return first_pad;
  if (first_pad % 4 < 2) return first_pad;
  const std::size_t last_symbol = text.find_last_not_of('=');
  if (last_symbol != std::string_view::npos && last_symbol > first_pad) return first_pad;
  return std::string_view::npos;
}

}  // namespace

void write_base64(std::string_view bytes, char* out) {
  const auto at = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i]));
  };
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
    *out++ = ALPHABET[group >> 18];
    *out++ = ALPHABET[(group >> 12) & 63];
    *out++ = ALPHABET[(group >> 6) & 63];
    *out++ = ALPHABET[group & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 0) return;
  const std::uint32_t group = at(i) << 16 | (rest == 2 ? at(i + 1) << 8 : 0);
  *out++ = ALPHABET[group >> 18];
  *out++ = ALPHABET[(group >> 12) & 63];
  *out++ = rest == 2 ? ALPHABET[(group >> 6) & 63] : '=';
  *out = '=';
}

Result<std::string, std::string> decode_base64(std::string_view text) {
  if (const std::size_t bad = first_invalid_symbol(text); bad != std::string_view::npos) {
    return unexpected(invalid_symbol(text[bad], bad));
  }
  const std::size_t symbols = std::min(text.find('='), text.size());
  const std::size_t padding = text.size() - symbols;
  if (symbols % 4 == 1) return unexpected("Invalid input length: " + std::to_string(symbols));
  if (padding != (4 - symbols % 4) % 4) return unexpected(std::string("Invalid padding"));
  if (symbols % 4 != 0) {
    // Two symbols carry one byte (4 spare bits), three carry two bytes (2 spare bits).
    const std::uint8_t spare_mask = symbols % 4 == 2 ? 0x0F : 0x03;
    const char last = text[symbols - 1];
    if ((symbol_value(last) & spare_mask) != 0) {
      return unexpected("Invalid last symbol " +
                        std::to_string(static_cast<unsigned>(static_cast<std::uint8_t>(last))) +
                        ", offset " + std::to_string(symbols - 1) + ".");
    }
  }

  std::string out;
  out.reserve(symbols / 4 * 3 + 2);
  std::uint32_t bits = 0;
  int bit_count = 0;
  for (std::size_t i = 0; i < symbols; ++i) {
    bits = (bits << 6) | symbol_value(text[i]);
    bit_count += 6;
    if (bit_count >= 8) {
      bit_count -= 8;
      out += static_cast<char>((bits >> bit_count) & 0xFF);
    }
  }
  return out;
}

}  // namespace marshal::detail
