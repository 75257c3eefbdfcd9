// The lossless bridge between value trees and tagged JSON: scalars JSON cannot carry become
// prefixed strings ("bytes:", "long:", ...), structures become one-member objects ("tuple", ...),
// and dictionary keys always carry a prefix.
#pragma once

#include <boost/json/storage_ptr.hpp>
#include <boost/json/value.hpp>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "marshal/error.hpp"
#include "marshal/value.hpp"

namespace marshal {

using JsonValue = boost::json::value;

// Deepest nesting of arrays and objects accepted in the text of a "json:" key.
inline constexpr std::size_t MAX_NESTED_JSON_DEPTH = 127;

// Cannot fail. `storage` holds every node of the new tree (a monotonic_resource makes large trees
// cheap to build and to free).
JsonValue value_to_json(const MarshalValue& value, boost::json::storage_ptr storage = {});
std::string dict_key_to_string(const MarshalValue& key);

// Fails only with InvalidJsonEncoding; nothing partial survives a failure.
Result<MarshalValue, MarshalError> json_to_value(const JsonValue& json);
Result<MarshalValue, MarshalError> parse_tagged_string(std::string_view text);

// A JSON number that is an integer within the signed 64-bit range, whichever kind holds it.
inline std::optional<std::int64_t> json_int64(const JsonValue& json) {
  if (const std::int64_t* i = json.if_int64()) return *i;
  if (const std::uint64_t* u = json.if_uint64()) {
    if (*u <= static_cast<std::uint64_t>(INT64_MAX)) return static_cast<std::int64_t>(*u);
  }
  return std::nullopt;
}

// Parses exactly one JSON value, optionally surrounded by JSON whitespace, with at most
// `max_depth` levels of arrays and objects nested in one another. Floating numbers are correctly
// rounded (Boost.JSON's own parser of this version can miss the nearest double by an ulp). The
// error is the parser's description of the fault, such as "syntax error" or "too deep".
Result<JsonValue, std::string> parse_json_text(std::string_view text, std::size_t max_depth,
                                               boost::json::storage_ptr storage = {});

}  // namespace marshal
