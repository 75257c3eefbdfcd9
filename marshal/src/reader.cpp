// Decodes the client's marshal stream in one forward pass. Every read asks the cursor whether the
// bytes are there first; shared objects are resolved into copies as they are met, so the tree the
// caller gets owns all of its nodes.
#include "marshal/reader.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "adler32.hpp"
#include "marshal/utf8.hpp"
#include "string_table.hpp"

namespace marshal {
namespace {

template <class T>
using Read = Result<T, MarshalError>;

constexpr std::uint8_t TAG_MASK = 0x3F;
constexpr std::uint8_t SHARED_FLAG = 0x40;
constexpr std::uint8_t ITEMS_END = 0x2D;  // ends the item lists of REDUCE and NEWOBJ
constexpr std::uint8_t SIZE_ESCAPE = 0xFF;
constexpr std::uint8_t SIGNATURE_MAPPED = 0x7E;
constexpr std::uint8_t SIGNATURE_MODE = 0x7D;

// References copy whole subtrees, so a few bytes can ask for a tree of any size or depth. Copies
// (slot fills and references together) may take roughly this much memory in all before the
// stream is refused; real files share small values and stay far below it.
constexpr std::uint64_t COPY_BUDGET_FLOOR = std::uint64_t{64} << 20;
constexpr std::uint64_t COPY_BUDGET_PER_INPUT_BYTE = 32;

// The format's type tags; the ones missing here have no meaning and are refused as unknown.
enum class Tag : std::uint8_t {
  NONE = 1,
  GLOBAL = 2,
  INT64 = 3,
  INT32 = 4,
  INT16 = 5,
  INT8 = 6,
  INT_N1 = 7,
  INT_0 = 8,
  INT_1 = 9,
  FLOAT = 10,
  FLOAT_0 = 11,
  COMPLEX = 12,
  STR = 13,
  STR_EMPTY = 14,
  STR_CHAR = 15,
  STR_SHORT = 16,
  STR_TABLE = 17,
  UNICODE = 18,
  BUFFER = 19,
  TUPLE = 20,
  LIST = 21,
  DICT = 22,
  INSTANCE = 23,
  CALLBACK = 25,
  PICKLE = 26,
  REFERENCE = 27,
  CRC_CHECK = 28,
  TRUE = 31,
  FALSE = 32,
  PICKLER = 33,
  REDUCE = 34,
  NEWOBJ = 35,
  TUPLE0 = 36,
  TUPLE1 = 37,
  LIST0 = 38,
  LIST1 = 39,
  UNICODE_0 = 40,
  UNICODE_1 = 41,
  DBROW = 42,
  WSTREAM = 43,
  TUPLE2 = 44,
  MARK = 45,
  UTF8 = 46,
  LONG = 47,
};

enum class Mode : std::uint8_t { Mapped, Sequential };

// What a copy of a value costs: the nesting levels it spans (itself included, counted as the
// writer counts them) and a rough figure for the memory it takes.
struct Weight {
  std::uint32_t height = 1;
  std::uint64_t bytes = sizeof(MarshalValue);
};

struct Slot {
  MarshalValue value;
  Weight weight;
};

struct CrcRecord {
  bool seen = false;
  std::uint32_t stored = 0;
  std::size_t start = 0;  // the checked range begins just after the stored checksum
};

struct Cursor {
  std::span<const std::uint8_t> input;
  std::size_t offset = 0;
  std::size_t end = 0;  // end of readable data: the shared-object map, if any, lies beyond it
  Mode mode = Mode::Sequential;
  std::vector<Slot> slots;
  std::vector<std::int32_t> map;
  std::size_t map_used = 0;
  std::uint32_t depth = 0;
  CrcRecord crc;
  std::uint64_t copied = 0;
  std::uint64_t copy_budget = 0;

