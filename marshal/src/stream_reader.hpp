// Decodes the client's marshal stream in one forward pass, handing every value to a handler that
// makes its node: the value builder for read_marshal, the tagged JSON builder for decode_to_json.
// The format's rules live here once, whatever the handler builds.
//
// A failure is kept in the reader, not carried up through every level: the value calls then
// return an empty item, which each caller sees through failed() and hands on untouched, so a
// value read is never moved on its way up.
//
// Shared objects are resolved into copies as they are met, so the tree the caller gets owns all
// of its nodes. What a copy costs is weighed here, from the stream, so the limits on copies hold
// the same for every handler.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "marshal/utf8.hpp"
#include "marshal/value.hpp"
#include "stream_cursor.hpp"
#include "value_events.hpp"

namespace marshal::detail {

// References copy whole subtrees, so a few bytes can ask for a tree of any size or depth. Copies
// (slot fills and references together) may take roughly this much memory in all before the
// stream is refused; real files share small values and stay far below it.
inline constexpr std::uint64_t COPY_BUDGET_FLOOR = std::uint64_t{64} << 20;
inline constexpr std::uint64_t COPY_BUDGET_PER_INPUT_BYTE = 32;

// Members a builder makes room for before any is read: enough for the lists and dictionaries
// of real settings, which rarely hold more.
inline constexpr std::size_t ROOM_FOR_CLAIMED_MEMBERS = 256;

// What a copy of a value costs: the nesting levels it spans (itself included, counted as the
// writer counts them) and a rough figure for the memory its value tree takes.
struct Weight {
  std::uint32_t height = 1;
  std::uint64_t bytes = sizeof(MarshalValue);
};

inline Weight add_child(Weight parent, Weight child, std::uint32_t levels_down) {
  parent.height = std::max(parent.height, child.height + levels_down);
  parent.bytes += child.bytes;
  return parent;
}

// The first members of a tuple, which a REDUCE or NEWOBJ payload turns into fields.
struct TupleHead {
  std::array<Weight, 3> members{};
};

template <class Node>
struct Decoded {
  Node value;
  std::size_t end_offset = 0;
  bool has_crc = false;
};

// With `DIRECT_PATHS` off, every member and key is read through value(): the plain path,
// against which the tests check the direct ones.
template <StreamHandler Handler, bool DIRECT_PATHS = true>
class StreamReader {
 public:
  using Node = typename Handler::Node;
  using Kind = MarshalValue::Kind;

  StreamReader(Handler& handler, std::span<const std::uint8_t> input)
      : h_(handler),
        c_(input),
        copy_budget_(COPY_BUDGET_FLOOR + COPY_BUDGET_PER_INPUT_BYTE * input.size()) {}

  Read<Decoded<Node>> read() && {
    auto slot_count = read_header(c_);
    if (!slot_count) return slot_count.take_error();
    slots_.resize(*slot_count);

    c_.depth = ROOT_LEVEL;
    Item root = value();
    if (failed()) return unexpected(std::move(*error_));
    if (c_.crc.seen && c_.mode == Mode::Sequential) {
      auto verified = verify_crc(c_.crc, c_.input, std::min(c_.input.size(), c_.offset));
      if (!verified) return verified.take_error();
    }
    return Decoded<Node>{std::move(root.node), c_.offset, c_.crc.seen};
  }

 private:
  // One value read: its node, what a copy of it costs, and its variant. After a failure, an
  // empty one that nothing reads.
  struct Item {
    Node node{};
    Weight weight;
    Kind kind = Kind::None;
  };
  struct Slot {
    std::optional<typename Handler::Kept> node;  // none until filled: a reference then gives None
    Weight weight;
    Kind kind = Kind::None;
    TupleHead head;
  };

