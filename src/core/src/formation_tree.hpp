// Where formations lie in a settings tree, for the operations that read and change them: the
// one home of the member keys and shapes that merging, removing and renaming share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "marshal/json.hpp"

namespace orvane::detail {

namespace json = boost::json;
using marshal::JsonValue;

inline constexpr std::string_view UI_KEY = "bytes:ui";
inline constexpr std::string_view CUSTOM_FORMATIONS_KEY = "bytes:probescanning.customFormations";
inline constexpr std::string_view SELECTED_FORMATION_KEY =
    "bytes:probescanning.selectedFormationID";
inline constexpr std::string_view TUPLE_KEY = "tuple";
inline constexpr std::string_view NAME_PREFIX = "utf8:";

// The "tuple" array of a tagged tuple object, when it has at least `min_size` elements.
const json::array* tuple_items(const JsonValue& value, std::size_t min_size);
json::array* tuple_items(JsonValue& value, std::size_t min_size);
JsonValue tagged_tuple(json::array items);

// The stored text of a formation's name (still prefixed), when the value has that shape.
const json::string* stored_name(const JsonValue& formation);

// The "tuple" array of the custom formations member, when its element 1 is the dict.
const json::array* find_custom_tuple(const JsonValue& root);
json::array* find_custom_tuple(JsonValue& root);
// The custom formations dict of a tree, when it lies where and as expected.
const json::object* find_custom_formations(const JsonValue& root);

std::string id_key(std::int64_t id);
// The name_key a dict member reserves, unless its key gives a negative id or its value has no
// name: the names a new or renamed formation may not take.
std::optional<std::string> reserved_name(std::string_view key, const JsonValue& value);
// The stamp a change writes: now, truncated to the whole second, as a "long:" text.
std::string time_stamp(std::uint64_t now_filetime);

// Element 1 of the selected formation's tuple, the selected id, when the member has that shape;
// the member is never created nor reshaped.
JsonValue* selected_formation_slot(json::object& ui);

}  // namespace orvane::detail