  std::size_t remaining() const { return end - offset; }
};

// Raises the depth for one nested read and lowers it again on every way out.
class DepthGuard {
 public:
  explicit DepthGuard(std::uint32_t& depth) : depth_(depth) { ++depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  ~DepthGuard() { --depth_; }

  bool exceeded() const { return depth_ > MAX_DEPTH; }

 private:
  std::uint32_t& depth_;
};

Unexpected<MarshalError> invalid(std::string detail) {
  return unexpected(MarshalError::invalid_stream(std::move(detail)));
}

Unexpected<MarshalError> end_of_stream() { return unexpected(MarshalError::unexpected_end()); }

// ---- primitives ----

template <class T>
T load_le(const std::uint8_t* p) {
  std::make_unsigned_t<T> v = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    v |=
        static_cast<std::make_unsigned_t<T>>(static_cast<std::make_unsigned_t<T>>(p[i]) << (8 * i));
  }
  return static_cast<T>(v);
}

template <class T>
Read<T> read_fixed(Cursor& c) {
  if (c.remaining() < sizeof(T)) return end_of_stream();
  const T v = load_le<T>(c.input.data() + c.offset);
  c.offset += sizeof(T);
  return v;
}

Read<std::string_view> read_bytes(Cursor& c, std::uint64_t n) {
  if (n > c.remaining()) return end_of_stream();
  const auto* p = reinterpret_cast<const char*>(c.input.data() + c.offset);
  c.offset += static_cast<std::size_t>(n);
  return std::string_view(p, static_cast<std::size_t>(n));
}

Read<std::int32_t> read_size_field(Cursor& c) {
  auto first = read_fixed<std::uint8_t>(c);
  if (!first) return first.take_error();
  if (*first != SIZE_ESCAPE) return std::int32_t{*first};
  return read_fixed<std::int32_t>(c);
}

// A size field whose negative values are refused with `negative_detail`.
Read<std::uint64_t> read_count(Cursor& c, const char* negative_detail) {
  auto n = read_size_field(c);
  if (!n) return n.take_error();
  if (*n < 0) return invalid(negative_detail);
  return static_cast<std::uint64_t>(*n);
}

Read<std::string_view> read_sized_bytes(Cursor& c, const char* negative_detail) {
  auto n = read_count(c, negative_detail);
  if (!n) return n.take_error();
  return read_bytes(c, *n);
}

// ---- shared objects ----

Weight add_child(Weight parent, Weight child, std::uint32_t levels_down) {
  parent.height = std::max(parent.height, child.height + levels_down);
  parent.bytes += child.bytes;
  return parent;
}

Weight weigh(const MarshalValue& v);

Weight weigh_items(Weight w, const std::vector<MarshalValue>& items, std::uint32_t levels_down) {
  for (const auto& item : items) w = add_child(w, weigh(item), levels_down);
  return w;
}

Weight weigh_entries(Weight w, const std::vector<DictEntry>& entries, std::uint32_t levels_down) {
  for (const auto& e : entries) {
    w = add_child(w, weigh(e.key), levels_down);
    w = add_child(w, weigh(e.value), levels_down);
  }
  return w;
}

Weight weigh(const MarshalValue& v) {
  Weight w;
  switch (v.kind()) {
    case MarshalValue::Kind::None:
    case MarshalValue::Kind::Bool:
    case MarshalValue::Kind::Int:
    case MarshalValue::Kind::Float:
      return w;
    case MarshalValue::Kind::Long:
      w.bytes += sizeof(BigInt) +
                 v.get_if<BigInt>()->backend().size() * sizeof(boost::multiprecision::limb_type);
      return w;
    case MarshalValue::Kind::Bytes:
      w.bytes += v.get_if<Bytes>()->data.size();
      return w;
    case MarshalValue::Kind::Utf8:
      w.bytes += v.get_if<Utf8>()->text.size();
      return w;
    case MarshalValue::Kind::Global:
      w.bytes += v.get_if<Global>()->name.size();
      return w;
    case MarshalValue::Kind::Tuple:
      return weigh_items(w, v.get_if<Tuple>()->items, 1);
    case MarshalValue::Kind::List:
      return weigh_items(w, v.get_if<List>()->items, 1);
    case MarshalValue::Kind::Dict:
      return weigh_entries(w, v.get_if<Dict>()->entries, 1);
    case MarshalValue::Kind::Instance: {
      const Instance& inst = *v.get_if<Instance>();
      w.bytes += sizeof(Instance) + inst.class_name.size();
      return add_child(w, weigh(inst.state), 1);
    }
    case MarshalValue::Kind::Reduce: {
      // The writer puts callable, args and state into a payload tuple one level further down.
      const Reduce& r = *v.get_if<Reduce>();
      w.bytes += sizeof(Reduce);
      w = add_child(w, weigh(r.callable), 2);
      w = add_child(w, weigh(r.args), 2);
      if (r.state) w = add_child(w, weigh(*r.state), 2);
      w = weigh_items(w, r.list_items, 1);
      return weigh_entries(w, r.dict_items, 1);
    }
    case MarshalValue::Kind::Callback:
      w.bytes += sizeof(Callback);
      return add_child(w, weigh(v.get_if<Callback>()->value), 1);
  }
  return w;
}

Read<void> spend_copy_budget(Cursor& c, std::uint64_t bytes) {
  c.copied += bytes;
  if (c.copied > c.copy_budget) return invalid("shared objects expand beyond the size limit");
  return {};
}

Read<std::size_t> claim_slot(Cursor& c) {
  switch (c.mode) {
    case Mode::Sequential:
      c.slots.emplace_back();
      return c.slots.size() - 1;
    case Mode::Mapped:
      if (c.map_used == c.map.size()) return invalid("shared object table overflow");
      return static_cast<std::size_t>(c.map[c.map_used++] - 1);
  }
  return invalid("shared object table overflow");  // unreachable: both modes return above
}

// The slot a flagged tag claims, or none when the tag is not flagged.
Read<std::optional<std::size_t>> claim_if(Cursor& c, bool shared) {
  if (!shared) return std::optional<std::size_t>();
  auto slot = claim_slot(c);
  if (!slot) return slot.take_error();
  return std::optional<std::size_t>(*slot);
}

// Completes a value read under a claim: the slot keeps a copy, the caller gets the value.
Read<MarshalValue> fill_slot(Cursor& c, std::optional<std::size_t> slot, MarshalValue value) {
  if (!slot) return value;
  const Weight w = weigh(value);
  auto spent = spend_copy_budget(c, w.bytes);
  if (!spent) return spent.take_error();
  Slot& s = c.slots[*slot];
  s.value = value;
  s.weight = w;
  return value;
}

Read<MarshalValue> read_reference(Cursor& c) {
  auto id = read_size_field(c);
  if (!id) return id.take_error();
  const std::int64_t index = c.mode == Mode::Mapped ? std::int64_t{*id} - 1 : *id;
  if (index < 0 || static_cast<std::uint64_t>(index) >= c.slots.size()) {
    return unexpected(MarshalError::invalid_reference(*id));
  }
  const Slot& s = c.slots[static_cast<std::size_t>(index)];
  // The copy lands at the current level; it must not carry the tree past the depth limit.
  if (std::uint64_t{c.depth} + s.weight.height - 1 > MAX_DEPTH) {
    return unexpected(MarshalError::recursion_limit());
  }
  auto spent = spend_copy_budget(c, s.weight.bytes);
  if (!spent) return spent.take_error();
  return MarshalValue(s.value);
}

// ---- values ----

Read<MarshalValue> read_value(Cursor& c);

Read<MarshalValue> read_nested(Cursor& c) {
  DepthGuard guard(c.depth);
  if (guard.exceeded()) return unexpected(MarshalError::recursion_limit());
  return read_value(c);
}

template <class T>
Read<MarshalValue> read_int(Cursor& c) {
  auto v = read_fixed<T>(c);
  if (!v) return v.take_error();
  return MarshalValue(std::int64_t{*v});
}

Read<MarshalValue> read_float(Cursor& c) {
  auto bits = read_fixed<std::uint64_t>(c);
  if (!bits) return bits.take_error();
  return MarshalValue(std::bit_cast<double>(*bits));
}

Read<MarshalValue> read_long(Cursor& c, bool shared) {
  auto bytes = read_sized_bytes(c, "negative buffer length");
  if (!bytes) return bytes.take_error();
  BigInt value;
  if (!bytes->empty()) {
    import_bits(value, bytes->begin(), bytes->end(), 8, false);
    // Two's complement: a set top bit means the bytes stand for value - 2^(8n).
    if (static_cast<std::uint8_t>(bytes->back()) & 0x80) value -= BigInt(1) << (8 * bytes->size());
  }
  auto slot = claim_if(c, shared);
  if (!slot) return slot.take_error();
  return fill_slot(c, *slot, MarshalValue(std::move(value)));
}

// STR and BUFFER: raw bytes, claimed once read.
Read<MarshalValue> read_str(Cursor& c, bool shared) {
  auto bytes = read_sized_bytes(c, "negative buffer length");
  if (!bytes) return bytes.take_error();
  auto slot = claim_if(c, shared);
  if (!slot) return slot.take_error();
  return fill_slot(c, *slot, MarshalValue(Bytes{std::string(*bytes)}));
}

Read<MarshalValue> read_global(Cursor& c, bool shared) {
  auto name = read_sized_bytes(c, "negative buffer length");
  if (!name) return name.take_error();
  if (!is_valid_utf8(*name)) return invalid("bad utf-8 in global name");
  auto slot = claim_if(c, shared);
  if (!slot) return slot.take_error();
  return fill_slot(c, *slot, MarshalValue(Global{std::string(*name)}));
}

Read<MarshalValue> read_str_char(Cursor& c) {
  auto bytes = read_bytes(c, 1);
  if (!bytes) return bytes.take_error();
  return MarshalValue(Bytes{std::string(*bytes)});
}

Read<MarshalValue> read_str_short(Cursor& c) {
  auto n = read_fixed<std::uint8_t>(c);
  if (!n) return n.take_error();
  auto bytes = read_bytes(c, *n);
  if (!bytes) return bytes.take_error();
  return MarshalValue(Bytes{std::string(*bytes)});
}

Read<MarshalValue> read_str_table(Cursor& c) {
  auto index = read_fixed<std::uint8_t>(c);
  if (!index) return index.take_error();
  if (*index == 0 || *index > detail::STRING_TABLE_SIZE) {
    return invalid("invalid string table index " + std::to_string(*index));
  }
  const auto row = detail::string_table_row(*index);
  // This build may not know every row of the client's vocabulary; such a row cannot be decoded.
  if (!row) return unexpected(MarshalError::unsupported_feature("TY_STR_TABLE"));
  return MarshalValue(Bytes{std::string(*row)});
}

bool is_high_surrogate(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Strict UTF-16LE: a surrogate is accepted only as the first or second half of a pair.
Read<std::string> decode_utf16(std::string_view bytes) {
  const auto unit = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i]) |
                                      (static_cast<std::uint8_t>(bytes[i + 1]) << 8));
  };
  std::string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    std::uint32_t cp = unit(i);
    if (is_high_surrogate(cp)) {
      if (i + 2 >= bytes.size() || !is_low_surrogate(unit(i + 2)))
        return invalid("bad utf-16 data");
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (is_low_surrogate(cp)) {
      return invalid("bad utf-16 data");
    }
    append_utf8(out, cp);
  }
  return out;
}

