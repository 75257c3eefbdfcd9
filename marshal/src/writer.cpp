// One pass over the tree, appending to one growing vector. Every value gets the most compact tag
// the format has for it, so the output is fully determined by the tree and the options.
#include "marshal/writer.hpp"

#include <bit>
#include <cstddef>
#include <span>
#include <string_view>

#include "adler32.hpp"
#include "marshal/reader.hpp"
#include "size_field.hpp"

namespace marshal {
namespace {

constexpr std::uint8_t TAG_NONE = 0x01;
constexpr std::uint8_t TAG_GLOBAL = 0x02;
constexpr std::uint8_t TAG_INT64 = 0x03;
constexpr std::uint8_t TAG_INT32 = 0x04;
constexpr std::uint8_t TAG_INT16 = 0x05;
constexpr std::uint8_t TAG_INT8 = 0x06;
constexpr std::uint8_t TAG_INT_N1 = 0x07;
constexpr std::uint8_t TAG_INT_0 = 0x08;
constexpr std::uint8_t TAG_INT_1 = 0x09;
constexpr std::uint8_t TAG_FLOAT = 0x0A;
constexpr std::uint8_t TAG_FLOAT_0 = 0x0B;
constexpr std::uint8_t TAG_STR_EMPTY = 0x0E;
constexpr std::uint8_t TAG_STR_CHAR = 0x0F;
constexpr std::uint8_t TAG_BUFFER = 0x13;
constexpr std::uint8_t TAG_TUPLE = 0x14;
constexpr std::uint8_t TAG_LIST = 0x15;
constexpr std::uint8_t TAG_DICT = 0x16;
constexpr std::uint8_t TAG_INSTANCE = 0x17;
constexpr std::uint8_t TAG_CALLBACK = 0x19;
constexpr std::uint8_t TAG_CRC_CHECK = 0x1C;
constexpr std::uint8_t TAG_TRUE = 0x1F;
constexpr std::uint8_t TAG_FALSE = 0x20;
constexpr std::uint8_t TAG_REDUCE = 0x22;
constexpr std::uint8_t TAG_NEWOBJ = 0x23;
constexpr std::uint8_t TAG_TUPLE0 = 0x24;
constexpr std::uint8_t TAG_TUPLE1 = 0x25;
constexpr std::uint8_t TAG_LIST0 = 0x26;
constexpr std::uint8_t TAG_LIST1 = 0x27;
constexpr std::uint8_t TAG_UNICODE_0 = 0x28;
constexpr std::uint8_t TAG_TUPLE2 = 0x2C;
constexpr std::uint8_t TAG_MARK = 0x2D;
constexpr std::uint8_t TAG_UTF8 = 0x2E;
constexpr std::uint8_t TAG_LONG = 0x2F;

constexpr std::uint8_t SIGNATURE_MAPPED = 0x7E;
constexpr std::uint8_t SIGNATURE_SEQUENTIAL = 0x7D;

// Most settings files are a few tens of kilobytes; larger ones grow geometrically from here.
constexpr std::size_t INITIAL_CAPACITY = 64 * 1024;

using Status = Result<void, MarshalError>;
using Limb = boost::multiprecision::limb_type;

Status too_deep() { return unexpected(MarshalError::recursion_limit()); }

// One nesting level as the reader will count it when it reads the output back: raised on entry,
// lowered on every way out.
class Level {
 public:
  explicit Level(std::uint32_t& depth) : depth_(depth) { ++depth_; }
  ~Level() { --depth_; }
  Level(const Level&) = delete;
  Level& operator=(const Level&) = delete;

  bool too_deep() const { return depth_ > MAX_DEPTH; }

 private:
  std::uint32_t& depth_;
};

class StreamEncoder {
 public:
  // `depth` is the level the first value's parent sits at: 1 under a CRC_CHECK, else 0.
  StreamEncoder(std::vector<std::uint8_t>& out, std::uint32_t depth) : out_(out), depth_(depth) {}

  Status value(const MarshalValue& v) {
    const Level level(depth_);
    if (level.too_deep()) return too_deep();
    return payload(v);
  }

