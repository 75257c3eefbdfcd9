#include "marshal/reader.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "helpers/value_helpers.hpp"
#include "marshal/json_codec.hpp"

namespace marshal {
namespace {

using testing::big;
using testing::bytes;
using testing::dict;
using testing::hex;
using testing::list;
using testing::tuple;
using testing::utf8;

std::vector<std::uint8_t> repeat(std::uint8_t byte, std::size_t count) {
  return std::vector<std::uint8_t>(count, byte);
}

std::vector<std::uint8_t> concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Result<DecodedStream, MarshalError> decode(std::string_view text) {
  const auto bytes = hex(text);
  return read_marshal(bytes);
}

MarshalValue i64(std::int64_t v) { return MarshalValue(v); }

MarshalValue reduce(MarshalValue callable, MarshalValue args, std::optional<MarshalValue> state,
                    std::vector<MarshalValue> list_items, std::vector<DictEntry> dict_items,
                    bool newobj) {
  return Reduce{std::move(callable),   std::move(args),       std::move(state),
                std::move(list_items), std::move(dict_items), newobj};
}

struct DecodeCase {
  const char* name;
  const char* stream;
  MarshalValue expected;
};

// Every stream below is a whole file. "7D 01" is the sequential header, "7E" + a four-byte count
// the mapped one; the bytes after the header are the encoded root.
std::vector<DecodeCase> golden_cases() {
  const double one = 1.0;
  return {
      // --- headers ---
      {"mapped header, no map: NONE", "7E 00 00 00 00 01", None{}},
      {"sequential header: NONE", "7D 01 01", None{}},
      {"second signature, mode 0 = mapped: NONE", "7D 00 00 00 00 00 01", None{}},
      {"any non-zero mode byte is sequential: INT_1", "7D 05 09", i64(1)},

      // --- scalars ---
      {"TRUE", "7D 01 1F", true},
      {"FALSE", "7D 01 20", false},
      {"INT64 max", "7D 01 03 FF FF FF FF FF FF FF 7F",
       i64(std::numeric_limits<std::int64_t>::max())},
      {"INT64 min", "7D 01 03 00 00 00 00 00 00 00 80",
       i64(std::numeric_limits<std::int64_t>::min())},
      {"INT32 -2^31, sign-extended", "7D 01 04 00 00 00 80", i64(-2147483648LL)},
      {"INT32 0x12345678, little-endian", "7D 01 04 78 56 34 12", i64(0x12345678)},
      {"INT16 00 80 = -32768", "7D 01 05 00 80", i64(-32768)},
      {"INT8 FF = -1", "7D 01 06 FF", i64(-1)},
      {"INT8 7F = 127", "7D 01 06 7F", i64(127)},
      {"INT_N1", "7D 01 07", i64(-1)},
      {"INT_0", "7D 01 08", i64(0)},
      {"INT_1", "7D 01 09", i64(1)},
      {"FLOAT 1.0", "7D 01 0A 00 00 00 00 00 00 F0 3F", one},
      {"FLOAT -0.0 keeps its sign", "7D 01 0A 00 00 00 00 00 00 00 80", -0.0},
      {"FLOAT_0 is +0.0", "7D 01 0B", 0.0},

      // --- byte strings ---
      {"STR 'abc'", "7D 01 0D 03 61 62 63", bytes("abc")},
      {"STR, 4-byte size form with a small value: 'ab'", "7D 01 0D FF 02 00 00 00 61 62",
       bytes("ab")},
      {"STR keeps NUL and non-UTF-8 bytes", "7D 01 0D 02 00 FF", bytes(std::string("\0\xFF", 2))},
      {"STR_EMPTY", "7D 01 0E", bytes("")},
      {"STR_CHAR 'a'", "7D 01 0F 61", bytes("a")},
      {"STR_SHORT 'hi'", "7D 01 10 02 68 69", bytes("hi")},
      {"BUFFER 'xy'", "7D 01 13 02 78 79", bytes("xy")},

      // --- text ---
      {"UNICODE 'A', U+00E9", "7D 01 12 02 41 00 E9 00", utf8("A\xC3\xA9")},
      {"UNICODE U+20AC", "7D 01 12 01 AC 20", utf8("\xE2\x82\xAC")},
      {"UNICODE surrogate pair D83D DE00 = U+1F600", "7D 01 12 02 3D D8 00 DE",
       utf8("\xF0\x9F\x98\x80")},
      {"UNICODE, zero units", "7D 01 12 00", utf8("")},
      {"UNICODE_0", "7D 01 28", utf8("")},
      {"UNICODE_1 'A'", "7D 01 29 41 00", utf8("A")},
      {"UNICODE_1 U+20AC", "7D 01 29 AC 20", utf8("\xE2\x82\xAC")},
      {"UTF8 U+00E9", "7D 01 2E 02 C3 A9", utf8("\xC3\xA9")},
      {"GLOBAL 'os.path'", "7D 01 02 07 6F 73 2E 70 61 74 68", Global{"os.path"}},

      // --- LONG: little-endian two's complement ---
      {"LONG 80 = -128", "7D 01 2F 01 80", big("-128")},
      {"LONG 80 00 = 128", "7D 01 2F 02 80 00", big("128")},
      {"LONG empty = 0", "7D 01 2F 00", big("0")},
      {"LONG 05 stays a Long", "7D 01 2F 01 05", big("5")},
      {"LONG FF = -1", "7D 01 2F 01 FF", big("-1")},
      {"LONG non-minimal 01 00 00 = 1", "7D 01 2F 03 01 00 00", big("1")},
      {"LONG 2^64", "7D 01 2F 09 00 00 00 00 00 00 00 00 01", big("18446744073709551616")},
      {"LONG -2^64", "7D 01 2F 09 00 00 00 00 00 00 00 00 FF", big("-18446744073709551616")},

      // --- containers ---
      {"TUPLE (1, 0, -1)", "7D 01 14 03 09 08 07", tuple({i64(1), i64(0), i64(-1)})},
      {"TUPLE, zero members", "7D 01 14 00", tuple({})},
      {"LIST [1, b'']", "7D 01 15 02 09 0E", list({i64(1), bytes("")})},
      {"DICT: value INT_1 before key STR_CHAR 'a'", "7D 01 16 01 09 0F 61",
       dict({{bytes("a"), i64(1)}})},
      {"DICT keeps equal keys, in order: a->1, a->0", "7D 01 16 02 09 0F 61 08 0F 61",
       dict({{bytes("a"), i64(1)}, {bytes("a"), i64(0)}})},
      {"DICT, zero entries", "7D 01 16 00", dict({})},
      {"TUPLE0", "7D 01 24", tuple({})},
      {"TUPLE1 (1,)", "7D 01 25 09", tuple({i64(1)})},
      {"TUPLE2 (1, 0)", "7D 01 2C 09 08", tuple({i64(1), i64(0)})},
      {"LIST0", "7D 01 26", list({})},
      {"LIST1 [1]", "7D 01 27 09", list({i64(1)})},
      {"INSTANCE: STR 'foo', state NONE", "7D 01 17 0D 03 66 6F 6F 01", Instance{"foo", None{}}},
      {"INSTANCE: UTF8 'foo', state INT_1", "7D 01 17 2E 03 66 6F 6F 09", Instance{"foo", i64(1)}},
      {"INSTANCE: STR_CHAR FF becomes U+FFFD", "7D 01 17 0F FF 01",
       Instance{"\xEF\xBF\xBD", None{}}},
      {"INSTANCE: UNICODE D83D DE00 = U+1F600", "7D 01 17 12 02 3D D8 00 DE 01",
       Instance{"\xF0\x9F\x98\x80", None{}}},
      {"INSTANCE named by a reference to a shared STR 'x', after a 'y'",
       "7D 01 14 03 4D 01 78 0F 79 17 1B 00 01",
       tuple({bytes("x"), bytes("y"), Instance{"x", None{}}})},
      {"INSTANCE named after a CRC_CHECK", "7D 01 17 1C 74 00 0A 01 10 01 61 01",
       Instance{"a", None{}}},
      {"CALLBACK INT_1", "7D 01 19 09", Callback{i64(1)}},

      // --- REDUCE / NEWOBJ: payload tuple, list items, 2D, dict items, 2D ---
      {"REDUCE (GLOBAL 'f', ()), no state, no items", "7D 01 22 2C 02 01 66 24 2D 2D",
       reduce(Global{"f"}, tuple({}), std::nullopt, {}, {}, false)},
      {"REDUCE (f, (), None) + list [1] + dict {b'k': 0}",
       "7D 01 22 14 03 02 01 66 24 01 09 2D 0F 6B 08 2D",
       reduce(Global{"f"}, tuple({}), None{}, {i64(1)}, {{bytes("k"), i64(0)}}, false)},
      {"REDUCE ignores a fourth field: (1, 0, -1, None)", "7D 01 22 14 04 09 08 07 01 2D 2D",
       reduce(i64(1), i64(0), i64(-1), {}, {}, false)},
      {"REDUCE item lists ended by 6D", "7D 01 22 2C 09 08 09 6D 6D",
       reduce(i64(1), i64(0), std::nullopt, {i64(1)}, {}, false)},
      {"NEWOBJ (1,): callable None, no state", "7D 01 23 25 09 2D 2D",
       reduce(None{}, i64(1), std::nullopt, {}, {}, true)},
      {"NEWOBJ (1, 0): state 0", "7D 01 23 2C 09 08 2D 2D",
       reduce(None{}, i64(1), i64(0), {}, {}, true)},

      // --- tag byte flags ---
      {"bit 0x80 is ignored: 89 = INT_1", "7D 01 89", i64(1)},
      {"0x40 on INT_1 claims nothing, even with no map", "7E 00 00 00 00 49", i64(1)},
      {"0x40 on STR_CHAR claims nothing", "7E 00 00 00 00 4F 61", bytes("a")},

      // --- shared objects ---
      {"mapped, map [1]: TUPLE2(flagged STR 'a', REFERENCE 1)",
       "7E 01 00 00 00 2C 4D 01 61 1B 01 01 00 00 00", tuple({bytes("a"), bytes("a")})},
      {"sequential: TUPLE2(flagged STR 'a', REFERENCE 0)", "7D 01 2C 4D 01 61 1B 00",
       tuple({bytes("a"), bytes("a")})},
      {"flagged TUPLE1 holding a reference to itself gets None", "7D 01 65 1B 00", tuple({None{}})},
      {"mapped: a slot not yet filled reads as None",
       "7E 01 00 00 00 2C 1B 01 4D 01 61 01 00 00 00", tuple({None{}, bytes("a")})},
      {"mapped, map [1, 1]: the second claim overwrites slot 1",
       "7E 02 00 00 00 14 03 4D 01 61 4D 01 62 1B 01 01 00 00 00 01 00 00 00",
       tuple({bytes("a"), bytes("b"), bytes("b")})},
      {"mapped, map [2, 1]: claims follow the map order",
       "7E 02 00 00 00 14 04 4D 01 61 4D 01 62 1B 01 1B 02 02 00 00 00 01 00 00 00",
       tuple({bytes("a"), bytes("b"), bytes("b"), bytes("a")})},
      {"a container claims before its members: (flagged (a, 0), ref 0, ref 1)",
       "7D 01 14 03 6C 4D 01 61 08 1B 00 1B 01",
       tuple({tuple({bytes("a"), i64(0)}), tuple({bytes("a"), i64(0)}), bytes("a")})},
      {"reference in a 4-byte size field", "7D 01 2C 4D 01 61 1B FF 00 00 00 00",
       tuple({bytes("a"), bytes("a")})},

      // --- checksums ---
      {"sequential CRC_CHECK over STR 'hi'", "7D 01 1C E1 00 77 01 0D 02 68 69", bytes("hi")},
      {"sequential CRC_CHECK does not cover bytes after the root",
       "7D 01 1C E1 00 77 01 0D 02 68 69 FF FF", bytes("hi")},
      {"mapped CRC_CHECK, no map", "7E 00 00 00 00 1C E1 00 77 01 0D 02 68 69", bytes("hi")},
      {"mapped CRC_CHECK covers the map too",
       "7E 01 00 00 00 1C 22 01 FF 06 4D 02 68 69 01 00 00 00", bytes("hi")},
      {"nested CRC_CHECK: TUPLE1(CRC over INT_1)", "7D 01 25 1C 0A 00 0A 00 09", tuple({i64(1)})},
      {"a later CRC_CHECK replaces a wrong earlier one",
       "7D 01 2C 1C 00 00 00 00 09 1C 09 00 09 00 08", tuple({i64(1), i64(0)})},
  };
}

TEST(ReadMarshal, GoldenStreams) {
  for (const auto& c : golden_cases()) {
    SCOPED_TRACE(c.name);
    auto result = decode(c.stream);
    ASSERT_TRUE(result.has_value()) << result.error().message();
    EXPECT_TRUE(result->value == c.expected);
  }
}

TEST(ReadMarshal, StrShortReadsUpTo255Bytes) {
  // STR_SHORT FF: 255 bytes follow, the length byte has no FF escape.
  const auto stream = concat({hex("7D 01 10 FF"), repeat('z', 255)});
  auto result = read_marshal(stream);
  ASSERT_TRUE(result.has_value()) << result.error().message();
  EXPECT_TRUE(result->value == bytes(std::string(255, 'z')));
}

TEST(ReadMarshal, ReportsEndOffsetAndChecksumFlag) {
  struct Row {
    const char* name;
    const char* stream;
    std::size_t end_offset;
    bool has_crc;
  };
  const Row rows[] = {
      {"NONE then two trailing bytes", "7D 01 01 AA BB", 3, false},
      {"mapped, map after the root", "7E 01 00 00 00 4D 01 61 01 00 00 00", 8, false},
      {"sequential CRC, trailing byte", "7D 01 1C E1 00 77 01 0D 02 68 69 00", 11, true},
      {"CRC only inside the root", "7D 01 25 1C 0A 00 0A 00 09", 9, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto result = decode(row.stream);
    ASSERT_TRUE(result.has_value()) << result.error().message();
    EXPECT_EQ(result->end_offset, row.end_offset);
    EXPECT_EQ(result->has_crc, row.has_crc);
  }
}

TEST(ReadMarshal, ReferencesAreIndependentCopies) {
  // TUPLE2(flagged STR 'a', REFERENCE 0): changing one member leaves the other alone.
  auto result = decode("7D 01 2C 4D 01 61 1B 00");
  ASSERT_TRUE(result.has_value());
  auto& items = result->value.get_if<Tuple>()->items;
  items[0].get_if<Bytes>()->data = "changed";
  EXPECT_EQ(items[1].get_if<Bytes>()->data, "a");
}

struct ErrorCase {
  const char* name;
  const char* stream;
  MarshalError expected;
};

MarshalError bad(const char* detail) { return MarshalError::invalid_stream(detail); }

std::vector<ErrorCase> error_cases() {
  const MarshalError end = MarshalError::unexpected_end();
  return {
      // --- headers ---
      {"empty input", "", end},
      {"7D alone", "7D", end},
      {"7E and three bytes of count", "7E 00 00 00", end},
      {"7D 00 and three bytes of count", "7D 00 00 00 00", end},
      {"header only, no root", "7D 01", end},
      {"the map is not readable data", "7E 01 00 00 00 01 00 00 00", end},
      {"first byte 7C", "7C 01 01", bad("missing marshal signature")},
      {"map count -1", "7E FF FF FF FF", bad("negative mapcount")},
      {"map count 2, 5 bytes follow", "7E 02 00 00 00 01 01 00 00 00",
       bad("truncated shared-object map")},
      {"huge map count", "7E FF FF FF 7F 01", bad("truncated shared-object map")},
      {"map entry 0 of 2", "7E 02 00 00 00 01 00 00 00 00 01 00 00 00",
       bad("bogus shared-object map entry")},
      {"map entry 3 of 2", "7E 02 00 00 00 01 01 00 00 00 03 00 00 00",
       bad("bogus shared-object map entry")},

      // --- shared objects ---
      {"second claim with a map of one", "7E 01 00 00 00 2C 4D 01 61 4D 01 62 01 00 00 00",
       bad("shared object table overflow")},
      {"claim with no map", "7E 00 00 00 00 4D 01 61", bad("shared object table overflow")},
      {"flagged TUPLE1 with no map", "7E 00 00 00 00 65 01", bad("shared object table overflow")},
      {"sequential: id 0, nothing claimed", "7D 01 1B 00", MarshalError::invalid_reference(0)},
      {"sequential: id 1 before a second claim", "7D 01 2C 4D 01 61 1B 01",
       MarshalError::invalid_reference(1)},
      {"mapped: id 0", "7E 01 00 00 00 2C 4D 01 61 1B 00 01 00 00 00",
       MarshalError::invalid_reference(0)},
      {"negative id in the 4-byte form", "7D 01 1B FF FE FF FF FF",
       MarshalError::invalid_reference(-2)},
      {"mapped: id -2^31", "7E 01 00 00 00 1B FF 00 00 00 80 01 00 00 00",
       MarshalError::invalid_reference(-2147483648LL)},

      // --- refused tags ---
      {"tag 0", "7D 01 00", bad("unknown type tag 0 (UNKNOWN)")},
      {"tag 24", "7D 01 18", bad("unknown type tag 24 (UNKNOWN)")},
      {"tag 29", "7D 01 1D", bad("unknown type tag 29 (UNKNOWN)")},
      {"tag 30", "7D 01 1E", bad("unknown type tag 30 (UNKNOWN)")},
      {"tag 45 (MARK) as a value", "7D 01 2D", bad("unknown type tag 45 (MARK)")},
      {"tag 45 with both flag bits", "7D 01 ED", bad("unknown type tag 45 (MARK)")},
      {"tag 48", "7D 01 30", bad("unknown type tag 48 (UNKNOWN)")},
      {"tag 63", "7D 01 3F", bad("unknown type tag 63 (UNKNOWN)")},
      {"COMPLEX", "7D 01 0C", MarshalError::unsupported_feature("TY_COMPLEX")},
      {"PICKLE", "7D 01 1A", MarshalError::unsupported_feature("TY_PICKLE")},
      {"PICKLER", "7D 01 21", MarshalError::unsupported_feature("TY_PICKLER")},
      {"DBROW", "7D 01 2A", MarshalError::unsupported_feature("TY_DBROW")},
      {"WSTREAM", "7D 01 2B", MarshalError::unsupported_feature("TY_WSTREAM")},
      {"STR_TABLE index 0", "7D 01 11 00", bad("invalid string table index 0")},
      {"STR_TABLE index 196", "7D 01 11 C4", bad("invalid string table index 196")},
      {"STR_TABLE index 255", "7D 01 11 FF", bad("invalid string table index 255")},
      // The shipped table holds none of the client's rows.
      {"STR_TABLE row this build lacks", "7D 01 11 C3",
       MarshalError::unsupported_feature("TY_STR_TABLE")},

      // --- negative sizes ---
      {"STR size -1", "7D 01 0D FF FF FF FF FF", bad("negative buffer length")},
      {"BUFFER size -1", "7D 01 13 FF FF FF FF FF", bad("negative buffer length")},
      {"GLOBAL size -2", "7D 01 02 FF FE FF FF FF", bad("negative buffer length")},
      {"LONG size -2^31", "7D 01 2F FF 00 00 00 80", bad("negative buffer length")},
      {"UNICODE count -1", "7D 01 12 FF FF FF FF FF", bad("negative unicode length")},
      {"UTF8 size -1", "7D 01 2E FF FF FF FF FF", bad("negative utf8 length")},
      {"TUPLE count -1", "7D 01 14 FF FF FF FF FF", bad("negative tuple length")},
      {"LIST count -1", "7D 01 15 FF FF FF FF FF", bad("negative list length")},
      {"DICT count -1", "7D 01 16 FF FF FF FF FF", bad("negative dict length")},

      // --- text checks ---
      {"GLOBAL with byte FF", "7D 01 02 01 FF", bad("bad utf-8 in global name")},
      {"UTF8 with byte FF", "7D 01 2E 01 FF", bad("bad utf-8 data")},
      {"UTF8 overlong C0 80", "7D 01 2E 02 C0 80", bad("bad utf-8 data")},
      {"UTF8 encoded surrogate ED A0 80", "7D 01 2E 03 ED A0 80", bad("bad utf-8 data")},
      {"UNICODE lone high surrogate at the end", "7D 01 12 01 3D D8", bad("bad utf-16 data")},
      {"UNICODE lone low surrogate", "7D 01 12 01 00 DE", bad("bad utf-16 data")},
      {"UNICODE high surrogate then 'A'", "7D 01 12 02 3D D8 41 00", bad("bad utf-16 data")},
      {"UNICODE two high surrogates", "7D 01 12 02 3D D8 3D D8", bad("bad utf-16 data")},
      {"UNICODE_1 D800", "7D 01 29 00 D8", bad("bad utf-16 code unit")},
      {"UNICODE_1 DFFF", "7D 01 29 FF DF", bad("bad utf-16 code unit")},

      // --- structure checks ---
      {"INSTANCE named by INT_0", "7D 01 17 08 01", bad("TY_INSTANCE guid isn't a string")},
      {"INSTANCE name checked before the state is read", "7D 01 17 08",
       bad("TY_INSTANCE guid isn't a string")},
      {"REDUCE payload LIST1", "7D 01 22 27 09 2D 2D", bad("reduce payload isn't a tuple")},
      {"REDUCE payload TUPLE1", "7D 01 22 25 09 2D 2D", bad("reduce tuple too short")},
      {"REDUCE payload checked before the items", "7D 01 22 24", bad("reduce tuple too short")},
      {"NEWOBJ payload TUPLE0", "7D 01 23 24 2D 2D", bad("empty newobj tuple")},
      {"a REDUCE dict item's value may not be the end byte", "7D 01 22 2C 09 08 2D 09 2D",
       bad("unknown type tag 45 (MARK)")},

      // --- checksums ---
      {"sequential, wrong checksum", "7D 01 1C 00 00 00 00 01", MarshalError::checksum_mismatch()},
      {"mapped, checksum without the map", "7E 01 00 00 00 1C 21 01 77 02 4D 02 68 69 01 00 00 00",
       MarshalError::checksum_mismatch()},
      {"mapped: the mismatch comes before the next value is read",
       "7E 00 00 00 00 1C 00 00 00 00 00", MarshalError::checksum_mismatch()},
      {"sequential: the next value's error comes before the check", "7D 01 1C 00 00 00 00 00",
       bad("unknown type tag 0 (UNKNOWN)")},

      // --- truncation inside a value ---
      {"INT64, 1 of 8 bytes", "7D 01 03 00", end},
      {"INT32, 3 of 4 bytes", "7D 01 04 00 00 00", end},
      {"INT16, 1 of 2 bytes", "7D 01 05 00", end},
      {"INT8, no byte", "7D 01 06", end},
      {"FLOAT, 7 of 8 bytes", "7D 01 0A 00 00 00 00 00 00 00", end},
      {"STR_CHAR, no byte", "7D 01 0F", end},
      {"STR_SHORT, 1 of 2 bytes", "7D 01 10 02 61", end},
      {"STR_TABLE, no index", "7D 01 11", end},
      {"UNICODE_1, 1 of 2 bytes", "7D 01 29 41", end},
      {"UNICODE, 3 of 4 bytes", "7D 01 12 02 41 00 42", end},
      {"STR, 1 of 5 bytes", "7D 01 0D 05 61", end},
      {"size field cut in its 4-byte form", "7D 01 0D FF 01 00", end},
      {"REFERENCE, no id", "7D 01 1B", end},
      {"CRC_CHECK, 2 of 4 bytes", "7D 01 1C 00 00", end},
      {"TUPLE2, one member", "7D 01 2C 09", end},
      {"DICT value without its key", "7D 01 16 01 0F 61", end},
      {"REDUCE without its list end", "7D 01 22 2C 09 08", end},
      {"REDUCE without its dict end", "7D 01 22 2C 09 08 2D", end},
      {"REDUCE dict item without its value", "7D 01 22 2C 09 08 2D 09", end},
      {"mapped: a read stops where the map starts", "7E 01 00 00 00 0D 04 61 01 00 00 00", end},

      // --- counts checked against the bytes left ---
      {"TUPLE of 2^31-1", "7D 01 14 FF FF FF FF 7F 01", end},
      {"LIST of 2^31-1", "7D 01 15 FF FF FF FF 7F 01", end},
      {"DICT of 2^31-1", "7D 01 16 FF FF FF FF 7F 01 01", end},
      {"DICT of 2 with 3 bytes left", "7D 01 16 02 09 0E 0E", end},
      {"STR of 2^31-1", "7D 01 0D FF FF FF FF 7F 61", end},
      {"BUFFER of 2^31-1", "7D 01 13 FF FF FF FF 7F 61", end},
      {"GLOBAL of 2^31-1", "7D 01 02 FF FF FF FF 7F 61", end},
      {"LONG of 2^31-1", "7D 01 2F FF FF FF FF 7F 01", end},
      {"UNICODE of 2^31-1 units", "7D 01 12 FF FF FF FF 7F 41 00", end},
      {"UTF8 of 2^31-1", "7D 01 2E FF FF FF FF 7F 61", end},
      {"flagged TUPLE: the count is checked before the claim", "7E 00 00 00 00 54 05 09", end},
      {"flagged STR: the payload is read before the claim", "7E 00 00 00 00 4D 05 61", end},
  };
}

TEST(ReadMarshal, RefusedStreams) {
  for (const auto& c : error_cases()) {
    SCOPED_TRACE(c.name);
    auto result = decode(c.stream);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message(), c.expected.message());
    EXPECT_TRUE(result.error() == c.expected);
  }
}

// Sequential, with a checksum: DICT of 3 entries holding TUPLE, INT8, INT16, LONG, a flagged STR,
// REDUCE with a flagged GLOBAL and both item lists and a REFERENCE, UNICODE, STR_CHAR, INSTANCE,
// LIST, FLOAT, UTF8 and STR_SHORT.
constexpr const char* RICH_SEQUENTIAL =
    "7D 01 1C 65 0A DF 22"
    " 16 03"
    "   14 04 09 06 85 05 00 80 2F 02 80 00"                       // (1, -123, -32768, 128L)
    "   4D 04 6B 65 79 31"                                         // key: flagged 'key1', slot 0
    "   22 2C 42 01 66 24 09 2D 1B 00 12 01 41 00 2D"              // REDUCE f() [1] {key1: 'A'}
    "   0F 6B"                                                     // key: 'k'
    "   17 0D 01 43 15 02 0A 00 00 00 00 00 00 F0 3F 2E 02 C3 A9"  // C([1.0, 'é'])
    "   10 02 68 69";                                              // key: 'hi'

// The same tree in mapped form, without the checksum: slots 1 and 2 by the map [1, 2].
constexpr const char* RICH_MAPPED =
    "7E 02 00 00 00"
    " 16 03"
    "   14 04 09 06 85 05 00 80 2F 02 80 00"
    "   4D 04 6B 65 79 31"
    "   22 2C 42 01 66 24 09 2D 1B 01 12 01 41 00 2D"
    "   0F 6B"
    "   17 0D 01 43 15 02 0A 00 00 00 00 00 00 F0 3F 2E 02 C3 A9"
    "   10 02 68 69"
    " 01 00 00 00 02 00 00 00";

MarshalValue rich_tree() {
  return dict({
      {bytes("key1"), tuple({i64(1), i64(-123), i64(-32768), big("128")})},
      {bytes("k"),
       reduce(Global{"f"}, tuple({}), std::nullopt, {i64(1)}, {{bytes("key1"), utf8("A")}}, false)},
      {bytes("hi"), Instance{"C", list({1.0, utf8("\xC3\xA9")})}},
  });
}

TEST(ReadMarshal, RichStreamsDecode) {
  for (const char* stream : {RICH_SEQUENTIAL, RICH_MAPPED}) {
    SCOPED_TRACE(stream);
    auto result = decode(stream);
    ASSERT_TRUE(result.has_value()) << result.error().message();
    EXPECT_TRUE(result->value == rich_tree());
  }
}

TEST(ReadMarshal, EveryTruncatedPrefixFails) {
  const auto sequential = hex(RICH_SEQUENTIAL);
  for (std::size_t n = 0; n < sequential.size(); ++n) {
    SCOPED_TRACE("sequential prefix of " + std::to_string(n) + " bytes");
    auto result = read_marshal(std::span(sequential).first(n));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind(), MarshalErrorKind::UnexpectedEnd);
  }
  // Cutting a mapped stream moves its map, so the error may be of any kind; it must be clean.
  const auto mapped = hex(RICH_MAPPED);
  for (std::size_t n = 0; n < mapped.size(); ++n) {
    SCOPED_TRACE("mapped prefix of " + std::to_string(n) + " bytes");
    EXPECT_FALSE(read_marshal(std::span(mapped).first(n)).has_value());
  }
}

TEST(ReadMarshal, FlippedByteUnderChecksum) {
  // Sequential: the check runs at the end, so only a flip that leaves the stream well-formed
  // reaches it: the bytes of the STR_SHORT 'hi' payload (last two bytes) and of the UTF8 payload.
  const auto sequential = hex(RICH_SEQUENTIAL);
  for (std::size_t from_end : {1, 2, 5}) {
    SCOPED_TRACE("sequential, byte " + std::to_string(from_end) + " from the end");
    auto flipped = sequential;
    flipped[flipped.size() - from_end] ^= 0x01;
    auto result = read_marshal(flipped);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind(), MarshalErrorKind::ChecksumMismatch);
  }
  // Mapped: the check runs as soon as CRC_CHECK is met, so every flipped body byte is caught.
  const auto mapped = hex("7E 01 00 00 00 1C 22 01 FF 06 4D 02 68 69 01 00 00 00");
  for (std::size_t at = 6; at < mapped.size() - 4; ++at) {
    SCOPED_TRACE("mapped, byte " + std::to_string(at));
    auto flipped = mapped;
    flipped[at] ^= 0x01;
    auto result = read_marshal(flipped);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind(), MarshalErrorKind::ChecksumMismatch);
  }
}

