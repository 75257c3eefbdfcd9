// Number text, written once for the codec, the bridge and the program: shortest round-trip digits
// of doubles, correctly rounded reading of decimal literals, and signed 64-bit decimal integers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marshal {

// The shortest digits that read back as the same double, and the decimal exponent of the first:
// the value is d1.d2d3... × 10^exponent. No leading or trailing zeros but for the value 0 ("0").
struct ShortestDigits {
  std::string digits;
  int exponent = 0;
};

// `magnitude` is finite and not negative (a negative zero counts as zero).
ShortestDigits shortest_digits(double magnitude);

// An optional sign, then digits with an optional "." (at least one digit in all) and an optional
// exponent, or one of the words inf, infinity, nan in any case. The result is correctly rounded;
// too large gives an infinity and too small a zero, both keeping the sign; the words give an
// infinity or the standard quiet NaN with the literal's sign. nullopt when `text` is no literal.
std::optional<double> parse_float_literal(std::string_view text);

// An optional "+" or "-" and one or more decimal digits, within the signed 64-bit range.
std::optional<std::int64_t> parse_int64(std::string_view text);

}  // namespace marshal
