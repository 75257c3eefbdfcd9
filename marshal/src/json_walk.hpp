// Walks a tagged JSON tree into a sink, checking every prefix and every structural shape on the
// way: the one home of the rules by which tagged JSON reads back. json_to_value drives the value
// builder with it, encode_from_json the stream encoder.
#pragma once

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/string.hpp>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base64.hpp"
#include "marshal/json.hpp"
#include "marshal/number_text.hpp"
#include "value_events.hpp"

namespace marshal::detail {

// An optional sign, a digit, then digits and "_" in any mix; the underscores are skipped.
std::optional<BigInt> parse_long_literal(std::string_view text);

inline std::string_view view(boost::json::string_view s) {
  return std::string_view(s.data(), s.size());
}

inline Unexpected<MarshalError> bad_encoding(std::string detail) {
  return unexpected(MarshalError::invalid_json_encoding(std::move(detail)));
}

// Recursion runs once per level of the JSON tree, which may be a few thousand levels deep (and a
// thread's stack may be 1 MB), so the rarer forms stay out of line to keep the common frames
// small. Fails only with InvalidJsonEncoding: a sink's own failures stay with the sink.
template <JsonWalkSink Sink>
class TaggedJsonWalker {
 public:
  using Node = typename Sink::Node;
  using Walked = Result<Node, MarshalError>;

  explicit TaggedJsonWalker(Sink& sink) : sink_(sink) {}

  Walked value(const JsonValue& json) {
    switch (json.kind()) {
      case boost::json::kind::null:
        return sink_.none();
      case boost::json::kind::bool_:
        return sink_.boolean(json.get_bool());
      case boost::json::kind::int64:
      case boost::json::kind::uint64:
      case boost::json::kind::double_:
        return number(json);
      case boost::json::kind::string:
        return tagged_string(view(json.get_string()));
      case boost::json::kind::array:
        return list(json.get_array());
      case boost::json::kind::object:
        return object(json.get_object());
    }
    return bad_encoding("unknown JSON kind");  // unreachable: every kind is handled above
  }

  Walked tagged_string(std::string_view text) {
    if (const auto plain = plain_form(text)) return plain_node(*plain);
    std::string_view rest = text;
    const auto take = [&rest](std::string_view prefix) {
      if (!rest.starts_with(prefix)) return false;
      rest.remove_prefix(prefix.size());
      return true;
    };
    if (take("bytes:b64:")) return base64_bytes(rest);
    if (take("int:")) return bad_encoding("bad int literal " + std::string(rest));
    if (text == "none") return sink_.none();
    if (take("bool:")) {
      if (rest == "true") return sink_.boolean(true);
      if (rest == "false") return sink_.boolean(false);
      return bad_encoding("bad bool literal " + std::string(rest));
    }
    if (take("long:")) return long_literal(rest);
    if (take("float:")) {
      if (const auto value = parse_float_literal(rest)) return sink_.real(*value);
      return bad_encoding("bad float literal " + std::string(rest));
    }
    if (take("global:")) return sink_.global(rest);
    if (take("json:")) return nested_json(rest);
    return bad_encoding("string value/key without a recognized prefix: " + std::string(text));
  }

 private:
  Walked number(const JsonValue& json) {
    if (const auto i = json_int64(json)) return sink_.integer(*i);
    if (const std::uint64_t* u = json.if_uint64()) return sink_.real(static_cast<double>(*u));
    return sink_.real(*json.if_double());
  }

  [[gnu::noinline]] Walked base64_bytes(std::string_view text) {
    auto bytes = decode_base64(text);
    if (!bytes) return bad_encoding("bad base64 in bytes: " + bytes.error());
    return sink_.bytes(*bytes);
  }

  [[gnu::noinline]] Walked long_literal(std::string_view text) {
    if (auto value = parse_long_literal(text)) return sink_.big(*value);
    return bad_encoding("bad long literal " + std::string(text));
  }

  [[gnu::noinline]] Walked nested_json(std::string_view text) {
    auto parsed = parse_json_text(text, MAX_NESTED_JSON_DEPTH);
    if (!parsed) return bad_encoding("bad nested json: " + parsed.error());
    return value(*parsed);
  }

