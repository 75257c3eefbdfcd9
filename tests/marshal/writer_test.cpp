#include "marshal/writer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "adler32.hpp"
#include "helpers/codec_equivalence.hpp"
#include "helpers/value_helpers.hpp"
#include "marshal/json.hpp"
#include "marshal/json_codec.hpp"
#include "marshal/reader.hpp"
#include "stream_format.hpp"

namespace marshal {
namespace {

using ByteVector = std::vector<std::uint8_t>;

using testing::big;
using testing::bytes;
using testing::dict;
using testing::float_bits;
using testing::hex;
using testing::list;
using testing::tuple;
using testing::utf8;

ByteVector concat(ByteVector a, const std::string& raw) {
  a.insert(a.end(), raw.begin(), raw.end());
  return a;
}

MarshalValue i64(std::int64_t i) { return MarshalValue(i); }
MarshalValue global(std::string name) { return MarshalValue(Global{std::move(name)}); }

MarshalValue reduce(bool newobj, MarshalValue callable, MarshalValue args,
                    std::optional<MarshalValue> state = std::nullopt,
                    std::vector<MarshalValue> list_items = {},
                    std::vector<DictEntry> dict_items = {}) {
  Reduce r;
  r.newobj = newobj;
  r.callable = std::move(callable);
  r.args = std::move(args);
  r.state = std::move(state);
  r.list_items = std::move(list_items);
  r.dict_items = std::move(dict_items);
  return MarshalValue(std::move(r));
}

const BigInt TWO_63 = BigInt(1) << 63;
const BigInt TWO_64 = BigInt(1) << 64;
const BigInt TWO_71 = BigInt(1) << 71;

struct GoldenCase {
  const char* description;
  MarshalValue value;
  ByteVector body;  // what follows the header 7D 01
};

std::vector<GoldenCase> golden_cases() {
  return {
      {"none", MarshalValue(None{}), hex("01")},
      {"true", MarshalValue(true), hex("1F")},
      {"false", MarshalValue(false), hex("20")},
      {"int -1", i64(-1), hex("07")},
      {"int 0", i64(0), hex("08")},
      {"int 1", i64(1), hex("09")},
      {"int 127 (INT8)", i64(127), hex("06 7F")},
      {"int -128 (INT8)", i64(-128), hex("06 80")},
      {"int 128 (INT16)", i64(128), hex("05 80 00")},
      {"int -32768 (INT16)", i64(-32768), hex("05 00 80")},
      {"int 32768 (INT32)", i64(32768), hex("04 00 80 00 00")},
      {"int -32769 (INT32)", i64(-32769), hex("04 FF 7F FF FF")},
      {"int 2^31 (INT64)", i64(std::int64_t{1} << 31), hex("03 00 00 00 80 00 00 00 00")},
      {"int min (INT64)", i64(std::numeric_limits<std::int64_t>::min()),
       hex("03 00 00 00 00 00 00 00 80")},
      {"long 0", big(0), hex("2F 00")},
      {"long 127", big(127), hex("2F 01 7F")},
      {"long 128 needs a sign byte", big(128), hex("2F 02 80 00")},
      {"long -128 needs none", big(-128), hex("2F 01 80")},
      {"long -129", big(-129), hex("2F 02 7F FF")},
      {"long 255", big(255), hex("2F 02 FF 00")},
      {"long -1", big(-1), hex("2F 01 FF")},
      {"long 2^63", big(TWO_63), hex("2F 09 00 00 00 00 00 00 00 80 00")},
      {"long -2^63", big(-TWO_63), hex("2F 08 00 00 00 00 00 00 00 80")},
      {"long -2^63-1", big(-TWO_63 - 1), hex("2F 09 FF FF FF FF FF FF FF 7F FF")},
      {"long 2^64 spans two limbs", big(TWO_64), hex("2F 09 00 00 00 00 00 00 00 00 01")},
      {"long -2^64", big(-TWO_64), hex("2F 09 00 00 00 00 00 00 00 00 FF")},
      {"long -2^71", big(-TWO_71), hex("2F 09 00 00 00 00 00 00 00 00 80")},
      {"long -2^71-2^64", big(-TWO_71 - TWO_64), hex("2F 0A 00 00 00 00 00 00 00 00 7F FF")},
      {"float 0.0", MarshalValue(0.0), hex("0B")},
      {"float -0.0", float_bits(0x8000000000000000), hex("0B")},
      {"float 1.5", MarshalValue(1.5), hex("0A 00 00 00 00 00 00 F8 3F")},
      {"float -inf", float_bits(0xFFF0000000000000), hex("0A 00 00 00 00 00 00 F0 FF")},
      {"float NaN keeps its payload", float_bits(0x7FF4000000000123),
       hex("0A 23 01 00 00 00 00 F4 7F")},
      {"bytes empty", bytes(""), hex("0E")},
      {"bytes one", bytes("a"), hex("0F 61")},
      {"bytes zero byte", bytes(std::string(1, '\0')), hex("0F 00")},
      {"bytes two", bytes("ab"), hex("13 02 61 62")},
      {"bytes 254", bytes(std::string(254, 'x')), concat(hex("13 FE"), std::string(254, 'x'))},
      {"bytes 255", bytes(std::string(255, 'x')),
       concat(hex("13 FF FF 00 00 00"), std::string(255, 'x'))},
      {"utf8 empty", utf8(""), hex("28")},
      {"utf8", utf8("\xC3\xA9"), hex("2E 02 C3 A9")},
      {"global", global("a.b"), hex("02 03 61 2E 62")},
      {"tuple 0", tuple({}), hex("24")},
      {"tuple 1", tuple({MarshalValue(None{})}), hex("25 01")},
      {"tuple 2", tuple({MarshalValue(None{}), MarshalValue(true)}), hex("2C 01 1F")},
      {"tuple 3", tuple({i64(1), i64(2), i64(3)}), hex("14 03 09 06 02 06 03")},
      {"list 0", list({}), hex("26")},
      {"list 1", list({MarshalValue(None{})}), hex("27 01")},
      {"list 2", list({i64(0), i64(1)}), hex("15 02 08 09")},
      {"dict empty", dict({}), hex("16 00")},
      {"dict value before key", dict({{i64(1), MarshalValue(None{})}}), hex("16 01 01 09")},
      {"dict duplicate keys stay", dict({{bytes("a"), i64(1)}, {bytes("a"), i64(2)}}),
       hex("16 02 09 0F 61 06 02 0F 61")},
      {"instance, empty name", MarshalValue(Instance{"", MarshalValue(None{})}), hex("17 0E 01")},
      {"instance, long name", MarshalValue(Instance{"Cls", i64(1)}), hex("17 13 03 43 6C 73 09")},
      {"reduce", reduce(false, global("g"), tuple({})), hex("22 2C 02 01 67 24 2D 2D")},
      {"reduce with state", reduce(false, global("g"), tuple({}), i64(1)),
       hex("22 14 03 02 01 67 24 09 2D 2D")},
      {"reduce items: dict items key first",
       reduce(false, global("g"), tuple({}), std::nullopt, {i64(1), i64(0)},
              {{bytes("k"), MarshalValue(None{})}}),
       hex("22 2C 02 01 67 24 09 08 2D 0F 6B 01 2D")},
      {"newobj", reduce(true, MarshalValue(None{}), tuple({})), hex("23 25 24 2D 2D")},
      {"newobj with state", reduce(true, MarshalValue(None{}), tuple({}), i64(1)),
       hex("23 2C 24 09 2D 2D")},
      {"newobj drops a callable", reduce(true, global("g"), tuple({})), hex("23 25 24 2D 2D")},
      {"callback", MarshalValue(Callback{MarshalValue(None{})}), hex("19 01")},
  };
}

TEST(WriteMarshal, EmitsTheCompactFormOfEachValue) {
  for (const GoldenCase& c : golden_cases()) {
    SCOPED_TRACE(c.description);
    const auto out = write_marshal(c.value, EncodeOptions{});
    ASSERT_TRUE(out.has_value()) << out.error().message();
    ByteVector expected = hex("7D 01");
    expected.insert(expected.end(), c.body.begin(), c.body.end());
    EXPECT_EQ(*out, expected);
  }
}

TEST(WriteMarshal, WritesEachHeaderForm) {
  struct Case {
    const char* description;
    EncodeOptions options;
    MarshalValue value;
    ByteVector expected;
  };
  const Case cases[] = {
      {"sequential", {false, 1}, MarshalValue(None{}), hex("7D 01 01")},
      {"sequential keeps the mode byte", {false, 0x42}, MarshalValue(None{}), hex("7D 42 01")},
      {"mapped, empty map", {false, 0}, MarshalValue(None{}), hex("7E 00 00 00 00 01")},
      // Adler-32 of the single byte 01: sums 2 and 2.
      {"sequential with checksum", {true, 1}, MarshalValue(None{}), hex("7D 01 1C 02 00 02 00 01")},
      {"mapped with checksum",
       {true, 0},
       MarshalValue(None{}),
       hex("7E 00 00 00 00 1C 02 00 02 00 01")},
      {"checksum covers the whole body",
       {true, 1},
       dict({{i64(1), MarshalValue(None{})}}),
       [] {
         const ByteVector body = hex("16 01 01 09");
         const std::uint32_t sum = detail::adler32(body);
         ByteVector v = hex("7D 01 1C");
         for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(sum >> (8 * i)));
         v.insert(v.end(), body.begin(), body.end());
         return v;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const auto out = write_marshal(c.value, c.options);
    ASSERT_TRUE(out.has_value()) << out.error().message();
    EXPECT_EQ(*out, c.expected);
  }
}

TEST(WriteMarshal, ChecksummedOutputPassesTheReadersCheck) {
  const MarshalValue value = dict({{bytes("ui"), list({utf8("x"), i64(5)})}});
  for (std::uint8_t mode : {0, 1}) {
    SCOPED_TRACE(static_cast<int>(mode));
    const auto out = write_marshal(value, EncodeOptions{true, mode});
    ASSERT_TRUE(out.has_value());
    const auto decoded = read_marshal(*out);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message();
    EXPECT_TRUE(decoded->has_crc);
    EXPECT_EQ(decoded->value, value);

    ByteVector corrupt = *out;
    corrupt.back() ^= 0x01;  // the last byte of the key "ui"
    const auto refused = read_marshal(corrupt);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().kind(), MarshalErrorKind::ChecksumMismatch);
  }
}

// The output grows as it is written, a little room at a time: values larger than all the room
// made so far, and many small ones across every step, come out whole. The encoder's two buffers
// (the library's plain vector, the program's large blocks) must give the same bytes.
TEST(WriteMarshal, OutputsBeyondTheFirstBufferComeOutWhole) {
  std::vector<MarshalValue> ints;
  for (std::int64_t i = 0; i < 100000; ++i) ints.push_back(i64((i % 7 - 3) << (i % 40)));
  std::vector<MarshalValue> strings;
  for (std::size_t i = 0; i < 5000; ++i) strings.push_back(bytes(std::string(250 + i % 10, 'k')));
  struct Case {
    const char* description;
    MarshalValue value;
  };
  const Case cases[] = {
      {"one value far larger than the first buffer", bytes(std::string(200000, 'x'))},
      {"many integers of every width", list(ints)},
      {"strings around the longer size field", tuple(strings)},
  };
  for (const Case& c : cases) {
    for (bool crc : {false, true}) {
      SCOPED_TRACE(::testing::Message() << c.description << (crc ? ", with a checksum" : ""));
      const EncodeOptions options{crc, 1};
      const auto out = write_marshal(c.value, options);
      ASSERT_TRUE(out.has_value()) << out.error().message();
      const auto decoded = read_marshal(*out);
      ASSERT_TRUE(decoded.has_value()) << decoded.error().message();
      EXPECT_EQ(decoded->end_offset, out->size());
      EXPECT_EQ(decoded->value, c.value);

      const auto fused = testing::encode_json(value_to_json(c.value), options);
      ASSERT_TRUE(fused.has_value());
      EXPECT_TRUE(std::equal(fused->begin(), fused->end(), out->begin(), out->end()));
    }
  }
}

TEST(SizeField, WritesEveryRepresentableSizeAndRefusesTheRest) {
  struct Case {
    std::uint64_t size;
    ByteVector expected;  // empty: no field can carry the size
  };
  const Case cases[] = {
      {0, hex("00")},
      {254, hex("FE")},
      {255, hex("FF FF 00 00 00")},
      {256, hex("FF 00 01 00 00")},
      {0x7FFFFFFF, hex("FF FF FF FF 7F")},
      {0x80000000, {}},   // would read back negative
      {0x100000005, {}},  // would read back as 5
      {0xFFFFFFFFFFFFFFFF, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const std::size_t length = detail::size_field_length(c.size);
    ASSERT_EQ(length, c.expected.size());
    if (length == 0) continue;
    ByteVector out(length, 0xAA);
    detail::write_size_field(out.data(), c.size);
    EXPECT_EQ(out, c.expected);
  }
}

// How one kind of container holds a nested value, and how many levels the reader counts for it.
struct Nesting {
  const char* description;
  std::uint32_t levels;  // from the container down to the wrapped value
  std::uint32_t tail;    // how far the innermost container's own members reach below that
  std::function<MarshalValue(MarshalValue)> wrap;
  bool keys_in_keys = false;  // each wrapping puts the value in a container key
};

// Built without initializer lists, which would copy the whole subtree at every level.
std::vector<MarshalValue> items(MarshalValue first, MarshalValue second = {},
                                MarshalValue third = {}, std::size_t count = 1) {
  std::vector<MarshalValue> out;
  out.push_back(std::move(first));
  if (count > 1) out.push_back(std::move(second));
  if (count > 2) out.push_back(std::move(third));
  return out;
}

std::vector<DictEntry> entry(MarshalValue key, MarshalValue value) {
  std::vector<DictEntry> out;
  out.push_back(DictEntry{std::move(key), std::move(value)});
  return out;
}

std::vector<Nesting> nestings() {
  const MarshalValue none(None{});
  return {
      {"tuple1", 1, 0, [](MarshalValue v) { return MarshalValue(Tuple{items(std::move(v))}); }},
      {"tuple3", 1, 0,
       [](MarshalValue v) { return MarshalValue(Tuple{items({}, {}, std::move(v), 3)}); }},
      {"list1", 1, 0, [](MarshalValue v) { return MarshalValue(List{items(std::move(v))}); }},
      {"dict value", 1, 0,
       [](MarshalValue v) { return MarshalValue(Dict{entry(i64(1), std::move(v))}); }},
      {"dict key", 1, 0, [](MarshalValue v) { return MarshalValue(Dict{entry(std::move(v), {})}); },
       true},
      {"instance", 1, 0,
       [](MarshalValue v) {
         return MarshalValue(Instance{"C", std::move(v)});
       }},
      {"callback", 1, 0, [](MarshalValue v) { return MarshalValue(Callback{std::move(v)}); }},
      {"reduce args", 2, 0,
       [](MarshalValue v) { return reduce(false, global("g"), std::move(v)); }},
      {"reduce state", 2, 0,
       [=](MarshalValue v) { return reduce(false, global("g"), none, std::move(v)); }},
      {"newobj args", 2, 0, [=](MarshalValue v) { return reduce(true, none, std::move(v)); }},
      // The payload tuple's members sit one level below the items.
      {"reduce list item", 1, 1,
       [=](MarshalValue v) {
         return reduce(false, global("g"), none, std::nullopt, items(std::move(v)));
       }},
      {"reduce dict item", 1, 1,
       [=](MarshalValue v) {
         return reduce(false, global("g"), none, std::nullopt, {}, entry(none, std::move(v)));
       }},
  };
}

MarshalValue nested(const Nesting& n, std::uint32_t count) {
  MarshalValue v(None{});
  for (std::uint32_t i = 0; i < count; ++i) v = n.wrap(std::move(v));
  return v;
}

// The stream the reader sees when `plain` (written without a checksum, mode 1) gets one.
ByteVector with_checksum(const ByteVector& plain) {
  const std::span<const std::uint8_t> body = std::span(plain).subspan(2);
  const std::uint32_t sum = detail::adler32(body);
  ByteVector out = hex("7D 01 1C");
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(sum >> (8 * i)));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// The writer refuses exactly the trees whose output the reader would refuse as too deep.
TEST(WriteMarshal, NestingLimitMatchesTheReader) {
  for (const Nesting& n : nestings()) {
    for (bool crc : {false, true}) {
      SCOPED_TRACE(std::string(n.description) + (crc ? ", with checksum" : ""));
      // The root is level 1, or level 2 below a CRC_CHECK; the deepest value sits `levels`
      // lower per wrapping, plus the innermost container's tail.
      const std::uint32_t room = MAX_DEPTH - 1 - (crc ? 1 : 0) - n.tail;
      const std::uint32_t deepest_ok = room / n.levels;
      const EncodeOptions options{crc, 1};

      const MarshalValue ok = nested(n, deepest_ok);
      const auto written = write_marshal(ok, options);
      ASSERT_TRUE(written.has_value()) << written.error().message();
      const auto decoded = read_marshal(*written);
      if (n.keys_in_keys) {
        // Every key's text would escape the one it holds: past the budget long before this depth.
        ASSERT_FALSE(decoded.has_value());
        EXPECT_EQ(decoded.error(),
                  MarshalError::invalid_stream("dictionary keys expand beyond the size limit"));
      } else {
        ASSERT_TRUE(decoded.has_value()) << decoded.error().message();
        EXPECT_EQ(decoded->value, ok);
      }

      const MarshalValue deep = nested(n, deepest_ok + 1);
      const auto refused = write_marshal(deep, options);
      ASSERT_FALSE(refused.has_value());
      EXPECT_EQ(refused.error().message(), "maximum recursion depth reached");

      // Where the tree still fits without a checksum, adding one by hand shows the reader
      // would indeed refuse what the writer refused.
      if (crc) {
        const auto plain = write_marshal(deep, EncodeOptions{false, 1});
        if (plain.has_value()) {
          const auto reread = read_marshal(with_checksum(*plain));
          ASSERT_FALSE(reread.has_value());
          EXPECT_EQ(reread.error().kind(), MarshalErrorKind::RecursionLimit);
        }
      }
    }
  }
}

TEST(WriteMarshal, ThousandLevelsWithoutChecksumAndNotOneMore) {
  const Nesting tuple1 = nestings().front();
  EXPECT_TRUE(write_marshal(nested(tuple1, MAX_DEPTH - 1), EncodeOptions{false, 1}).has_value());
  EXPECT_FALSE(write_marshal(nested(tuple1, MAX_DEPTH), EncodeOptions{false, 1}).has_value());
}

}  // namespace
}  // namespace marshal