Read<MarshalValue> read_unicode(Cursor& c) {
  auto n = read_count(c, "negative unicode length");
  if (!n) return n.take_error();
  auto bytes = read_bytes(c, *n * 2);
  if (!bytes) return bytes.take_error();
  auto text = decode_utf16(*bytes);
  if (!text) return text.take_error();
  return MarshalValue(Utf8{std::move(*text)});
}

Read<MarshalValue> read_unicode_1(Cursor& c) {
  auto unit = read_fixed<std::uint16_t>(c);
  if (!unit) return unit.take_error();
  if (is_high_surrogate(*unit) || is_low_surrogate(*unit)) return invalid("bad utf-16 code unit");
  std::string text;
  append_utf8(text, *unit);
  return MarshalValue(Utf8{std::move(text)});
}

Read<MarshalValue> read_utf8(Cursor& c) {
  auto bytes = read_sized_bytes(c, "negative utf8 length");
  if (!bytes) return bytes.take_error();
  if (!is_valid_utf8(*bytes)) return invalid("bad utf-8 data");
  return MarshalValue(Utf8{std::string(*bytes)});
}

// `count` values in a row, each one level down.
Read<std::vector<MarshalValue>> read_items(Cursor& c, std::size_t count) {
  std::vector<MarshalValue> items;
  items.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    auto item = read_nested(c);
    if (!item) return item.take_error();
    items.push_back(std::move(*item));
  }
  return items;
}

