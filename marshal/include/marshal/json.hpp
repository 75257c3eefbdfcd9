// The lossless bridge between value trees and tagged JSON: scalars JSON cannot carry become
// prefixed strings ("bytes:", "long:", ...), structures become one-member objects ("tuple", ...),
// and dictionary keys always carry a prefix.
#pragma once

#include <boost/json/value.hpp>
#include <string>
#include <string_view>

#include "marshal/error.hpp"
#include "marshal/result.hpp"
#include "marshal/value.hpp"

namespace marshal {

using JsonValue = boost::json::value;

// Deepest nesting of arrays and objects accepted in the text of a "json:" key.
inline constexpr std::size_t MAX_NESTED_JSON_DEPTH = 127;

JsonValue value_to_json(const MarshalValue& value);
std::string dict_key_to_string(const MarshalValue& key);

// Fails only with InvalidJsonEncoding; nothing partial survives a failure.
Result<MarshalValue, MarshalError> json_to_value(const JsonValue& json);
Result<MarshalValue, MarshalError> parse_tagged_string(std::string_view text);

}  // namespace marshal
