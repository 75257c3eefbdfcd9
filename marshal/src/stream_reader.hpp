// Decodes the client's marshal stream in one forward pass, handing every value to a handler that
// makes its node: the value builder for read_marshal, the tagged JSON builder for decode_to_json.
// The format's rules live here once, whatever the handler builds; shared objects and the limits
// on their copies live in SharedObjects. A failure is kept here, not carried up through every
// level: the value calls then return an empty item, which each caller sees through failed().
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "marshal/utf8.hpp"
#include "marshal/value.hpp"
#include "shared_objects.hpp"
#include "stream_cursor.hpp"
#include "value_events.hpp"

namespace marshal::detail {

// With `DIRECT_PATHS` off, every member and key is read through value(): the plain path,
// against which the tests check the direct ones (docs/DESIGN.md). Recursion runs once per level
// of a tree up to a thousand deep, on a stack that may be 1 MB: the rarer cases stay out of line.
template <StreamHandler Handler, bool DIRECT_PATHS = true>
class StreamReader {
 public:
  using Node = typename Handler::Node;
  using Kind = MarshalValue::Kind;
  static constexpr bool SELECTS = SelectingHandler<Handler>;

  StreamReader(Handler& handler, std::span<const std::uint8_t> input, const ReadOptions& options)
      : h_(handler), c_(input), shared_(options.copy_budget_floor, input.size()) {}

  // The root's node; then where it ended, and whether a CRC_CHECK came anywhere.
  Read<Node> read() {
    auto map = read_header(c_);
    if (!map) return map.take_error();
    kept_.resize(map->size());
    shared_.start(c_.mode, std::move(*map));

    c_.depth = ROOT_LEVEL;
    Item root = value();
    if (failed()) return unexpected(std::move(*error_));
    if (c_.crc.seen && c_.mode == Mode::Sequential) {
      auto verified = verify_crc(c_.crc, c_.input, std::min(c_.input.size(), c_.offset));
      if (!verified) return verified.take_error();
    }
    return std::move(root.node);
  }
  std::size_t end_offset() const { return c_.offset; }
  bool has_crc() const { return c_.crc.seen; }

 private:
  // One value read: its node, what a copy of it costs, its variant; empty after a failure.
  struct Item {
    Node node{};
    Weight weight;
    Kind kind = Kind::None;
  };

  bool failed() const { return error_.has_value(); }
  // Keeps the first failure; the empty item goes back up in place of a value.
  [[gnu::noinline]] Item fail(Unexpected<MarshalError> failure) {
    if (!error_) error_ = std::move(failure.error);
    return Item{};
  }

  // The slot a flagged tag claims, or none when the tag is not flagged (or on a failure).
  std::optional<std::size_t> claim_if(bool shared) {
    if (!shared) return std::nullopt;
    auto slot = shared_.claim();
    if (slot && *slot == kept_.size()) kept_.emplace_back();  // a slot made by the claim
    if (slot) return *slot;
    fail(slot.take_error());
    return std::nullopt;
  }

  // Completes a value read under a claim: the slot keeps a copy, the caller gets the value.
  // `keys_at_claim`: container_keys_ when the claim was made.
  void fill_slot(std::optional<std::size_t> slot, const Item& item, std::uint64_t keys_at_claim) {
    if (!slot || failed()) return;
    const SlotValue value{item.weight, item.kind,
                          item.kind == Kind::Tuple ? last_tuple_head_ : TupleHead{},
                          item.kind == Kind::Bytes ? last_text_ : std::string_view(),
                          container_keys_ != keys_at_claim};
    if constexpr (SELECTS) {
      if (checkpoint_ && *slot < checkpoint_->shared.slot_count) {
        overwritten_.push_back(OverwrittenSlot{*slot, shared_[*slot], std::move(kept_[*slot])});
      }
    }
    if (auto filled = shared_.fill(*slot, value); !filled) {
      fail(filled.take_error());
      return;
    }
    kept_[*slot].emplace(h_.keep(item.node));
  }

  // A value without nested ones, whose flagged tag claims its slot once the payload is read.
  Item claimed(bool shared, Item item) {
    if (!failed()) fill_slot(claim_if(shared), item, container_keys_);
    return failed() ? Item{} : std::move(item);
  }

