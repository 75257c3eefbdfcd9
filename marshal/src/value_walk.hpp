// Walks a value tree into a sink (the tagged JSON builder, the stream encoder): the one order in
// which a tree's parts are visited, which is the order the stream holds them in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "marshal/value.hpp"
#include "value_events.hpp"

namespace marshal::detail {

template <WalkSink Sink>
typename Sink::Node walk_value(const MarshalValue& value, Sink& sink);

template <WalkSink Sink>
void walk_items(const std::vector<MarshalValue>& items, typename Sink::Sequence& sequence,
                Sink& sink) {
  for (const MarshalValue& item : items) {
    sink.add_item(sequence, walk_value(item, sink));
    if (has_failed(sink)) return;
  }
}

template <WalkSink Sink>
[[gnu::noinline]] typename Sink::Node walk_reduce(const Reduce& reduce, Sink& sink) {
  const std::size_t fields = (reduce.newobj ? 1 : 2) + (reduce.state ? 1 : 0);
  auto frame = sink.begin_reduce(reduce.newobj, fields);
  if (reduce.newobj) {
    sink.unwritten_callable(frame, reduce.callable);
  } else {
    sink.reduce_field(frame, ReduceField::Callable, walk_value(reduce.callable, sink));
  }
  sink.reduce_field(frame, ReduceField::Args, walk_value(reduce.args, sink));
  if (reduce.state) sink.reduce_field(frame, ReduceField::State, walk_value(*reduce.state, sink));
  end_reduce_fields(sink, frame);
  for (const MarshalValue& item : reduce.list_items) {
    sink.reduce_list_item(frame, walk_value(item, sink));
  }
  end_reduce_list(sink, frame);
  for (const DictEntry& item : reduce.dict_items) {
    auto key = walk_value(item.key, sink);
    sink.reduce_dict_item(frame, std::move(key), walk_value(item.value, sink));
  }
  return sink.end_reduce(std::move(frame));
}

template <WalkSink Sink>
[[gnu::noinline]] typename Sink::Node walk_instance(const Instance& instance, Sink& sink) {
  auto frame = sink.begin_instance(instance.class_name);
  return sink.end_instance(std::move(frame), walk_value(instance.state, sink));
}

template <WalkSink Sink>
typename Sink::Node walk_value(const MarshalValue& value, Sink& sink) {
  // A sink that has failed takes nothing more; stopping here also bounds the recursion.
  if (has_failed(sink)) return {};
  using Kind = MarshalValue::Kind;
  switch (value.kind()) {
    case Kind::None:
      return sink.none();
    case Kind::Bool:
      return sink.boolean(*value.get_if<bool>());
    case Kind::Int:
      return sink.integer(*value.get_if<std::int64_t>());
    case Kind::Long:
      return sink.big(*value.get_if<BigInt>());
    case Kind::Float:
      return sink.real(*value.get_if<double>());
    case Kind::Bytes:
      return sink.bytes(value.get_if<Bytes>()->data);
    case Kind::Utf8:
      return sink.utf8(value.get_if<Utf8>()->text);
    case Kind::Tuple: {
      const auto& items = value.get_if<Tuple>()->items;
      auto sequence = sink.begin_tuple(items.size());
      walk_items(items, sequence, sink);
      return sink.end_tuple(std::move(sequence));
    }
    case Kind::List: {
      const auto& items = value.get_if<List>()->items;
      auto sequence = sink.begin_list(items.size());
      walk_items(items, sequence, sink);
      return sink.end_list(std::move(sequence));
    }
    case Kind::Dict: {
      const auto& entries = value.get_if<Dict>()->entries;
      auto dict = sink.begin_dict(entries.size());
      for (const DictEntry& entry : entries) {
        // The stream holds each entry's value before its key.
        auto member = walk_value(entry.value, sink);
        sink.add_entry(dict, walk_value(entry.key, sink), std::move(member));
        if (has_failed(sink)) break;
      }
      return sink.end_dict(std::move(dict));
    }
    case Kind::Global:
      return sink.global(value.get_if<Global>()->name);
    case Kind::Instance:
      return walk_instance(*value.get_if<Instance>(), sink);
    case Kind::Reduce:
      return walk_reduce(*value.get_if<Reduce>(), sink);
    case Kind::Callback: {
      auto frame = sink.begin_callback();
      return sink.end_callback(std::move(frame), walk_value(value.get_if<Callback>()->value, sink));
    }
  }
  return sink.none();  // unreachable: every kind is handled above
}

}  // namespace marshal::detail
