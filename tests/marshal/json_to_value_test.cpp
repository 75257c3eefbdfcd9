#include <gtest/gtest.h>

#include <bit>
#include <boost/json/serialize.hpp>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "helpers/value_helpers.hpp"
#include "marshal/json.hpp"

namespace marshal {
namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr std::uint64_t QUIET_NAN = 0x7FF8000000000000;

using testing::big;
using testing::bytes;
using testing::dict;
using testing::float_bits;
using testing::list;
using testing::tuple;
using testing::utf8;
MarshalValue i64(std::int64_t i) { return i; }

// Either the value expected or the detail of the InvalidJsonEncoding error expected.
struct Expected {
  template <class T>
  requires(std::is_constructible_v<MarshalValue, T> && !std::is_convertible_v<T, std::string>)
      Expected(T v)
      : value(MarshalValue(std::move(v))) {}                  // NOLINT
  Expected(const char* detail) : error(detail) {}             // NOLINT
  Expected(std::string detail) : error(std::move(detail)) {}  // NOLINT
  std::optional<MarshalValue> value;
  std::string error;
};

struct DecodeCase {
  const char* description;
  std::string input;
  Expected expected;
};

std::string describe(const MarshalValue& value) {
  return boost::json::serialize(value_to_json(value));
}

void check(const Result<MarshalValue, MarshalError>& actual, const Expected& expected) {
  if (expected.value) {
    ASSERT_TRUE(actual.has_value()) << actual.error().message();
    EXPECT_TRUE(*actual == *expected.value)
        << "got " << describe(*actual) << ", want " << describe(*expected.value);
  } else {
    ASSERT_FALSE(actual.has_value()) << "got " << describe(*actual);
    EXPECT_EQ(actual.error().kind(), MarshalErrorKind::InvalidJsonEncoding);
    EXPECT_EQ(actual.error().detail(), expected.error);
  }
}

void run_tagged(const std::vector<DecodeCase>& cases) {
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(std::string(c.description) + ": " + c.input);
    check(parse_tagged_string(c.input), c.expected);
  }
}

TEST(ParseTaggedString, NoneBoolAndUnknownPrefixes) {
  run_tagged({
      {"none", "none", None{}},
      {"none with suffix", "none1", "string value/key without a recognized prefix: none1"},
      {"none with colon", "none:", "string value/key without a recognized prefix: none:"},
      {"prefixes are case-sensitive", "None", "string value/key without a recognized prefix: None"},
      {"nothing skipped before a prefix", " int:5",
       "string value/key without a recognized prefix:  int:5"},
      {"empty", "", "string value/key without a recognized prefix: "},
      {"structural word", "tuple", "string value/key without a recognized prefix: tuple"},
      {"bool true", "bool:true", true},
      {"bool false", "bool:false", false},
      {"bool case", "bool:True", "bad bool literal True"},
      {"bool empty", "bool:", "bad bool literal "},
  });
}

