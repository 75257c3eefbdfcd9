// The protocols between the codec's drivers and the handlers they feed. A driver (the stream
// reader, the walk of a value tree, the walk of a tagged JSON tree) hands every value on as
// events, in the order the stream holds them; a handler makes a node of each (a value, a JSON
// value) or writes its bytes at once, its nodes then empty.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "marshal/value.hpp"

namespace marshal::detail {

// The fields of a REDUCE or NEWOBJ that its payload tuple carries.
enum class ReduceField : std::uint8_t { Callable, Args, State };

// The events every handler takes. A container's frame is open while its members come.
template <class H>
concept ValueSink = requires(H& h, typename H::Node node, typename H::Sequence& sequence,
                             typename H::DictFrame& dict, typename H::InstanceFrame instance,
                             typename H::CallbackFrame callback, typename H::ReduceFrame& reduce,
                             std::int64_t i, const BigInt& big, double d, std::string_view text,
                             std::size_t n, bool newobj, ReduceField field) {
  { h.none() } -> std::same_as<typename H::Node>;           // None
  { h.boolean(newobj) } -> std::same_as<typename H::Node>;  // Bool
  { h.integer(i) } -> std::same_as<typename H::Node>;       // Int
  { h.big(big) } -> std::same_as<typename H::Node>;         // Long
  { h.real(d) } -> std::same_as<typename H::Node>;          // Float
  { h.bytes(text) } -> std::same_as<typename H::Node>;      // Bytes: any bytes
  { h.utf8(text) } -> std::same_as<typename H::Node>;       // Utf8: valid UTF-8
  { h.global(text) } -> std::same_as<typename H::Node>;     // Global: its name
  // A Tuple or List of `n` members begins; from a stream, `n` is only what room to make.
  { h.begin_tuple(n) } -> std::same_as<typename H::Sequence>;
  { h.begin_list(n) } -> std::same_as<typename H::Sequence>;
  h.add_item(sequence, std::move(node));  // the next member
  { h.end_tuple(std::move(sequence)) } -> std::same_as<typename H::Node>;
  { h.end_list(std::move(sequence)) } -> std::same_as<typename H::Node>;
  { h.begin_dict(n) } -> std::same_as<typename H::DictFrame>;  // a Dict of `n` entries begins
  // The next entry: its key, made after its value as the stream holds them.
  h.add_entry(dict, std::move(node), std::move(node));
  { h.end_dict(std::move(dict)) } -> std::same_as<typename H::Node>;
  // An Instance of that class name begins, its state to come.
  { h.begin_instance(text) } -> std::same_as<typename H::InstanceFrame>;
  { h.end_instance(std::move(instance), std::move(node)) } -> std::same_as<typename H::Node>;
  { h.begin_callback() } -> std::same_as<typename H::CallbackFrame>;  // its value to come
  { h.end_callback(std::move(callback), std::move(node)) } -> std::same_as<typename H::Node>;
  // A Reduce begins: NEWOBJ or not, and how many fields its payload tuple carries.
  { h.begin_reduce(newobj, n) } -> std::same_as<typename H::ReduceFrame>;
  h.reduce_field(reduce, field, std::move(node));  // a field of the payload, in field order
  h.reduce_list_item(reduce, std::move(node));     // after the fields
  h.reduce_dict_item(reduce, std::move(node), std::move(node));  // key, then value
  { h.end_reduce(std::move(reduce)) } -> std::same_as<typename H::Node>;
};

// Events a handler may leave out, where it has nothing to do: the end of a Reduce's fields and
// of its list items, which only a writer marks; the start and end of a dictionary key read from
// a stream; and failed(), which a handler that can fail has, so that a walk stops feeding it.
template <ValueSink H>
void end_reduce_fields(H& h, typename H::ReduceFrame& reduce) {
  if constexpr (requires { h.end_reduce_fields(reduce); }) h.end_reduce_fields(reduce);
}
template <ValueSink H>
void end_reduce_list(H& h, typename H::ReduceFrame& reduce) {
  if constexpr (requires { h.end_reduce_list(reduce); }) h.end_reduce_list(reduce);
}
template <ValueSink H>
void begin_key(H& h) {
  if constexpr (requires { h.begin_key(); }) h.begin_key();
}
template <ValueSink H>
void end_key(H& h) {
  if constexpr (requires { h.end_key(); }) h.end_key();
}
template <ValueSink H>
bool has_failed(const H& h) {
  if constexpr (requires { h.failed(); }) {
    return h.failed();
  } else {
    return false;
  }
}

// A sink that a walk of a tree feeds.
template <class H>
concept WalkSink = ValueSink<H> &&
    requires(H& h, typename H::ReduceFrame& reduce, const MarshalValue& value) {
  h.unwritten_callable(reduce, value);  // a NEWOBJ record's callable, which no stream carries
};

// A sink that the walk of a tagged JSON tree feeds.
template <class H>
concept JsonWalkSink = WalkSink<H> && requires(H& h, MarshalValue&& value) {
  { h.adopt(std::move(value)) } -> std::same_as<typename H::Node>;  // a key parsed on its own
};

// A handler that the stream reader feeds. The reader hands each node back once, in the reverse
// order of their making, so a handler may keep its nodes on a stack.
template <class H>
concept StreamHandler = ValueSink<H> &&
    requires(H& h, typename H::Node node, typename H::Sequence& sequence,
             typename H::DictFrame& dict, const typename H::Kept& kept, std::int64_t i, double d,
             std::string_view text, std::size_t n) {
  h.add_integer(sequence, i);  // a number member, made straight in its sequence
  h.add_real(sequence, d);
  h.add_bytes_entry(dict, text, std::move(node));      // an entry whose key is those bytes
  { h.keep(node) } -> std::same_as<typename H::Kept>;  // a shared value, kept aside
  { h.copy(kept) } -> std::same_as<typename H::Node>;  // a reference to it
  { h.payload_member(node, n) } -> std::same_as<typename H::Node>;  // taken out of it
  h.discard(std::move(node));  // a node read but not kept: a payload, a class name
};

// A stream handler that builds only part of the tree. The reader reads every value all the
// same; the handler says which it builds (builds_next), and of a dictionary it selects members
// of, which members it takes, and in what mode, once their keys are known: the reader then
// reads those members again.
template <class H>
concept SelectingHandler = StreamHandler<H> &&
    requires(H& h, typename H::DictFrame& dict, typename H::Node node, typename H::Mode mode,
             std::string_view text) {
  { h.builds_next() } -> std::same_as<bool>;               // the next value is built whole
  { h.build_shared() } -> std::same_as<typename H::Mode>;  // so is a shared one; the mode before
  h.resume(mode);
  { h.selects_members(dict) } -> std::same_as<bool>;
  h.skip_next();   // the next value is read to be left out
  h.build_next();  // the next value is built whole: a key
  h.next_as(mode);
  // The mode in which the member of that key is taken, if at all.
  { h.chosen(dict, node) } -> std::same_as<std::optional<typename H::Mode>>;
  { h.chosen_bytes(dict, text) } -> std::same_as<std::optional<typename H::Mode>>;
};

}  // namespace marshal::detail