  // The room a builder makes up front for a container's members. A count is only a claim until
  // the members are read, and containers nested in one another may each claim nearly the whole
  // input: made in full, that room would take far more memory than the input could ever fill.
  // Past this many members, the room grows as they come.
  static std::size_t room_for(std::uint64_t claimed) {
    return static_cast<std::size_t>(std::min(claimed, std::uint64_t{ROOM_FOR_CLAIMED_MEMBERS}));
  }

  // What a copy of a value that holds no other costs. The items themselves are made in place
  // (`Item{h_.x(...), leaf(...), kind}`): the node is never moved on its way into the result.
  static Weight leaf(std::uint64_t payload_bytes = 0) {
    return Weight{1, sizeof(MarshalValue) + payload_bytes};
  }

  // ---- failures ----

  bool failed() const { return error_.has_value(); }
  // Keeps the first failure; the empty item goes back up in place of a value.
  [[gnu::noinline]] Item fail(Unexpected<MarshalError> failure) {
    if (!error_) error_ = std::move(failure.error);
    return Item{};
  }

  // ---- shared objects ----

  bool spend_copy_budget(std::uint64_t bytes) {
    copied_ += bytes;
    if (copied_ <= copy_budget_) return true;
    fail(invalid("shared objects expand beyond the size limit"));
    return false;
  }

  // The slot a flagged tag claims, or none when the tag is not flagged (or on a failure).
  std::optional<std::size_t> claim_if(bool shared) {
    if (!shared) return std::nullopt;
    auto index = claim_slot_index(c_, slots_.size());
    if (!index) {
      fail(index.take_error());
      return std::nullopt;
    }
    if (c_.mode == Mode::Sequential) slots_.emplace_back();
    return *index;
  }

  // Completes a value read under a claim: the slot keeps a copy, the caller gets the value.
  void fill_slot(std::optional<std::size_t> slot, const Item& item) {
    if (!slot || failed() || !spend_copy_budget(item.weight.bytes)) return;
    Slot& s = slots_[*slot];
    s.node.emplace(h_.keep(item.node));
    s.weight = item.weight;
    s.kind = item.kind;
    if (item.kind == Kind::Tuple) s.head = last_tuple_head_;
  }

  Item reference() {
    auto id = read_size(c_);
    if (!id) return fail(id.take_error());
    const std::int64_t index = c_.mode == Mode::Mapped ? std::int64_t{*id} - 1 : *id;
    if (index < 0 || static_cast<std::uint64_t>(index) >= slots_.size()) {
      return fail(unexpected(MarshalError::invalid_reference(*id)));
    }
    const Slot& s = slots_[static_cast<std::size_t>(index)];
    // The copy lands at the current level; it must not carry the tree past the depth limit.
    if (std::uint64_t{c_.depth} + s.weight.height - 1 > MAX_DEPTH) {
      return fail(unexpected(MarshalError::recursion_limit()));
    }
    if (!spend_copy_budget(s.weight.bytes)) return Item{};
    if (s.kind == Kind::Tuple) last_tuple_head_ = s.head;
    return Item{s.node ? h_.copy(*s.node) : h_.none(), s.weight, s.kind};
  }

  // ---- values ----

  Item nested() {
    const NestingLevel level(c_.depth);
    if (level.too_deep()) return fail(unexpected(MarshalError::recursion_limit()));
    return value();
  }

  template <class T>
  Item integer() {
    auto v = read_fixed<T>(c_);
    if (!v) return fail(v.take_error());
    return Item{h_.integer(std::int64_t{*v}), leaf(), Kind::Int};
  }

  Item real() {
    auto bits = read_fixed<std::uint64_t>(c_);
    if (!bits) return fail(bits.take_error());
    return Item{h_.real(std::bit_cast<double>(*bits)), leaf(), Kind::Float};
  }

