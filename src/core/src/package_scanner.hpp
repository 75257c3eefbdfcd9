// The JSON syntax under the package reader: a cursor over the file text that checks RFC 8259
// strictly and reports each fault with the byte offset where it was found. The reader decides
// what the values mean; this layer only says what they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "support/result.hpp"

namespace orvane::package_json {

// Deeper nesting than any package needs; it keeps a hostile file from exhausting the stack.
inline constexpr std::size_t MAX_NESTING = 128;

struct ParseError {
  std::string message;
  std::size_t offset = 0;
};

template <class T>
using Parsed = support::Result<T, ParseError>;

support::Unexpected<ParseError> fail(std::string message, std::size_t offset);

// A number literal whose syntax has been checked; its value is read only once the field that
// holds it says which type it must have.
struct NumberToken {
  std::string_view text;
  bool integer = true;  // no fraction and no exponent
  std::size_t offset = 0;
};

// The nearest double; literals too large for a double fail, too small ones give a signed zero.
Parsed<double> number_to_double(const NumberToken& token);

// " at line L column C" for a byte offset: both count from 1, the column in bytes.
std::string position_text(std::string_view text, std::size_t offset);

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  std::size_t offset() const { return pos_; }
  bool at_end() const { return pos_ >= text_.size(); }
  // The byte at the cursor; only when not at the end.
  char peek() const { return text_[pos_]; }
  void skip_whitespace();

  // Opens the array or object at the cursor for as long as it lives: the nesting level drops
  // again when it ends, on every path.
  class Container {
   public:
    explicit Container(Scanner& scanner) : scanner_(scanner) { ++scanner_.depth_; }
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;
    ~Container() { --scanner_.depth_; }
    // Consumes the opening bracket, unless the nesting is too deep.
    Parsed<void> open();

   private:
    Scanner& scanner_;
  };

  // In an open object: true at the next key, false once the closing "}" is consumed.
  Parsed<bool> next_member(bool first);
  // In an open array: true at the next element, false once the closing "]" is consumed.
  Parsed<bool> next_element(bool first);
  // In an open array whose elements are all read: consumes the closing "]".
  Parsed<void> close_array();
  // A member key and its colon; the cursor ends before the value.
  Parsed<std::string> read_key();

  // A string at its opening quote, escapes decoded; the result is well-formed UTF-8.
  Parsed<std::string> read_string();
  // A number at its "-" or first digit.
  Parsed<NumberToken> scan_number();
  // Checks any value at the cursor; only its syntax matters.
  Parsed<void> skip_value();
  // Reads the value at the cursor (only the first bracket of an array or object) and names it
  // for a type error: "null", "integer `5`", "string \"x\"", "sequence", ...
  Parsed<std::string> describe_value();

 private:
  Parsed<void> scan_digits();
  Parsed<std::string> read_literal();
  Parsed<void> read_escape(std::string& out);
  Parsed<unsigned> read_hex4();

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t depth_ = 0;
};

}  // namespace orvane::package_json
