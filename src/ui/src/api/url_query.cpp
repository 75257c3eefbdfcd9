#include "orvane/ui/url_query.hpp"

#include "marshal/utf8.hpp"
#include "support/ascii.hpp"

namespace orvane::ui {
namespace {

using support::unexpected;

// "+" is a blank in a query, as forms and URLSearchParams write it.
support::Result<std::string, std::string> decode_component(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c != '%') {
      out += c;
    } else {
      const int high = i + 2 < text.size() ? support::hex_digit_value(text[i + 1]) : -1;
      const int low = i + 2 < text.size() ? support::hex_digit_value(text[i + 2]) : -1;
      if (high < 0 || low < 0) {
        return unexpected(std::string("malformed percent escape in the address"));
      }
      out += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  if (!marshal::is_valid_utf8(out)) {
    return unexpected(std::string("the address holds text that is not UTF-8"));
  }
  return out;
}

}  // namespace

support::Result<RequestTarget, std::string> parse_request_target(std::string_view target) {
  RequestTarget parsed;
  const std::size_t question = target.find('?');
  parsed.path = std::string(target.substr(0, question));
  if (question == std::string_view::npos) return parsed;
  std::string_view rest = target.substr(question + 1);
  while (!rest.empty()) {
    const std::size_t amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    if (pair.empty()) continue;
    const std::size_t equals = pair.find('=');
    auto name = decode_component(pair.substr(0, equals));
    if (!name) return name.take_error();
    auto value = decode_component(equals == std::string_view::npos ? std::string_view()
                                                                   : pair.substr(equals + 1));
    if (!value) return value.take_error();
    if (parsed.query.count(*name) != 0) {
      return unexpected("the parameter \"" + *name + "\" is given twice");
    }
    parsed.query.emplace(std::move(*name), std::move(*value));
  }
  return parsed;
}

}  // namespace orvane::ui