  [[gnu::noinline]] Item long_value(bool shared) {
    auto bytes = read_sized_bytes(c_, "negative buffer length");
    if (!bytes) return fail(bytes.take_error());
    BigInt value;
    if (!bytes->empty()) {
      import_bits(value, bytes->begin(), bytes->end(), 8, false);
      // Two's complement: a set top bit means the bytes stand for value - 2^(8n).
      if (static_cast<std::uint8_t>(bytes->back()) & 0x80) {
        value -= BigInt(1) << (8 * bytes->size());
      }
    }
    auto slot = claim_if(shared);
    if (failed()) return Item{};
    const std::uint64_t payload =
        sizeof(BigInt) + value.backend().size() * sizeof(boost::multiprecision::limb_type);
    Item item{h_.big(value), leaf(payload), Kind::Long};
    fill_slot(slot, item);
    return item;
  }

  // STR and BUFFER: raw bytes, claimed once read.
  Item str(bool shared) {
    auto bytes = read_sized_bytes(c_, "negative buffer length");
    if (!bytes) return fail(bytes.take_error());
    auto slot = claim_if(shared);
    if (failed()) return Item{};
    Item item{h_.bytes(*bytes), leaf(bytes->size()), Kind::Bytes};
    fill_slot(slot, item);
    return item;
  }

  Item global(bool shared) {
    auto name = read_sized_bytes(c_, "negative buffer length");
    if (!name) return fail(name.take_error());
    if (!is_valid_utf8(*name)) return fail(invalid("bad utf-8 in global name"));
    auto slot = claim_if(shared);
    if (failed()) return Item{};
    Item item{h_.global(*name), leaf(name->size()), Kind::Global};
    fill_slot(slot, item);
    return item;
  }

  Item short_bytes(std::uint64_t n) {
    auto bytes = read_bytes(c_, n);
    if (!bytes) return fail(bytes.take_error());
    return Item{h_.bytes(*bytes), leaf(bytes->size()), Kind::Bytes};
  }

  Item str_short() {
    auto bytes = read_short_bytes(c_);
    if (!bytes) return fail(bytes.take_error());
    return Item{h_.bytes(*bytes), leaf(bytes->size()), Kind::Bytes};
  }

  [[gnu::noinline]] Item str_table() {
    auto row = read_str_table(c_);
    if (!row) return fail(row.take_error());
    return Item{h_.bytes(*row), leaf(row->size()), Kind::Bytes};
  }

  Item text(std::string_view text) { return Item{h_.utf8(text), leaf(text.size()), Kind::Utf8}; }

  [[gnu::noinline]] Item unicode() {
    auto n = read_count(c_, "negative unicode length");
    if (!n) return fail(n.take_error());
    auto bytes = read_bytes(c_, *n * 2);
    if (!bytes) return fail(bytes.take_error());
    auto decoded = decode_utf16(*bytes);
    if (!decoded) return fail(decoded.take_error());
    return text(*decoded);
  }

  [[gnu::noinline]] Item unicode_1() {
    auto unit = read_fixed<std::uint16_t>(c_);
    if (!unit) return fail(unit.take_error());
    if (is_surrogate(*unit)) return fail(invalid("bad utf-16 code unit"));
    char decoded[MAX_UTF8_LENGTH];
    return text(std::string_view(decoded, write_utf8(decoded, *unit)));
  }

  Item utf8() {
    auto bytes = read_sized_bytes(c_, "negative utf8 length");
    if (!bytes) return fail(bytes.take_error());
    if (!is_valid_utf8(*bytes)) return fail(invalid("bad utf-8 data"));
    return text(*bytes);
  }