  template <class Sequence>
  Result<void, MarshalError> items(const boost::json::array& array, Sequence& sequence) {
    for (const JsonValue& element : array) {
      // Numbers skip the dispatch of value() (docs/DESIGN.md).
      if (const std::int64_t* i = element.if_int64()) {
        sink_.add_item(sequence, sink_.integer(*i));
        continue;
      }
      if (const double* d = element.if_double()) {
        sink_.add_item(sequence, sink_.real(*d));
        continue;
      }
      auto item = value(element);
      if (!item) return item.take_error();
      sink_.add_item(sequence, std::move(*item));
    }
    return {};
  }

  Walked list(const boost::json::array& array) {
    auto sequence = sink_.begin_list(array.size());
    if (auto done = items(array, sequence); !done) return done.take_error();
    return sink_.end_list(std::move(sequence));
  }

  Walked tuple(const boost::json::array& array) {
    auto sequence = sink_.begin_tuple(array.size());
    if (auto done = items(array, sequence); !done) return done.take_error();
    return sink_.end_tuple(std::move(sequence));
  }

  // The forms most strings take, text and integers, which read back as they stand.
  struct PlainForm {
    enum class Kind : std::uint8_t { Int, Bytes, Utf8 };
    Kind kind;
    std::int64_t integer = 0;
    std::string_view text;
  };

  static std::optional<PlainForm> plain_form(std::string_view text) {
    using Kind = typename PlainForm::Kind;
    if (text.starts_with("bytes:")) {
      if (text.starts_with("bytes:b64:")) return std::nullopt;
      return PlainForm{Kind::Bytes, 0, text.substr(6)};
    }
    if (text.starts_with("utf8:")) return PlainForm{Kind::Utf8, 0, text.substr(5)};
    if (text.starts_with("int:")) {
      if (const auto value = parse_int64(text.substr(4))) return PlainForm{Kind::Int, *value, {}};
    }
    return std::nullopt;
  }

  Node plain_node(const PlainForm& plain) {
    switch (plain.kind) {
      case PlainForm::Kind::Int:
        return sink_.integer(plain.integer);
      case PlainForm::Kind::Bytes:
        return sink_.bytes(plain.text);
      case PlainForm::Kind::Utf8:
        return sink_.utf8(plain.text);
    }
    return sink_.none();  // unreachable: every kind is handled above
  }

  // A key read back and checked, waiting while its value is walked: a plain one as it stands
  // (its text stays in the JSON tree), any other as a value tree of its own.
  struct PendingKey {
    std::optional<PlainForm> plain;
    std::optional<MarshalValue> parsed;
  };

  Result<PendingKey, MarshalError> read_key(std::string_view text) {
    if (const auto plain = plain_form(text)) return PendingKey{plain, std::nullopt};
    auto parsed = parse_tagged_string(text);
    if (!parsed) return parsed.take_error();
    return PendingKey{std::nullopt, std::move(*parsed)};
  }

  Node key_node(PendingKey&& key) {
    if (key.plain) return plain_node(*key.plain);
    return sink_.adopt(std::move(*key.parsed));
  }

  // A key reads back before its value; the stream takes it after.
  Walked dict(const boost::json::object& object) {
    auto dict = sink_.begin_dict(object.size());
    for (const boost::json::key_value_pair& member : object) {
      auto key = read_key(view(member.key()));
      if (!key) return key.take_error();
      auto value = this->value(member.value());
      if (!value) return value.take_error();
      sink_.add_entry(dict, key_node(std::move(*key)), std::move(*value));
    }
    return sink_.end_dict(std::move(dict));
  }

  [[gnu::noinline]] Walked instance(const boost::json::object& inner) {
    const JsonValue* class_name = inner.if_contains("class");
    if (class_name == nullptr || !class_name->is_string()) {
      return bad_encoding("instance missing class");
    }
    const JsonValue* state = inner.if_contains("state");
    if (state == nullptr) return bad_encoding("instance missing state");
    auto frame = sink_.begin_instance(view(class_name->get_string()));
    auto walked = value(*state);
    if (!walked) return walked.take_error();
    return sink_.end_instance(std::move(frame), std::move(*walked));
  }

