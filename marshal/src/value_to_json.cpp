#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/string.hpp>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "base64.hpp"
#include "marshal/json.hpp"
#include "marshal/number_text.hpp"
#include "marshal/utf8.hpp"

namespace marshal {
namespace {

namespace bj = boost::json;

constexpr std::string_view BYTES_PREFIX = "bytes:";
constexpr std::string_view BASE64_PREFIX = "bytes:b64:";
// Bytes shown as text must not start like base64 text, or they would read back decoded.
constexpr std::string_view BASE64_MARK = "b64:";

// "inf", "-inf", "nan", or the shortest round-trip digits laid out without an exponent: "1",
// "0.5", "-0", "1000000000000000000000".
void append_float_key_text(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "nan";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  if (std::signbit(value)) out += '-';
  const ShortestDigits d = shortest_digits(std::fabs(value));
  // The decimal point goes after `point` digits of `digits`.
  const long point = static_cast<long>(d.exponent) + 1;
  const long count = static_cast<long>(d.digits.size());
  if (point <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-point), '0');
    out += d.digits;
  } else if (point >= count) {
    out += d.digits;
    out.append(static_cast<std::size_t>(point - count), '0');
  } else {
    out.append(d.digits, 0, static_cast<std::size_t>(point));
    out += '.';
    out.append(d.digits, static_cast<std::size_t>(point));
  }
}

bool bytes_show_as_text(std::string_view data) {
  return !data.starts_with(BASE64_MARK) && is_valid_utf8(data);
}

template <class Text>
void append_bytes_text(Text& out, std::string_view data) {
  if (bytes_show_as_text(data)) {
    out.reserve(out.size() + BYTES_PREFIX.size() + data.size());
    out.append(BYTES_PREFIX);
    out.append(data);
    return;
  }
  const std::size_t start = out.size();
  out.resize(start + BASE64_PREFIX.size() + detail::base64_size(data.size()));
  char* dest = out.data() + start;
  BASE64_PREFIX.copy(dest, BASE64_PREFIX.size());
  detail::write_base64(data, dest + BASE64_PREFIX.size());
}