  // A member that is a fixed-width number, made straight in its sequence: numbers are most of
  // what the sequences of a settings file hold, and this spares them the general dispatch of
  // value() and the move of their node. Eight bytes are loaded whatever the width, and the
  // integer sign-extended from its width, so that a list of numbers of mixed sizes costs no
  // branch the processor cannot foresee. False, with nothing read, for any other tag, and near
  // the end of the input, where value() reads the number exactly (or reports it cut off).
  template <class Sequence>
  bool number_member(Sequence& sequence) {
    if (c_.remaining() < 1 + sizeof(std::uint64_t)) return false;
    const std::uint8_t* at = c_.input.data() + c_.offset;
    const auto tag = static_cast<Tag>(at[0] & TAG_MASK);
    const std::size_t width = fixed_number_width(tag);
    if (width == 0) return false;
    const auto bits = load_le<std::uint64_t>(at + 1);
    c_.offset += 1 + width;
    if (tag == Tag::FLOAT) {
      h_.add_real(sequence, std::bit_cast<double>(bits));
    } else {
      const auto unused = static_cast<unsigned>(64 - 8 * width);
      h_.add_integer(sequence, static_cast<std::int64_t>(bits << unused) >> unused);
    }
    return true;
  }

  // A dictionary key that is a short byte string, as most keys of a settings file are: its
  // bytes, read past value()'s dispatch so that no node is made for the key. Nothing, with
  // nothing read, for any other form, shared strings included, and for a string cut off by the
  // end of the input, which value() then reports.
  std::optional<std::string_view> short_bytes_key() {
    if (c_.remaining() == 0 || c_.input[c_.offset] != tag_byte(Tag::STR_SHORT)) {
      return std::nullopt;
    }
    const std::size_t tag_at = c_.offset++;
    auto bytes = read_short_bytes(c_);
    if (!bytes) {
      c_.offset = tag_at;
      return std::nullopt;
    }
    return *bytes;
  }

  // `count` members in a row, each one level down.
  Item members(std::optional<std::size_t> slot, Kind kind, std::size_t count) {
    const std::size_t room = room_for(count);
    auto sequence = kind == Kind::Tuple ? h_.begin_tuple(room) : h_.begin_list(room);
    Weight weight;
    TupleHead head;
    // nested() refuses every member when the level below is too deep; numbers then go there too.
    const bool numbers_fit = DIRECT_PATHS && member_fits(c_.depth);
    for (std::size_t i = 0; i < count; ++i) {
      if (numbers_fit && number_member(sequence)) {
        weight = add_child(weight, leaf(), MEMBER_LEVELS);
        if (i < head.members.size()) head.members[i] = leaf();
        continue;
      }
      Item item = nested();
      if (failed()) return Item{};
      weight = add_child(weight, item.weight, MEMBER_LEVELS);
      if (i < head.members.size()) head.members[i] = item.weight;
      h_.add_item(sequence, std::move(item.node));
    }
    if (kind == Kind::Tuple) last_tuple_head_ = head;
    Item item{
        kind == Kind::List ? h_.end_list(std::move(sequence)) : h_.end_tuple(std::move(sequence)),
        weight, kind};
    fill_slot(slot, item);
    return item;
  }

  // TUPLE and LIST. Every member takes at least one byte, which bounds a believable count.
  Item sequence(bool shared, Kind kind, const char* negative_detail) {
    auto n = read_count(c_, negative_detail);
    if (!n) return fail(n.take_error());
    if (*n > c_.remaining()) return fail(end_of_stream());
    auto slot = claim_if(shared);
    if (failed()) return Item{};
    return members(slot, kind, static_cast<std::size_t>(*n));
  }

  // TUPLE1, TUPLE2 and LIST1: a fixed number of members and no count.
  Item small_sequence(bool shared, Kind kind, std::size_t count) {
    auto slot = claim_if(shared);
    if (failed()) return Item{};
    return members(slot, kind, count);
  }

