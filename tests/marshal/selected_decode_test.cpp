// decode_selected_json against decode_to_json: the members it keeps are the whole tree's, shared
// objects claimed in parts it leaves out included, and it refuses every stream the whole decode
// refuses, with the same error.
#include <gtest/gtest.h>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "helpers/random_tree.hpp"
#include "helpers/value_helpers.hpp"
#include "marshal/json_codec.hpp"
#include "marshal/writer.hpp"
#include "stream_decode.hpp"

namespace marshal {
namespace {

using testing::hex;

// STR_SHORT of `name`: how dictionary keys are mostly stored.
std::string key(const std::string& name) {
  char length[4];
  std::snprintf(length, sizeof length, "%02X", static_cast<unsigned>(name.size()));
  std::string out = "10 " + std::string(length);
  for (const char ch : name) {
    char byte[4];
    std::snprintf(byte, sizeof byte, " %02X", static_cast<unsigned char>(ch));
    out += byte;
  }
  return out;
}

// A DICT of (value, key) entries as the stream holds them: each value before its key.
std::string dict_of(const std::vector<std::pair<std::string, std::string>>& entries) {
  char count[4];
  std::snprintf(count, sizeof count, "%02X", static_cast<unsigned>(entries.size()));
  std::string out = "16 " + std::string(count);
  for (const auto& [value, k] : entries) out += " " + value + " " + k;
  return out;
}

std::vector<std::uint8_t> sequential(const std::string& body) { return hex("7D 01 " + body); }

// The root {o: `skipped`, ui: {pick: 1}}, and the root {ui: {pick: `picked`}}.
std::vector<std::uint8_t> in_skipped(const std::string& skipped) {
  return sequential(dict_of({{skipped, key("o")}, {dict_of({{"09", key("pick")}}), key("ui")}}));
}
std::vector<std::uint8_t> in_picked(const std::string& picked) {
  return sequential(dict_of({{dict_of({{picked, key("pick")}}), key("ui")}}));
}

MemberSelection pick() { return MemberSelection().add({"bytes:ui", "bytes:pick"}); }

std::string decoded_text(const Result<DecodedJson, MarshalError>& decoded) {
  return decoded ? boost::json::serialize(decoded->value) : "error: " + decoded.error().message();
}

TEST(SelectedDecode, KeepsTheSelectedMembersAsTheWholeTreeHasThem) {
  struct Row {
    const char* name;
    std::vector<std::uint8_t> stream;
    const char* expected;  // the JSON of the selected tree
  };
  const std::vector<Row> rows = {
      {"no such member", sequential(dict_of({{"09", key("o")}})), "{}"},
      {"the picked member only",
       sequential(dict_of(
           {{"09", key("o")}, {dict_of({{"09", key("pick")}, {"06 02", key("o")}}), key("ui")}})),
       R"({"bytes:ui":{"bytes:pick":1}})"},
      {"a repeated member: its first place, its last value",
       sequential(
           dict_of({{dict_of({{"09", key("pick")}}), key("ui")},
                    {"08", key("o")},
                    {dict_of({{"06 02", key("pick")}, {"06 03", key("pick")}}), key("ui")}})),
       R"({"bytes:ui":{"bytes:pick":3}})"},
      {"a path through no dictionary keeps the value whole",
       sequential(dict_of({{"25 09", key("ui")}})), R"({"bytes:ui":{"tuple":[1]}})"},
      {"a root that is no dictionary is kept whole", sequential("25 09"), R"({"tuple":[1]})"},
      {"a string shared in a skipped member, referenced in the picked one",
       sequential(
           dict_of({{"4D 02 61 62", key("o")}, {dict_of({{"1B 00", key("pick")}}), key("ui")}})),
       R"({"bytes:ui":{"bytes:pick":"bytes:ab"}})"},
      {"a container shared in a skipped member, referenced in the picked one",
       sequential(
           dict_of({{dict_of({{"6C 09 2E 01 78", key("o")}, {"1B 00", key("pick")}}), key("ui")}})),
       R"({"bytes:ui":{"bytes:pick":{"tuple":[1,"utf8:x"]}}})"},
      {"a key given by a reference to a string shared in a skipped member",
       sequential(
           dict_of({{"4D 04 70 69 63 6B", key("o")}, {dict_of({{"09", "1B 00"}}), key("ui")}})),
       R"({"bytes:ui":{"bytes:pick":1}})"},
      // The map gives both claims slot 1: the picked member's first reading overwrites what the
      // skipped one stored, and its second reading must see the slot as it was before.
      {"a mapped slot claimed again inside the picked member",
       hex("7E 02 00 00 00 16 01 " +
           dict_of({{"4D 01 61", key("o")}, {"15 03 1B 01 4D 01 62 1B 01", key("pick")}}) + " " +
           key("ui") + " 01 00 00 00 01 00 00 00"),
       R"({"bytes:ui":{"bytes:pick":["bytes:a","bytes:b","bytes:b"]}})"},
      {"a sequential slot made inside the picked member",
       sequential(dict_of({{dict_of({{"15 02 4D 01 61 1B 00", key("pick")}}), key("ui")}})),
       R"({"bytes:ui":{"bytes:pick":["bytes:a","bytes:a"]}})"},
      {"a mapped slot not yet filled reads as none",
       hex("7E 01 00 00 00 " +
           dict_of({{dict_of({{"1B 01", key("pick")}, {"4D 01 61", key("o")}}), key("ui")}}) +
           " 01 00 00 00"),
       R"({"bytes:ui":{"bytes:pick":null}})"},
      {"a dictionary the stream shares is kept whole",
       sequential(dict_of({{"56 02 09 " + key("pick") + " 08 " + key("o"), key("ui")}})),
       R"({"bytes:ui":{"bytes:pick":1,"bytes:o":0}})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string whole = decoded_text(decode_to_json(row.stream));
    ASSERT_EQ(whole.rfind("error", 0), std::string::npos) << whole;
    EXPECT_EQ(decoded_text(decode_selected_json(row.stream, pick())), row.expected);
    EXPECT_EQ(decoded_text(detail::decode_selected_tree<false>(row.stream, pick(), {}, {})),
              row.expected);
  }
}

// A list whose first member is a shared byte string and every later member a shared pair of
// references to the member before it: the copies double at every step.
std::string doubling_copies(int steps) {
  char count[8];
  std::snprintf(count, sizeof count, "%02X", steps + 1);
  std::string body = "15 " + std::string(count) + " 4D 10";
  for (int i = 0; i < 16; ++i) body += " 61";
  for (int slot = 1; slot <= steps; ++slot) {
    char ref[32];
    std::snprintf(ref, sizeof ref, " 6C 1B %02X 1B %02X", slot - 1, slot - 1);
    body += ref;
  }
  return body;
}

// A dictionary whose key is a one-member list holding a dictionary whose key is such a list, and
// so on `levels` deep: each level's key text escapes the one below, so the texts double.
std::string nested_container_keys(int levels) {
  std::string k = key("a");
  for (int i = 0; i < levels; ++i) k = "27 " + dict_of({{"01", k}});
  return dict_of({{"01", k}});
}

TEST(SelectedDecode, RefusesWhatTheWholeDecodeRefuses) {
  struct Row {
    const char* name;
    std::vector<std::uint8_t> stream;
    const char* error;  // empty: both decode
  };
  std::string deep;
  for (int i = 0; i < 1000; ++i) deep += "25 ";
  deep += "01";
  const std::vector<Row> rows = {
      {"empty input", {}, "unexpected end of stream"},
      {"truncated header", hex("7E 01 00"), "unexpected end of stream"},
      {"missing signature", hex("7C 01"), "invalid marshal stream: missing marshal signature"},
      {"bogus map entry", hex("7E 01 00 00 00 01 02 00 00 00"),
       "invalid marshal stream: bogus shared-object map entry"},
      {"unknown tag in a skipped member", in_skipped("18"),
       "invalid marshal stream: unknown type tag 24 (UNKNOWN)"},
      {"refused tag in the picked member", in_picked("0C"),
       "unsupported marshal feature: TY_COMPLEX"},
      {"negative size in a skipped member", in_skipped("13 FF FF FF FF FF"),
       "invalid marshal stream: negative buffer length"},
      {"count past the end in a skipped member", in_skipped("14 FF 00 00 01 00"),
       "unexpected end of stream"},
      {"invalid UTF-8 in a skipped member", in_skipped("2E 01 FF"),
       "invalid marshal stream: bad utf-8 data"},
      {"lone surrogate in UTF-16 in a skipped member", in_skipped("12 01 00 D8"),
       "invalid marshal stream: bad utf-16 data"},
      {"lone surrogate in UTF-16 in the picked member", in_picked("12 01 00 DC"),
       "invalid marshal stream: bad utf-16 data"},
      {"surrogate code unit in a skipped member", in_skipped("29 00 DC"),
       "invalid marshal stream: bad utf-16 code unit"},
      {"string table index in a skipped member", in_skipped("11 00"),
       "invalid marshal stream: invalid string table index 0"},
      {"reference out of range in the picked member", in_picked("1B 05"),
       "invalid TY_REFERENCE id 5"},
      {"reference out of range in a skipped member", in_skipped("1B 05"),
       "invalid TY_REFERENCE id 5"},
      {"copy limit exceeded in a skipped member", in_skipped(doubling_copies(24)),
       "invalid marshal stream: shared objects expand beyond the size limit"},
      {"copy limit exceeded in the picked member", in_picked(doubling_copies(24)),
       "invalid marshal stream: shared objects expand beyond the size limit"},
      {"copies within the limit", in_skipped(doubling_copies(10)), ""},
      {"container keys nested past the limit in a skipped member",
       in_skipped(nested_container_keys(40)),
       "invalid marshal stream: dictionary keys expand beyond the size limit"},
      {"container keys nested past the limit in the picked member",
       in_picked(nested_container_keys(40)),
       "invalid marshal stream: dictionary keys expand beyond the size limit"},
      {"container keys nested within the limit", in_skipped(nested_container_keys(8)), ""},
      {"nesting too deep in a skipped member", in_skipped(deep), "maximum recursion depth reached"},
      {"nesting too deep in the picked member", in_picked(deep), "maximum recursion depth reached"},
      {"reduce tuple too short in a skipped member", in_skipped("22 25 09 2D 2D"),
       "invalid marshal stream: reduce tuple too short"},
      {"instance named by an integer in the picked member", in_picked("17 08 01"),
       "invalid marshal stream: TY_INSTANCE guid isn't a string"},
      {"shared object table overflow in the picked member",
       hex("7E 01 00 00 00 " +
           dict_of({{"4D 01 61", key("o")}, {dict_of({{"4D 01 62", key("pick")}}), key("ui")}}) +
           " 01 00 00 00"),
       "invalid marshal stream: shared object table overflow"},
      {"bad checksum", hex("7D 01 1C 00 00 00 00 " + dict_of({{"09", key("o")}})),
       "adler32 checksum mismatch"},
      {"bad checksum in a skipped member", in_skipped("1C 00 00 00 00 09"),
       "adler32 checksum mismatch"},
      {"cut inside the picked member's key", sequential("16 01 16 01 09 10 04 70 69"),
       "unexpected end of stream"},
      {"trailing bytes are read past, not refused", hex("7D 01 08 FF FF 18"), ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string expected = *row.error == '\0' ? "" : std::string("error: ") + row.error;
    const auto outcome = [&](const Result<DecodedJson, MarshalError>& decoded) {
      return decoded ? std::string() : decoded_text(decoded);
    };
    EXPECT_EQ(outcome(decode_to_json(row.stream)), expected);
    EXPECT_EQ(outcome(decode_selected_json(row.stream, pick())), expected);
    EXPECT_EQ(outcome(detail::decode_selected_tree<false>(row.stream, pick(), {}, {})), expected);
  }
}

// Random members around the selected ones, in every variant the writer writes: the selected
// tree must be what the whole decode gives of a tree holding only those members.
TEST(SelectedDecode, RandomTreesCutDownAsTheWholeTree) {
  for (std::uint64_t seed = 0; seed < 200; ++seed) {
    std::mt19937_64 rng(seed);
    const auto random = [&] { return testing::random_tree(rng); };
    const MarshalValue first_pick = random();
    const MarshalValue last_pick = random();
    const MarshalValue whole =
        testing::dict({{testing::bytes("o"), random()},
                       {testing::bytes("ui"), testing::dict({{testing::bytes("pick"), first_pick},
                                                             {testing::bytes("o"), random()},
                                                             {testing::bytes("pick"), last_pick}})},
                       {testing::bytes("p"), random()}});
    const MarshalValue cut = testing::dict(
        {{testing::bytes("ui"), testing::dict({{testing::bytes("pick"), first_pick},
                                               {testing::bytes("pick"), last_pick}})}});
    for (const bool crc : {false, true}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + (crc ? " crc" : ""));
      const auto stream = write_marshal(whole, EncodeOptions{crc, 1});
      const auto expected = write_marshal(cut, EncodeOptions{false, 1});
      ASSERT_TRUE(stream && expected);
      EXPECT_EQ(decoded_text(decode_selected_json(*stream, pick())),
                decoded_text(decode_to_json(*expected)));
    }
  }
}

}  // namespace
}  // namespace marshal
