// The path and the query parameters of a request target, percent-decoded as a browser's
// URLSearchParams encodes them.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "support/result.hpp"

namespace orvane::ui {

struct RequestTarget {
  std::string path;  // as sent: the page's own paths need no decoding
  std::map<std::string, std::string> query;
};

// Fails with a readable text on a malformed escape, a name given twice, or decoded text that
// is not UTF-8.
support::Result<RequestTarget, std::string> parse_request_target(std::string_view target);

}  // namespace orvane::ui
