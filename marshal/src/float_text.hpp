// Text forms of doubles in tagged JSON: the positional key text ("float:0.00000015") and the
// floating-point literal accepted after "float:" (also used to read JSON numbers exactly).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace marshal::detail {

// "inf", "-inf", "nan", or the shortest round-trip digits laid out without an exponent: "1",
// "0.5", "-0", "1000000000000000000000".
void append_float_key_text(std::string& out, double value);

// An optional sign, then digits with an optional "." (at least one digit in all) and an optional
// exponent, or one of the words inf, infinity, nan in any case. The result is correctly rounded;
// too large gives an infinity and too small a zero, both keeping the sign; the words give an
// infinity or the standard quiet NaN with the literal's sign. nullopt when `text` is no literal.
std::optional<double> parse_float_literal(std::string_view text);

}  // namespace marshal::detail
