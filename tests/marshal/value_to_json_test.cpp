#include <gtest/gtest.h>

#include <bit>
#include <boost/json/serialize.hpp>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "helpers/value_helpers.hpp"
#include "marshal/json.hpp"

namespace marshal {
namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

using testing::big;
using testing::bytes;
using testing::dict;
using testing::float_bits;
using testing::list;
using testing::tuple;
using testing::utf8;

std::string compact(const MarshalValue& value) {
  return boost::json::serialize(value_to_json(value));
}

struct EncodeCase {
  const char* description;
  MarshalValue value;
  std::string json;  // compact text of the tagged JSON
};

TEST(ValueToJson, EncodesEveryVariant) {
  Reduce bare;
  bare.callable = Global{"mod.f"};
  bare.args = tuple({});
  Reduce full;
  full.newobj = true;
  full.args = tuple({std::int64_t{1}});
  full.state = utf8("s");
  full.list_items = {std::int64_t{2}, None{}};
  full.dict_items = {{std::int64_t{1}, bytes("v")}, {tuple({}), 0.5}};

  const std::vector<EncodeCase> cases = {
      {"none", None{}, "null"},
      {"bool", true, "true"},
      {"int", std::int64_t{-5}, "-5"},
      {"int min", std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
      {"long", big("5"), R"("long:5")"},
      {"long zero", big("0"), R"("long:0")"},
      {"long negative", big("-123456789012345678901234567890"),
       R"("long:-123456789012345678901234567890")"},
      {"long, 64-bit low edge", big("-9223372036854775808"), R"("long:-9223372036854775808")"},
      {"long, 64-bit high edge", big("9223372036854775807"), R"("long:9223372036854775807")"},
      {"long past 64 bits", big("9223372036854775808"), R"("long:9223372036854775808")"},
      {"long past 64 bits, negative", big("-9223372036854775809"),
       R"("long:-9223372036854775809")"},
      {"float integral stays floating", 2.0, "2E0"},
      {"float negative zero stays a number", -0.0, "-0E0"},
      {"float inf", INF, R"("float:inf")"},
      {"float -inf", -INF, R"("float:-inf")"},
      {"float nan with sign and payload", float_bits(0xFFF0000000000123), R"("float:nan")"},
      {"bytes text", bytes("ui"), R"("bytes:ui")"},
      {"bytes empty", bytes(""), R"("bytes:")"},
      {"bytes control and zero bytes stay text", bytes(std::string("a\0b\n", 4)),
       R"("bytes:a\u0000b\n")"},
      {"bytes starting like base64", bytes("b64:x"), R"("bytes:b64:YjY0Ong=")"},
      {"bytes exactly the mark", bytes("b64:"), R"("bytes:b64:YjY0Og==")"},
      {"bytes not utf-8", bytes("\xFF"), R"("bytes:b64:/w==")"},
      {"bytes two", bytes("\xFF\xFE"), R"("bytes:b64://4=")"},
      {"bytes three", bytes("\xFF\xFE\xFD"), R"("bytes:b64://79")"},
      {"bytes four", bytes("\xFF\xFE\xFD\xFC"), R"("bytes:b64://79/A==")"},
      {"bytes surrogate", bytes("\xED\xA0\x80"), R"("bytes:b64:7aCA")"},
      {"bytes overlong", bytes("\xC0\x80"), R"("bytes:b64:wIA=")"},
      {"bytes above U+10FFFF", bytes("\xF4\x90\x80\x80"), R"("bytes:b64:9JCAgA==")"},
      {"utf8", utf8("h\xC3\xA9"), "\"utf8:h\xC3\xA9\""},
      {"utf8 empty", utf8(""), R"("utf8:")"},
      {"global", Global{"foo.Bar"}, R"("global:foo.Bar")"},
      {"tuple", tuple({std::int64_t{1}, bytes("a")}), R"({"tuple":[1,"bytes:a"]})"},
      {"list", list({None{}, list({})}), "[null,[]]"},
      {"dict empty", dict({}), "{}"},
      {"dict keys of distinct variants",
       dict({{bytes("a"), std::int64_t{1}},
             {utf8("a"), std::int64_t{2}},
             {std::int64_t{1}, std::int64_t{3}},
             {big("1"), std::int64_t{4}}}),
       R"({"bytes:a":1,"utf8:a":2,"int:1":3,"long:1":4})"},
      {"dict equal keys collapse at the first position",
       dict({{std::int64_t{1}, bytes("x")},
             {std::int64_t{2}, bytes("y")},
             {std::int64_t{1}, bytes("z")}}),
       R"({"int:1":"bytes:z","int:2":"bytes:y"})"},
      {"dict nan keys collapse",
       dict({{float_bits(0x7FF8000000000000), true}, {float_bits(0xFFF8000000000001), false}}),
       R"({"float:nan":false})"},
      {"instance", Instance{"foo.Bar", None{}}, R"({"instance":{"class":"foo.Bar","state":null}})"},
      {"reduce without state", bare,
       R"({"reduce":{"newobj":false,"callable":"global:mod.f","args":{"tuple":[]},)"
       R"("state":null,"list_items":[],"dict_items":[]}})"},
      {"reduce with every field", full,
       R"({"reduce":{"newobj":true,"callable":null,"args":{"tuple":[1]},"state":"utf8:s",)"
       R"("list_items":[2,null],"dict_items":[[1,"bytes:v"],[{"tuple":[]},5E-1]]}})"},
      {"callback", Callback{std::int64_t{1}}, R"({"callback":1})"},
  };
  for (const EncodeCase& c : cases) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(compact(c.value), c.json);
  }
}

struct KeyCase {
  const char* description;
  MarshalValue key;
  std::string text;
};

TEST(DictKeyToString, WritesEveryKeyForm) {
  const std::vector<KeyCase> cases = {
      {"none", None{}, "none"},
      {"true", true, "bool:true"},
      {"false", false, "bool:false"},
      {"int", std::int64_t{-7}, "int:-7"},
      {"int max", std::numeric_limits<std::int64_t>::max(), "int:9223372036854775807"},
      {"long", big("-12"), "long:-12"},
      {"float one", 1.0, "float:1"},
      {"float two", 2.0, "float:2"},
      {"float half", 0.5, "float:0.5"},
      {"float tenth", 0.1, "float:0.1"},
      {"float fraction", -123.456, "float:-123.456"},
      {"float large", 1e21, "float:1000000000000000000000"},
      {"float 1e23 keeps shortest digits", 1e23, "float:100000000000000000000000"},
      {"float small", 1.5e-7, "float:0.00000015"},
      {"float negative zero", -0.0, "float:-0"},
      {"float zero", 0.0, "float:0"},
      {"float smallest denormal", 5e-324, "float:0." + std::string(323, '0') + "5"},
      {"float largest", std::numeric_limits<double>::max(),
       "float:17976931348623157" + std::string(292, '0')},
      {"float inf", INF, "float:inf"},
      {"float -inf", -INF, "float:-inf"},
      {"float nan", float_bits(0xFFF8000000000000), "float:nan"},
      {"bytes", bytes("a"), "bytes:a"},
      {"bytes base64", bytes("\xFF"), "bytes:b64:/w=="},
      {"utf8", utf8("a"), "utf8:a"},
      {"global", Global{"g.h"}, "global:g.h"},
      {"tuple", tuple({std::int64_t{1}, bytes("a")}), R"(json:{"tuple":[1,"bytes:a"]})"},
      {"list empty", list({}), "json:[]"},
      {"dict with float", dict({{std::int64_t{1}, 1.0}}), R"(json:{"int:1":1E0})"},
      {"instance", Instance{"C", std::int64_t{0}}, R"(json:{"instance":{"class":"C","state":0}})"},
      {"callback", Callback{None{}}, R"(json:{"callback":null})"},
      {"escapes in compact text", tuple({bytes("\"\\/\b\f\n\r\t\x01\x1f\x7f")}),
       "json:{\"tuple\":[\"bytes:\\\"\\\\/\\b\\f\\n\\r\\t\\u0001\\u001f\x7f\"]}"},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(dict_key_to_string(c.key), c.text);
  }
}

}  // namespace
}  // namespace marshal