  // The stream holds each entry's value before its key.
  Item dict(bool shared) {
    auto n = read_count(c_, "negative dict length");
    if (!n) return fail(n.take_error());
    if (*n * 2 > c_.remaining()) return fail(end_of_stream());
    auto slot = claim_if(shared);
    if (failed()) return Item{};
    auto dict = h_.begin_dict(room_for(*n));
    Weight weight;
    // As with numbers in sequences, a key that nested() would refuse is read there.
    const bool keys_fit = DIRECT_PATHS && member_fits(c_.depth);
    for (std::uint64_t i = 0; i < *n; ++i) {
      Item value = nested();
      if (failed()) return Item{};
      weight = add_child(weight, value.weight, MEMBER_LEVELS);
      if (keys_fit) {
        if (const std::optional<std::string_view> key = short_bytes_key()) {
          weight = add_child(weight, leaf(key->size()), MEMBER_LEVELS);
          h_.add_bytes_entry(dict, *key, std::move(value.node));
          continue;
        }
      }
      begin_key(h_);
      Item key = nested();
      end_key(h_);
      if (failed()) return Item{};
      weight = add_child(weight, key.weight, MEMBER_LEVELS);
      h_.add_entry(dict, std::move(key.node), std::move(value.node));
    }
    Item item{h_.end_dict(std::move(dict)), weight, Kind::Dict};
    fill_slot(slot, item);
    return item;
  }

  [[gnu::noinline]] Item instance(bool shared) {
    auto slot = claim_if(shared);
    if (failed()) return Item{};
    Item name = nested();
    if (failed()) return Item{};
    if (name.kind != Kind::Bytes && name.kind != Kind::Utf8) {
      return fail(invalid("TY_INSTANCE guid isn't a string"));
    }
    const std::string class_name = h_.take_text(std::move(name.node), name.kind);
    auto frame = h_.begin_instance(class_name);
    Item state = nested();
    if (failed()) return Item{};
    Weight weight;
    weight.bytes += sizeof(Instance) + class_name.size();
    weight = add_child(weight, state.weight, MEMBER_LEVELS);
    Item item{h_.end_instance(std::move(frame), std::move(state.node)), weight, Kind::Instance};
    fill_slot(slot, item);
    return item;
  }

  [[gnu::noinline]] Item callback() {
    auto frame = h_.begin_callback();
    Item value = nested();
    if (failed()) return Item{};
    Weight weight;
    weight.bytes += sizeof(Callback);
    weight = add_child(weight, value.weight, MEMBER_LEVELS);
    return Item{h_.end_callback(std::move(frame), std::move(value.node)), weight, Kind::Callback};
  }

  // Whether the next byte ends an item list, which it then consumes; a failure ends it too.
  bool at_items_end() {
    if (c_.remaining() == 0) {
      fail(end_of_stream());
      return true;
    }
    if ((c_.input[c_.offset] & TAG_MASK) != ITEMS_END) return false;
    ++c_.offset;
    return true;
  }

  // The payload's fields into the record: callable and args come first; the one after them, if
  // any, is the state. Kept apart from the item lists, so a frame of the recursion stays small.
  [[gnu::noinline]] std::optional<typename Handler::ReduceFrame> reduce_fields(bool newobj,
                                                                               Item& payload,
                                                                               Weight& weight) {
    if (payload.kind != Kind::Tuple) return refused(invalid("reduce payload isn't a tuple"));
    const TupleHead head = last_tuple_head_;
    const std::size_t field_count = h_.tuple_size(payload.node);
    const std::size_t first_state = newobj ? 1 : 2;
    if (newobj && field_count == 0) return refused(invalid("empty newobj tuple"));
    if (!newobj && field_count < 2) return refused(invalid("reduce tuple too short"));
    const bool has_state = field_count > first_state;

    auto frame = h_.begin_reduce(newobj, first_state + (has_state ? 1 : 0));
    weight.bytes += sizeof(Reduce);
    // A NEWOBJ record's callable is None, which the stream does not carry.
    weight = add_child(weight, newobj ? Weight{} : head.members[0], REDUCE_FIELD_LEVELS);
    if (!newobj) {
      h_.reduce_field(frame, ReduceField::Callable, h_.payload_member(payload.node, 0));
    }
    weight = add_child(weight, head.members[first_state - 1], REDUCE_FIELD_LEVELS);
    h_.reduce_field(frame, ReduceField::Args, h_.payload_member(payload.node, first_state - 1));
    if (has_state) {
      weight = add_child(weight, head.members[first_state], REDUCE_FIELD_LEVELS);
      h_.reduce_field(frame, ReduceField::State, h_.payload_member(payload.node, first_state));
    }
    h_.discard(std::move(payload.node));
    end_reduce_fields(h_, frame);
    return frame;
  }

