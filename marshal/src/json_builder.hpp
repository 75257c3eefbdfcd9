// Builds the tagged JSON form of a value from the events of a walk: the one home of the rules by
// which each variant becomes JSON. value_to_json drives it from a value tree, decode_to_json
// straight from the stream reader.
#pragma once

#include <boost/json/array.hpp>
#include <boost/json/monotonic_resource.hpp>
#include <boost/json/object.hpp>
#include <boost/json/string.hpp>
#include <boost/json/value.hpp>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "marshal/json.hpp"
#include "marshal/value.hpp"
#include "value_builder.hpp"

namespace marshal::detail {

// The text of a dictionary key, from the tagged JSON of the key: a string is its own key text,
// other scalars carry a prefix, and containers their compact JSON after "json:".
void append_key_text(std::string& out, const JsonValue& key);

// Recursion runs once per level of the tree, which may be a thousand levels deep (and a thread's
// stack may be 1 MB): the rarer forms stay out of line to keep the common frames small.
class TaggedJsonBuilder {
 public:
  using Node = boost::json::value;
  using Sequence = boost::json::array;
  using DictFrame = boost::json::object;
  struct InstanceFrame {
    boost::json::string class_name;
  };
  struct CallbackFrame {};
  struct ReduceFrame {
    bool newobj = false;
    Node callable;
    Node args;
    Node state;
    Sequence list_items;
    Sequence dict_items;
  };

  static constexpr bool can_fail = false;

  explicit TaggedJsonBuilder(boost::json::storage_ptr storage)
      : tree_storage_(std::move(storage)), storage_(tree_storage_) {}

  Node none() { return Node(nullptr, storage_); }
  Node boolean(bool b) { return Node(b, storage_); }
  Node integer(std::int64_t i) { return Node(i, storage_); }
  Node big(const BigInt& l);
  Node real(double d);
  Node bytes(std::string_view data);
  Node utf8(std::string_view text) { return prefixed("utf8:", text); }
  Node global(std::string_view name) { return prefixed("global:", name); }

  Sequence begin_tuple(std::size_t n) { return reserved(n); }
  Sequence begin_list(std::size_t n) { return reserved(n); }
  void add_item(Sequence& items, Node&& item) { items.push_back(std::move(item)); }
  Node end_tuple(Sequence&& items) { return single_member("tuple", Node(std::move(items))); }
  Node end_list(Sequence&& items) { return Node(std::move(items)); }

  DictFrame begin_dict(std::size_t n) {
    DictFrame object(storage_);
    object.reserve(n);
    return object;
  }
  // A repeated key text keeps its first position and takes the later value.
  void add_entry(DictFrame& object, Node&& key, Node&& value) {
    if (const boost::json::string* text = key.if_string()) {
      object.insert_or_assign(*text, std::move(value));
      return;
    }
    add_entry_by_key_text(object, key, std::move(value));
  }
  Node end_dict(DictFrame&& object) { return Node(std::move(object)); }

  InstanceFrame begin_instance(std::string_view class_name) {
    return InstanceFrame{boost::json::string(class_name, storage_)};
  }
  Node end_instance(InstanceFrame&& frame, Node&& state);

  CallbackFrame begin_callback() { return {}; }
  Node end_callback(CallbackFrame&&, Node&& value) {
    return single_member("callback", std::move(value));
  }

  ReduceFrame begin_reduce(bool newobj, std::size_t) {
    return ReduceFrame{newobj, none(), none(), none(), Sequence(storage_), Sequence(storage_)};
  }
  void reduce_field(ReduceFrame& frame, ReduceField field, Node&& value) {
    switch (field) {
      case ReduceField::Callable:
        frame.callable = std::move(value);
        return;
      case ReduceField::Args:
        frame.args = std::move(value);
        return;
      case ReduceField::State:
        frame.state = std::move(value);
        return;
    }
  }
  void unwritten_callable(ReduceFrame& frame, const MarshalValue& callable);
  void end_reduce_fields(ReduceFrame&) {}
  void reduce_list_item(ReduceFrame& frame, Node&& item) {
    frame.list_items.push_back(std::move(item));
  }
  void end_reduce_list(ReduceFrame&) {}
  void reduce_dict_item(ReduceFrame& frame, Node&& key, Node&& value);
  Node end_reduce(ReduceFrame&& frame);

  // A dictionary key only lends its text to the object: it is built aside, in memory that is
  // reused for the next key, rather than left in the tree's arena.
  void begin_key() {
    if (key_depth_++ != 0) return;
    // Made anew for every key: a released arena would keep growing the blocks it asks for.
    storage_ = boost::json::storage_ptr(&key_scratch_.emplace(key_buffer_, sizeof key_buffer_));
  }
  // Every node made since begin_key must be gone by now.
  void end_key() {
    if (--key_depth_ != 0) return;
    storage_ = tree_storage_;
  }

  // What the stream reader asks of the nodes it has made: a copy where the next one is made,
  // and a copy kept in the tree's memory (a shared value read inside a key outlives the key).
  Node copy(const Node& node) { return Node(node, storage_); }
  Node keep(const Node& node) { return Node(node, tree_storage_); }
  static std::string take_text(Node&& node, MarshalValue::Kind kind);
  static boost::json::array& tuple_items(Node& node) {
    return node.get_object().begin()->value().get_array();
  }

 private:
  Node prefixed(std::string_view prefix, std::string_view text);
  Node single_member(std::string_view key, Node&& member);
  void add_entry_by_key_text(DictFrame& object, const Node& key, Node&& value);
  Sequence reserved(std::size_t n) {
    Sequence array(storage_);
    array.reserve(n);
    return array;
  }

  boost::json::storage_ptr tree_storage_;
  boost::json::storage_ptr storage_;  // the tree's, or the key scratch while a key is read
  std::optional<boost::json::monotonic_resource> key_scratch_;
  unsigned char key_buffer_[1024];
  std::uint32_t key_depth_ = 0;
};

}  // namespace marshal::detail
