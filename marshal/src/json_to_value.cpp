// Tagged JSON to value trees: a walk of the JSON into the value builder.

#include "json_walk.hpp"
#include "marshal/json.hpp"
#include "support/ascii.hpp"
#include "value_builder.hpp"

namespace marshal {
namespace detail {

std::optional<BigInt> parse_long_literal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !support::is_digit(text[0])) return std::nullopt;
  // Digits go in by chunks of up to 18, each small enough for one multiply-add.
  constexpr int CHUNK_DIGITS = 18;
  BigInt value;
  std::uint64_t chunk = 0;
  std::uint64_t scale = 1;
  int chunk_digits = 0;
  for (const char c : text) {
    if (c == '_') continue;
    if (!support::is_digit(c)) return std::nullopt;
    chunk = chunk * 10 + static_cast<std::uint64_t>(c - '0');
    scale *= 10;
    if (++chunk_digits == CHUNK_DIGITS) {
      value = value * scale + chunk;
      chunk = 0;
      scale = 1;
      chunk_digits = 0;
    }
  }
  if (chunk_digits > 0) value = value * scale + chunk;
  if (negative && value != 0) value = -value;
  return value;
}

}  // namespace detail

Result<MarshalValue, MarshalError> json_to_value(const JsonValue& json) {
  detail::ValueBuilder builder;
  return detail::TaggedJsonWalker<detail::ValueBuilder>(builder).value(json);
}

Result<MarshalValue, MarshalError> parse_tagged_string(std::string_view text) {
  detail::ValueBuilder builder;
  return detail::TaggedJsonWalker<detail::ValueBuilder>(builder).tagged_string(text);
}

}  // namespace marshal