void append_int(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void append_dict_key(std::string& out, const MarshalValue& key);

// Recurses once per level of the tree, which may be a thousand levels deep (and a thread's stack
// may be 1 MB): the rarer forms stay out of line to keep the common frames small.
class TaggedJsonBuilder {
 public:
  explicit TaggedJsonBuilder(bj::storage_ptr storage) : storage_(std::move(storage)) {}

  bj::value encode(const MarshalValue& value) {
    switch (value.kind()) {
      case MarshalValue::Kind::None:
        return bj::value(nullptr, storage_);
      case MarshalValue::Kind::Bool:
        return bj::value(*value.get_if<bool>(), storage_);
      case MarshalValue::Kind::Int:
        return bj::value(*value.get_if<std::int64_t>(), storage_);
      case MarshalValue::Kind::Long:
        return prefixed("long:", value.get_if<BigInt>()->str());
      case MarshalValue::Kind::Float:
        return encode_float(*value.get_if<double>());
      case MarshalValue::Kind::Bytes: {
        bj::value json(bj::string_kind, storage_);
        append_bytes_text(json.get_string(), value.get_if<Bytes>()->data);
        return json;
      }
      case MarshalValue::Kind::Utf8:
        return prefixed("utf8:", value.get_if<Utf8>()->text);
      case MarshalValue::Kind::Tuple:
        return single_member("tuple", encode_items(value.get_if<Tuple>()->items));
      case MarshalValue::Kind::List:
        return encode_items(value.get_if<List>()->items);
      case MarshalValue::Kind::Dict:
        return encode_dict(*value.get_if<Dict>());
      case MarshalValue::Kind::Global:
        return prefixed("global:", value.get_if<Global>()->name);
      case MarshalValue::Kind::Instance:
        return encode_instance(*value.get_if<Instance>());
      case MarshalValue::Kind::Reduce:
        return encode_reduce(*value.get_if<Reduce>());
      case MarshalValue::Kind::Callback:
        return single_member("callback", encode(value.get_if<Callback>()->value));
    }
    return bj::value(nullptr, storage_);  // unreachable: every kind is handled above
  }

 private:
  bj::value prefixed(std::string_view prefix, std::string_view text) {
    bj::value json(bj::string_kind, storage_);
    bj::string& out = json.get_string();
    out.reserve(prefix.size() + text.size());
    out.append(prefix);
    out.append(text);
    return json;
  }

  [[gnu::noinline]] bj::value encode_float(double value) {
    if (std::isfinite(value)) return bj::value(value, storage_);
    std::string text;
    append_float_key_text(text, value);
    return prefixed("float:", text);
  }

  bj::value single_member(std::string_view key, bj::value member) {
    bj::object object(storage_);
    object.emplace(key, std::move(member));
    return bj::value(std::move(object));
  }

  bj::value encode_items(const std::vector<MarshalValue>& items) {
    bj::array array(storage_);
    array.reserve(items.size());
    for (const MarshalValue& item : items) array.push_back(encode(item));
    return bj::value(std::move(array));
  }

  bj::value encode_dict(const Dict& dict) {
    bj::object object(storage_);
    object.reserve(dict.entries.size());
    std::string key;
    for (const DictEntry& entry : dict.entries) {
      bj::value member = encode(entry.value);
      key.clear();
      append_dict_key(key, entry.key);
      // A repeated key text keeps its first position and takes the later value.
      object.insert_or_assign(key, std::move(member));
    }
    return bj::value(std::move(object));
  }

  [[gnu::noinline]] bj::value encode_instance(const Instance& instance) {
    bj::object inner(storage_);
    inner.reserve(2);
    inner.emplace("class", instance.class_name);
    inner.emplace("state", encode(instance.state));
    return single_member("instance", bj::value(std::move(inner)));
  }

  [[gnu::noinline]] bj::value encode_reduce(const Reduce& reduce) {
    bj::object inner(storage_);
    inner.reserve(6);
    inner.emplace("newobj", reduce.newobj);
    inner.emplace("callable", encode(reduce.callable));
    inner.emplace("args", encode(reduce.args));
    inner.emplace("state", reduce.state ? encode(*reduce.state) : bj::value(nullptr, storage_));
    inner.emplace("list_items", encode_items(reduce.list_items));
    bj::array pairs(storage_);
    pairs.reserve(reduce.dict_items.size());
    for (const DictEntry& entry : reduce.dict_items) {
      bj::array pair(storage_);
      pair.reserve(2);
      pair.push_back(encode(entry.key));
      pair.push_back(encode(entry.value));
      pairs.push_back(bj::value(std::move(pair)));
    }
    inner.emplace("dict_items", std::move(pairs));
    return single_member("reduce", bj::value(std::move(inner)));
  }

 private:
  bj::storage_ptr storage_;
};

void append_dict_key(std::string& out, const MarshalValue& key) {
  switch (key.kind()) {
    case MarshalValue::Kind::None:
      out += "none";
      return;
    case MarshalValue::Kind::Bool:
      out += *key.get_if<bool>() ? "bool:true" : "bool:false";
      return;
    case MarshalValue::Kind::Int:
      out += "int:";
      append_int(out, *key.get_if<std::int64_t>());
      return;
    case MarshalValue::Kind::Long:
      out += "long:";
      out += key.get_if<BigInt>()->str();
      return;
    case MarshalValue::Kind::Float:
      out += "float:";
      append_float_key_text(out, *key.get_if<double>());
      return;
    case MarshalValue::Kind::Bytes:
      append_bytes_text(out, key.get_if<Bytes>()->data);
      return;
    case MarshalValue::Kind::Utf8:
      out += "utf8:";
      out += key.get_if<Utf8>()->text;
      return;
    case MarshalValue::Kind::Global:
      out += "global:";
      out += key.get_if<Global>()->name;
      return;
    case MarshalValue::Kind::Tuple:
    case MarshalValue::Kind::List:
    case MarshalValue::Kind::Dict:
    case MarshalValue::Kind::Instance:
    case MarshalValue::Kind::Reduce:
    case MarshalValue::Kind::Callback:
      // A short-lived tree of its own: only its text is kept.
      out += "json:";
      out += bj::serialize(TaggedJsonBuilder(bj::storage_ptr()).encode(key));
      return;
  }
}

}  // namespace

JsonValue value_to_json(const MarshalValue& value, boost::json::storage_ptr storage) {
  return TaggedJsonBuilder(std::move(storage)).encode(value);
}

std::string dict_key_to_string(const MarshalValue& key) {
  std::string out;
  append_dict_key(out, key);
  return out;
}

}  // namespace marshal
