// Reads a package file strictly. Each record may come as an object (fields by name, in any
// order, unknown keys skipped) or as an array of its field values in record order; every fault
// is one message naming the place where it was found.
#include <array>
#include <charconv>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "orvane/core/package.hpp"
#include "orvane/core/package_text.hpp"
#include "package_scanner.hpp"
#include "support/ascii.hpp"

namespace orvane {
namespace {

using package_json::fail;
using package_json::NumberToken;
using package_json::Parsed;
using package_json::Scanner;

// What an invalid-type message names, and the fields in record order.
struct RecordShape {
  std::string_view expected;
  std::span<const std::string_view> fields;
};

constexpr std::array<std::string_view, 3> PACKAGE_FIELDS = {"format", "version", "formations"};
constexpr std::array<std::string_view, 3> FORMATION_FIELDS = {"id", "name", "probes"};
constexpr std::array<std::string_view, 4> PROBE_FIELDS = {"x", "y", "z", "range"};
constexpr std::size_t MAX_FIELDS = 4;

constexpr RecordShape PACKAGE_SHAPE{"struct Package", PACKAGE_FIELDS};
constexpr RecordShape FORMATION_SHAPE{"struct Formation", FORMATION_FIELDS};
constexpr RecordShape PROBE_SHAPE{"struct Probe", PROBE_FIELDS};

bool starts_number(char c) { return c == '-' || support::is_digit(c); }

class PackageReader {
 public:
  explicit PackageReader(std::string_view text) : scanner_(text) {}

  Parsed<Package> document() {
    Package package;
    auto read = read_record(PACKAGE_SHAPE,
                            [&](std::size_t field) { return read_package_field(package, field); });
    if (!read) return read.take_error();
    scanner_.skip_whitespace();
    if (!scanner_.at_end()) return fail("trailing characters", scanner_.offset());
    return package;
  }

 private:
  // The field indexes follow the FIELDS arrays above.
  Parsed<void> read_package_field(Package& package, std::size_t field) {
    switch (field) {
      case 0:
        return assign(package.format, read_string_value());
      case 1:
        return assign(package.version, read_u32());
      default:
        return read_sequence([&]() -> Parsed<void> {
          Formation formation;
          auto read = read_record(
              FORMATION_SHAPE, [&](std::size_t f) { return read_formation_field(formation, f); });
          if (read) package.formations.push_back(std::move(formation));
          return read;
        });
    }
  }

  Parsed<void> read_formation_field(Formation& formation, std::size_t field) {
    switch (field) {
      case 0:
        return assign(formation.id, read_i64());
      case 1:
        return assign(formation.name, read_string_value());
      default:
        return read_sequence([&]() -> Parsed<void> {
          Probe probe;
          auto read =
              read_record(PROBE_SHAPE, [&](std::size_t f) { return read_probe_field(probe, f); });
          if (read) formation.probes.push_back(probe);
          return read;
        });
    }
  }

  Parsed<void> read_probe_field(Probe& probe, std::size_t field) {
    switch (field) {
      case 0:
        return assign(probe.x, read_f64());
      case 1:
        return assign(probe.y, read_f64());
      case 2:
        return assign(probe.z, read_f64());
      default:
        return assign(probe.range, read_f64());
    }
  }

  template <class T>
  static Parsed<void> assign(T& target, Parsed<T> read) {
    if (!read) return read.take_error();
    target = std::move(*read);
    return {};
  }

  // At a value's first byte, or the error for the end of the input.
  Parsed<void> at_value() {
    scanner_.skip_whitespace();
    if (scanner_.at_end()) return fail("EOF while parsing a value", scanner_.offset());
    return {};
  }

  template <class ReadField>
  Parsed<void> read_record(const RecordShape& shape, ReadField&& read_field) {
    if (auto value = at_value(); !value) return value;
    if (scanner_.peek() == '{') return read_record_object(shape, read_field);
    if (scanner_.peek() == '[') return read_record_array(shape, read_field);
    return invalid_type(shape.expected);
  }

  template <class ReadField>
  Parsed<void> read_record_object(const RecordShape& shape, ReadField& read_field) {
    Scanner::Container object(scanner_);
    if (auto opened = object.open(); !opened) return opened;
    std::array<bool, MAX_FIELDS> seen{};
    for (bool first = true;; first = false) {
      auto more = scanner_.next_member(first);
      if (!more) return more.take_error();
      if (!*more) break;
      const std::size_t key_offset = scanner_.offset();
      auto key = scanner_.read_key();
      if (!key) return key.take_error();
      std::size_t field = 0;
      while (field < shape.fields.size() && shape.fields[field] != *key) ++field;
      if (field == shape.fields.size()) {
        if (auto skipped = scanner_.skip_value(); !skipped) return skipped;
        continue;
      }
      if (seen[field]) return fail("duplicate field `" + *key + "`", key_offset);
      seen[field] = true;
      if (auto read = read_field(field); !read) return read;
    }
    const std::size_t close_offset = scanner_.offset() - 1;
    for (std::size_t field = 0; field < shape.fields.size(); ++field) {
      if (!seen[field]) {
        return fail("missing field `" + std::string(shape.fields[field]) + "`", close_offset);
      }
    }
    return {};
  }

