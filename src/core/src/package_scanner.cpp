#include "package_scanner.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>
#include <utility>

#include "marshal/number_text.hpp"
#include "marshal/utf8.hpp"
#include "orvane/core/package_text.hpp"
#include "support/ascii.hpp"

namespace orvane::package_json {
namespace {

using support::is_digit;

}  // namespace

support::Unexpected<ParseError> fail(std::string message, std::size_t offset) {
  return support::unexpected(ParseError{std::move(message), offset});
}

Parsed<double> number_to_double(const NumberToken& token) {
  // The literal is correctly rounded; only a magnitude beyond the double range is refused, while
  // one too small to tell from zero reads as a zero of its sign.
  const std::optional<double> value = marshal::parse_float_literal(token.text);
  if (!value) return fail("invalid number", token.offset);
  if (std::isinf(*value)) return fail("number out of range", token.offset);
  return *value;
}

std::string position_text(std::string_view text, std::size_t offset) {
  std::size_t line = 1;
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  }
  return " at line " + std::to_string(line) + " column " + std::to_string(offset - line_start + 1);
}

void Scanner::skip_whitespace() {
  while (!at_end()) {
    const char c = peek();
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
    ++pos_;
  }
}

Parsed<void> Scanner::Container::open() {
  if (scanner_.depth_ > MAX_NESTING) return fail("recursion limit exceeded", scanner_.pos_);
  ++scanner_.pos_;
  return {};
}

Parsed<bool> Scanner::next_member(bool first) {
  skip_whitespace();
  if (at_end()) return fail("EOF while parsing an object", pos_);
  if (peek() == '}') {
    ++pos_;
    return false;
  }
  if (!first) {
    if (peek() != ',') return fail("expected `,` or `}`", pos_);
    ++pos_;
    skip_whitespace();
    if (at_end()) return fail("EOF while parsing an object", pos_);
    if (peek() == '}') return fail("trailing comma", pos_);
  }
  if (peek() != '"') return fail("key must be a string", pos_);
  return true;
}

Parsed<bool> Scanner::next_element(bool first) {
  skip_whitespace();
  if (at_end()) return fail("EOF while parsing a list", pos_);
  if (peek() == ']') {
    ++pos_;
    return false;
  }
  if (first) return true;
  if (peek() != ',') return fail("expected `,` or `]`", pos_);
  ++pos_;
  skip_whitespace();
  if (at_end()) return fail("EOF while parsing a list", pos_);
  if (peek() == ']') return fail("trailing comma", pos_);
  return true;
}

Parsed<void> Scanner::close_array() {
  skip_whitespace();
  if (at_end()) return fail("EOF while parsing a list", pos_);
  if (peek() == ']') {
    ++pos_;
    return {};
  }
  if (peek() != ',') return fail("expected `,` or `]`", pos_);
  ++pos_;
  skip_whitespace();
  if (at_end()) return fail("EOF while parsing a list", pos_);
  if (peek() == ']') return fail("trailing comma", pos_);
  return fail("trailing characters", pos_);
}

Parsed<std::string> Scanner::read_key() {
  auto key = read_string();
  if (!key) return key.take_error();
  skip_whitespace();
  if (at_end()) return fail("EOF while parsing an object", pos_);
  if (peek() != ':') return fail("expected `:`", pos_);
  ++pos_;
  return key;
}

Parsed<void> Scanner::skip_value() {
  skip_whitespace();
  if (at_end()) return fail("EOF while parsing a value", pos_);
  switch (peek()) {
    case '{': {
      Container object(*this);
      if (auto opened = object.open(); !opened) return opened;
      for (bool first = true;; first = false) {
        auto more = next_member(first);
        if (!more) return more.take_error();
        if (!*more) return {};
        if (auto key = read_key(); !key) return key.take_error();
        if (auto value = skip_value(); !value) return value;
      }
    }
    case '[': {
      Container array(*this);
      if (auto opened = array.open(); !opened) return opened;
      for (bool first = true;; first = false) {
        auto more = next_element(first);
        if (!more) return more.take_error();
        if (!*more) return {};
        if (auto value = skip_value(); !value) return value;
      }
    }
    case '"': {
      auto text = read_string();
      if (!text) return text.take_error();
      return {};
    }
    case 't':
    case 'f':
    case 'n': {
      auto literal = read_literal();
      if (!literal) return literal.take_error();
      return {};
    }
    default: {
      // A number's range matters only where a field reads it.
      if (peek() != '-' && !is_digit(peek())) return fail("expected value", pos_);
      auto token = scan_number();
      if (!token) return token.take_error();
      return {};
    }
  }
}

Parsed<std::string> Scanner::describe_value() {
  switch (peek()) {
    case '[':
      return std::string("sequence");
    case '{':
      return std::string("map");
    case '"': {
      auto text = read_string();
      if (!text) return text.take_error();
      std::string out = "string ";
      append_package_string(out, *text);
      return out;
    }
    case 't':
    case 'f':
    case 'n': {
      auto literal = read_literal();
      if (!literal || *literal == "null") return literal;
      return "boolean `" + *literal + "`";
    }
    default:
      break;
  }
  if (peek() != '-' && !is_digit(peek())) return fail("expected value", pos_);
  auto token = scan_number();
  if (!token) return token.take_error();
  if (token->integer) return "integer `" + std::string(token->text) + "`";
  auto value = number_to_double(*token);
  if (!value) return value.take_error();
  return "floating point `" + package_double_text(*value) + "`";
}