 private:
  Status payload(const MarshalValue& v) {
    using Kind = MarshalValue::Kind;
    switch (v.kind()) {
      case Kind::None:
        put(TAG_NONE);
        return {};
      case Kind::Bool:
        put(*v.get_if<bool>() ? TAG_TRUE : TAG_FALSE);
        return {};
      case Kind::Int:
        int_value(*v.get_if<std::int64_t>());
        return {};
      case Kind::Long:
        return long_value(*v.get_if<BigInt>());
      case Kind::Float:
        float_value(*v.get_if<double>());
        return {};
      case Kind::Bytes:
        return bytes_value(v.get_if<Bytes>()->data);
      case Kind::Utf8:
        return utf8_value(v.get_if<Utf8>()->text);
      case Kind::Tuple:
        return tuple_value(v.get_if<Tuple>()->items);
      case Kind::List:
        return list_value(v.get_if<List>()->items);
      case Kind::Dict:
        return dict_value(v.get_if<Dict>()->entries);
      case Kind::Global:
        return counted(TAG_GLOBAL, v.get_if<Global>()->name);
      case Kind::Instance:
        return instance_value(*v.get_if<Instance>());
      case Kind::Reduce:
        return reduce_value(*v.get_if<Reduce>());
      case Kind::Callback:
        put(TAG_CALLBACK);
        return value(v.get_if<Callback>()->value);
    }
    return {};  // unreachable: every kind is handled above
  }

  // push_back rather than writes into a pre-sized vector: growth then never touches (and so
  // never commits memory for) the spare capacity.
  void put(std::uint8_t byte) { out_.push_back(byte); }