  std::nullopt_t refused(Unexpected<MarshalError> failure) {
    fail(std::move(failure));
    return std::nullopt;
  }

  // Until the item list's end, or a failure.
  [[gnu::noinline]] void reduce_list_items(typename Handler::ReduceFrame& frame, Weight& weight) {
    while (!at_items_end()) {
      Item item = nested();
      if (failed()) return;
      weight = add_child(weight, item.weight, MEMBER_LEVELS);
      h_.reduce_list_item(frame, std::move(item.node));
    }
  }

  [[gnu::noinline]] void reduce_dict_items(typename Handler::ReduceFrame& frame, Weight& weight) {
    while (!at_items_end()) {
      Item key = nested();
      if (failed()) return;
      Item value = nested();
      if (failed()) return;
      weight = add_child(weight, key.weight, MEMBER_LEVELS);
      weight = add_child(weight, value.weight, MEMBER_LEVELS);
      h_.reduce_dict_item(frame, std::move(key.node), std::move(value.node));
    }
  }

  [[gnu::noinline]] Item reduce(bool shared, bool newobj) {
    auto slot = claim_if(shared);
    if (failed()) return Item{};
    Weight weight;
    auto frame = read_reduce_fields(newobj, weight);
    if (!frame) return Item{};
    reduce_list_items(*frame, weight);
    if (failed()) return Item{};
    end_reduce_list(h_, *frame);
    reduce_dict_items(*frame, weight);
    if (failed()) return Item{};
    Item item{h_.end_reduce(std::move(*frame)), weight, Kind::Reduce};
    fill_slot(slot, item);
    return item;
  }

  [[gnu::noinline]] std::optional<typename Handler::ReduceFrame> read_reduce_fields(
      bool newobj, Weight& weight) {
    Item payload = nested();
    if (failed()) return std::nullopt;
    return reduce_fields(newobj, payload, weight);
  }

  [[gnu::noinline]] Item crc_check() {
    auto stored = read_fixed<std::uint32_t>(c_);
    if (!stored) return fail(stored.take_error());
    c_.crc = CrcRecord{true, *stored, c_.offset};
    switch (c_.mode) {
      case Mode::Mapped: {
        // The whole input is at hand, the map included, so there is no reason to wait.
        auto verified = verify_crc(c_.crc, c_.input, c_.input.size());
        if (!verified) return fail(verified.take_error());
        break;
      }
      case Mode::Sequential:
        break;  // checked once the root is complete and its end is known
    }
    return nested();
  }

  // The tags whose whole value is the tag itself.
  Item fixed(Tag tag) {
    switch (tag) {
      case Tag::INT_N1:
        return Item{h_.integer(-1), leaf(), Kind::Int};
      case Tag::INT_0:
        return Item{h_.integer(0), leaf(), Kind::Int};
      case Tag::INT_1:
        return Item{h_.integer(1), leaf(), Kind::Int};
      case Tag::FLOAT_0:
        return Item{h_.real(0.0), leaf(), Kind::Float};
      case Tag::STR_EMPTY:
        return Item{h_.bytes({}), leaf(), Kind::Bytes};
      case Tag::TRUE:
        return Item{h_.boolean(true), leaf(), Kind::Bool};
      case Tag::FALSE:
        return Item{h_.boolean(false), leaf(), Kind::Bool};
      case Tag::TUPLE0:
        last_tuple_head_ = TupleHead{};
        return Item{h_.end_tuple(h_.begin_tuple(0)), leaf(), Kind::Tuple};
      case Tag::LIST0:
        return Item{h_.end_list(h_.begin_list(0)), leaf(), Kind::List};
      case Tag::UNICODE_0:
        return Item{h_.utf8({}), leaf(), Kind::Utf8};
      default:  // NONE: value() hands over no other tag
        return Item{h_.none(), leaf(), Kind::None};
    }
  }

