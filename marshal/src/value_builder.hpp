// Builds a value tree from the events of a walk: the handler through which the stream reader
// makes the trees read_marshal returns, and the sink through which the tagged JSON walker makes
// the trees json_to_value returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "marshal/value.hpp"
#include "value_events.hpp"

namespace marshal::detail {

class ValueBuilder {
 public:
  using Node = MarshalValue;
  using Sequence = std::vector<MarshalValue>;
  using DictFrame = Dict;
  struct InstanceFrame {
    std::string class_name;
  };
  struct CallbackFrame {};
  // A record filled in place inside its node, which keeps it off the stack of deep walks.
  struct ReduceFrame {
    MarshalValue node;
    Reduce& record() { return *node.get_if<Reduce>(); }
  };

  Node none() { return MarshalValue(None{}); }
  Node boolean(bool b) { return MarshalValue(b); }
  Node integer(std::int64_t i) { return MarshalValue(i); }
  Node big(const BigInt& l) { return MarshalValue(BigInt(l)); }
  Node real(double d) { return MarshalValue(d); }
  Node bytes(std::string_view data) { return MarshalValue(Bytes{std::string(data)}); }
  Node utf8(std::string_view text) { return MarshalValue(Utf8{std::string(text)}); }
  Node global(std::string_view name) { return MarshalValue(Global{std::string(name)}); }

  Sequence begin_tuple(std::size_t n) { return reserved(n); }
  Sequence begin_list(std::size_t n) { return reserved(n); }
  void add_item(Sequence& items, Node&& item) { items.push_back(std::move(item)); }
  // A number member, made straight in its sequence.
  void add_integer(Sequence& items, std::int64_t i) { items.emplace_back(i); }
  void add_real(Sequence& items, double d) { items.emplace_back(d); }
  Node end_tuple(Sequence&& items) { return MarshalValue(Tuple{std::move(items)}); }
  Node end_list(Sequence&& items) { return MarshalValue(List{std::move(items)}); }

  DictFrame begin_dict(std::size_t n) {
    Dict dict;
    dict.entries.reserve(n);
    return dict;
  }
  void add_entry(DictFrame& dict, Node&& key, Node&& value) {
    add_pair(dict.entries, std::move(key), std::move(value));
  }
  void add_bytes_entry(DictFrame& dict, std::string_view key, Node&& value) {
    add_pair(dict.entries, bytes(key), std::move(value));
  }
  Node end_dict(DictFrame&& dict) { return MarshalValue(std::move(dict)); }

  InstanceFrame begin_instance(std::string_view class_name) {
    return InstanceFrame{std::string(class_name)};
  }
  Node end_instance(InstanceFrame&& frame, Node&& state) {
    return MarshalValue(Instance{std::move(frame.class_name), std::move(state)});
  }

  CallbackFrame begin_callback() { return {}; }
  Node end_callback(CallbackFrame&&, Node&& value) {
    return MarshalValue(Callback{std::move(value)});
  }

  ReduceFrame begin_reduce(bool newobj, std::size_t) {
    ReduceFrame frame{MarshalValue(Reduce{})};
    frame.record().newobj = newobj;
    return frame;
  }
  void reduce_field(ReduceFrame& frame, ReduceField field, Node&& value) {
    Reduce& r = frame.record();
    switch (field) {
      case ReduceField::Callable:
        r.callable = std::move(value);
        return;
      case ReduceField::Args:
        r.args = std::move(value);
        return;
      case ReduceField::State:
        r.state = std::move(value);
        return;
    }
  }
  // A NEWOBJ record's callable, which the stream does not carry.
  void unwritten_callable(ReduceFrame& frame, const MarshalValue& callable) {
    frame.record().callable = callable;
  }
  void reduce_list_item(ReduceFrame& frame, Node&& item) {
    frame.record().list_items.push_back(std::move(item));
  }
  void reduce_dict_item(ReduceFrame& frame, Node&& key, Node&& value) {
    add_pair(frame.record().dict_items, std::move(key), std::move(value));
  }
  Node end_reduce(ReduceFrame&& frame) { return std::move(frame.node); }

  // A value already built elsewhere, such as a parsed dictionary key.
  Node adopt(MarshalValue&& value) { return std::move(value); }

  // What the stream reader asks of the nodes it has made.
  using Kept = MarshalValue;
  Node copy(const Kept& kept) { return kept; }
  Kept keep(const Node& node) { return node; }
  // A REDUCE payload's members, taken one by one, and then the payload.
  static Node payload_member(Node& payload, std::size_t index) {
    return std::move(tuple_items(payload)[index]);
  }
  static void discard(Node&&) {}

 private:
  static std::vector<MarshalValue>& tuple_items(Node& node) { return node.get_if<Tuple>()->items; }
  static const std::vector<MarshalValue>& tuple_items(const Node& node) {
    return node.get_if<Tuple>()->items;
  }
  // Each node moves once, into its place: a pair made aside and then pushed would move twice.
  static void add_pair(std::vector<DictEntry>& entries, Node&& key, Node&& value) {
    DictEntry& entry = entries.emplace_back();
    entry.key = std::move(key);
    entry.value = std::move(value);
  }
  static Sequence reserved(std::size_t n) {
    Sequence items;
    items.reserve(n);
    return items;
  }
};

static_assert(StreamHandler<ValueBuilder> && JsonWalkSink<ValueBuilder>);

}  // namespace marshal::detail
