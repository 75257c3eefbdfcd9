#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/string.hpp>
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base64.hpp"
#include "marshal/json.hpp"
#include "marshal/number_text.hpp"

namespace marshal {
namespace {

namespace bj = boost::json;

using Converted = Result<MarshalValue, MarshalError>;

Unexpected<MarshalError> fail(std::string detail) {
  return unexpected(MarshalError::invalid_json_encoding(std::move(detail)));
}

std::string_view view(bj::string_view s) { return std::string_view(s.data(), s.size()); }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// An optional sign, a digit, then digits and "_" in any mix; the underscores are skipped.
std::optional<BigInt> parse_long_literal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !is_digit(text[0])) return std::nullopt;
  // Digits go in by chunks of up to 18, each small enough for one multiply-add.
  constexpr int CHUNK_DIGITS = 18;
  BigInt value;
  std::uint64_t chunk = 0;
  std::uint64_t scale = 1;
  int chunk_digits = 0;
  for (const char c : text) {
    if (c == '_') continue;
    if (!is_digit(c)) return std::nullopt;
    chunk = chunk * 10 + static_cast<std::uint64_t>(c - '0');
    scale *= 10;
    if (++chunk_digits == CHUNK_DIGITS) {
      value = value * scale + chunk;
      chunk = 0;
      scale = 1;
      chunk_digits = 0;
    }
  }
  if (chunk_digits > 0) value = value * scale + chunk;
  if (negative && value != 0) value = -value;
  return value;
}

// The conversion recurses once per level of the tree, which may be a thousand levels deep (and
// a thread's stack may be 1 MB), so the rarer forms stay out of line to keep the common frames
// small.
[[gnu::noinline]] Converted parse_nested_json(std::string_view text) {
  auto parsed = parse_json_text(text, MAX_NESTED_JSON_DEPTH);
  if (!parsed) return fail("bad nested json: " + parsed.error());
  return json_to_value(*parsed);
}

Result<std::vector<MarshalValue>, MarshalError> convert_items(const bj::array& array) {
  std::vector<MarshalValue> items;
  items.reserve(array.size());
  for (const JsonValue& element : array) {
    auto item = json_to_value(element);
    if (!item) return item.take_error();
    items.push_back(std::move(*item));
  }
  return items;
}

Converted convert_number(const JsonValue& json) {
  if (const auto i = json_int64(json)) return MarshalValue(*i);
  if (const std::uint64_t* u = json.if_uint64()) return MarshalValue(static_cast<double>(*u));
  return MarshalValue(*json.if_double());
}

Converted convert_dict(const bj::object& object) {
  Dict dict;
  dict.entries.reserve(object.size());
  for (const bj::key_value_pair& member : object) {
    auto key = parse_tagged_string(view(member.key()));
    if (!key) return key;
    auto value = json_to_value(member.value());
    if (!value) return value;
    dict.entries.push_back(DictEntry{std::move(*key), std::move(*value)});
  }
  return MarshalValue(std::move(dict));
}

Result<void, MarshalError> convert_into(const JsonValue& json, MarshalValue& out);

[[gnu::noinline]] Converted convert_instance(const bj::object& inner) {
  const JsonValue* class_name = inner.if_contains("class");
  if (class_name == nullptr || !class_name->is_string()) return fail("instance missing class");
  const JsonValue* state = inner.if_contains("state");
  if (state == nullptr) return fail("instance missing state");
  MarshalValue result{Instance{std::string(view(class_name->get_string())), None{}}};
  if (auto done = convert_into(*state, result.get_if<Instance>()->state); !done) {
    return done.take_error();
  }
  return result;
}

[[gnu::noinline]] Result<std::vector<DictEntry>, MarshalError> convert_dict_items(
    const bj::array& array) {
  std::vector<DictEntry> items;
  items.reserve(array.size());
  for (const JsonValue& element : array) {
    const bj::array* pair = element.if_array();
    if (pair == nullptr || pair->size() != 2) return fail("bad dict_items entry");
    auto key = json_to_value((*pair)[0]);
    if (!key) return key.take_error();
    auto value = json_to_value((*pair)[1]);
    if (!value) return value.take_error();
    items.push_back(DictEntry{std::move(*key), std::move(*value)});
  }
  return items;
}

// Converts into a field of a record under construction, so the record's frame holds no result.
[[gnu::noinline]] Result<void, MarshalError> convert_into(const JsonValue& json,
                                                          MarshalValue& out) {
  auto converted = json_to_value(json);
  if (!converted) return converted.take_error();
  out = std::move(*converted);
  return {};
}

