// Appends the deterministic subset of the stream format the tool writes, from the events of a
// walk: write_marshal drives it from a value tree, encode_from_json straight from the tagged JSON
// walker. Every value gets the most compact tag the format has for it, so the output is fully
// determined by the values and the options.
//
// The first failure (too deep, a size no size field carries) is kept and the output is dropped,
// so a walk may run on to its end, as the JSON walker does to find errors of its own.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "marshal/error.hpp"
#include "marshal/value.hpp"
#include "marshal/writer.hpp"
#include "stream_format.hpp"
#include "value_events.hpp"

namespace marshal::detail {

class StreamEncoder {
 public:
  // Nothing is handed back: each event appends its bytes in place.
  struct Written {};
  using Node = Written;
  using Sequence = Written;
  using DictFrame = Written;
  using InstanceFrame = Written;
  using CallbackFrame = Written;
  using ReduceFrame = Written;

  // Writes the header, and the checksum tag with room for its value, into `out`.
  StreamEncoder(const EncodeOptions& options, ByteOutput& out);

  bool failed() const { return error_.has_value(); }
  // Cuts the output to the bytes written and fills in the checksum; on a failure the output is
  // left empty.
  Result<void, MarshalError> finish() &&;

  Node none() { return leaf(tag_byte(Tag::NONE)); }
  Node boolean(bool b) { return leaf(tag_byte(b ? Tag::TRUE : Tag::FALSE)); }
  Node integer(std::int64_t i) {
    if (fits_one_level()) put_number(i);
    return {};
  }
  Node big(const BigInt& l);
  Node real(double d) {
    if (fits_one_level()) put_number(d);
    return {};
  }
  Node bytes(std::string_view data);
  Node utf8(std::string_view text);
  Node global(std::string_view name);

  Sequence begin_tuple(std::size_t n);
  Sequence begin_list(std::size_t n);
  void add_item(Sequence&, Node&&) {}
  Node end_tuple(Sequence&&) { return leave(); }
  Node end_list(Sequence&&) { return leave(); }

  DictFrame begin_dict(std::size_t n);
  void add_entry(DictFrame&, Node&&, Node&&) {}
  Node end_dict(DictFrame&&) { return leave(); }

  InstanceFrame begin_instance(std::string_view class_name);
  Node end_instance(InstanceFrame&&, Node&&) { return leave(); }

  CallbackFrame begin_callback();
  Node end_callback(CallbackFrame&&, Node&&) { return leave(); }

  ReduceFrame begin_reduce(bool newobj, std::size_t fields);
  void reduce_field(ReduceFrame&, ReduceField, Node&&) {}
  void unwritten_callable(ReduceFrame&, const MarshalValue&) {}
  void end_reduce_fields(ReduceFrame&) { leave(); }
  void reduce_list_item(ReduceFrame&, Node&&) {}
  void end_reduce_list(ReduceFrame&) { put(ITEMS_END); }
  void reduce_dict_item(ReduceFrame&, Node&&, Node&&) {}
  Node end_reduce(ReduceFrame&&) {
    put(ITEMS_END);
    return leave();
  }

  // A value built elsewhere (a parsed dictionary key) is written where it stands.
  Node adopt(MarshalValue&& value);

 private:
  // A value of one level that holds no other.
  Node leaf(std::uint8_t tag) {
    if (fits_one_level()) put(tag);
    return {};
  }

  // The output is written through `used_`, with the buffer's size running ahead of it by the
  // room last made: each value asks for room for all of its bytes once, then stores them, where
  // appending would check the size at every byte. The room is made a little at a time, so the
  // pages beyond the output are never touched.
  std::uint8_t* room(std::size_t n) {
    if (size_ - used_ < n) make_room(n);
    return data_ + used_;
  }
  void make_room(std::size_t n);
  bool fits_one_level() {
    if (member_fits(depth_)) return true;
    fail(MarshalError::recursion_limit());
    return false;
  }
  // Enters the level of a container and writes its tag; false when that level is too deep.
  bool enter(std::uint8_t tag);
  Node leave() {
    --depth_;
    return {};
  }

  // Bytes written after a failure are never handed out, so writing needs no check.
  void put(std::uint8_t byte) {
    *room(1) = byte;
    ++used_;
  }
  // The most a number takes: a tag and eight bytes.
  static constexpr std::size_t MAX_NUMBER_BYTES = 1 + sizeof(std::uint64_t);
  // A number at `p`, which has room for MAX_NUMBER_BYTES; gives the end of what it wrote. An
  // integer stores all eight bytes and counts only its tag's width, the rest being room that the
  // next value writes over, so that no width needs a branch of its own.
  static std::uint8_t* write_number(std::uint8_t* p, std::int64_t i) {
    const Tag tag = narrowest_int_tag(i);
    p[0] = tag_byte(tag);
    store_le(p + 1, i);
    return p + 1 + fixed_number_width(tag);
  }
  static std::uint8_t* write_number(std::uint8_t* p, double d) {
    if (d == 0.0) {  // -0.0 too, which so reads back as +0.0: FLOAT_0 is the one zero written
      p[0] = tag_byte(Tag::FLOAT_0);
      return p + 1;
    }
    p[0] = tag_byte(Tag::FLOAT);
    store_le(p + 1, std::bit_cast<std::uint64_t>(d));
    return p + MAX_NUMBER_BYTES;
  }
  template <class Number>
  void put_number(Number n) {
    std::uint8_t* p = room(MAX_NUMBER_BYTES);
    used_ += static_cast<std::size_t>(write_number(p, n) - p);
  }
  // A tag and `bits` in little-endian order.
  template <class U>
  void put_tagged(std::uint8_t tag, U bits) {
    std::uint8_t* p = room(1 + sizeof(U));
    p[0] = tag;
    store_le(p + 1, bits);
    used_ += 1 + sizeof(U);
  }
  // The length of the size field for `n`, or 0, failing, when no size field carries it.
  std::size_t field_length(std::uint64_t n);
  void size(std::uint64_t n);
  // A tag, a size field, then the bytes.
  void counted(std::uint8_t tag, std::string_view data);
  void bytes_payload(std::string_view data);
  void tuple_header(std::size_t n);
  void fail(MarshalError error);

  ByteOutput& out_;
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;  // the output's length so far, room included
  std::size_t used_ = 0;
  std::optional<MarshalError> error_;
  std::size_t checksum_at_ = 0;
  bool write_crc_ = false;
  std::uint32_t depth_ = 0;
};

static_assert(JsonWalkSink<StreamEncoder>);

}  // namespace marshal::detail