// TUPLE and LIST. Every member takes at least one byte, which bounds a believable count.
template <class Sequence>
Read<MarshalValue> read_sequence(Cursor& c, bool shared, const char* negative_detail) {
  auto n = read_count(c, negative_detail);
  if (!n) return n.take_error();
  if (*n > c.remaining()) return end_of_stream();
  auto slot = claim_if(c, shared);
  if (!slot) return slot.take_error();
  auto items = read_items(c, static_cast<std::size_t>(*n));
  if (!items) return items.take_error();
  return fill_slot(c, *slot, MarshalValue(Sequence{std::move(*items)}));
}

// TUPLE1, TUPLE2 and LIST1: a fixed number of members and no count.
template <class Sequence>
Read<MarshalValue> read_small_sequence(Cursor& c, bool shared, std::size_t count) {
  auto slot = claim_if(c, shared);
  if (!slot) return slot.take_error();
  auto items = read_items(c, count);
  if (!items) return items.take_error();
  return fill_slot(c, *slot, MarshalValue(Sequence{std::move(*items)}));
}

// The stream holds each entry's value before its key.
Read<MarshalValue> read_dict(Cursor& c, bool shared) {
  auto n = read_count(c, "negative dict length");
  if (!n) return n.take_error();
  if (*n * 2 > c.remaining()) return end_of_stream();
  auto slot = claim_if(c, shared);
  if (!slot) return slot.take_error();
  Dict dict;
  dict.entries.reserve(static_cast<std::size_t>(*n));
  for (std::uint64_t i = 0; i < *n; ++i) {
    auto value = read_nested(c);
    if (!value) return value.take_error();
    auto key = read_nested(c);
    if (!key) return key.take_error();
    dict.entries.push_back(DictEntry{std::move(*key), std::move(*value)});
  }
  return fill_slot(c, *slot, MarshalValue(std::move(dict)));
}

