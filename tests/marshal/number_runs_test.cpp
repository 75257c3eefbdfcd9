// Numbers, most of a settings file, take shorter paths than other values: the reader makes a
// sequence's numbers straight in it, and the writers choose each integer's width without
// comparing it with each range. Short byte-string keys, most of the rest, skip the reader's
// general dispatch too. Each must give exactly what the one-value-at-a-time path gives.
#include <gtest/gtest.h>

#include <boost/json/serialize.hpp>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "helpers/codec_equivalence.hpp"
#include "helpers/plain_reader.hpp"
#include "helpers/value_helpers.hpp"
#include "marshal/json.hpp"
#include "marshal/json_codec.hpp"
#include "marshal/reader.hpp"
#include "stream_format.hpp"

namespace marshal {
namespace {

using detail::Tag;
using testing::direct_paths_mismatch;
using testing::hex;

// The narrowest tag as the format defines it: the first range that holds the value.
Tag narrowest_by_ranges(std::int64_t i) {
  if (i == -1) return Tag::INT_N1;
  if (i == 0) return Tag::INT_0;
  if (i == 1) return Tag::INT_1;
  if (i >= INT8_MIN && i <= INT8_MAX) return Tag::INT8;
  if (i >= INT16_MIN && i <= INT16_MAX) return Tag::INT16;
  if (i >= INT32_MIN && i <= INT32_MAX) return Tag::INT32;
  return Tag::INT64;
}

TEST(NarrowestIntTag, IsTheFirstRangeThatHoldsTheValue) {
  std::vector<std::int64_t> values = {std::numeric_limits<std::int64_t>::min(),
                                      std::numeric_limits<std::int64_t>::max()};
  // Every power of two, its neighbours, and their negations: each range's edges among them.
  for (int k = 0; k < 63; ++k) {
    const std::int64_t p = std::int64_t{1} << k;
    for (const std::int64_t v : {p - 1, p, p + 1}) {
      values.push_back(v);
      values.push_back(-v);
    }
  }
  for (const std::int64_t v : values) {
    SCOPED_TRACE(std::to_string(v));
    EXPECT_EQ(detail::narrowest_int_tag(v), narrowest_by_ranges(v));
  }
}

TEST(FixedNumberWidth, GivesThePayloadOfExactlyTheFixedWidthTags) {
  const std::pair<Tag, std::size_t> widths[] = {
      {Tag::INT8, 1}, {Tag::INT16, 2}, {Tag::INT32, 4}, {Tag::INT64, 8}, {Tag::FLOAT, 8}};
  for (unsigned byte = 0; byte <= detail::TAG_MASK; ++byte) {
    const auto tag = static_cast<Tag>(byte);
    std::size_t expected = 0;
    for (const auto& [fixed, width] : widths) expected = fixed == tag ? width : expected;
    SCOPED_TRACE(std::to_string(byte));
    EXPECT_EQ(detail::fixed_number_width(tag), expected);
  }
}

// A sequential stream of a LIST of `members`, each given as its encoded bytes.
std::vector<std::uint8_t> list_stream(const std::vector<std::string>& members) {
  std::string body = "15 ";
  char count[4];
  std::snprintf(count, sizeof count, "%02X ", static_cast<unsigned>(members.size()));
  body += count;
  for (const auto& m : members) body += m + " ";
  return hex("7D 01 " + body);
}

TEST(DirectNumbers, SequencesReadAsThroughTheGeneralDispatch) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> stream;
  };
  const std::vector<Case> cases = {
      {"every width at its edges",
       list_stream({"06 80", "06 7F", "05 00 80", "05 FF 7F", "04 00 00 00 80", "04 FF FF FF 7F",
                    "03 00 00 00 00 00 00 00 80", "03 FF FF FF FF FF FF FF 7F", "01"})},
      {"wide tags holding small values",
       list_stream({"03 05 00 00 00 00 00 00 00", "04 FF FF FF FF", "05 01 00", "01"})},
      {"floats: zeros, a NaN payload, infinity, a subnormal",
       list_stream({"0A 00 00 00 00 00 00 00 00", "0A 00 00 00 00 00 00 00 80",
                    "0A 01 00 00 00 00 00 F8 7F", "0A 00 00 00 00 00 00 F0 FF",
                    "0A 01 00 00 00 00 00 00 00", "01"})},
      {"flagged number tags",
       list_stream({"46 05", "45 01 02", "4A 00 00 00 00 00 00 F0 3F", "01"})},
      // The tags just past the fixed widths are numbers too, read through the dispatch.
      {"a run broken by each number tag without a payload",
       list_stream({"06 01", "07", "05 02 00", "08", "04 03 00 00 00", "09",
                    "03 04 00 00 00 00 00 00 00", "0B", "0A 00 00 00 00 00 00 F0 3F", "01", "06 05",
                    "01"})},
      {"numbers among other values", list_stream({"06 05", "0F 61", "05 00 01", "27 06 07", "09",
                                                  "0A 00 00 00 00 00 00 F0 3F", "01"})},
      // The last members are read near the end of the input, where the general path takes over.
      {"numbers to the very end", list_stream({"06 01", "05 02 00", "04 03 00 00 00"})},
      {"cut inside the last number", hex("7D 01 15 03 06 01 06 02 05 03")},
      {"cut inside a number far from the end",
       hex("7D 01 15 02 03 01 02 03 04 05 06 07 08 03 01 02")},
      {"a list of numbers as a dict value", hex("7D 01 16 01 15 02 06 01 06 02 0F 6B")},
      {"a tuple of numbers as a REDUCE payload",
       hex("7D 01 22 14 03 05 01 00 04 02 00 00 00 06 03 2D 2D")},
      // A mapped stream's map lies past the readable end: a number cut by it must not read on
      // into the map.
      {"mapped, numbers up to the map", hex("7E 01 00 00 00 15 02 06 01 06 02 01 00 00 00")},
      {"mapped, a number cut by the map", hex("7E 01 00 00 00 15 02 06 01 05 02 01 00 00 00")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(direct_paths_mismatch(c.stream), "");
  }

  // And what both give, for one: the numbers at their widths, with signs.
  const auto decoded = read_marshal(cases[0].stream);
  ASSERT_TRUE(decoded);
  const auto* items = decoded->value.get_if<List>();
  ASSERT_NE(items, nullptr);
  const std::vector<std::int64_t> expected = {INT8_MIN,  INT8_MAX,  INT16_MIN, INT16_MAX,
                                              INT32_MIN, INT32_MAX, INT64_MIN, INT64_MAX};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(*items->items[i].get_if<std::int64_t>(), expected[i]);
  }
}