  [[gnu::noinline]] Result<void, MarshalError> field(typename Sink::ReduceFrame& frame,
                                                     ReduceField which, const JsonValue& json) {
    auto walked = value(json);
    if (!walked) return walked.take_error();
    sink_.reduce_field(frame, which, std::move(*walked));
    return {};
  }

  [[gnu::noinline]] Result<void, MarshalError> dict_items(typename Sink::ReduceFrame& frame,
                                                          const boost::json::array& array) {
    for (const JsonValue& element : array) {
      const boost::json::array* pair = element.if_array();
      if (pair == nullptr || pair->size() != 2) return bad_encoding("bad dict_items entry");
      auto key = value((*pair)[0]);
      if (!key) return key.take_error();
      auto item = value((*pair)[1]);
      if (!item) return item.take_error();
      sink_.reduce_dict_item(frame, std::move(*key), std::move(*item));
    }
    return {};
  }

  [[gnu::noinline]] Walked reduce(const boost::json::object& inner) {
    bool newobj = false;
    if (const JsonValue* flag = inner.if_contains("newobj")) {
      newobj = flag->is_bool() && flag->get_bool();
    }
    const JsonValue* callable = inner.if_contains("callable");
    const JsonValue* args = inner.if_contains("args");
    const JsonValue* state = inner.if_contains("state");
    if (state != nullptr && state->is_null()) state = nullptr;
    auto frame = sink_.begin_reduce(newobj, (newobj ? 1 : 2) + (state ? 1 : 0));

    if (callable == nullptr) return bad_encoding("reduce missing callable");
    if (newobj) {
      // Not in the stream, but still read back and checked.
      auto unwritten = json_to_value(*callable);
      if (!unwritten) return unwritten.take_error();
      sink_.unwritten_callable(frame, *unwritten);
    } else if (auto done = field(frame, ReduceField::Callable, *callable); !done) {
      return done.take_error();
    }
    if (args == nullptr) return bad_encoding("reduce missing args");
    if (auto done = field(frame, ReduceField::Args, *args); !done) return done.take_error();
    if (state != nullptr) {
      if (auto done = field(frame, ReduceField::State, *state); !done) return done.take_error();
    }
    end_reduce_fields(sink_, frame);

    if (const JsonValue* list_items = inner.if_contains("list_items")) {
      if (const boost::json::array* array = list_items->if_array()) {
        for (const JsonValue& element : *array) {
          auto item = value(element);
          if (!item) return item.take_error();
          sink_.reduce_list_item(frame, std::move(*item));
        }
      }
    }
    end_reduce_list(sink_, frame);
    if (const JsonValue* items = inner.if_contains("dict_items")) {
      if (const boost::json::array* array = items->if_array()) {
        if (auto done = dict_items(frame, *array); !done) return done.take_error();
      }
    }
    return sink_.end_reduce(std::move(frame));
  }

  [[gnu::noinline]] Walked callback(const JsonValue& json) {
    auto frame = sink_.begin_callback();
    auto walked = value(json);
    if (!walked) return walked.take_error();
    return sink_.end_callback(std::move(frame), std::move(*walked));
  }

  // A one-member object may be a structure; anything else, or a structure key whose value has
  // the wrong kind, is a dictionary (where such a key then fails for want of a prefix).
  Walked object(const boost::json::object& object) {
    if (object.size() == 1) {
      const boost::json::key_value_pair& member = *object.begin();
      const std::string_view key = view(member.key());
      const JsonValue& value = member.value();
      if (key == "tuple") {
        if (const boost::json::array* array = value.if_array()) return tuple(*array);
      } else if (key == "instance") {
        if (const boost::json::object* inner = value.if_object()) return instance(*inner);
      } else if (key == "reduce") {
        if (const boost::json::object* inner = value.if_object()) return reduce(*inner);
      } else if (key == "callback") {
        return callback(value);
      }
    }
    return dict(object);
  }

  Sink& sink_;
};

}  // namespace marshal::detail