[[gnu::noinline]] Converted convert_reduce(const bj::object& inner) {
  // Filled in place inside its node, which keeps the record itself off the stack.
  MarshalValue result{Reduce{}};
  Reduce& reduce = *result.get_if<Reduce>();
  if (const JsonValue* newobj = inner.if_contains("newobj")) {
    reduce.newobj = newobj->is_bool() && newobj->get_bool();
  }
  const JsonValue* callable = inner.if_contains("callable");
  if (callable == nullptr) return fail("reduce missing callable");
  if (auto done = convert_into(*callable, reduce.callable); !done) {
    return done.take_error();
  }
  const JsonValue* args = inner.if_contains("args");
  if (args == nullptr) return fail("reduce missing args");
  if (auto done = convert_into(*args, reduce.args); !done) {
    return done.take_error();
  }
  if (const JsonValue* state = inner.if_contains("state"); state && !state->is_null()) {
    if (auto done = convert_into(*state, reduce.state.emplace()); !done) {
      return done.take_error();
    }
  }
  if (const JsonValue* list_items = inner.if_contains("list_items")) {
    if (const bj::array* array = list_items->if_array()) {
      auto items = convert_items(*array);
      if (!items) return items.take_error();
      reduce.list_items = std::move(*items);
    }
  }
  if (const JsonValue* dict_items = inner.if_contains("dict_items")) {
    if (const bj::array* array = dict_items->if_array()) {
      auto items = convert_dict_items(*array);
      if (!items) return items.take_error();
      reduce.dict_items = std::move(*items);
    }
  }
  return result;
}

// A one-member object may be a structure; anything else, or a structure key whose value has the
// wrong kind, is a dictionary (where such a key then fails for want of a prefix).
Converted convert_object(const bj::object& object) {
  if (object.size() == 1) {
    const bj::key_value_pair& member = *object.begin();
    const std::string_view key = view(member.key());
    const JsonValue& value = member.value();
    if (key == "tuple") {
      if (const bj::array* array = value.if_array()) {
        auto items = convert_items(*array);
        if (!items) return items.take_error();
        return MarshalValue(Tuple{std::move(*items)});
      }
    } else if (key == "instance") {
      if (const bj::object* inner = value.if_object()) return convert_instance(*inner);
    } else if (key == "reduce") {
      if (const bj::object* inner = value.if_object()) return convert_reduce(*inner);
    } else if (key == "callback") {
      auto payload = json_to_value(value);
      if (!payload) return payload;
      return MarshalValue(Callback{std::move(*payload)});
    }
  }
  return convert_dict(object);
}

}  // namespace

std::optional<std::int64_t> json_int64(const JsonValue& json) {
  if (const std::int64_t* i = json.if_int64()) return *i;
  if (const std::uint64_t* u = json.if_uint64()) {
    if (*u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return static_cast<std::int64_t>(*u);
    }
  }
  return std::nullopt;
}

Converted json_to_value(const JsonValue& json) {
  switch (json.kind()) {
    case bj::kind::null:
      return MarshalValue(None{});
    case bj::kind::bool_:
      return MarshalValue(json.get_bool());
    case bj::kind::int64:
    case bj::kind::uint64:
    case bj::kind::double_:
      return convert_number(json);
    case bj::kind::string:
      return parse_tagged_string(view(json.get_string()));
    case bj::kind::array: {
      auto items = convert_items(json.get_array());
      if (!items) return items.take_error();
      return MarshalValue(List{std::move(*items)});
    }
    case bj::kind::object:
      return convert_object(json.get_object());
  }
  return fail("unknown JSON kind");  // unreachable: every kind is handled above
}

Converted parse_tagged_string(std::string_view text) {
  std::string_view rest = text;
  const auto take = [&rest](std::string_view prefix) {
    if (!rest.starts_with(prefix)) return false;
    rest.remove_prefix(prefix.size());
    return true;
  };
  if (take("bytes:b64:")) {
    auto bytes = detail::decode_base64(rest);
    if (!bytes) return fail("bad base64 in bytes: " + bytes.error());
    return MarshalValue(Bytes{std::move(*bytes)});
  }
  if (take("bytes:")) return MarshalValue(Bytes{std::string(rest)});
  if (take("utf8:")) return MarshalValue(Utf8{std::string(rest)});
  if (take("int:")) {
    if (const auto value = parse_int64(rest)) return MarshalValue(*value);
    return fail("bad int literal " + std::string(rest));
  }
  if (text == "none") return MarshalValue(None{});
  if (take("bool:")) {
    if (rest == "true") return MarshalValue(true);
    if (rest == "false") return MarshalValue(false);
    return fail("bad bool literal " + std::string(rest));
  }
  if (take("long:")) {
    if (auto value = parse_long_literal(rest)) return MarshalValue(std::move(*value));
    return fail("bad long literal " + std::string(rest));
  }
  if (take("float:")) {
    if (const auto value = parse_float_literal(rest)) return MarshalValue(*value);
    return fail("bad float literal " + std::string(rest));
  }
  if (take("global:")) return MarshalValue(Global{std::string(rest)});
  if (take("json:")) return parse_nested_json(rest);
  return fail("string value/key without a recognized prefix: " + std::string(text));
}

}  // namespace marshal
