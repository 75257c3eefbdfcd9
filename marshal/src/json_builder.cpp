#include "json_builder.hpp"

#include <boost/json/serialize.hpp>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>

#include "base64.hpp"
#include "marshal/number_text.hpp"
#include "marshal/utf8.hpp"
#include "value_walk.hpp"

namespace marshal::detail {
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

void append_int(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

}  // namespace

void append_key_text(std::string& out, const JsonValue& key) {
  switch (key.kind()) {
    case bj::kind::null:
      out += "none";
      return;
    case bj::kind::bool_:
      out += key.get_bool() ? "bool:true" : "bool:false";
      return;
    case bj::kind::int64:
      out += "int:";
      append_int(out, key.get_int64());
      return;
    case bj::kind::uint64:  // never made by the builder: an Int is always signed
      out += "int:";
      out += std::to_string(key.get_uint64());
      return;
    case bj::kind::double_:
      out += "float:";
      append_float_key_text(out, key.get_double());
      return;
    case bj::kind::string:
      out.append(key.get_string().data(), key.get_string().size());
      return;
    case bj::kind::array:
    case bj::kind::object:
      out += "json:";
      out += bj::serialize(key);
      return;
  }
}

// Longs are mostly stamps and counters within 64 bits, whose digits need no arbitrary-precision
// division.
TaggedJsonBuilder::Node TaggedJsonBuilder::big(const BigInt& l) {
  if (l >= std::numeric_limits<std::int64_t>::min() &&
      l <= std::numeric_limits<std::int64_t>::max()) {
    text_.assign("long:");
    append_int(text_, l.convert_to<std::int64_t>());
    return laid_out();
  }
  return prefixed("long:", l.str());
}

TaggedJsonBuilder::Node TaggedJsonBuilder::non_finite(double d) {
  std::string text;
  append_float_key_text(text, d);
  return prefixed("float:", text);
}

TaggedJsonBuilder::Node TaggedJsonBuilder::bytes(std::string_view data) {
  lay_out_bytes(data);
  return laid_out();
}

void TaggedJsonBuilder::add_bytes_entry(DictFrame& object, std::string_view key, Node value) {
  lay_out_bytes(key);
  object.insert_or_assign(bj::string_view(text_.data(), text_.size()), std::move(top(value)));
  stack_.pop_back();
}

std::string_view TaggedJsonBuilder::key_text(Node key, std::string& scratch) const {
  if (const bj::string* text = stack_[key].if_string()) return std::string_view(*text);
  scratch.clear();
  append_key_text(scratch, stack_[key]);
  return scratch;
}

void TaggedJsonBuilder::lay_out_bytes(std::string_view data) {
  if (bytes_show_as_text(data)) {
    text_.assign(BYTES_PREFIX);
    text_.append(data);
    return;
  }
  text_.resize(BASE64_PREFIX.size() + base64_size(data.size()));
  BASE64_PREFIX.copy(text_.data(), BASE64_PREFIX.size());
  write_base64(data, text_.data() + BASE64_PREFIX.size());
}

TaggedJsonBuilder::Node TaggedJsonBuilder::prefixed(std::string_view prefix,
                                                    std::string_view text) {
  text_.assign(prefix);
  text_.append(text);
  return laid_out();
}

// The whole text is laid out first, so the string is made at its final size in one step.
TaggedJsonBuilder::Node TaggedJsonBuilder::laid_out() {
  stack_.emplace_back(bj::string_view(text_.data(), text_.size()), storage_);
  return stack_.size() - 1;
}

TaggedJsonBuilder::Node TaggedJsonBuilder::single_member(std::string_view key, JsonValue&& member) {
  bj::object object(storage_);
  object.emplace(key, std::move(member));
  return place(JsonValue(std::move(object)));
}

void TaggedJsonBuilder::add_entry_by_key_text(DictFrame& object, const JsonValue& key,
                                              JsonValue&& value) {
  std::string text;
  append_key_text(text, key);
  object.insert_or_assign(text, std::move(value));
}

TaggedJsonBuilder::Node TaggedJsonBuilder::end_instance(InstanceFrame&& frame, Node state) {
  bj::object inner(storage_);
  inner.reserve(2);
  inner.emplace("class", std::move(frame.class_name));
  inner.emplace("state", take(state));
  return single_member("instance", JsonValue(std::move(inner)));
}

void TaggedJsonBuilder::unwritten_callable(ReduceFrame& frame, const MarshalValue& callable) {
  frame.callable = take(walk_value(callable, *this));
}

void TaggedJsonBuilder::reduce_dict_item(ReduceFrame& frame, Node key, Node value) {
  JsonValue item = take(value);
  bj::array pair(storage_);
  pair.reserve(2);
  pair.push_back(take(key));
  pair.push_back(std::move(item));
  frame.dict_items.push_back(JsonValue(std::move(pair)));
}

TaggedJsonBuilder::Node TaggedJsonBuilder::end_reduce(ReduceFrame&& frame) {
  bj::object inner(storage_);
  inner.reserve(6);
  inner.emplace("newobj", frame.newobj);
  inner.emplace("callable", std::move(frame.callable));
  inner.emplace("args", std::move(frame.args));
  inner.emplace("state", std::move(frame.state));
  inner.emplace("list_items", std::move(frame.list_items));
  inner.emplace("dict_items", std::move(frame.dict_items));
  return single_member("reduce", JsonValue(std::move(inner)));
}

}  // namespace marshal::detail