  Item value() {
    if (c_.remaining() == 0) return fail(end_of_stream());
    const std::uint8_t byte = c_.input[c_.offset++];
    const bool shared = (byte & SHARED_FLAG) != 0;
    const auto tag = static_cast<Tag>(byte & TAG_MASK);
    switch (tag) {
      case Tag::NONE:
      case Tag::INT_N1:
      case Tag::INT_0:
      case Tag::INT_1:
      case Tag::FLOAT_0:
      case Tag::STR_EMPTY:
      case Tag::TRUE:
      case Tag::FALSE:
      case Tag::TUPLE0:
      case Tag::LIST0:
      case Tag::UNICODE_0:
        return fixed(tag);
      case Tag::GLOBAL:
        return global(shared);
      case Tag::INT64:
        return integer<std::int64_t>();
      case Tag::INT32:
        return integer<std::int32_t>();
      case Tag::INT16:
        return integer<std::int16_t>();
      case Tag::INT8:
        return integer<std::int8_t>();
      case Tag::FLOAT:
        return real();
      case Tag::COMPLEX:
        return fail(refuse_unsupported("TY_COMPLEX"));
      case Tag::STR:
      case Tag::BUFFER:
        return str(shared);
      case Tag::STR_CHAR:
        return short_bytes(1);
      case Tag::STR_SHORT:
        return str_short();
      case Tag::STR_TABLE:
        return str_table();
      case Tag::UNICODE:
        return unicode();
      case Tag::TUPLE:
        return sequence(shared, Kind::Tuple, "negative tuple length");
      case Tag::LIST:
        return sequence(shared, Kind::List, "negative list length");
      case Tag::DICT:
        return dict(shared);
      case Tag::INSTANCE:
        return instance(shared);
      case Tag::CALLBACK:
        return callback();
      case Tag::PICKLE:
        return fail(refuse_unsupported("TY_PICKLE"));
      case Tag::REFERENCE:
        return reference();
      case Tag::CRC_CHECK:
        return crc_check();
      case Tag::PICKLER:
        return fail(refuse_unsupported("TY_PICKLER"));
      case Tag::REDUCE:
        return reduce(shared, false);
      case Tag::NEWOBJ:
        return reduce(shared, true);
      case Tag::TUPLE1:
        return small_sequence(shared, Kind::Tuple, 1);
      case Tag::LIST1:
        return small_sequence(shared, Kind::List, 1);
      case Tag::UNICODE_1:
        return unicode_1();
      case Tag::DBROW:
        return fail(refuse_unsupported("TY_DBROW"));
      case Tag::WSTREAM:
        return fail(refuse_unsupported("TY_WSTREAM"));
      case Tag::TUPLE2:
        return small_sequence(shared, Kind::Tuple, 2);
      case Tag::MARK:
        return fail(refuse_unknown(byte & TAG_MASK, "MARK"));
      case Tag::UTF8:
        return utf8();
      case Tag::LONG:
        return long_value(shared);
    }
    return fail(refuse_unknown(byte & TAG_MASK, "UNKNOWN"));
  }

  Handler& h_;
  Cursor c_;
  std::vector<Slot> slots_;
  TupleHead last_tuple_head_;
  std::uint64_t copied_ = 0;
  std::uint64_t copy_budget_ = 0;
  std::optional<MarshalError> error_;
};

}  // namespace marshal::detail