TEST(DirectNumbers, RandomSequencesReadAsThroughTheGeneralDispatch) {
  // Member encodings of every number tag, flagged or not, and a few other values, cut at random.
  const std::vector<std::string> members = {"06 80",
                                            "05 00 80",
                                            "04 00 00 00 80",
                                            "03 00 00 00 00 00 00 00 80",
                                            "0A 00 00 00 00 00 00 F0 3F",
                                            "46 7F",
                                            "43 01 00 00 00 00 00 00 00",
                                            "07",
                                            "08",
                                            "09",
                                            "0B",
                                            "0F 61",
                                            "26",
                                            "27 06 01",
                                            "01"};
  std::mt19937_64 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::vector<std::string> picked(rng() % 40);
    for (auto& m : picked) m = members[rng() % members.size()];
    std::vector<std::uint8_t> stream = list_stream(picked);
    if (round % 3 == 0 && stream.size() > 4) stream.resize(4 + rng() % (stream.size() - 4));
    SCOPED_TRACE("round " + std::to_string(round));
    EXPECT_EQ(direct_paths_mismatch(stream), "");
  }
}

TEST(DirectNumbers, TooDeepNumbersAreRefusedAlike) {
  // 999 TUPLE1 around a LIST of two INT8: the list is level 1000, its numbers 1001.
  std::vector<std::uint8_t> stream = hex("7D 01");
  stream.insert(stream.end(), 999, 0x25);
  for (const std::uint8_t b : hex("15 02 06 01 06 02")) stream.push_back(b);
  EXPECT_EQ(direct_paths_mismatch(stream), "");
  const auto decoded = read_marshal(stream);
  ASSERT_FALSE(decoded);
  EXPECT_EQ(decoded.error().kind(), MarshalErrorKind::RecursionLimit);
}

// Most dictionary keys are short byte strings, which the reader hands to the builder as bytes,
// with no node made for the key.
TEST(DirectKeys, DictionariesReadAsThroughTheGeneralDispatch) {
  struct Case {
    const char* name;
    const char* stream;
    const char* json;  // what decode_to_json gives, or its error text
  };
  const Case cases[] = {
      {"short keys", "7D 01 16 02 01 10 02 61 62 09 10 01 63", R"({"bytes:ab":null,"bytes:c":1})"},
      {"an empty short key", "7D 01 16 01 01 10 00", R"({"bytes:":null})"},
      {"short keys that are not text, or look like base64",
       "7D 01 16 02 01 10 02 FF FE 09 10 05 62 36 34 3A 78",
       R"({"bytes:b64://4=":null,"bytes:b64:YjY0Ong=":1})"},
      // The short form, STR_CHAR and STR give one key text: the first place, the last value.
      {"a key repeated in other forms", "7D 01 16 03 01 10 01 61 08 0F 61 26 0D 01 61",
       R"({"bytes:a":[]})"},
      {"a shared key, a reference to it, and its short form",
       "7D 01 16 03 01 4D 01 61 08 1B 00 09 10 01 61", R"({"bytes:a":1})"},
      {"keys of other variants", "7D 01 16 02 01 06 05 09 2C 06 01 2E 01 61",
       R"({"int:5":null,"json:{\"tuple\":[1,\"utf8:a\"]}":1})"},
      {"a short key cut by the end", "7D 01 16 01 01 10 05 61 62", "unexpected end of stream"},
      {"a short key cut by the map", "7E 01 00 00 00 16 01 01 10 04 61 01 00 00 00",
       "unexpected end of stream"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::uint8_t> stream = hex(c.stream);
    EXPECT_EQ(direct_paths_mismatch(stream), "");
    EXPECT_EQ(testing::decode_mismatch(stream), "");
    const auto decoded = decode_to_json(stream);
    EXPECT_EQ(decoded ? boost::json::serialize(decoded->value) : decoded.error().message(), c.json);
  }

  // 999 TUPLE1 around a DICT: its key and value would be level 1001.
  std::vector<std::uint8_t> deep = hex("7D 01");
  deep.insert(deep.end(), 999, 0x25);
  for (const std::uint8_t b : hex("16 01 01 10 01 61")) deep.push_back(b);
  EXPECT_EQ(direct_paths_mismatch(deep), "");
}

}  // namespace
}  // namespace marshal