Read<MarshalValue> read_instance(Cursor& c, bool shared) {
  auto slot = claim_if(c, shared);
  if (!slot) return slot.take_error();
  auto name = read_nested(c);
  if (!name) return name.take_error();
  std::string class_name;
  if (const Bytes* b = name->get_if<Bytes>()) {
    class_name = utf8_lossy(b->data);
  } else if (Utf8* u = name->get_if<Utf8>()) {
    class_name = std::move(u->text);
  } else {
    return invalid("TY_INSTANCE guid isn't a string");
  }
  auto state = read_nested(c);
  if (!state) return state.take_error();
  return fill_slot(c, *slot, MarshalValue(Instance{std::move(class_name), std::move(*state)}));
}

Read<MarshalValue> read_callback(Cursor& c) {
  auto value = read_nested(c);
  if (!value) return value.take_error();
  return MarshalValue(Callback{std::move(*value)});
}

// Reads until the byte that ends an item list; the loop body reads one item with `read_item`.
template <class ReadItem>
Read<void> read_until_items_end(Cursor& c, ReadItem read_item) {
  for (;;) {
    if (c.remaining() == 0) return end_of_stream();
    if ((c.input[c.offset] & TAG_MASK) == ITEMS_END) {
      ++c.offset;
      return {};
    }
    auto item = read_item();
    if (!item) return item;
  }
}