TEST(ParseTaggedString, IntLiterals) {
  run_tagged({
      {"plain", "int:5", i64(5)},
      {"plus", "int:+1", i64(1)},
      {"leading zero", "int:01", i64(1)},
      {"minimum", "int:-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
      {"maximum", "int:9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"overflow", "int:9223372036854775808", "bad int literal 9223372036854775808"},
      {"empty", "int:", "bad int literal "},
      {"lone sign", "int:-", "bad int literal -"},
      {"two signs", "int:+-5", "bad int literal +-5"},
      {"trailing text", "int:5x", "bad int literal 5x"},
      {"space", "int: 5", "bad int literal  5"},
      {"underscore", "int:1_000", "bad int literal 1_000"},
  });
}

TEST(ParseTaggedString, LongLiterals) {
  run_tagged({
      {"underscores", "long:1_000", big("1000")},
      {"plus", "long:+5", big("5")},
      {"negative zero", "long:-0", big("0")},
      {"trailing underscore", "long:1_", big("1")},
      {"doubled underscore", "long:1__2", big("12")},
      {"large", "long:123456789012345678901234567890", big("123456789012345678901234567890")},
      {"large negative", "long:-98765432109876543210", big("-98765432109876543210")},
      {"empty", "long:", "bad long literal "},
      {"leading underscore", "long:_1", "bad long literal _1"},
      {"second sign", "long:--1", "bad long literal --1"},
      {"other characters", "long:1x", "bad long literal 1x"},
  });
  const auto zero = parse_tagged_string("long:-0");
  ASSERT_TRUE(zero.has_value());
  EXPECT_EQ(zero->get_if<BigInt>()->str(), "0");
}

TEST(ParseTaggedString, FloatLiterals) {
  const std::string tiny = "0." + std::string(399, '0') + "1e400";
  const std::string huge = "1" + std::string(400, '0') + "e-400";
  run_tagged({
      {"inf", "float:inf", INF},
      {"-inf", "float:-inf", -INF},
      {"nan is the standard quiet nan", "float:nan", float_bits(QUIET_NAN)},
      {"nan any case", "float:NaN", float_bits(QUIET_NAN)},
      {"negative nan keeps the sign", "float:-nan", float_bits(QUIET_NAN | 1ULL << 63)},
      {"infinity word", "float:Infinity", INF},
      {"negative zero", "float:-0", -0.0},
      {"overflow", "float:1e400", INF},
      {"negative overflow", "float:-1e400", -INF},
      {"underflow", "float:1e-400", 0.0},
      {"negative underflow", "float:-1e-400", -0.0},
      {"huge exponent", "float:1e99999999999999999999999", INF},
      {"huge negative exponent", "float:-1e-99999999999999999999999", -0.0},
      {"leading dot", "float:.5", 0.5},
      {"trailing dot", "float:5.", 5.0},
      {"signed exponent", "float:+1.5E+2", 150.0},
      {"tenth", "float:0.1", 0.1},
      {"ties to even", "float:9007199254740993", 9007199254740992.0},
      {"largest", "float:1.7976931348623157e308", std::numeric_limits<double>::max()},
      {"rounds down to the largest", "float:1.7976931348623158e308",
       std::numeric_limits<double>::max()},
      {"rounds up to infinity", "float:1.7976931348623159e308", INF},
      {"smallest denormal", "float:4.9e-324", 5e-324},
      {"just above half the smallest", "float:2.4703282292062328e-324", 5e-324},
      {"just below half the smallest", "float:2.4703282292062327e-324", 0.0},
      {"hard rounding case", "float:2.2250738585072011e-308", float_bits(0x000FFFFFFFFFFFFF)},
      {"many fraction zeros", "float:" + tiny, 1.0},
      {"many integer zeros", "float:" + huge, 1.0},
      {"empty", "float:", "bad float literal "},
      {"dot alone", "float:.", "bad float literal ."},
      {"leading space", "float: 1", "bad float literal  1"},
      {"underscore", "float:1_0", "bad float literal 1_0"},
      {"hexadecimal", "float:0x10", "bad float literal 0x10"},
      {"exponent without digits", "float:1e", "bad float literal 1e"},
      {"exponent sign only", "float:1e+", "bad float literal 1e+"},
      {"exponent alone", "float:e5", "bad float literal e5"},
      {"partial word", "float:infinit", "bad float literal infinit"},
      {"longer word", "float:infinityy", "bad float literal infinityy"},
  });
}

TEST(ParseTaggedString, BytesTextAndGlobals) {
  run_tagged({
      {"bytes", "bytes:ui", bytes("ui")},
      {"bytes empty", "bytes:", bytes("")},
      {"base64 empty", "bytes:b64:", bytes("")},
      {"base64 one byte", "bytes:b64:YQ==", bytes("a")},
      {"base64 mark", "bytes:b64:YjY0Ong=", bytes("b64:x")},
      {"base64 full group", "bytes:b64:Zm9vYmFy", bytes("foobar")},
      {"base64 binary", "bytes:b64://79/A==", bytes("\xFF\xFE\xFD\xFC")},
      {"utf8", "utf8:h\xC3\xA9", utf8("h\xC3\xA9")},
      {"utf8 empty", "utf8:", utf8("")},
      {"global", "global:foo.Bar", Global{"foo.Bar"}},
  });
}

TEST(ParseTaggedString, Base64Errors) {
  const std::string p = "bad base64 in bytes: ";
  run_tagged({
      {"padding missing", "bytes:b64:YQ", p + "Invalid padding"},
      {"padding too short", "bytes:b64:YQ=", p + "Invalid padding"},
      {"padding too long", "bytes:b64:YQ===", p + "Invalid padding"},
      {"padding after three symbols too long", "bytes:b64:YWI==", p + "Invalid padding"},
      {"lone symbol", "bytes:b64:Y", p + "Invalid input length: 1"},
      {"lone symbol after a group", "bytes:b64:YWJjZ", p + "Invalid input length: 5"},
      {"padding inside", "bytes:b64:Y=Q=", p + "Invalid symbol 61, offset 1."},
      {"symbol after padding", "bytes:b64:YQ=Q", p + "Invalid symbol 61, offset 2."},
      {"padding only", "bytes:b64:====", p + "Invalid symbol 61, offset 0."},
      {"padding after a full group", "bytes:b64:YWJj=", p + "Invalid symbol 61, offset 4."},
      {"space", "bytes:b64:Y Q==", p + "Invalid symbol 32, offset 1."},
      {"line break after padding", "bytes:b64:YQ==\n", p + "Invalid symbol 10, offset 4."},
      {"url alphabet", "bytes:b64:_w==", p + "Invalid symbol 95, offset 0."},
      {"bits after one byte", "bytes:b64:YR==", p + "Invalid last symbol 82, offset 1."},
      {"bits after two bytes", "bytes:b64:YWK=", p + "Invalid last symbol 75, offset 2."},
  });
}

TEST(ParseTaggedString, NestedJson) {
  const auto nested = [](int depth) {
    return "json:" + std::string(static_cast<std::size_t>(depth), '[') +
           std::string(static_cast<std::size_t>(depth), ']');
  };
  MarshalValue deepest = list({});
  for (int i = 1; i < 127; ++i) deepest = list({deepest});
  run_tagged({
      {"tuple", R"(json:{"tuple":[1,"bytes:a"]})", tuple({i64(1), bytes("a")})},
      {"empty list", "json:[]", list({})},
      {"surrounding whitespace", "json: \t\r\n[1] \n", list({i64(1)})},
      {"prefixed string", R"(json:"int:5")", i64(5)},
      {"floating number", "json:[1.0]", list({1.0})},
      {"exactly rounded", "json:[1.3927926388013963E-143]", list({1.3927926388013963E-143})},
      {"nested json key", R"(json:{"json:[1]":null})", dict({{list({i64(1)}), None{}}})},
      {"127 levels", nested(127), deepest},
      {"128 levels", nested(128), "bad nested json: too deep"},
      {"empty", "json:", "bad nested json: incomplete JSON"},
      {"trailing text", "json:[1] x", "bad nested json: extra data"},
      {"syntax", "json:[1,]", "bad nested json: syntax error"},
      {"converted after parsing", R"(json:["x"])",
       "string value/key without a recognized prefix: x"},
  });
}

void run_json(const std::vector<DecodeCase>& cases) {
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(std::string(c.description) + ": " + c.input);
    const auto json = parse_json_text(c.input, 1000);
    ASSERT_TRUE(json.has_value()) << json.error();
    check(json_to_value(*json), c.expected);
  }
}

TEST(JsonToValue, PlainJson) {
  run_json({
      {"null", "null", None{}},
      {"true", "true", true},
      {"int", "-1", i64(-1)},
      {"largest signed", "9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"unsigned above signed range", "9223372036854775808", 9223372036854775808.0},
      {"largest unsigned", "18446744073709551615", 18446744073709551616.0},
      {"double", "1.0", 1.0},
      {"prefixed int value", R"("int:5")", i64(5)},
      {"prefixed bool value", R"("bool:true")", true},
      {"none string", R"("none")", None{}},
      {"array is a list", R"([1,"int:2"])", list({i64(1), i64(2)})},
      {"bad element", R"([1,"x"])", "string value/key without a recognized prefix: x"},
  });
}

TEST(JsonToValue, Dictionaries) {
  run_json({
      {"empty", "{}", dict({})},
      {"equal keys stay separate pairs", R"({"int:1":1,"int:+1":2,"int:01":3})",
       dict({{i64(1), i64(1)}, {i64(1), i64(2)}, {i64(1), i64(3)}})},
      {"long key", R"({"long:1_000":null})", dict({{big("1000"), None{}}})},
      {"container key", R"({"json:{\"tuple\":[1,\"bytes:a\"]}":null})",
       dict({{tuple({i64(1), bytes("a")}), None{}}})},
      {"two members", R"({"none":1,"bool:false":2})", dict({{None{}, i64(1)}, {false, i64(2)}})},
      {"key without prefix", R"({"x":1})", "string value/key without a recognized prefix: x"},
      {"key checked before its value", R"({"k":"v"})",
       "string value/key without a recognized prefix: k"},
      {"bad value", R"({"int:1":"v"})", "string value/key without a recognized prefix: v"},
      {"bad nested key", R"({"json:[\"z\"]":1})",
       "string value/key without a recognized prefix: z"},
      {"nested key too deep", "{\"json:" + std::string(128, '[') + std::string(128, ']') + "\":1}",
       "bad nested json: too deep"},
  });
}