  template <class U>
  void put_le(U bits) {
    std::uint8_t buf[sizeof(U)];
    for (std::size_t i = 0; i < sizeof(U); ++i) buf[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    out_.insert(out_.end(), buf, buf + sizeof(U));
  }

  Status size(std::uint64_t n) {
    const std::size_t length = detail::size_field_length(n);
    if (length == 0) {
      return unexpected(MarshalError::invalid_stream("value too large for a size field"));
    }
    std::uint8_t field[5];
    detail::write_size_field(field, n);
    if (length == 1) {
      put(field[0]);
    } else {
      out_.insert(out_.end(), field, field + length);
    }
    return {};
  }

  // A tag, a size field, then the bytes.
  Status counted(std::uint8_t tag, std::string_view data) {
    put(tag);
    if (auto sized = size(data.size()); !sized) return sized;
    out_.insert(out_.end(), data.begin(), data.end());
    return {};
  }

  void int_value(std::int64_t i) {
    if (i == -1) {
      put(TAG_INT_N1);
    } else if (i == 0) {
      put(TAG_INT_0);
    } else if (i == 1) {
      put(TAG_INT_1);
    } else if (i >= INT8_MIN && i <= INT8_MAX) {
      put(TAG_INT8);
      put_le(static_cast<std::uint8_t>(i));
    } else if (i >= INT16_MIN && i <= INT16_MAX) {
      put(TAG_INT16);
      put_le(static_cast<std::uint16_t>(i));
    } else if (i >= INT32_MIN && i <= INT32_MAX) {
      put(TAG_INT32);
      put_le(static_cast<std::uint32_t>(i));
    } else {
      put(TAG_INT64);
      put_le(static_cast<std::uint64_t>(i));
    }
  }

  // The shortest little-endian two's-complement form, built straight from the limbs.
  Status long_value(const BigInt& l) {
    put(TAG_LONG);
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
    if (auto sized = size(magnitude_bytes + (sign_byte ? 1 : 0)); !sized) return sized;

    const std::size_t start = out_.size();
    for (std::size_t i = 0; i + 1 < limb_count; ++i) put_le(limbs[i]);
    for (std::size_t i = 0; i < top_bytes; ++i) put(static_cast<std::uint8_t>(top >> (8 * i)));
    if (sign_byte) put(0);
    if (negative) negate(std::span(out_).subspan(start));
    return {};
  }

  // Two's-complement negation in place: low zero bytes stay, the first non-zero byte b becomes
  // 256 - b, every byte above it is inverted.
  static void negate(std::span<std::uint8_t> bytes) {
    std::size_t i = 0;
    while (i < bytes.size() && bytes[i] == 0) ++i;
    if (i == bytes.size()) return;
    bytes[i] = static_cast<std::uint8_t>(0x100 - bytes[i]);
    for (++i; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(~bytes[i]);
  }

  void float_value(double d) {
    if (d == 0.0) {  // -0.0 too, which so reads back as +0.0: FLOAT_0 is the one zero written
      put(TAG_FLOAT_0);
      return;
    }
    put(TAG_FLOAT);
    put_le(std::bit_cast<std::uint64_t>(d));
  }

  Status bytes_value(std::string_view data) {
    if (data.empty()) {
      put(TAG_STR_EMPTY);
      return {};
    }
    if (data.size() == 1) {
      put(TAG_STR_CHAR);
      put(static_cast<std::uint8_t>(data[0]));
      return {};
    }
    return counted(TAG_BUFFER, data);
  }

  Status utf8_value(std::string_view text) {
    if (text.empty()) {
      put(TAG_UNICODE_0);
      return {};
    }
    return counted(TAG_UTF8, text);
  }

  Status tuple_header(std::size_t n) {
    switch (n) {
      case 0:
        put(TAG_TUPLE0);
        return {};
      case 1:
        put(TAG_TUPLE1);
        return {};
      case 2:
        put(TAG_TUPLE2);
        return {};
      default:
        put(TAG_TUPLE);
        return size(n);
    }
  }

  Status members(std::span<const MarshalValue> items) {
    for (const MarshalValue& item : items) {
      if (auto written = value(item); !written) return written;
    }
    return {};
  }

  Status tuple_value(std::span<const MarshalValue> items) {
    if (auto header = tuple_header(items.size()); !header) return header;
    return members(items);
  }

  Status list_value(std::span<const MarshalValue> items) {
    if (items.empty()) {
      put(TAG_LIST0);
      return {};
    }
    if (items.size() == 1) {
      put(TAG_LIST1);
    } else {
      put(TAG_LIST);
      if (auto sized = size(items.size()); !sized) return sized;
    }
    return members(items);
  }

  // The stream holds each entry's value before its key.
  Status dict_value(std::span<const DictEntry> entries) {
    put(TAG_DICT);
    if (auto sized = size(entries.size()); !sized) return sized;
    for (const DictEntry& entry : entries) {
      if (auto written = value(entry.value); !written) return written;
      if (auto written = value(entry.key); !written) return written;
    }
    return {};
  }

  Status instance_value(const Instance& instance) {
    put(TAG_INSTANCE);
    {
      // Not a level of the tree, but the reader reads the name as a nested value.
      const Level name_level(depth_);
      if (name_level.too_deep()) return too_deep();
      if (auto written = bytes_value(instance.class_name); !written) return written;
    }
    return value(instance.state);
  }

  Status reduce_value(const Reduce& reduce) {
    put(reduce.newobj ? TAG_NEWOBJ : TAG_REDUCE);
    // The payload tuple is written in place from the fields; a newobj record has no callable
    // in the stream.
    const MarshalValue* fields[3];
    std::size_t field_count = 0;
    if (!reduce.newobj) fields[field_count++] = &reduce.callable;
    fields[field_count++] = &reduce.args;
    if (reduce.state) fields[field_count++] = &*reduce.state;
    {
      const Level payload_level(depth_);
      if (payload_level.too_deep()) return too_deep();
      if (auto header = tuple_header(field_count); !header) return header;
      for (std::size_t i = 0; i < field_count; ++i) {
        if (auto written = value(*fields[i]); !written) return written;
      }
    }
    if (auto written = members(reduce.list_items); !written) return written;
    put(TAG_MARK);
    // Unlike a Dict, the items hold each key before its value.
    for (const DictEntry& item : reduce.dict_items) {
      if (auto written = value(item.key); !written) return written;
      if (auto written = value(item.value); !written) return written;
    }
    put(TAG_MARK);
    return {};
  }

  std::vector<std::uint8_t>& out_;
  std::uint32_t depth_;
};

}  // namespace

Result<std::vector<std::uint8_t>, MarshalError> write_marshal(const MarshalValue& value,
                                                              const EncodeOptions& options) {
  std::vector<std::uint8_t> out;
  out.reserve(INITIAL_CAPACITY);
  if (options.mode_byte != 0) {
    out.insert(out.end(), {SIGNATURE_SEQUENTIAL, options.mode_byte});
  } else {
    out.insert(out.end(), {SIGNATURE_MAPPED, 0, 0, 0, 0});  // map count 0: no map follows
  }

  std::size_t checksum_at = 0;
  std::uint32_t depth = 0;
  if (options.write_crc) {
    out.push_back(TAG_CRC_CHECK);
    checksum_at = out.size();
    out.insert(out.end(), 4, 0);
    depth = 1;  // the reader counts the CRC_CHECK tag as the level above the root
  }

  StreamEncoder encoder(out, depth);
  if (auto written = encoder.value(value); !written) return written.take_error();

  if (options.write_crc) {
    const std::uint32_t sum =
        detail::adler32(std::span<const std::uint8_t>(out).subspan(checksum_at + 4));
    for (std::size_t i = 0; i < 4; ++i) {
      out[checksum_at + i] = static_cast<std::uint8_t>(sum >> (8 * i));
    }
  }
  return out;
}

}  // namespace marshal