Read<MarshalValue> read_reduce(Cursor& c, bool shared, bool newobj) {
  auto slot = claim_if(c, shared);
  if (!slot) return slot.take_error();
  auto payload = read_nested(c);
  if (!payload) return payload.take_error();
  Tuple* tuple = payload->get_if<Tuple>();
  if (!tuple) return invalid("reduce payload isn't a tuple");
  auto& fields = tuple->items;
  Reduce r;
  r.newobj = newobj;
  // The fields that give callable and args come first; the one after them, if any, is the state.
  const std::size_t first_state = newobj ? 1 : 2;
  if (newobj && fields.empty()) return invalid("empty newobj tuple");
  if (!newobj && fields.size() < 2) return invalid("reduce tuple too short");
  if (!newobj) r.callable = std::move(fields[0]);
  r.args = std::move(fields[first_state - 1]);
  if (fields.size() > first_state) r.state = std::move(fields[first_state]);

  auto list_done = read_until_items_end(c, [&]() -> Read<void> {
    auto item = read_nested(c);
    if (!item) return item.take_error();
    r.list_items.push_back(std::move(*item));
    return {};
  });
  if (!list_done) return list_done.take_error();
  auto dict_done = read_until_items_end(c, [&]() -> Read<void> {
    auto key = read_nested(c);
    if (!key) return key.take_error();
    auto value = read_nested(c);
    if (!value) return value.take_error();
    r.dict_items.push_back(DictEntry{std::move(*key), std::move(*value)});
    return {};
  });
  if (!dict_done) return dict_done.take_error();
  return fill_slot(c, *slot, MarshalValue(std::move(r)));
}

Read<void> verify_crc(const CrcRecord& crc, std::span<const std::uint8_t> input, std::size_t end) {
  if (crc.start > end) return invalid("crc range invalid");
  if (detail::adler32(input.subspan(crc.start, end - crc.start)) != crc.stored) {
    return unexpected(MarshalError::checksum_mismatch());
  }
  return {};
}

Read<MarshalValue> read_crc_check(Cursor& c) {
  auto stored = read_fixed<std::uint32_t>(c);
  if (!stored) return stored.take_error();
  c.crc = CrcRecord{true, *stored, c.offset};
  switch (c.mode) {
    case Mode::Mapped: {
      // The whole input is at hand, the map included, so there is no reason to wait.
      auto verified = verify_crc(c.crc, c.input, c.input.size());
      if (!verified) return verified.take_error();
      break;
    }
    case Mode::Sequential:
      break;  // checked once the root is complete and its end is known
  }
  return read_nested(c);
}

Read<MarshalValue> refuse_unsupported(const char* feature) {
  return unexpected(MarshalError::unsupported_feature(feature));
}

Read<MarshalValue> refuse_unknown(unsigned tag, const char* name) {
  return invalid("unknown type tag " + std::to_string(tag) + " (" + name + ")");
}