  template <class ReadField>
  Parsed<void> read_record_array(const RecordShape& shape, ReadField& read_field) {
    Scanner::Container array(scanner_);
    if (auto opened = array.open(); !opened) return opened;
    for (std::size_t field = 0; field < shape.fields.size(); ++field) {
      auto more = scanner_.next_element(field == 0);
      if (!more) return more.take_error();
      if (!*more) {
        return fail("invalid length " + std::to_string(field) + ", expected " +
                        std::string(shape.expected) + " with " +
                        std::to_string(shape.fields.size()) + " elements",
                    scanner_.offset() - 1);
      }
      if (auto read = read_field(field); !read) return read;
    }
    return scanner_.close_array();
  }

  template <class ReadElement>
  Parsed<void> read_sequence(ReadElement&& read_element) {
    if (auto value = at_value(); !value) return value;
    if (scanner_.peek() != '[') return invalid_type("a sequence");
    Scanner::Container array(scanner_);
    if (auto opened = array.open(); !opened) return opened;
    for (bool first = true;; first = false) {
      auto more = scanner_.next_element(first);
      if (!more) return more.take_error();
      if (!*more) return {};
      if (auto read = read_element(); !read) return read;
    }
  }

  Parsed<std::string> read_string_value() {
    if (auto value = at_value(); !value) return value.take_error();
    if (scanner_.peek() != '"') return invalid_type_of<std::string>("a string");
    return scanner_.read_string();
  }

  Parsed<std::int64_t> read_i64() {
    auto token = read_integer_token("i64");
    if (!token) return token.take_error();
    const std::string_view text = token->text;
    std::int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc()) return invalid_integer(*token, "i64");
    return value;
  }

  Parsed<std::uint32_t> read_u32() {
    auto token = read_integer_token("u32");
    if (!token) return token.take_error();
    std::string_view digits = token->text;
    const bool negative = digits[0] == '-';
    if (negative) digits.remove_prefix(1);
    std::uint32_t value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    // Of the negative integers only zero is in range.
    if (result.ec != std::errc() || (negative && value != 0)) {
      return invalid_integer(*token, "u32");
    }
    return value;
  }

  Parsed<double> read_f64() {
    if (auto value = at_value(); !value) return value.take_error();
    if (!starts_number(scanner_.peek())) return invalid_type_of<double>("f64");
    auto token = scanner_.scan_number();
    if (!token) return token.take_error();
    return package_json::number_to_double(*token);
  }

  // An integer literal for a field of integer type; a fraction or an exponent is a type error
  // even when the value is integral.
  Parsed<NumberToken> read_integer_token(std::string_view expected) {
    if (auto value = at_value(); !value) return value.take_error();
    if (!starts_number(scanner_.peek())) return invalid_type_of<NumberToken>(expected);
    auto token = scanner_.scan_number();
    if (!token || token->integer) return token;
    auto value = package_json::number_to_double(*token);
    if (!value) return value.take_error();
    return fail("invalid type: floating point `" + package_double_text(*value) + "`, expected " +
                    std::string(expected),
                token->offset);
  }

  static Unexpected<package_json::ParseError> invalid_integer(const NumberToken& token,
                                                              std::string_view expected) {
    return fail("invalid value: integer `" + std::string(token.text) + "`, expected " +
                    std::string(expected),
                token.offset);
  }

  template <class T>
  Parsed<T> invalid_type_of(std::string_view expected) {
    auto error = invalid_type(expected);
    return error.take_error();
  }

  // The error for a value of the wrong JSON type at the cursor, naming what was found. The value
  // is read first, so a syntax error inside it is reported instead.
  Parsed<void> invalid_type(std::string_view expected) {
    const std::size_t offset = scanner_.offset();
    auto found = scanner_.describe_value();
    if (!found) return found.take_error();
    return fail("invalid type: " + *found + ", expected " + std::string(expected), offset);
  }

  Scanner scanner_;
};

}  // namespace

Result<Package, std::string> read_package_json(std::string_view text) {
  auto package = PackageReader(text).document();
  if (!package) {
    const package_json::ParseError& error = package.error();
    return unexpected(error.message + package_json::position_text(text, error.offset));
  }
  return std::move(*package);
}

}  // namespace orvane
