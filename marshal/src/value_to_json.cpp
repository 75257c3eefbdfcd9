// Value trees to tagged JSON: a walk of the tree into the tagged JSON builder.
#include "json_builder.hpp"
#include "marshal/json.hpp"
#include "value_walk.hpp"

namespace marshal {

JsonValue value_to_json(const MarshalValue& value, boost::json::storage_ptr storage) {
  detail::TaggedJsonBuilder builder(std::move(storage));
  return builder.take(detail::walk_value(value, builder));
}

std::string dict_key_to_string(const MarshalValue& key) {
  std::string out;
  detail::append_key_text(out, value_to_json(key));
  return out;
}

}  // namespace marshal