  Item reference() {
    auto id = read_size(c_);
    if (!id) return fail(id.take_error());
    auto slot = shared_.resolve(*id, c_.depth);
    if (!slot) return fail(slot.take_error());
    const SlotValue& s = shared_[*slot];
    if (s.kind == Kind::Tuple) last_tuple_head_ = s.head;
    if (s.holds_container_key) ++container_keys_;
    last_text_ = s.text;
    return Item{kept_[*slot] ? h_.copy(*kept_[*slot]) : h_.none(), s.weight, s.kind};
  }

  // INT8 to INT64, and FLOAT as double.
  template <class T>
  Item number() {
    auto v = read_fixed<std::conditional_t<std::is_same_v<T, double>, std::uint64_t, T>>(c_);
    if (!v) return fail(v.take_error());
    if constexpr (std::is_same_v<T, double>) {
      return Item{h_.real(std::bit_cast<double>(*v)), leaf(), Kind::Float};
    } else {
      return Item{h_.integer(std::int64_t{*v}), leaf(), Kind::Int};
    }
  }

  [[gnu::noinline]] Item long_value(bool shared) {
    auto value = read_long(c_);
    if (!value) return fail(value.take_error());
    const std::uint64_t payload =
        sizeof(BigInt) + value->backend().size() * sizeof(boost::multiprecision::limb_type);
    return claimed(shared, Item{h_.big(*value), leaf(payload), Kind::Long});
  }

  Item global(bool shared) {
    auto name = read_utf8(c_, "negative buffer length", "bad utf-8 in global name");
    if (!name) return fail(name.take_error());
    return claimed(shared, Item{h_.global(*name), leaf(name->size()), Kind::Global});
  }

  // A Bytes or Utf8 item, which keeps its text for an INSTANCE that reads it as a class name.
  Item string_item(Kind kind, Read<std::string_view> text) {
    if (!text) return fail(text.take_error());
    last_text_ = *text;
    return Item{kind == Kind::Bytes ? h_.bytes(*text) : h_.utf8(*text), leaf(text->size()), kind};
  }

  Item nested() {
    const NestingLevel level(c_.depth);
    if (level.too_deep()) return fail(unexpected(MarshalError::recursion_limit()));
    return value();
  }

  // `count` members in a row, each one level down: TUPLE1, TUPLE2 and LIST1 have no count.
  Item members(bool shared, Kind kind, std::size_t count) {
    auto slot = claim_if(shared);
    if (failed()) return Item{};
    const std::uint64_t keys_at_claim = container_keys_;
    const std::size_t room = room_for(count);
    auto sequence = kind == Kind::Tuple ? h_.begin_tuple(room) : h_.begin_list(room);
    Weight weight;
    TupleHead head;
    // nested() refuses every member when the level below is too deep; numbers then go there too.
    const bool numbers_fit = DIRECT_PATHS && member_fits(c_.depth);
    for (std::size_t i = 0;; ++i) {
      if (numbers_fit) i = number_run(sequence, i, count, weight, head);
      if (i == count) break;
      Item item = nested();
      if (failed()) return Item{};
      weight = add_child(weight, item.weight, MEMBER_LEVELS);
      if (i < head.members.size()) head.members[i] = item.weight;
      h_.add_item(sequence, std::move(item.node));
    }
    head.size = count;
    if (kind == Kind::Tuple) last_tuple_head_ = head;
    Item item{
        kind == Kind::List ? h_.end_list(std::move(sequence)) : h_.end_tuple(std::move(sequence)),
        weight, kind};
    fill_slot(slot, item, keys_at_claim);
    return item;
  }

