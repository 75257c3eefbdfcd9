// The reader's position in a stream and the primitives that read at it. Every read asks the
// cursor whether the bytes are there first, and the body never reads into the shared-object map.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "marshal/error.hpp"
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
  std::vector<std::int32_t> map;
  std::size_t map_used = 0;
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

inline Read<std::string_view> read_sized_bytes(Cursor& c, const char* negative_detail) {
  auto n = read_count(c, negative_detail);
  if (!n) return n.take_error();
  return read_bytes(c, *n);
}

// The header, and in mapped mode the map from the end of the input; gives the number of slots
// the map asks for (0 in sequential mode, where slots are made as they are claimed).
Read<std::size_t> read_header(Cursor& c);

// The index of the slot a flagged value claims, given the slots that exist so far.
Read<std::size_t> claim_slot_index(Cursor& c, std::size_t slot_count);

// Strict UTF-16LE: a surrogate is accepted only as the first or second half of a pair.
Read<std::string> decode_utf16(std::string_view bytes);
bool is_surrogate(std::uint32_t unit);

// The stored checksum against the bytes from its record's start up to `end`.
Read<void> verify_crc(const CrcRecord& crc, std::span<const std::uint8_t> input, std::size_t end);

// The rows of STR_TABLE, and the refusals of the tags that give no value.
Read<std::string_view> read_str_table(Cursor& c);
Unexpected<MarshalError> refuse_unsupported(const char* feature);
Unexpected<MarshalError> refuse_unknown(unsigned tag, const char* name);

}  // namespace marshal::detail