Read<MarshalValue> read_value(Cursor& c) {
  if (c.remaining() == 0) return end_of_stream();
  const std::uint8_t byte = c.input[c.offset++];
  const bool shared = (byte & SHARED_FLAG) != 0;
  const auto tag = static_cast<Tag>(byte & TAG_MASK);
  switch (tag) {
    case Tag::NONE:
      return MarshalValue(None{});
    case Tag::GLOBAL:
      return read_global(c, shared);
    case Tag::INT64:
      return read_int<std::int64_t>(c);
    case Tag::INT32:
      return read_int<std::int32_t>(c);
    case Tag::INT16:
      return read_int<std::int16_t>(c);
    case Tag::INT8:
      return read_int<std::int8_t>(c);
    case Tag::INT_N1:
      return MarshalValue(std::int64_t{-1});
    case Tag::INT_0:
      return MarshalValue(std::int64_t{0});
    case Tag::INT_1:
      return MarshalValue(std::int64_t{1});
    case Tag::FLOAT:
      return read_float(c);
    case Tag::FLOAT_0:
      return MarshalValue(0.0);
    case Tag::COMPLEX:
      return refuse_unsupported("TY_COMPLEX");
    case Tag::STR:
    case Tag::BUFFER:
      return read_str(c, shared);
    case Tag::STR_EMPTY:
      return MarshalValue(Bytes{});
    case Tag::STR_CHAR:
      return read_str_char(c);
    case Tag::STR_SHORT:
      return read_str_short(c);
    case Tag::STR_TABLE:
      return read_str_table(c);
    case Tag::UNICODE:
      return read_unicode(c);
    case Tag::TUPLE:
      return read_sequence<Tuple>(c, shared, "negative tuple length");
    case Tag::LIST:
      return read_sequence<List>(c, shared, "negative list length");
    case Tag::DICT:
      return read_dict(c, shared);
    case Tag::INSTANCE:
      return read_instance(c, shared);
    case Tag::CALLBACK:
      return read_callback(c);
    case Tag::PICKLE:
      return refuse_unsupported("TY_PICKLE");
    case Tag::REFERENCE:
      return read_reference(c);
    case Tag::CRC_CHECK:
      return read_crc_check(c);
    case Tag::TRUE:
      return MarshalValue(true);
    case Tag::FALSE:
      return MarshalValue(false);
    case Tag::PICKLER:
      return refuse_unsupported("TY_PICKLER");
    case Tag::REDUCE:
      return read_reduce(c, shared, false);
    case Tag::NEWOBJ:
      return read_reduce(c, shared, true);
    case Tag::TUPLE0:
      return MarshalValue(Tuple{});
    case Tag::TUPLE1:
      return read_small_sequence<Tuple>(c, shared, 1);
    case Tag::LIST0:
      return MarshalValue(List{});
    case Tag::LIST1:
      return read_small_sequence<List>(c, shared, 1);
    case Tag::UNICODE_0:
      return MarshalValue(Utf8{});
    case Tag::UNICODE_1:
      return read_unicode_1(c);
    case Tag::DBROW:
      return refuse_unsupported("TY_DBROW");
    case Tag::WSTREAM:
      return refuse_unsupported("TY_WSTREAM");
    case Tag::TUPLE2:
      return read_small_sequence<Tuple>(c, shared, 2);
    case Tag::MARK:
      return refuse_unknown(byte & TAG_MASK, "MARK");
    case Tag::UTF8:
      return read_utf8(c);
    case Tag::LONG:
      return read_long(c, shared);
  }
  return refuse_unknown(byte & TAG_MASK, "UNKNOWN");
}

// ---- header ----

// Reads the map count at the cursor and, when there is a map, the map from the end of the input.
Read<void> read_map(Cursor& c) {
  auto count = read_fixed<std::int32_t>(c);
  if (!count) return count.take_error();
  if (*count < 0) return invalid("negative mapcount");
  const auto entries = static_cast<std::size_t>(*count);
  if (entries > c.remaining() / 4) return invalid("truncated shared-object map");
  const std::size_t map_start = c.input.size() - 4 * entries;
  c.map.reserve(entries);
  for (std::size_t i = 0; i < entries; ++i) {
    const auto entry = load_le<std::int32_t>(c.input.data() + map_start + 4 * i);
    if (entry < 1 || entry > *count) return invalid("bogus shared-object map entry");
    c.map.push_back(entry);
  }
  c.end = map_start;
  c.slots.resize(entries);
  return {};
}

Read<void> read_header(Cursor& c) {
  if (c.input.empty()) return end_of_stream();
  switch (c.input[0]) {
    case SIGNATURE_MAPPED:
      c.mode = Mode::Mapped;
      c.offset = 1;
      return read_map(c);
    case SIGNATURE_MODE:
      if (c.input.size() < 2) return end_of_stream();
      c.offset = 2;
      if (c.input[1] != 0) {
        c.mode = Mode::Sequential;
        return {};
      }
      c.mode = Mode::Mapped;
      return read_map(c);
    default:
      return invalid("missing marshal signature");
  }
}

}  // namespace

Result<DecodedStream, MarshalError> read_marshal(std::span<const std::uint8_t> bytes) {
  Cursor c;
  c.input = bytes;
  c.end = bytes.size();
  c.copy_budget = COPY_BUDGET_FLOOR + COPY_BUDGET_PER_INPUT_BYTE * bytes.size();
  auto header = read_header(c);
  if (!header) return header.take_error();

  c.depth = 1;
  auto root = read_value(c);
  if (!root) return root.take_error();
  if (c.crc.seen && c.mode == Mode::Sequential) {
    auto verified = verify_crc(c.crc, c.input, std::min(c.input.size(), c.offset));
    if (!verified) return verified.take_error();
  }
  return DecodedStream{std::move(*root), c.offset, c.crc.seen};
}

}  // namespace marshal
