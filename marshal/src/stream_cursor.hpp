// The reader's position in a stream and the primitives that read at it. Every read asks the
// cursor whether the bytes are there first, and the body never reads into the shared-object map.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "marshal/error.hpp"
#include "marshal/value.hpp"
#include "stream_format.hpp"

namespace marshal::detail {

template <class T>
using Read = Result<T, MarshalError>;

enum class Mode : std::uint8_t { Mapped, Sequential };

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
  std::uint32_t depth = 0;
  CrcRecord crc;

  explicit Cursor(std::span<const std::uint8_t> bytes) : input(bytes), end(bytes.size()) {}
  std::size_t remaining() const { return end - offset; }
};

inline Unexpected<MarshalError> invalid(std::string detail) {
  return unexpected(MarshalError::invalid_stream(std::move(detail)));
}

inline Unexpected<MarshalError> end_of_stream() {
  return unexpected(MarshalError::unexpected_end());
}

template <class T>
Read<T> read_fixed(Cursor& c) {
  if (c.remaining() < sizeof(T)) return end_of_stream();
  const T v = load_le<T>(c.input.data() + c.offset);
  c.offset += sizeof(T);
  return v;
}

inline Read<std::string_view> read_bytes(Cursor& c, std::uint64_t n) {
  if (n > c.remaining()) return end_of_stream();
  const auto* p = reinterpret_cast<const char*>(c.input.data() + c.offset);
  c.offset += static_cast<std::size_t>(n);
  return std::string_view(p, static_cast<std::size_t>(n));
}

// STR_SHORT's payload: one length byte, then as many bytes.
inline Read<std::string_view> read_short_bytes(Cursor& c) {
  auto n = read_fixed<std::uint8_t>(c);
  if (!n) return n.take_error();
  return read_bytes(c, *n);
}

// The direct paths of the reader (docs/DESIGN.md) read here past its general dispatch, and
// read nothing where that dispatch has to decide.

// A dictionary key that is an unshared STR_SHORT: its bytes; nothing for any other form, or for
// one cut off by the end of the input.
inline std::optional<std::string_view> read_short_bytes_key(Cursor& c) {
  if (c.remaining() == 0 || c.input[c.offset] != tag_byte(Tag::STR_SHORT)) return std::nullopt;
  const std::size_t tag_at = c.offset++;
  auto bytes = read_short_bytes(c);
  if (!bytes) {
    c.offset = tag_at;
    return std::nullopt;
  }
  return *bytes;
}

inline Read<std::int32_t> read_size(Cursor& c) {
  const auto field = read_size_field(c.input.subspan(c.offset, c.remaining()));
  if (!field) return end_of_stream();
  c.offset += field->length;
  return field->value;
}

// A size field whose negative values are refused with `negative_detail`.
inline Read<std::uint64_t> read_count(Cursor& c, const char* negative_detail) {
  auto n = read_size(c);
  if (!n) return n.take_error();
  if (*n < 0) return invalid(negative_detail);
  return static_cast<std::uint64_t>(*n);
}

// The room a builder makes up front for `claimed` members. A count is only a claim until the
// members are read, and containers nested in one another may each claim nearly the whole input:
// past the members real settings hold, the room grows as they come.
inline std::size_t room_for(std::uint64_t claimed) {
  constexpr std::uint64_t ROOM_FOR_CLAIMED_MEMBERS = 256;
  return static_cast<std::size_t>(std::min(claimed, ROOM_FOR_CLAIMED_MEMBERS));
}

inline Read<std::string_view> read_sized_bytes(Cursor& c, const char* negative_detail) {
  auto n = read_count(c, negative_detail);
  if (!n) return n.take_error();
  return read_bytes(c, *n);
}

// The header, and in mapped mode the shared-object map from the end of the input; gives the
// map's entries (none in sequential mode).
Read<std::vector<std::int32_t>> read_header(Cursor& c);

// The payloads that are checked or converted as they are read. Texts read from UTF-16 are
// written as UTF-8 into `out`, which the view then shows.
Read<BigInt> read_long(Cursor& c);  // LONG: little-endian two's complement
Read<std::string_view> read_utf8(Cursor& c, const char* negative_detail, const char* bad_detail);
Read<std::string_view> read_utf16(Cursor& c, std::string& out);       // UNICODE: strict UTF-16LE
Read<std::string_view> read_utf16_unit(Cursor& c, std::string& out);  // UNICODE_1
// Whether the next byte ends a REDUCE's item list, which it then consumes.
Read<bool> read_items_end(Cursor& c);

// The stored checksum against the bytes from its record's start up to `end`.
Read<void> verify_crc(const CrcRecord& crc, std::span<const std::uint8_t> input, std::size_t end);

// The rows of STR_TABLE, and the refusals of the tags that give no value.
Read<std::string_view> read_str_table(Cursor& c);
Unexpected<MarshalError> refuse_unsupported(const char* feature);
Unexpected<MarshalError> refuse_unknown(unsigned tag, const char* name);

}  // namespace marshal::detail
