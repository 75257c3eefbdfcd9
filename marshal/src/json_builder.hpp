// Builds the tagged JSON form of a value from the events of a walk: the one home of the rules by
// which each variant becomes JSON. value_to_json drives it from a value tree, decode_to_json
// straight from the stream reader.
#pragma once

#include <boost/json/array.hpp>
#include <boost/json/memory_resource.hpp>
#include <boost/json/object.hpp>
#include <boost/json/string.hpp>
#include <boost/json/value.hpp>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "marshal/json.hpp"
#include "marshal/value.hpp"
#include "value_events.hpp"

namespace marshal::detail {

// The text of a dictionary key, from the tagged JSON of the key: a string is its own key text,
// other scalars carry a prefix, and containers their compact JSON after "json:".
void append_key_text(std::string& out, const JsonValue& key);

// Every value is made once, in place, on the builder's stack, and waits there until the container
// it belongs to takes it from the top: a sequence as soon as the value is finished, any other
// container once it is complete. So a Node is only a place on that stack: the reader passes
// places around, never values, and hands each back in the reverse order of its making, which
// top() asserts. Numbers in a sequence skip the stack and are made in its array.
//
// Recursion runs once per level of the tree, which may be a thousand levels deep (and a thread's
// stack may be 1 MB): the rarer forms stay out of line to keep the common frames small.
class TaggedJsonBuilder {
 public:
  using Node = std::size_t;
  // The array is made at its claimed size (up to the reader's bound) at once, as nulls, and each
  // member is written over the next one: part of the reader's number path (docs/DESIGN.md).
  struct Sequence {
    boost::json::array items;
    std::size_t filled = 0;
  };
  using DictFrame = boost::json::object;
  struct InstanceFrame {
    boost::json::string class_name;
  };
  struct CallbackFrame {};
  struct ReduceFrame {
    bool newobj = false;
    JsonValue callable;
    JsonValue args;
    JsonValue state;
    boost::json::array list_items;
    boost::json::array dict_items;
  };
  // A shared value, kept aside in the tree's memory for the references to it.
  using Kept = JsonValue;

  explicit TaggedJsonBuilder(boost::json::storage_ptr storage)
      : tree_storage_(std::move(storage)), storage_(tree_storage_) {
    stack_.reserve(INITIAL_STACK);
  }

  Node none() { return make(nullptr); }
  Node boolean(bool b) { return make(b); }
  Node integer(std::int64_t i) { return make(i); }
  Node big(const BigInt& l);
  Node real(double d) { return std::isfinite(d) ? make(d) : non_finite(d); }
  Node bytes(std::string_view data);
  Node utf8(std::string_view text) { return prefixed("utf8:", text); }
  Node global(std::string_view name) { return prefixed("global:", name); }

  Sequence begin_tuple(std::size_t n) { return begin_sequence(n); }
  Sequence begin_list(std::size_t n) { return begin_sequence(n); }
  // The member and the null it replaces trade places, which takes no call into Boost's moves.
  void add_item(Sequence& sequence, Node item) {
    next_slot(sequence).swap(top(item));
    stack_.pop_back();
  }
  void add_integer(Sequence& sequence, std::int64_t i) { next_slot(sequence) = i; }
  void add_real(Sequence& sequence, double d) {
    if (std::isfinite(d)) {
      next_slot(sequence) = d;
    } else {
      add_item(sequence, non_finite(d));
    }
  }
  Node end_tuple(Sequence&& sequence) {
    return single_member("tuple", JsonValue(finished(std::move(sequence))));
  }
  Node end_list(Sequence&& sequence) { return place(JsonValue(finished(std::move(sequence)))); }

  DictFrame begin_dict(std::size_t n) {
    DictFrame object(storage_);
    object.reserve(n);
    return object;
  }
  // A repeated key text keeps its first position and takes the later value. The key is made
  // after its value, so it is the top of the stack.
  void add_entry(DictFrame& object, Node key, Node value) {
    assert(value + 1 == key);
    if (const boost::json::string* text = top(key).if_string()) {
      object.insert_or_assign(*text, std::move(stack_[value]));
    } else {
      add_entry_by_key_text(object, stack_[key], std::move(stack_[value]));
    }
    stack_.pop_back();
    stack_.pop_back();
  }
  // An entry whose key is a byte string, read straight from the stream: its key text is laid
  // out once, with no node made for the key. The value is the top of the stack.
  void add_bytes_entry(DictFrame& object, std::string_view key, Node value);
  // The texts under which add_entry and add_bytes_entry file a key; `scratch` holds the text of
  // a key that is no string, text_ that of a byte string's, until the next node is made.
  std::string_view key_text(Node key, std::string& scratch) const;
  std::string_view bytes_key_text(std::string_view key) {
    lay_out_bytes(key);
    return text_;
  }
  Node end_dict(DictFrame&& object) { return place(JsonValue(std::move(object))); }