  // The members from `i` on that are fixed-width numbers, up to the first that is not; gives
  // where that one stands. Eight bytes are loaded whatever the width, so mixed widths cost no
  // branch; the position stays in a register and a float's step is known before its tag is
  // loaded, so the next load waits on neither (docs/DESIGN.md). Near the end the plain path reads.
  template <class Sequence>
  std::size_t number_run(Sequence& sequence, std::size_t i, std::size_t count, Weight& weight,
                         TupleHead& head) {
    constexpr std::size_t SPAN = 1 + sizeof(std::uint64_t);
    if (c_.end < SPAN) return i;
    const std::uint8_t* const data = c_.input.data();
    const std::size_t last = c_.end - SPAN;
    std::size_t at = c_.offset;
    for (; i < count && at <= last; ++i) {
      const auto tag = static_cast<Tag>(data[at] & TAG_MASK);
      std::uint64_t bits = load_le<std::uint64_t>(data + at + 1);
      if (tag == Tag::FLOAT) {
        at += SPAN;
        h_.add_real(sequence, std::bit_cast<double>(bits));
      } else {
        const std::size_t width = fixed_number_width(tag);
        if (width == 0) break;
        const auto unused = static_cast<unsigned>(64 - 8 * width);
        bits = static_cast<std::uint64_t>(static_cast<std::int64_t>(bits << unused) >> unused);
        at += 1 + width;
        h_.add_integer(sequence, static_cast<std::int64_t>(bits));
      }
      weight = add_child(weight, leaf(), MEMBER_LEVELS);
      if (i < head.members.size()) head.members[i] = leaf();
    }
    c_.offset = at;
    return i;
  }

  // A dictionary key that is no short byte string, read as a value; a container key weighs what
  // its text takes, more when container keys were read inside it.
  Item key_value() {
    const std::uint64_t keys_before = container_keys_;
    begin_key(h_);
    Item key = nested();
    end_key(h_);
    if (!failed() && keyed_by_json(key.kind)) weigh_container_key(key, keys_before);
    return key;
  }
  [[gnu::noinline]] void weigh_container_key(Item& key, std::uint64_t keys_before) {
    auto weight = shared_.container_key(key.weight, container_keys_ != keys_before);
    ++container_keys_;
    if (weight) {
      key.weight = *weight;
    } else {
      fail(weight.take_error());
    }
  }

  // TUPLE and LIST. Every member takes at least one byte, which bounds a believable count.
  Item sequence(bool shared, Kind kind, const char* negative_detail) {
    auto n = read_count(c_, negative_detail);
    if (!n) return fail(n.take_error());
    if (*n > c_.remaining()) return fail(end_of_stream());
    return members(shared, kind, static_cast<std::size_t>(*n));
  }

  // The stream holds each entry's value before its key.
  Item dict(bool shared) {
    auto n = read_count(c_, "negative dict length");
    if (!n) return fail(n.take_error());
    if (*n * 2 > c_.remaining()) return fail(end_of_stream());
    auto slot = claim_if(shared);
    if (failed()) return Item{};
    const std::uint64_t keys_at_claim = container_keys_;
    auto dict = h_.begin_dict(room_for(*n));
    if constexpr (SELECTS) {
      if (h_.selects_members(dict)) return selected_entries(std::move(dict), *n);
    }
    Weight weight;
    // As with numbers in sequences, a key that nested() would refuse is read there.
    const bool keys_fit = DIRECT_PATHS && member_fits(c_.depth);
    for (std::uint64_t i = 0; i < *n; ++i) {
      Item value = nested();
      if (failed()) return Item{};
      weight = add_child(weight, value.weight, MEMBER_LEVELS);
      if (const auto key = keys_fit ? read_short_bytes_key(c_) : std::nullopt) {
        weight = add_child(weight, leaf(key->size()), MEMBER_LEVELS);
        h_.add_bytes_entry(dict, *key, std::move(value.node));
        continue;
      }
      Item key = key_value();
      if (failed()) return Item{};
      weight = add_child(weight, key.weight, MEMBER_LEVELS);
      h_.add_entry(dict, std::move(key.node), std::move(value.node));
    }
    Item item{h_.end_dict(std::move(dict)), weight, Kind::Dict};
    fill_slot(slot, item, keys_at_claim);
    return item;
  }

  [[gnu::noinline]] Item instance(bool shared) {
    auto slot = claim_if(shared);
    if (failed()) return Item{};
    const std::uint64_t keys_at_claim = container_keys_;
    Item name = nested();
    if (failed()) return Item{};
    if (name.kind != Kind::Bytes && name.kind != Kind::Utf8) {
      return fail(invalid("TY_INSTANCE guid isn't a string"));
    }
    // A name given as bytes is read as UTF-8, any invalid sequence replaced.
    const std::string class_name =
        name.kind == Kind::Bytes ? utf8_lossy(last_text_) : std::string(last_text_);
    h_.discard(std::move(name.node));
    auto frame = h_.begin_instance(class_name);
    Item state = nested();
    if (failed()) return Item{};
    const Weight weight =
        add_child(leaf(sizeof(Instance) + class_name.size()), state.weight, MEMBER_LEVELS);
    Item item{h_.end_instance(std::move(frame), std::move(state.node)), weight, Kind::Instance};
    fill_slot(slot, item, keys_at_claim);
    return item;
  }