TEST(JsonToValue, Structures) {
  Reduce minimal;
  minimal.args = tuple({});
  Reduce full;
  full.newobj = true;
  full.callable = Global{"f"};
  full.args = list({});
  full.state = i64(1);
  full.list_items = {i64(2)};
  full.dict_items = {{i64(1), bytes("v")}};
  Reduce no_items = minimal;

  run_json({
      {"tuple", R"({"tuple":[]})", tuple({})},
      {"tuple of wrong kind", R"({"tuple":5})",
       "string value/key without a recognized prefix: tuple"},
      {"tuple beside another member", R"({"tuple":[],"utf8:x":1})",
       "string value/key without a recognized prefix: tuple"},
      {"callback", R"({"callback":5})", Callback{i64(5)}},
      {"callback of a structure", R"({"callback":{"tuple":[]}})", Callback{tuple({})}},
      {"instance", R"({"instance":{"class":"utf8:A","state":null}})", Instance{"utf8:A", None{}}},
      {"instance extra members", R"({"instance":{"x":1,"class":"C","state":"int:2"}})",
       Instance{"C", i64(2)}},
      {"instance of wrong kind", R"({"instance":5})",
       "string value/key without a recognized prefix: instance"},
      {"instance without class", R"({"instance":{"state":1}})", "instance missing class"},
      {"instance class not a string", R"({"instance":{"class":5,"state":1}})",
       "instance missing class"},
      {"instance without state", R"({"instance":{"class":"C"}})", "instance missing state"},
      {"instance bad state", R"({"instance":{"class":"C","state":"s"}})",
       "string value/key without a recognized prefix: s"},
      {"reduce minimal", R"({"reduce":{"callable":null,"args":{"tuple":[]}}})", minimal},
      {"reduce full",
       R"({"reduce":{"newobj":true,"callable":"global:f","args":[],"state":1,)"
       R"("list_items":[2],"dict_items":[["int:1","bytes:v"]],"extra":0}})",
       full},
      {"reduce newobj as a string is false",
       R"({"reduce":{"newobj":"bool:true","callable":null,"args":{"tuple":[]}}})", minimal},
      {"reduce null state is absent",
       R"({"reduce":{"callable":null,"args":{"tuple":[]},"state":null}})", minimal},
      {"reduce items of wrong kind are empty",
       R"({"reduce":{"callable":null,"args":{"tuple":[]},"list_items":{},"dict_items":"x"}})",
       no_items},
      {"reduce of wrong kind", R"({"reduce":[]})",
       "string value/key without a recognized prefix: reduce"},
      {"reduce without callable", R"({"reduce":{"args":1}})", "reduce missing callable"},
      {"reduce callable converted before args are looked up", R"({"reduce":{"callable":"c"}})",
       "string value/key without a recognized prefix: c"},
      {"reduce without args", R"({"reduce":{"callable":null}})", "reduce missing args"},
      {"reduce three-element dict item",
       R"({"reduce":{"callable":null,"args":1,"dict_items":[[1,2,3]]}})", "bad dict_items entry"},
      {"reduce short dict item",
       R"({"reduce":{"callable":null,"args":1,"dict_items":[[1,2],[3]]}})", "bad dict_items entry"},
      {"reduce scalar dict item", R"({"reduce":{"callable":null,"args":1,"dict_items":[5]}})",
       "bad dict_items entry"},
      {"reduce bad list item", R"({"reduce":{"callable":null,"args":1,"list_items":["q"]}})",
       "string value/key without a recognized prefix: q"},
  });
}

TEST(JsonToValue, ErrorPrintsWithItsKindText) {
  const auto result = parse_tagged_string("bool:yes");
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().message(), "invalid JSON encoding: bad bool literal yes");
}

TEST(ParseJsonText, BoundsNestingAndKeepsNumberKinds) {
  const auto deep = [](std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
  };
  EXPECT_TRUE(parse_json_text(deep(5), 5).has_value());
  EXPECT_EQ(parse_json_text(deep(6), 5).error(), "too deep");
  const auto numbers = parse_json_text("[1,18446744073709551615,1E0,-0.0]", 2);
  ASSERT_TRUE(numbers.has_value());
  const boost::json::array& items = numbers->as_array();
  EXPECT_TRUE(items[0].is_int64());
  EXPECT_TRUE(items[1].is_uint64());
  EXPECT_TRUE(items[2].is_double());
  EXPECT_TRUE(std::signbit(items[3].as_double()));
}

}  // namespace
}  // namespace marshal
