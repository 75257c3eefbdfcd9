#include "stream_encoder.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "adler32.hpp"
#include "value_walk.hpp"

namespace marshal::detail {
namespace {

// How far the room runs ahead of the output: a plain vector clears it as it is made, and that
// much is still in the cache when the bytes are stored.
constexpr std::size_t ROOM_STEP = 4096;

using Limb = boost::multiprecision::limb_type;

// Two's-complement negation in place: low zero bytes stay, the first non-zero byte b becomes
// 256 - b, every byte above it is inverted.
void negate(std::span<std::uint8_t> bytes) {
  std::size_t i = 0;
  while (i < bytes.size() && bytes[i] == 0) ++i;
  if (i == bytes.size()) return;
  bytes[i] = static_cast<std::uint8_t>(0x100 - bytes[i]);
  for (++i; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(~bytes[i]);
}

// Most strings of a settings file are short, and a call to copy them costs more than the copy:
// up to 16 bytes go as two fixed-size copies that overlap in the middle, reading no byte outside
// the string.
void copy_bytes(std::uint8_t* out, std::string_view data) {
  const auto* in = reinterpret_cast<const std::uint8_t*>(data.data());
  const std::size_t n = data.size();
  if (n >= 8 && n <= 16) {
    std::memcpy(out, in, 8);
    std::memcpy(out + n - 8, in + n - 8, 8);
  } else if (n >= 4 && n < 8) {
    std::memcpy(out, in, 4);
    std::memcpy(out + n - 4, in + n - 4, 4);
  } else if (n != 0) {  // an empty view may have no data at all
    std::memcpy(out, in, n);
  }
}

}  // namespace

StreamEncoder::StreamEncoder(const EncodeOptions& options, ByteOutput& out)
    : out_(out), write_crc_(options.write_crc) {
  if (options.mode_byte != 0) {
    put(SIGNATURE_MODE);
    put(options.mode_byte);
  } else {
    put_tagged(SIGNATURE_MAPPED, std::uint32_t{0});  // map count 0: no map follows
  }
  if (write_crc_) {
    put_tagged(tag_byte(Tag::CRC_CHECK), std::uint32_t{0});
    checksum_at_ = used_ - 4;
    depth_ = ROOT_LEVEL;  // the reader counts the CRC_CHECK tag as the level above the root
  }
}

void StreamEncoder::make_room(std::size_t n) {
  size_ = used_ + std::max(n, ROOM_STEP);
  data_ = out_.resize(size_);
}

Result<void, MarshalError> StreamEncoder::finish() && {
  if (error_) {
    out_.resize(0);
    return unexpected(std::move(*error_));
  }
  data_ = out_.resize(used_);
  if (write_crc_) {
    const std::uint32_t sum =
        adler32(std::span<const std::uint8_t>(data_ + checksum_at_ + 4, used_ - checksum_at_ - 4));
    store_le(data_ + checksum_at_, sum);
  }
  return {};
}

void StreamEncoder::fail(MarshalError error) {
  if (!error_) error_ = std::move(error);
}

bool StreamEncoder::enter(std::uint8_t tag) {
  depth_ += MEMBER_LEVELS;
  if (depth_ > MAX_DEPTH) {
    fail(MarshalError::recursion_limit());
    return false;
  }
  put(tag);
  return true;
}

std::size_t StreamEncoder::field_length(std::uint64_t n) {
  const std::size_t length = size_field_length(n);
  if (length == 0) fail(MarshalError::invalid_stream("value too large for a size field"));
  return length;
}

void StreamEncoder::size(std::uint64_t n) {
  const std::size_t length = field_length(n);
  if (length == 0) return;
  write_size_field(room(length), n);
  used_ += length;
}

void StreamEncoder::counted(std::uint8_t tag, std::string_view data) {
  const std::size_t length = field_length(data.size());
  if (length == 0) return;
  std::uint8_t* p = room(1 + length + data.size());
  p[0] = tag;
  write_size_field(p + 1, data.size());
  copy_bytes(p + 1 + length, data);
  used_ += 1 + length + data.size();
}

// The shortest little-endian two's-complement form, built straight from the limbs.
StreamEncoder::Node StreamEncoder::big(const BigInt& l) {
  if (!fits_one_level()) return {};
  put(tag_byte(Tag::LONG));
  if (l.is_zero()) {
    put(0);
    return {};
  }
  const bool negative = l.sign() < 0;
  const auto& backend = l.backend();
  const std::size_t limb_count = backend.size();
  const Limb* limbs = backend.limbs();
  constexpr std::size_t LIMB_BYTES = sizeof(Limb);
  const Limb top = limbs[limb_count - 1];
  const std::size_t top_bytes = (static_cast<std::size_t>(std::bit_width(top)) + 7) / 8;
  const std::size_t magnitude_bytes = (limb_count - 1) * LIMB_BYTES + top_bytes;
  const auto top_byte = static_cast<std::uint8_t>(top >> (8 * (top_bytes - 1)));

  // A set top bit needs a sign byte above it, except for -2^(8k-1), whose negation has that
  // bit as its own sign.
  bool sign_byte = (top_byte & 0x80) != 0;
  if (sign_byte && negative && top_byte == 0x80) {
    bool lower_zero = top == (Limb{0x80} << (8 * (top_bytes - 1)));
    for (std::size_t i = 0; lower_zero && i + 1 < limb_count; ++i) lower_zero = limbs[i] == 0;
    sign_byte = !lower_zero;
  }
  const std::size_t length = magnitude_bytes + (sign_byte ? 1 : 0);
  size(length);
  if (failed()) return {};

  std::uint8_t* p = room(length);
  for (std::size_t i = 0; i < magnitude_bytes; ++i) {
    p[i] = static_cast<std::uint8_t>(limbs[i / LIMB_BYTES] >> (8 * (i % LIMB_BYTES)));
  }
  if (sign_byte) p[magnitude_bytes] = 0;
  if (negative) negate(std::span(p, length));
  used_ += length;
  return {};
}

void StreamEncoder::bytes_payload(std::string_view data) {
  if (data.empty()) {
    put(tag_byte(Tag::STR_EMPTY));
  } else if (data.size() == 1) {
    put(tag_byte(Tag::STR_CHAR));
    put(static_cast<std::uint8_t>(data[0]));
  } else {
    counted(tag_byte(Tag::BUFFER), data);
  }
}

StreamEncoder::Node StreamEncoder::bytes(std::string_view data) {
  if (fits_one_level()) bytes_payload(data);
  return {};
}

StreamEncoder::Node StreamEncoder::utf8(std::string_view text) {
  if (!fits_one_level()) return {};
  if (text.empty()) {
    put(tag_byte(Tag::UNICODE_0));
  } else {
    counted(tag_byte(Tag::UTF8), text);
  }
  return {};
}

StreamEncoder::Node StreamEncoder::global(std::string_view name) {
  if (fits_one_level()) counted(tag_byte(Tag::GLOBAL), name);
  return {};
}

void StreamEncoder::tuple_header(std::size_t n) {
  switch (n) {
    case 0:
      put(tag_byte(Tag::TUPLE0));
      return;
    case 1:
      put(tag_byte(Tag::TUPLE1));
      return;
    case 2:
      put(tag_byte(Tag::TUPLE2));
      return;
    default:
      put(tag_byte(Tag::TUPLE));
      size(n);
      return;
  }
}

StreamEncoder::Sequence StreamEncoder::begin_tuple(std::size_t n) {
  depth_ += MEMBER_LEVELS;
  if (depth_ > MAX_DEPTH) {
    fail(MarshalError::recursion_limit());
  } else {
    tuple_header(n);
  }
  return {};
}

StreamEncoder::Sequence StreamEncoder::begin_list(std::size_t n) {
  const Tag tag = n == 0 ? Tag::LIST0 : n == 1 ? Tag::LIST1 : Tag::LIST;
  if (enter(tag_byte(tag)) && tag == Tag::LIST) size(n);
  return {};
}

StreamEncoder::DictFrame StreamEncoder::begin_dict(std::size_t n) {
  if (enter(tag_byte(Tag::DICT))) size(n);
  return {};
}

StreamEncoder::InstanceFrame StreamEncoder::begin_instance(std::string_view class_name) {
  if (!enter(tag_byte(Tag::INSTANCE))) return {};
  // Not a level of the tree, but the reader reads the name as a nested value.
  if (fits_one_level()) bytes_payload(class_name);
  return {};
}

StreamEncoder::CallbackFrame StreamEncoder::begin_callback() {
  enter(tag_byte(Tag::CALLBACK));
  return {};
}

// The payload tuple is written in place from the fields, one level further down; a NEWOBJ
// record has no callable in the stream.
StreamEncoder::ReduceFrame StreamEncoder::begin_reduce(bool newobj, std::size_t fields) {
  const bool entered = enter(tag_byte(newobj ? Tag::NEWOBJ : Tag::REDUCE));
  depth_ += REDUCE_FIELD_LEVELS - MEMBER_LEVELS;
  if (entered && depth_ > MAX_DEPTH) fail(MarshalError::recursion_limit());
  if (entered) tuple_header(fields);
  return {};
}

StreamEncoder::Node StreamEncoder::adopt(MarshalValue&& value) { return walk_value(value, *this); }

}  // namespace marshal::detail