  [[gnu::noinline]] Item callback() {
    auto frame = h_.begin_callback();
    Item value = nested();
    if (failed()) return Item{};
    const Weight weight = add_child(leaf(sizeof(Callback)), value.weight, MEMBER_LEVELS);
    return Item{h_.end_callback(std::move(frame), std::move(value.node)), weight, Kind::Callback};
  }

  // REDUCE and NEWOBJ: the fields from the payload tuple, then the list items and the dict items,
  // each list ended by a MARK byte.
  [[gnu::noinline]] Item reduce(bool shared, bool newobj) {
    auto slot = claim_if(shared);
    if (failed()) return Item{};
    const std::uint64_t keys_at_claim = container_keys_;
    Weight weight = leaf(sizeof(Reduce));
    auto frame = reduce_fields(newobj, weight);
    if (!frame) return Item{};
    reduce_items(*frame, weight, false);
    if (failed()) return Item{};
    end_reduce_list(h_, *frame);
    reduce_items(*frame, weight, true);
    if (failed()) return Item{};
    Item item{h_.end_reduce(std::move(*frame)), weight, Kind::Reduce};
    fill_slot(slot, item, keys_at_claim);
    return item;
  }

  // The payload holds the callable (but for NEWOBJ, whose callable is None), args, then a state.
  [[gnu::noinline]] std::optional<typename Handler::ReduceFrame> reduce_fields(bool newobj,
                                                                               Weight& weight) {
    Item payload = nested();
    if (failed()) return std::nullopt;
    if (payload.kind != Kind::Tuple) return refused("reduce payload isn't a tuple");
    const TupleHead& head = last_tuple_head_;
    const std::size_t field_count = head.size;
    if (newobj && field_count == 0) return refused("empty newobj tuple");
    if (!newobj && field_count < 2) return refused("reduce tuple too short");
    const std::size_t args = newobj ? 0 : 1;  // where args stands in the payload
    const bool has_state = field_count > args + 1;
    auto frame = h_.begin_reduce(newobj, args + 1 + (has_state ? 1 : 0));
    weight = add_child(weight, newobj ? Weight{} : head.members[0], REDUCE_FIELD_LEVELS);
    if (!newobj) h_.reduce_field(frame, ReduceField::Callable, h_.payload_member(payload.node, 0));
    weight = add_child(weight, head.members[args], REDUCE_FIELD_LEVELS);
    h_.reduce_field(frame, ReduceField::Args, h_.payload_member(payload.node, args));
    if (has_state) {
      weight = add_child(weight, head.members[args + 1], REDUCE_FIELD_LEVELS);
      h_.reduce_field(frame, ReduceField::State, h_.payload_member(payload.node, args + 1));
    }
    h_.discard(std::move(payload.node));
    end_reduce_fields(h_, frame);
    return frame;
  }

  std::nullopt_t refused(const char* detail) {
    fail(invalid(detail));
    return std::nullopt;
  }

  // The list items, or the dict items in pairs of key and value, up to the byte that ends them.
  [[gnu::noinline]] void reduce_items(typename Handler::ReduceFrame& frame, Weight& weight,
                                      bool pairs) {
    for (auto end = read_items_end(c_); !end || !*end; end = read_items_end(c_)) {
      if (!end) {
        fail(end.take_error());
        return;
      }
      Item first = nested();
      if (failed()) return;
      weight = add_child(weight, first.weight, MEMBER_LEVELS);
      if (!pairs) {
        h_.reduce_list_item(frame, std::move(first.node));
        continue;
      }
      Item second = nested();
      if (failed()) return;
      weight = add_child(weight, second.weight, MEMBER_LEVELS);
      h_.reduce_dict_item(frame, std::move(first.node), std::move(second.node));
    }
  }

  [[gnu::noinline]] Item crc_check() {
    auto stored = read_fixed<std::uint32_t>(c_);
    if (!stored) return fail(stored.take_error());
    c_.crc = CrcRecord{true, *stored, c_.offset};
    if (c_.mode == Mode::Mapped) {  // else the checked range ends with the root
      auto verified = verify_crc(c_.crc, c_.input, c_.input.size());
      if (!verified) return fail(verified.take_error());
    }
    return nested();
  }

