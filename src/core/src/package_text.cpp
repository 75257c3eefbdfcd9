#include "orvane/core/package_text.hpp"

#include <cmath>
#include <cstdint>

#include "marshal/number_text.hpp"
#include "support/ascii.hpp"

namespace orvane {

std::string package_double_text(double value) {
  if (!std::isfinite(value)) return "null";
  std::string out = std::signbit(value) ? "-" : "";
  const marshal::ShortestDigits d = marshal::shortest_digits(std::fabs(value));
  const auto count = static_cast<int>(d.digits.size());
  if (d.exponent < -5 || d.exponent >= 16) {
    out += d.digits[0];
    if (count > 1) {
      out += '.';
      out.append(d.digits, 1);
    }
    out += 'e';
    out += std::to_string(d.exponent);
  } else if (d.exponent >= count - 1) {
    out += d.digits;
    out.append(static_cast<std::size_t>(d.exponent - (count - 1)), '0');
    out += ".0";
  } else if (d.exponent >= 0) {
    const auto point = static_cast<std::size_t>(d.exponent + 1);
    out.append(d.digits, 0, point);
    out += '.';
    out.append(d.digits, point);
  } else {
    out += "0.";
    out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
    out += d.digits;
  }
  return out;
}

void append_package_string(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += support::hex_digit(byte >> 4);
          out += support::hex_digit(byte);
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

}  // namespace orvane
