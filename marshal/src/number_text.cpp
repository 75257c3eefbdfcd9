#include "marshal/number_text.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

#include "support/ascii.hpp"

namespace marshal {
namespace {

constexpr std::uint64_t QUIET_NAN_BITS = 0x7FF8000000000000;
// Exponents are only compared against the double range, so larger ones saturate here.
constexpr std::int64_t EXPONENT_CAP = 1'000'000'000'000'000;
// Decimal exponents of the leading digit beyond which a double is surely infinite or zero.
constexpr std::int64_t LARGEST_FINITE_EXPONENT = 309;
constexpr std::int64_t SMALLEST_NONZERO_EXPONENT = -325;

bool equals_ignoring_case(std::string_view text, std::string_view lower_word) {
  return text.size() == lower_word.size() &&
         std::equal(text.begin(), text.end(), lower_word.begin(),
                    [](char c, char lower) { return support::ascii_lower(c) == lower; });
}

std::optional<double> parse_word(std::string_view word) {
  if (equals_ignoring_case(word, "inf") || equals_ignoring_case(word, "infinity")) {
    return std::numeric_limits<double>::infinity();
  }
  if (equals_ignoring_case(word, "nan")) return std::bit_cast<double>(QUIET_NAN_BITS);
  return std::nullopt;
}

std::string_view take_digits(std::string_view text, std::size_t& pos) {
  const std::size_t begin = pos;
  while (pos < text.size() && support::is_digit(text[pos])) ++pos;
  return text.substr(begin, pos - begin);
}

// Correctly rounds the decimal value digits × 10^exponent, where `digits` is non-empty and has
// neither leading nor trailing zeros.
double round_decimal(std::string_view digits, std::int64_t exponent) {
  const std::int64_t leading = static_cast<std::int64_t>(digits.size()) - 1 + exponent;
  if (leading > LARGEST_FINITE_EXPONENT) return std::numeric_limits<double>::infinity();
  if (leading < SMALLEST_NONZERO_EXPONENT) return 0.0;
  std::string normalised;
  normalised.reserve(digits.size() + 24);
  normalised.append(digits);
  normalised += 'e';
  normalised += std::to_string(exponent);
  double value = 0.0;
  const auto [end, ec] =
      std::from_chars(normalised.data(), normalised.data() + normalised.size(), value);
  if (ec == std::errc::result_out_of_range) {
    return leading >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return value;
}

}  // namespace

ShortestDigits shortest_digits(double magnitude) {
  // The scientific form without a precision carries the shortest round-trip digits.
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const std::size_t e = text.find('e');
  ShortestDigits out;
  for (const char c : text.substr(0, e)) {
    if (c != '.' && c != '-') out.digits += c;
  }
  std::string_view exponent = text.substr(e + 1);
  if (!exponent.empty() && exponent.front() == '+') exponent.remove_prefix(1);
  std::from_chars(exponent.data(), exponent.data() + exponent.size(), out.exponent);
  return out;
}

std::optional<std::int64_t> parse_int64(std::string_view text) {
  const std::size_t start = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (start == text.size() || !support::is_digit(text[start])) return std::nullopt;
  // from_chars takes a "-" but no "+".
  if (text[0] == '+') text.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> parse_float_literal(std::string_view text) {
  std::size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  const auto with_sign = [negative](double v) { return negative ? -v : v; };
  if (const auto word = parse_word(text.substr(pos))) return with_sign(*word);

  const std::string_view integer_digits = take_digits(text, pos);
  std::string_view fraction_digits;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    fraction_digits = take_digits(text, pos);
  }
  if (integer_digits.empty() && fraction_digits.empty()) return std::nullopt;

  std::int64_t exponent = 0;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    bool negative_exponent = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
      negative_exponent = text[pos] == '-';
      ++pos;
    }
    const std::string_view exponent_digits = take_digits(text, pos);
    if (exponent_digits.empty()) return std::nullopt;
    for (const char c : exponent_digits) {
      exponent = std::min(exponent * 10 + (c - '0'), EXPONENT_CAP);
    }
    if (negative_exponent) exponent = -exponent;
  }
  if (pos != text.size()) return std::nullopt;

  // Significant digits: the integer and fraction digits without leading or trailing zeros.
  std::string digits;
  digits.reserve(integer_digits.size() + fraction_digits.size());
  digits.append(integer_digits);
  digits.append(fraction_digits);
  exponent -= static_cast<std::int64_t>(fraction_digits.size());
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return with_sign(0.0);
  const std::size_t last = digits.find_last_not_of('0');
  exponent += static_cast<std::int64_t>(digits.size() - 1 - last);
  return with_sign(
      round_decimal(std::string_view(digits).substr(first, last - first + 1), exponent));
}

}  // namespace marshal