  Item value() {
    if constexpr (SELECTS) {
      if (c_.remaining() != 0 && (c_.input[c_.offset] & SHARED_FLAG) != 0 && !h_.builds_next()) {
        return shared_value();
      }
    }
    if (c_.remaining() == 0) return fail(end_of_stream());
    const std::uint8_t byte = c_.input[c_.offset++];
    const bool shared = (byte & SHARED_FLAG) != 0;
    switch (static_cast<Tag>(byte & TAG_MASK)) {
      case Tag::NONE:
        return Item{h_.none(), leaf(), Kind::None};
      case Tag::GLOBAL:
        return global(shared);
      case Tag::INT64:
        return number<std::int64_t>();
      case Tag::INT32:
        return number<std::int32_t>();
      case Tag::INT16:
        return number<std::int16_t>();
      case Tag::INT8:
        return number<std::int8_t>();
      case Tag::INT_N1:
        return Item{h_.integer(-1), leaf(), Kind::Int};
      case Tag::INT_0:
        return Item{h_.integer(0), leaf(), Kind::Int};
      case Tag::INT_1:
        return Item{h_.integer(1), leaf(), Kind::Int};
      case Tag::FLOAT:
        return number<double>();
      case Tag::FLOAT_0:
        return Item{h_.real(0.0), leaf(), Kind::Float};
      case Tag::COMPLEX:
        return fail(refuse_unsupported("TY_COMPLEX"));
      case Tag::STR:
      case Tag::BUFFER:
        return claimed(shared,
                       string_item(Kind::Bytes, read_sized_bytes(c_, "negative buffer length")));
      case Tag::STR_EMPTY:
        return string_item(Kind::Bytes, std::string_view());
      case Tag::STR_CHAR:
        return string_item(Kind::Bytes, read_bytes(c_, 1));
      case Tag::STR_SHORT:
        return string_item(Kind::Bytes, read_short_bytes(c_));
      case Tag::STR_TABLE:
        return string_item(Kind::Bytes, read_str_table(c_));
      case Tag::UNICODE:
        return string_item(Kind::Utf8, read_utf16(c_, decoded_));
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
      case Tag::TRUE:
        return Item{h_.boolean(true), leaf(), Kind::Bool};
      case Tag::FALSE:
        return Item{h_.boolean(false), leaf(), Kind::Bool};
      case Tag::PICKLER:
        return fail(refuse_unsupported("TY_PICKLER"));
      case Tag::REDUCE:
        return reduce(shared, false);
      case Tag::NEWOBJ:
        return reduce(shared, true);
      case Tag::TUPLE0:
        last_tuple_head_ = TupleHead{};
        return Item{h_.end_tuple(h_.begin_tuple(0)), leaf(), Kind::Tuple};
      case Tag::TUPLE1:
        return members(shared, Kind::Tuple, 1);
      case Tag::LIST0:
        return Item{h_.end_list(h_.begin_list(0)), leaf(), Kind::List};
      case Tag::LIST1:
        return members(shared, Kind::List, 1);
      case Tag::UNICODE_0:
        return string_item(Kind::Utf8, std::string_view());
      case Tag::UNICODE_1:
        return string_item(Kind::Utf8, read_utf16_unit(c_, decoded_));
      case Tag::DBROW:
        return fail(refuse_unsupported("TY_DBROW"));
      case Tag::WSTREAM:
        return fail(refuse_unsupported("TY_WSTREAM"));
      case Tag::TUPLE2:
        return members(shared, Kind::Tuple, 2);
      case Tag::MARK:
        return fail(refuse_unknown(byte & TAG_MASK, "MARK"));
      case Tag::UTF8:
        return string_item(Kind::Utf8, read_utf8(c_, "negative utf8 length", "bad utf-8 data"));
      case Tag::LONG:
        return long_value(shared);
    }
    return fail(refuse_unknown(byte & TAG_MASK, "UNKNOWN"));
  }

