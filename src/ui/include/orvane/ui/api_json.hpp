// JSON in and out of the API: replies, refusals, and the typed fields of a request body. Every
// refusal is an ApiError: a stable code the page reads, the status it goes with, and a text a
// player can act on, sent as {"error": text, "error_code": code}.
#pragma once

#include <boost/json/object.hpp>
#include <boost/json/value.hpp>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/package.hpp"
#include "orvane/ui/error_codes.hpp"
#include "orvane/ui/http_message.hpp"
#include "orvane/ui/url_query.hpp"
#include "support/result.hpp"

namespace orvane::ui {

using support::Result;
using support::unexpected;

struct ApiError {
  ApiError(ErrorCode code_, std::string message_)
      : status(error_code_status(code_)), code(code_), message(std::move(message_)) {}
  // A refusal known by its status alone, as the server makes them before any handler runs.
  ApiError(unsigned status_, std::string message_)
      : status(status_), code(error_code_of_status(status_)), message(std::move(message_)) {}

  unsigned status;
  ErrorCode code;
  std::string message;
};

inline constexpr unsigned STATUS_BAD_REQUEST = 400;
inline constexpr unsigned STATUS_FORBIDDEN = 403;
inline constexpr unsigned STATUS_NOT_FOUND = 404;
inline constexpr unsigned STATUS_METHOD_NOT_ALLOWED = 405;
inline constexpr unsigned STATUS_PAYLOAD_TOO_LARGE = 413;
inline constexpr unsigned STATUS_SERVER_ERROR = 500;

HttpResponse json_reply(const boost::json::value& value, unsigned status = 200);
HttpResponse error_reply(const ApiError& error);
inline support::Unexpected<ApiError> refused(ErrorCode code, std::string message) {
  return unexpected(ApiError{code, std::move(message)});
}
inline support::Unexpected<ApiError> bad_request(std::string message) {
  return refused(ErrorCode::BadRequest, std::move(message));
}
// Sets the "error" and "error_code" members of one account's entry: both null when it went well.
void set_error(boost::json::object& entry, const ApiError* error);

// Text from files and the system as a JSON string: bytes that are not UTF-8 show as U+FFFD.
boost::json::value text_value(std::string_view text);

// {"id", "name", "name_key", "probes": [{"x", "y", "z", "range"}]}, as the page draws a
// formation; formations with the same "name_key" have the same name to a merge.
boost::json::value formation_value(const Formation& formation);

// A query parameter the request must carry.
Result<std::string, ApiError> query_member(const RequestTarget& target, std::string_view name);

// The request body as a JSON object.
Result<boost::json::object, ApiError> parse_body_object(std::string_view body);

// A member of a body object, of the type named; a missing or mistyped member is refused with a
// text naming it.
Result<std::string, ApiError> string_member(const boost::json::object& body, std::string_view name);
Result<std::vector<std::string>, ApiError> string_list_member(const boost::json::object& body,
                                                              std::string_view name);
// The same, refused when a text stands in it twice.
Result<std::vector<std::string>, ApiError> distinct_string_list_member(
    const boost::json::object& body, std::string_view name);
// An object whose members are all strings, such as {"1001": "version"}.
Result<std::map<std::string, std::string>, ApiError> string_map_member(
    const boost::json::object& body, std::string_view name);
Result<bool, ApiError> bool_member(const boost::json::object& body, std::string_view name,
                                   bool absent);
Result<std::int64_t, ApiError> integer_value(const boost::json::value& value,
                                             std::string_view name);

}  // namespace orvane::ui