struct DepthCase {
  const char* name;
  std::vector<std::uint8_t> stream;
  bool accepted;
};

TEST(ReadMarshal, DepthLimit) {
  const auto seq = hex("7D 01");
  const auto tuple1 = [](std::size_t n) { return repeat(0x25, n); };
  const DepthCase cases[] = {
      // The root is level 1, so the NONE inside 999 TUPLE1 is level 1000.
      {"999 TUPLE1 around NONE", concat({seq, tuple1(999), hex("01")}), true},
      {"1000 TUPLE1 around NONE", concat({seq, tuple1(1000), hex("01")}), false},
      {"999 LIST1 around NONE", concat({seq, repeat(0x27, 999), hex("01")}), true},
      {"1000 CALLBACK around NONE", concat({seq, repeat(0x19, 1000), hex("01")}), false},
      // The class name of INSTANCE is a nested read.
      {"INSTANCE at level 999", concat({seq, tuple1(998), hex("17 0E 01")}), true},
      {"INSTANCE at level 1000", concat({seq, tuple1(999), hex("17 0E 01")}), false},
      // DICT members and REDUCE items are one level down; the REDUCE payload's members two.
      {"DICT at level 1000 with an entry", concat({seq, tuple1(999), hex("16 01 01 01")}), false},
      {"REDUCE at level 998, payload members at 1000, item at 999",
       concat({seq, tuple1(997), hex("22 2C 01 01 01 2D 2D")}), true},
      {"REDUCE at level 999, payload members at 1001",
       concat({seq, tuple1(998), hex("22 2C 01 01 2D 2D")}), false},
      // CRC_CHECK is a level of its own: its value is one level down.
      {"CRC_CHECK root, 998 TUPLE1 around NONE",
       concat({seq, hex("1C 40 90 A5 15"), tuple1(998), hex("01")}), true},
      {"CRC_CHECK root, 999 TUPLE1 around NONE",
       concat({seq, hex("1C 00 00 00 00"), tuple1(999), hex("01")}), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto result = read_marshal(c.stream);
    if (c.accepted) {
      EXPECT_TRUE(result.has_value()) << result.error().message();
    } else {
      ASSERT_FALSE(result.has_value());
      EXPECT_EQ(result.error().kind(), MarshalErrorKind::RecursionLimit);
    }
  }
}

TEST(ReadMarshal, ReferencesCannotDeepenTheTreePastTheLimit) {
  // TUPLE2(flagged TUPLE1 chain 601 levels deep, k TUPLE1 around REFERENCE 0): the copy spans
  // levels 2+k .. 2+k+600, which must stay within 1000.
  const auto stored = concat({hex("65"), repeat(0x25, 599), hex("01")});
  const auto with_reference = [&](std::size_t k) {
    return concat({hex("7D 01 2C"), stored, repeat(0x25, k), hex("1B 00")});
  };
  auto fits = read_marshal(with_reference(398));
  EXPECT_TRUE(fits.has_value()) << fits.error().message();
  auto too_deep = read_marshal(with_reference(399));
  ASSERT_FALSE(too_deep.has_value());
  EXPECT_EQ(too_deep.error().kind(), MarshalErrorKind::RecursionLimit);
}

TEST(ReadMarshal, ReferencesCannotBlowUpASmallStream) {
  // Slot 0: a TUPLE of 254 STR_EMPTY; each slot after it a TUPLE of 254 references to the slot
  // before. Three such slots would hold 254^4 nodes from about a kilobyte of input.
  const auto stream_of = [](std::uint8_t referring_slots) {
    std::vector<std::uint8_t> stream = hex("7D 01 14");
    stream.push_back(static_cast<std::uint8_t>(referring_slots + 1));
    const auto append = [&](const std::vector<std::uint8_t>& part, std::size_t times) {
      for (std::size_t i = 0; i < times; ++i) stream.insert(stream.end(), part.begin(), part.end());
    };
    append(hex("54 FE"), 1);
    append(hex("0E"), 254);
    for (std::uint8_t slot = 0; slot < referring_slots; ++slot) {
      append(hex("54 FE"), 1);
      append({0x1B, slot}, 254);
    }
    return stream;
  };
  constexpr std::uint64_t REAL_FLOOR = ReadOptions{}.copy_budget_floor;
  struct Case {
    const char* name;
    std::uint8_t referring_slots;
    std::uint64_t copy_budget_floor;
    bool accepted;
  };
  const Case cases[] = {
      {"some 65 thousand copied nodes, a few MB", 1, REAL_FLOOR, true},
      {"the same with a floor of 1 MiB", 1, std::uint64_t{1} << 20, false},
      {"some 4 billion copied nodes", 3, REAL_FLOOR, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto result = read_marshal(stream_of(c.referring_slots), {c.copy_budget_floor});
    if (c.accepted) {
      EXPECT_TRUE(result.has_value()) << result.error().message();
    } else {
      ASSERT_FALSE(result.has_value());
      EXPECT_EQ(result.error(),
                MarshalError::invalid_stream("shared objects expand beyond the size limit"));
    }
  }
}

// A container key's text is the JSON of itself, in which a container key it holds is escaped once
// more: nested thirty deep, a hundred bytes would ask for gigabytes of text. The value tree and
// the JSON decode refuse alike; container keys that hold none are never charged.
TEST(ReadMarshal, NestedContainerKeysCannotBlowUpASmallStream) {
  // {[{[{'a': None}]: None}]: None}, `levels` lists deep.
  const auto nested = [](int levels) {
    std::vector<std::uint8_t> stream = hex("7D 01 16 01 01");
    for (int i = 0; i < levels; ++i) {
      const auto level = hex("27 16 01 01");
      stream.insert(stream.end(), level.begin(), level.end());
    }
    stream.push_back(0x0F);
    stream.push_back(0x61);
    return stream;
  };
  // [s0, s1, ...]: s0 the shared [{'a': None}], every later one the shared [{k: None}] whose key
  // k is a copy of the one before, so the nesting goes through the references.
  const auto chained = [](std::uint8_t levels) {
    std::vector<std::uint8_t> stream = hex("7D 01 15");
    stream.push_back(static_cast<std::uint8_t>(levels + 1));
    const auto first = hex("67 16 01 01 0F 61");
    stream.insert(stream.end(), first.begin(), first.end());
    for (std::uint8_t slot = 0; slot < levels; ++slot) {
      const auto level = hex("67 16 01 01 1B");
      stream.insert(stream.end(), level.begin(), level.end());
      stream.push_back(slot);
    }
    return stream;
  };
  // {(1, 1, ... 250 times): None}: a container key that holds none, weighing more than the
  // budget that its input gives.
  const auto flat = [] {
    std::vector<std::uint8_t> stream = hex("7D 01 16 01 01 14 FA");
    stream.insert(stream.end(), 250, 0x09);
    return stream;
  };
  // {(s, s, ... `members` times): None}, s shared bytes of a mebibyte: one key, which weighs
  // its members' mebibytes.
  const auto heavy = [](std::uint8_t members) {
    std::vector<std::uint8_t> stream = hex("7D 01 16 01 01 14");
    stream.push_back(members);
    const auto shared = hex("4D FF 00 00 10 00");
    stream.insert(stream.end(), shared.begin(), shared.end());
    stream.insert(stream.end(), std::size_t{1} << 20, 'a');
    for (std::uint8_t i = 1; i < members; ++i) {
      stream.push_back(0x1B);
      stream.push_back(0x00);
    }
    return stream;
  };
  constexpr std::uint64_t REAL_FLOOR = ReadOptions{}.copy_budget_floor;
  struct Case {
    const char* name;
    std::vector<std::uint8_t> stream;
    std::uint64_t copy_budget_floor;
    bool accepted;
  };
  const Case cases[] = {
      {"eight levels", nested(8), REAL_FLOOR, true},
      {"forty levels", nested(40), REAL_FLOOR, false},
      {"eight levels through references", chained(8), REAL_FLOOR, true},
      {"forty levels through references", chained(40), REAL_FLOOR, false},
      {"the copies' budget: a few levels with no floor", nested(4), 0, false},
      {"a key holding no container key, with no floor", flat(), 0, true},
      {"a key of 63 MiB", heavy(63), REAL_FLOOR, true},
      {"a key of 65 MiB, whose text could pass what one key holds", heavy(65), REAL_FLOOR, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadOptions options{c.copy_budget_floor};
    const auto tree = read_marshal(c.stream, options);
    const auto json = decode_to_json(c.stream, {}, options);
    if (c.accepted) {
      EXPECT_TRUE(tree.has_value()) << tree.error().message();
      EXPECT_TRUE(json.has_value()) << json.error().message();
      continue;
    }
    const auto refusal =
        MarshalError::invalid_stream("dictionary keys expand beyond the size limit");
    ASSERT_FALSE(tree.has_value());
    EXPECT_EQ(tree.error(), refusal);
    ASSERT_FALSE(json.has_value());
    EXPECT_EQ(json.error(), refusal);
  }
}

}  // namespace
}  // namespace marshal