  // A selecting handler's part: values it leaves out are read all the same, every rule checked,
  // but a shared value is built whole wherever it stands, for the references to it that may
  // land in a part the handler builds.
  [[gnu::noinline]] Item shared_value() {
    const auto outer = h_.build_shared();
    Item item = value();
    h_.resume(outer);
    return item;
  }

  // Where a read began, for reading it again: the stream holds a dictionary's value before its
  // key, so a member is only known to be selected once it has been read.
  struct Checkpoint {
    std::size_t offset;
    CrcRecord crc;
    SharedObjects::Mark shared;
  };
  struct OverwrittenSlot {
    std::size_t slot;
    SlotValue value;
    std::optional<typename Handler::Kept> kept;
  };

  void rewind() {
    for (auto it = overwritten_.rbegin(); it != overwritten_.rend(); ++it) {
      shared_.put_back(it->slot, it->value);
      kept_[it->slot] = std::move(it->kept);
    }
    shared_.rewind(checkpoint_->shared);
    kept_.resize(checkpoint_->shared.slot_count);
    c_.offset = checkpoint_->offset;
    c_.crc = checkpoint_->crc;
    release();
  }
  void release() {
    checkpoint_.reset();
    overwritten_.clear();
  }

  // A dictionary entry's key after its value, read as dict() reads it; gives the key's node, or
  // nothing when it was read straight as bytes into `direct`.
  std::optional<Item> entry_key(std::optional<std::string_view>& direct, bool keys_fit,
                                Weight& weight) {
    direct = keys_fit ? read_short_bytes_key(c_) : std::nullopt;
    if (direct) {
      weight = add_child(weight, leaf(direct->size()), MEMBER_LEVELS);
      return std::nullopt;
    }
    Item key = key_value();
    if (failed()) return key;
    weight = add_child(weight, key.weight, MEMBER_LEVELS);
    return key;
  }

  // A dictionary of which the handler takes only some members. Each entry is read once, left
  // out, to learn its key; an entry the handler takes is read again from where it began, with the
  // shared objects as they were then, so that it comes out as a whole read would make it.
  [[gnu::noinline]] Item selected_entries(typename Handler::DictFrame dict, std::uint64_t n) {
    Weight weight;
    const bool keys_fit = DIRECT_PATHS && member_fits(c_.depth);
    for (std::uint64_t i = 0; i < n; ++i) {
      checkpoint_.emplace(Checkpoint{c_.offset, c_.crc, shared_.mark()});
      h_.skip_next();
      Item value = nested();
      if (failed()) return Item{};
      h_.discard(std::move(value.node));
      const Weight before = weight;
      weight = add_child(weight, value.weight, MEMBER_LEVELS);
      h_.build_next();
      std::optional<std::string_view> direct;
      std::optional<Item> key = entry_key(direct, keys_fit, weight);
      if (failed()) return Item{};
      const auto mode = direct ? h_.chosen_bytes(dict, *direct) : h_.chosen(dict, key->node);
      if (key) h_.discard(std::move(key->node));
      if (!mode) {
        release();
        continue;
      }
      rewind();
      weight = before;
      h_.next_as(*mode);
      value = nested();
      if (failed()) return Item{};
      weight = add_child(weight, value.weight, MEMBER_LEVELS);
      h_.build_next();
      key = entry_key(direct, keys_fit, weight);
      if (failed()) return Item{};
      if (direct) {
        h_.add_bytes_entry(dict, *direct, std::move(value.node));
      } else {
        h_.add_entry(dict, std::move(key->node), std::move(value.node));
      }
    }
    return Item{h_.end_dict(std::move(dict)), weight, Kind::Dict};
  }

  Handler& h_;
  Cursor c_;
  SharedObjects shared_;
  std::vector<std::optional<typename Handler::Kept>> kept_;  // the nodes of filled slots
  TupleHead last_tuple_head_;
  // The text of the last string read: its bytes in the input or the string table, or
  // `decoded_`, the UTF-8 of the last text read from UTF-16.
  std::string_view last_text_;
  std::string decoded_;
  std::optional<MarshalError> error_;
  // How many container keys were read, and copied with their shared values: a value holds one
  // when this moved while it was read.
  std::uint64_t container_keys_ = 0;
  // A selecting handler's: where the entry being read began, and the slots filled since.
  std::optional<Checkpoint> checkpoint_;
  std::vector<OverwrittenSlot> overwritten_;
};

}  // namespace marshal::detail
