// The marshal stream format as the reader and the writer both see it: the type tags, the header
// signatures, the byte order of numbers, the size field in both directions, and how many nesting
// levels each construct adds.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <type_traits>

#include "marshal/reader.hpp"

namespace marshal::detail {

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

constexpr std::uint8_t tag_byte(Tag tag) { return static_cast<std::uint8_t>(tag); }

// ---- numbers ----
// INT8, INT16, INT32 and INT64 hold a signed integer of 1, 2, 4 or 8 bytes, FLOAT the 8 bytes of
// a double; INT_N1, INT_0 and INT_1 are whole values in themselves.

// The bytes that follow the tag of a fixed-width number; 0 for every other tag. INT64 to INT8
// stand in a row, each half as wide as the one before, so an integer's width is a shift of its
// tag, with no table to load on the reader's number path (docs/DESIGN.md).
constexpr std::size_t fixed_number_width(Tag tag) {
  if (tag == Tag::FLOAT) return 8;
  const unsigned rank = static_cast<unsigned>(tag) - static_cast<unsigned>(Tag::INT64);
  return rank > 3 ? 0 : std::size_t{8} >> rank;
}
static_assert(fixed_number_width(Tag::INT64) == 8 && fixed_number_width(Tag::INT32) == 4 &&
              fixed_number_width(Tag::INT16) == 2 && fixed_number_width(Tag::INT8) == 1);

// The integer tag that holds `i` in the fewest bytes, worked out from its bit width rather than
// by trying each range in turn (docs/DESIGN.md, "Speed devices").
constexpr Tag narrowest_int_tag(std::int64_t i) {
  static_assert(tag_byte(Tag::INT_N1) + 1 == tag_byte(Tag::INT_0) &&
                tag_byte(Tag::INT_0) + 1 == tag_byte(Tag::INT_1));
  static_assert(tag_byte(Tag::INT8) - 1 == tag_byte(Tag::INT16) &&
                tag_byte(Tag::INT16) - 1 == tag_byte(Tag::INT32) &&
                tag_byte(Tag::INT32) - 1 == tag_byte(Tag::INT64));
  if (i >= -1 && i <= 1) return static_cast<Tag>(tag_byte(Tag::INT_0) + i);
  // The bits of the magnitude, and one for the sign.
  const int bits = std::bit_width(static_cast<std::uint64_t>(i ^ (i >> 63))) + 1;
  const int wider = (bits > 8) + (bits > 16) + (bits > 32);
  return static_cast<Tag>(tag_byte(Tag::INT8) - wider);
}

inline constexpr std::uint8_t TAG_MASK = 0x3F;
inline constexpr std::uint8_t SHARED_FLAG = 0x40;
// MARK ends the item lists of REDUCE and NEWOBJ; elsewhere it is no value.
inline constexpr std::uint8_t ITEMS_END = tag_byte(Tag::MARK);

// 7E and a map count; or 7D and a mode byte, where mode 0 is followed by a map count too.
inline constexpr std::uint8_t SIGNATURE_MAPPED = 0x7E;
inline constexpr std::uint8_t SIGNATURE_MODE = 0x7D;

// ---- nesting levels ----
// Every value read inside another is one level below it, and the root is level 1. A CRC_CHECK
// puts the value after it one level down; an INSTANCE reads its class name one level down; a
// REDUCE or NEWOBJ holds its fields in a payload tuple, so they sit two levels down, while its
// item lists sit one level down.
inline constexpr std::uint32_t ROOT_LEVEL = 1;
inline constexpr std::uint32_t MEMBER_LEVELS = 1;
inline constexpr std::uint32_t REDUCE_FIELD_LEVELS = 2;

// Whether a value one level below `depth` is within the limit.
constexpr bool member_fits(std::uint32_t depth) { return depth + MEMBER_LEVELS <= MAX_DEPTH; }

// One nesting level entered: raised on construction, lowered on every way out.
class NestingLevel {
 public:
  explicit NestingLevel(std::uint32_t& depth) : depth_(depth) { ++depth_; }
  NestingLevel(const NestingLevel&) = delete;
  NestingLevel& operator=(const NestingLevel&) = delete;
  ~NestingLevel() { --depth_; }

  bool too_deep() const { return depth_ > MAX_DEPTH; }

 private:
  std::uint32_t& depth_;
};

// ---- byte order ----
// Numbers are stored little-endian. Where that is the machine's order too, a number is one load
// or one store: the compiler does not always see through the byte loops.

template <class T>
T load_le(const std::uint8_t* p) {
  using U = std::make_unsigned_t<T>;
  U v = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, p, sizeof v);
  } else {
    for (std::size_t i = 0; i < sizeof v; ++i) v |= static_cast<U>(static_cast<U>(p[i]) << (8 * i));
  }
  return static_cast<T>(v);
}

template <class T>
void store_le(std::uint8_t* p, T value) {
  const auto v = static_cast<std::make_unsigned_t<T>>(value);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, sizeof v);
  } else {
    for (std::size_t i = 0; i < sizeof v; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

// ---- the size field ----
// One byte for 0..254, otherwise 0xFF and a signed 32-bit little-endian value.
inline constexpr std::uint8_t SIZE_FIELD_ESCAPE = 0xFF;
// The 4-byte form is signed and readers refuse negative sizes, so this is the largest size a
// stream can carry.
inline constexpr std::uint64_t MAX_SIZE_FIELD = 0x7FFF'FFFF;

// Bytes the field for `size` takes: 1 or 5, or 0 when no field can carry it. Such a size must be
// refused rather than written truncated, which would silently corrupt everything after it.
constexpr std::size_t size_field_length(std::uint64_t size) {
  return size < SIZE_FIELD_ESCAPE ? 1 : size <= MAX_SIZE_FIELD ? 5 : 0;
}

// Writes the field for a size that has one, size_field_length(size) bytes, at `out`.
inline void write_size_field(std::uint8_t* out, std::uint64_t size) {
  if (size < SIZE_FIELD_ESCAPE) {
    out[0] = static_cast<std::uint8_t>(size);
    return;
  }
  out[0] = SIZE_FIELD_ESCAPE;
  store_le(out + 1, static_cast<std::uint32_t>(size));
}

// A size field read from the front of `bytes`: its value (the 4-byte form may be negative) and
// the bytes it took; nullopt when `bytes` ends inside it.
struct SizeField {
  std::int32_t value = 0;
  std::size_t length = 0;
};

inline std::optional<SizeField> read_size_field(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return std::nullopt;
  if (bytes[0] != SIZE_FIELD_ESCAPE) return SizeField{bytes[0], 1};
  if (bytes.size() < 5) return std::nullopt;
  return SizeField{load_le<std::int32_t>(bytes.data() + 1), 5};
}

}  // namespace marshal::detail
