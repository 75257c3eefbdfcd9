// JSON text to a JSON tree. Boost.JSON's own parser of this version may miss the nearest double
// by an ulp, which would break the round trip of "json:" keys holding floats, so the tree is built
// by a handler of ours that reads every floating number again from its text.
#include <boost/json/basic_parser_impl.hpp>
#include <boost/json/value_stack.hpp>
#include <string>

#include "marshal/json.hpp"
#include "marshal/number_text.hpp"

namespace marshal {
namespace {

namespace bj = boost::json;

class TreeBuilder {
 public:
  static constexpr std::size_t max_object_size = bj::object::max_size();
  static constexpr std::size_t max_array_size = bj::array::max_size();
  static constexpr std::size_t max_key_size = bj::string::max_size();
  static constexpr std::size_t max_string_size = bj::string::max_size();

  explicit TreeBuilder(bj::storage_ptr storage) { stack_.reset(std::move(storage)); }

  bj::value release() { return stack_.release(); }

  bool on_document_begin(bj::error_code&) { return true; }
  bool on_document_end(bj::error_code&) { return true; }
  bool on_object_begin(bj::error_code&) { return true; }
  bool on_object_end(std::size_t n, bj::error_code&) {
    stack_.push_object(n);
    return true;
  }
  bool on_array_begin(bj::error_code&) { return true; }
  bool on_array_end(std::size_t n, bj::error_code&) {
    stack_.push_array(n);
    return true;
  }
  bool on_key_part(bj::string_view s, std::size_t, bj::error_code&) {
    stack_.push_chars(s);
    return true;
  }
  bool on_key(bj::string_view s, std::size_t, bj::error_code&) {
    stack_.push_key(s);
    return true;
  }
  bool on_string_part(bj::string_view s, std::size_t, bj::error_code&) {
    stack_.push_chars(s);
    return true;
  }
  bool on_string(bj::string_view s, std::size_t, bj::error_code&) {
    stack_.push_string(s);
    return true;
  }
  bool on_number_part(bj::string_view s, bj::error_code&) {
    number_.append(s.data(), s.size());
    return true;
  }
  bool on_int64(std::int64_t i, bj::string_view, bj::error_code&) {
    number_.clear();
    stack_.push_int64(i);
    return true;
  }
  bool on_uint64(std::uint64_t u, bj::string_view, bj::error_code&) {
    number_.clear();
    stack_.push_uint64(u);
    return true;
  }
  bool on_double(double rough, bj::string_view s, bj::error_code&) {
    // JSON number syntax is a subset of the float literal, and the parser has checked it.
    std::optional<double> exact;
    if (number_.empty()) {
      exact = parse_float_literal(std::string_view(s.data(), s.size()));
    } else {
      number_.append(s.data(), s.size());
      exact = parse_float_literal(number_);
      number_.clear();
    }
    stack_.push_double(exact.value_or(rough));
    return true;
  }
  bool on_bool(bool b, bj::error_code&) {
    stack_.push_bool(b);
    return true;
  }
  bool on_null(bj::error_code&) {
    stack_.push_null();
    return true;
  }
  bool on_comment_part(bj::string_view, bj::error_code&) { return true; }
  bool on_comment(bj::string_view, bj::error_code&) { return true; }

 private:
  bj::value_stack stack_;
  std::string number_;  // the earlier parts of a number split across writes
};

}  // namespace

Result<JsonValue, std::string> parse_json_text(std::string_view text, std::size_t max_depth,
                                               boost::json::storage_ptr storage) {
  bj::parse_options options;
  options.max_depth = max_depth;
  bj::basic_parser<TreeBuilder> parser(options, std::move(storage));
  bj::error_code ec;
  const std::size_t used = parser.write_some(false, text.data(), text.size(), ec);
  if (!ec && used < text.size()) ec = bj::error::extra_data;
  if (ec) return unexpected(ec.message());
  return parser.handler().release();
}

}  // namespace marshal
