#include "member_names.hpp"

#include <boost/json/basic_parser_impl.hpp>
#include <set>
#include <vector>

namespace orvane::ui {
namespace {

namespace bj = boost::json;

// Keeps the names of each open object and stops the parse at the first name seen twice.
class NameChecker {
 public:
  constexpr static std::size_t max_object_size = std::size_t(-1);
  constexpr static std::size_t max_array_size = std::size_t(-1);
  constexpr static std::size_t max_key_size = std::size_t(-1);
  constexpr static std::size_t max_string_size = std::size_t(-1);

  std::optional<std::string> twice;

  bool on_document_begin(bj::error_code&) { return true; }
  bool on_document_end(bj::error_code&) { return true; }
  bool on_object_begin(bj::error_code&) {
    open_.emplace_back();
    return true;
  }
  bool on_object_end(std::size_t, bj::error_code&) {
    open_.pop_back();
    return true;
  }
  bool on_array_begin(bj::error_code&) { return true; }
  bool on_array_end(std::size_t, bj::error_code&) { return true; }
  bool on_key_part(bj::string_view s, std::size_t, bj::error_code&) {
    key_.append(s.data(), s.size());
    return true;
  }
  bool on_key(bj::string_view s, std::size_t, bj::error_code& ec) {
    key_.append(s.data(), s.size());
    if (!open_.back().insert(key_).second) {
      twice = std::move(key_);
      ec = bj::error::syntax;  // ends the parse: one name is enough
      return false;
    }
    key_.clear();
    return true;
  }
  bool on_string_part(bj::string_view, std::size_t, bj::error_code&) { return true; }
  bool on_string(bj::string_view, std::size_t, bj::error_code&) { return true; }
  bool on_number_part(bj::string_view, bj::error_code&) { return true; }
  bool on_int64(std::int64_t, bj::string_view, bj::error_code&) { return true; }
  bool on_uint64(std::uint64_t, bj::string_view, bj::error_code&) { return true; }
  bool on_double(double, bj::string_view, bj::error_code&) { return true; }
  bool on_bool(bool, bj::error_code&) { return true; }
  bool on_null(bj::error_code&) { return true; }
  bool on_comment_part(bj::string_view, bj::error_code&) { return true; }
  bool on_comment(bj::string_view, bj::error_code&) { return true; }

 private:
  std::vector<std::set<std::string>> open_;
  std::string key_;
};

}  // namespace

std::optional<std::string> member_given_twice(std::string_view text, std::size_t max_depth) {
  bj::parse_options options;
  options.max_depth = max_depth;
  bj::basic_parser<NameChecker> parser(options);
  bj::error_code ec;
  parser.write_some(false, text.data(), text.size(), ec);
  return std::move(parser.handler().twice);
}

}  // namespace orvane::ui
