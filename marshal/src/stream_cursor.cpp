#include "stream_cursor.hpp"

#include "adler32.hpp"
#include "marshal/utf8.hpp"
#include "string_table.hpp"

namespace marshal::detail {
namespace {

// Reads the map count at the cursor and, when there is a map, the map from the end of the input.
Read<std::vector<std::int32_t>> read_map(Cursor& c) {
  auto count = read_fixed<std::int32_t>(c);
  if (!count) return count.take_error();
  if (*count < 0) return invalid("negative mapcount");
  const auto entries = static_cast<std::size_t>(*count);
  if (entries > c.remaining() / 4) return invalid("truncated shared-object map");
  const std::size_t map_start = c.input.size() - 4 * entries;
  std::vector<std::int32_t> map;
  map.reserve(entries);
  for (std::size_t i = 0; i < entries; ++i) {
    const auto entry = load_le<std::int32_t>(c.input.data() + map_start + 4 * i);
    if (entry < 1 || entry > *count) return invalid("bogus shared-object map entry");
    map.push_back(entry);
  }
  c.end = map_start;
  return map;
}

}  // namespace

Read<std::vector<std::int32_t>> read_header(Cursor& c) {
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
        return std::vector<std::int32_t>();
      }
      c.mode = Mode::Mapped;
      return read_map(c);
    default:
      return invalid("missing marshal signature");
  }
}

Read<BigInt> read_long(Cursor& c) {
  auto bytes = read_sized_bytes(c, "negative buffer length");
  if (!bytes) return bytes.take_error();
  BigInt value;
  if (!bytes->empty()) {
    import_bits(value, bytes->begin(), bytes->end(), 8, false);
    // Two's complement: a set top bit means the bytes stand for value - 2^(8n).
    if (static_cast<std::uint8_t>(bytes->back()) & 0x80) value -= BigInt(1) << (8 * bytes->size());
  }
  return value;
}

Read<std::string_view> read_utf8(Cursor& c, const char* negative_detail, const char* bad_detail) {
  auto bytes = read_sized_bytes(c, negative_detail);
  if (!bytes) return bytes.take_error();
  if (!is_valid_utf8(*bytes)) return invalid(bad_detail);
  return *bytes;
}

Read<std::string_view> read_utf16(Cursor& c, std::string& out) {
  auto n = read_count(c, "negative unicode length");
  if (!n) return n.take_error();
  auto bytes = read_bytes(c, *n * 2);
  if (!bytes) return bytes.take_error();
  const auto unit = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>((*bytes)[i]) |
                                      (static_cast<std::uint8_t>((*bytes)[i + 1]) << 8));
  };
  // A unit takes at most three bytes in UTF-8, a pair of them four: the text is written into
  // room for the most it can take, then cut to what it took.
  out.resize(bytes->size() / 2 * 3);
  std::size_t used = 0;
  for (std::size_t i = 0; i < bytes->size(); i += 2) {
    std::uint32_t cp = unit(i);
    if (cp < 0x80) {
      out[used++] = static_cast<char>(cp);
      continue;
    }
    if (is_high_surrogate(cp)) {
      if (i + 2 >= bytes->size() || !is_low_surrogate(unit(i + 2))) {
        return invalid("bad utf-16 data");
      }
      cp = surrogate_pair_code_point(cp, unit(i + 2));
      i += 2;
    } else if (is_low_surrogate(cp)) {
      return invalid("bad utf-16 data");
    }
    used += write_utf8(out.data() + used, cp);
  }
  out.resize(used);
  return std::string_view(out);
}

Read<std::string_view> read_utf16_unit(Cursor& c, std::string& out) {
  auto unit = read_fixed<std::uint16_t>(c);
  if (!unit) return unit.take_error();
  if (is_high_surrogate(*unit) || is_low_surrogate(*unit)) return invalid("bad utf-16 code unit");
  char text[MAX_UTF8_LENGTH];
  out.assign(text, write_utf8(text, *unit));
  return std::string_view(out);
}

Read<bool> read_items_end(Cursor& c) {
  if (c.remaining() == 0) return end_of_stream();
  if ((c.input[c.offset] & TAG_MASK) != ITEMS_END) return false;
  ++c.offset;
  return true;
}

Read<void> verify_crc(const CrcRecord& crc, std::span<const std::uint8_t> input, std::size_t end) {
  if (crc.start > end) return invalid("crc range invalid");
  if (adler32(input.subspan(crc.start, end - crc.start)) != crc.stored) {
    return unexpected(MarshalError::checksum_mismatch());
  }
  return {};
}

Read<std::string_view> read_str_table(Cursor& c) {
  auto index = read_fixed<std::uint8_t>(c);
  if (!index) return index.take_error();
  if (*index == 0 || *index > STRING_TABLE_SIZE) {
    return invalid("invalid string table index " + std::to_string(*index));
  }
  const auto row = string_table_row(*index);
  // This build may not know every row of the client's vocabulary; such a row cannot be decoded.
  if (!row) return unexpected(MarshalError::unsupported_feature("TY_STR_TABLE"));
  return *row;
}

Unexpected<MarshalError> refuse_unsupported(const char* feature) {
  return unexpected(MarshalError::unsupported_feature(feature));
}

Unexpected<MarshalError> refuse_unknown(unsigned tag, const char* name) {
  return invalid("unknown type tag " + std::to_string(tag) + " (" + name + ")");
}

}  // namespace marshal::detail