Parsed<std::string> Scanner::read_literal() {
  static constexpr std::array<std::string_view, 3> LITERALS = {"true", "false", "null"};
  std::string_view literal = LITERALS[0];
  for (std::string_view candidate : LITERALS) {
    if (candidate[0] == peek()) literal = candidate;
  }
  for (char expected : literal) {
    if (at_end()) return fail("EOF while parsing a value", pos_);
    if (peek() != expected) return fail("invalid literal", pos_);
    ++pos_;
  }
  return std::string(literal);
}

// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
Parsed<NumberToken> Scanner::scan_number() {
  NumberToken token;
  token.offset = pos_;
  if (peek() == '-') ++pos_;
  if (!at_end() && peek() == '0') {
    ++pos_;
    if (!at_end() && is_digit(peek())) return fail("invalid number", pos_);
  } else if (auto digits = scan_digits(); !digits) {
    return digits.take_error();
  }
  if (!at_end() && peek() == '.') {
    token.integer = false;
    ++pos_;
    if (auto digits = scan_digits(); !digits) return digits.take_error();
  }
  if (!at_end() && (peek() == 'e' || peek() == 'E')) {
    token.integer = false;
    ++pos_;
    if (!at_end() && (peek() == '+' || peek() == '-')) ++pos_;
    if (auto digits = scan_digits(); !digits) return digits.take_error();
  }
  token.text = text_.substr(token.offset, pos_ - token.offset);
  return token;
}

// One or more digits.
Parsed<void> Scanner::scan_digits() {
  if (at_end()) return fail("EOF while parsing a value", pos_);
  if (!is_digit(peek())) return fail("invalid number", pos_);
  while (!at_end() && is_digit(peek())) ++pos_;
  return {};
}

Parsed<std::string> Scanner::read_string() {
  ++pos_;
  std::string out;
  while (true) {
    if (at_end()) return fail("EOF while parsing a string", pos_);
    const auto c = static_cast<unsigned char>(peek());
    if (c == '"') {
      ++pos_;
      return out;
    }
    if (c == '\\') {
      if (auto escape = read_escape(out); !escape) {
        return escape.take_error();
      }
    } else if (c < 0x20) {
      return fail("control character (\\u0000-\\u001F) found while parsing a string", pos_);
    } else if (c >= 0x80) {
      const std::size_t length = marshal::decode_utf8_at(text_, pos_).length;
      if (length == 0) return fail("invalid UTF-8 in string", pos_);
      out.append(text_.substr(pos_, length));
      pos_ += length;
    } else {
      out += static_cast<char>(c);
      ++pos_;
    }
  }
}

Parsed<void> Scanner::read_escape(std::string& out) {
  const std::size_t escape_offset = pos_;
  ++pos_;
  if (at_end()) return fail("EOF while parsing a string", pos_);
  const char c = peek();
  ++pos_;
  switch (c) {
    case '"':
    case '\\':
    case '/':
      out += c;
      return {};
    case 'b':
      out += '\b';
      return {};
    case 'f':
      out += '\f';
      return {};
    case 'n':
      out += '\n';
      return {};
    case 'r':
      out += '\r';
      return {};
    case 't':
      out += '\t';
      return {};
    case 'u':
      break;
    default:
      return fail("invalid escape", pos_ - 1);
  }
  auto unit = read_hex4();
  if (!unit) return unit.take_error();
  std::uint32_t cp = *unit;
  if (marshal::is_low_surrogate(cp)) {
    return fail("lone trailing surrogate in hex escape", escape_offset);
  }
  if (marshal::is_high_surrogate(cp)) {
    // A high surrogate must be followed at once by the escape of a low one.
    for (char expected : {'\\', 'u'}) {
      if (at_end()) return fail("EOF while parsing a string", pos_);
      if (peek() != expected) return fail("lone leading surrogate in hex escape", escape_offset);
      ++pos_;
    }
    auto low = read_hex4();
    if (!low) return low.take_error();
    if (!marshal::is_low_surrogate(*low)) {
      return fail("lone leading surrogate in hex escape", escape_offset);
    }
    cp = marshal::surrogate_pair_code_point(cp, *low);
  }
  marshal::append_utf8(out, cp);
  return {};
}

Parsed<unsigned> Scanner::read_hex4() {
  unsigned unit = 0;
  for (int i = 0; i < 4; ++i) {
    if (at_end()) return fail("EOF while parsing a string", pos_);
    const int digit = support::hex_digit_value(peek());
    if (digit < 0) return fail("invalid escape", pos_);
    unit = unit * 16 + static_cast<unsigned>(digit);
    ++pos_;
  }
  return unit;
}

}  // namespace orvane::package_json