  InstanceFrame begin_instance(std::string_view class_name) {
    return InstanceFrame{boost::json::string(class_name, storage_)};
  }
  Node end_instance(InstanceFrame&& frame, Node state);

  CallbackFrame begin_callback() { return {}; }
  Node end_callback(CallbackFrame&&, Node value) { return single_member("callback", take(value)); }

  ReduceFrame begin_reduce(bool newobj, std::size_t) {
    return ReduceFrame{newobj,
                       JsonValue(storage_),
                       JsonValue(storage_),
                       JsonValue(storage_),
                       boost::json::array(storage_),
                       boost::json::array(storage_)};
  }
  void reduce_field(ReduceFrame& frame, ReduceField field, Node value) {
    switch (field) {
      case ReduceField::Callable:
        frame.callable = take(value);
        return;
      case ReduceField::Args:
        frame.args = take(value);
        return;
      case ReduceField::State:
        frame.state = take(value);
        return;
    }
  }
  void unwritten_callable(ReduceFrame& frame, const MarshalValue& callable);
  void reduce_list_item(ReduceFrame& frame, Node item) { frame.list_items.push_back(take(item)); }
  void reduce_dict_item(ReduceFrame& frame, Node key, Node value);
  Node end_reduce(ReduceFrame&& frame);

  // A dictionary key only lends its text to its object: its nodes are made on the heap and freed
  // once the entry is made, rather than left in the tree's arena (docs/DESIGN.md).
  void begin_key() {
    if (key_depth_++ == 0) storage_ = {};
  }
  void end_key() {
    if (--key_depth_ == 0) storage_ = tree_storage_;
  }

  // What the stream reader asks of the nodes it has made: a copy kept in the tree's memory (a
  // shared value read inside a key outlives the key), and a copy of that as the next value.
  Kept keep(Node node) { return JsonValue(top(node), tree_storage_); }
  Node copy(const Kept& kept) {
    stack_.emplace_back(kept, storage_);
    return stack_.size() - 1;
  }
  // A REDUCE payload's members, taken one by one to the top of the stack, and then the payload.
  Node payload_member(Node payload, std::size_t index) {
    JsonValue member = std::move(tuple_items(payload)[index]);
    return place(std::move(member));
  }
  void discard(Node node) { take(node); }

  // The finished value at the top of the stack, handed over.
  JsonValue take(Node node) {
    JsonValue value = std::move(top(node));
    stack_.pop_back();
    return value;
  }

 private:
  static constexpr std::size_t INITIAL_STACK = 1024;

  // Every node is taken from the top of the stack, in the reverse order of its making.
  JsonValue& top(Node node) {
    assert(node + 1 == stack_.size());
    return stack_[node];
  }
  template <class T>
  Node make(T scalar) {
    stack_.emplace_back(scalar, storage_);
    return stack_.size() - 1;
  }
  Node place(JsonValue&& value) {
    stack_.emplace_back(std::move(value));
    return stack_.size() - 1;
  }
  boost::json::array& tuple_items(Node node) {
    return top(node).get_object().begin()->value().get_array();
  }
  Sequence begin_sequence(std::size_t n) { return Sequence{boost::json::array(n, storage_)}; }
  static JsonValue& next_slot(Sequence& sequence) {
    if (sequence.filled == sequence.items.size()) sequence.items.emplace_back(nullptr);
    return sequence.items[sequence.filled++];
  }
  // A sequence holds as many members as were made room for, or more; were it ever fewer, the
  // nulls left over are not members.
  static boost::json::array finished(Sequence&& sequence) {
    if (sequence.filled < sequence.items.size()) sequence.items.resize(sequence.filled);
    return std::move(sequence.items);
  }
  Node prefixed(std::string_view prefix, std::string_view text);
  // The tagged text of a byte string, into text_: "bytes:" and the bytes where they read as
  // text, else "bytes:b64:" and their base64.
  void lay_out_bytes(std::string_view data);
  // A string node of the text laid out in text_.
  Node laid_out();
  // Infinities and NaNs, which JSON numbers cannot hold; kept out of the common path.
  [[gnu::noinline]] Node non_finite(double d);
  Node single_member(std::string_view key, JsonValue&& member);
  void add_entry_by_key_text(DictFrame& object, const JsonValue& key, JsonValue&& value);

  boost::json::storage_ptr tree_storage_;
  boost::json::storage_ptr storage_;  // the tree's, or the heap's while a key is read
  std::uint32_t key_depth_ = 0;
  std::string text_;  // a prefixed text as it is laid out
  std::vector<JsonValue> stack_;
};

static_assert(StreamHandler<TaggedJsonBuilder> && WalkSink<TaggedJsonBuilder>);

}  // namespace marshal::detail
