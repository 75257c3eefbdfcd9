#include "orvane/core/package.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "orvane/core/package_text.hpp"

namespace orvane {
namespace {

Package sample_package() {
  return Package{
      std::string(PACKAGE_FORMAT), PACKAGE_VERSION, {{3, "", {{1, -250000.5, 0.0001, 4}}}}};
}

TEST(WritePackageJson, GoldenExample) {
  const std::string expected =
      "{\n"
      "  \"format\": \"kelvo-probe-formations\",\n"
      "  \"version\": 1,\n"
      "  \"formations\": [\n"
      "    {\n"
      "      \"id\": 3,\n"
      "      \"name\": \"\",\n"
      "      \"probes\": [\n"
      "        {\n"
      "          \"x\": 1.0,\n"
      "          \"y\": -250000.5,\n"
      "          \"z\": 0.0001,\n"
      "          \"range\": 4.0\n"
      "        }\n"
      "      ]\n"
      "    }\n"
      "  ]\n"
      "}";
  EXPECT_EQ(write_package_json(sample_package()), expected);
}

TEST(WritePackageJson, EmptyContainersStayOnOneLine) {
  EXPECT_EQ(write_package_json(Package{"f", 1, {}}),
            "{\n  \"format\": \"f\",\n  \"version\": 1,\n  \"formations\": []\n}");
  EXPECT_EQ(write_package_json(Package{"f", 4294967295u, {{-5, "a", {}}}}),
            "{\n  \"format\": \"f\",\n  \"version\": 4294967295,\n  \"formations\": [\n    {\n"
            "      \"id\": -5,\n      \"name\": \"a\",\n      \"probes\": []\n    }\n  ]\n}");
}

TEST(PackageDoubleText, Layout) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double value;
    const char* text;
  } rows[] = {
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {1.0, "1.0"},
      {-1.0, "-1.0"},
      {1234000.0, "1234000.0"},
      {12.34, "12.34"},
      {123.456, "123.456"},
      {0.1, "0.1"},
      {0.001234, "0.001234"},
      {0.00001, "0.00001"},
      {0.000012345, "0.000012345"},
      {0.000009999, "9.999e-6"},
      {1e-6, "1e-6"},
      {1.5e-7, "1.5e-7"},
      {1e15, "1000000000000000.0"},
      {9999999999999998.0, "9999999999999998.0"},
      {1e16, "1e16"},
      {1.25e16, "1.25e16"},
      {-1e300, "-1e300"},
      {1.7976931348623157e308, "1.7976931348623157e308"},
      {5e-324, "5e-324"},
      {-250000.5, "-250000.5"},
      {std::nan(""), "null"},
      {inf, "null"},
      {-inf, "null"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(package_double_text(row.value), row.text);
  }
}

TEST(WritePackageJson, StringEscapes) {
  const struct {
    std::string name;
    std::string written;
  } rows[] = {
      {"a\"b", R"("a\"b")"},
      {"back\\slash", R"("back\\slash")"},
      {"tab\there", R"("tab\there")"},
      {std::string("\b\f\n\r\x1f\x01", 6), R"("\b\f\n\r\u001f\u0001")"},
      {std::string("nul\0!", 5), R"("nul\u0000!")"},
      {"a/b\x7f", "\"a/b\x7f\""},
      {"\xce\xa0\xce\xbb\xce\xb1\xcf\x84\xcf\x8e", "\"\xce\xa0\xce\xbb\xce\xb1\xcf\x84\xcf\x8e\""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.written);
    std::string out;
    append_package_string(out, row.name);
    EXPECT_EQ(out, row.written);
  }
}

TEST(PackageRoundTrip, WriteReadWriteIsIdentical) {
  const Package packages[] = {
      sample_package(),
      Package{"", 0, {}},
      Package{"other", 2, {{0, "empty", {}}}},
      Package{"f",
              1,
              {{std::numeric_limits<std::int64_t>::min(), "q\"\\\t\x1f\xe2\x82\xac", {}},
               {std::numeric_limits<std::int64_t>::max(),
                "b",
                {{-0.0, 1e-6, 1e16, 5e-324}, {1.7976931348623157e308, -0.1, 0.00001, 1e15}}}}},
  };
  for (const Package& package : packages) {
    const std::string text = write_package_json(package);
    SCOPED_TRACE(text);
    auto read = read_package_json(text);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(*read, package);
    // Identical text also shows that negative zero kept its sign.
    EXPECT_EQ(write_package_json(*read), text);
  }
}

TEST(ReadPackageJson, AcceptsBothRecordForms) {
  const Package expected{
      "kelvo-probe-formations", 1, {{3, "n", {{1, 2, 3, 4}, {0.5, -1, 1e300, 0}}}}};
  const struct {
    const char* description;
    std::string text;
  } rows[] = {
      {"objects",
       R"({"format":"kelvo-probe-formations","version":1,"formations":[{"id":3,"name":"n",
          "probes":[{"x":1,"y":2,"z":3,"range":4},{"x":0.5,"y":-1,"z":1e300,"range":0}]}]})"},
      {"arrays", R"(["kelvo-probe-formations",1,[[3,"n",[[1,2,3,4],[5e-1,-1.0,1E+300,-0e0]]]]])"},
      {"mixed, reordered, extra keys and white space",
       " \r\n\t{\"formations\": [[3, \"n\", [{\"range\": 4, \"z\": 3, \"y\": 2, \"x\": 1.0},"
       " [0.5, -1, 1e300, 0]]]], \"comment\": {\"a\": [true, false, null, \"s\", -1.5e-3, {}]},"
       " \"version\": 1, \"format\": \"kelvo-probe-formations\"} \n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    auto read = read_package_json(row.text);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(*read, expected);
  }
}

TEST(ReadPackageJson, ValuesDecodedAndConverted) {
  const std::string prefix = R"({"format":"f","version":1,"formations":[)";
  auto read = read_package_json(
      R"({"format":"\u00e9\ud83d\ude00\/\"\\\b\f\n\r\t\u0000","version":-0,"formations":[)"
      R"([-0,"\u20AC",[[-0,123456789012345678901234567890,1e-400,-1e-400]]],)"
      R"([9223372036854775807,"x",[]],[-9223372036854775808,"y",[]]]})");
  ASSERT_TRUE(read) << read.error();
  EXPECT_EQ(read->format, std::string("\xc3\xa9\xf0\x9f\x98\x80/\"\\\b\f\n\r\t\0", 15));
  EXPECT_EQ(read->version, 0u);
  ASSERT_EQ(read->formations.size(), 3u);
  EXPECT_EQ(read->formations[0].id, 0);
  EXPECT_EQ(read->formations[0].name, "\xe2\x82\xac");
  const Probe& probe = read->formations[0].probes.at(0);
  EXPECT_TRUE(std::signbit(probe.x));
  EXPECT_EQ(probe.y, 1.2345678901234568e29);
  EXPECT_EQ(probe.z, 0.0);
  EXPECT_FALSE(std::signbit(probe.z));
  EXPECT_TRUE(std::signbit(probe.range));
  EXPECT_EQ(read->formations[1].id, std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(read->formations[2].id, std::numeric_limits<std::int64_t>::min());
}

// Inputs that put the part under test on line 2, so columns count from its first character.
std::string with_probes(const std::string& probes) {
  return R"({"format":"f","version":1,"formations":[{"id":1,"name":"n","probes":)"
         "\n" +
         probes + "}]}";
}
std::string with_formation(const std::string& formation) {
  return R"({"format":"f","version":1,"formations":)"
         "\n[" +
         formation + "]}";
}
std::string with_id(const std::string& id) {
  return with_formation(R"({"id":)" + id + R"(,"name":"n","probes":[]})");
}

TEST(ReadPackageJson, ErrorMessages) {
  const struct {
    std::string text;
    std::string message;
  } rows[] = {
      // Record rules.
      {R"({"format":"f","version":1})", "missing field `formations` at line 1 column 26"},
      {R"({"format":"f","format":"g"})", "duplicate field `format` at line 1 column 15"},
      {R"({"format":"f","version":1,"version":1,"formations":[]})",
       "duplicate field `version` at line 1 column 27"},
      {"[]", "invalid length 0, expected struct Package with 3 elements at line 1 column 2"},
      {R"(["f",1])",
       "invalid length 2, expected struct Package with 3 elements at line 1 column 7"},
      {R"(["f",1,[],2])", "trailing characters at line 1 column 11"},
      {R"("x")", "invalid type: string \"x\", expected struct Package at line 1 column 1"},
      {"null", "invalid type: null, expected struct Package at line 1 column 1"},
      {" 12", "invalid type: integer `12`, expected struct Package at line 1 column 2"},
      {R"({"format":"f","version":-1,"formations":[]})",
       "invalid value: integer `-1`, expected u32 at line 1 column 25"},
      {R"({"format":"f","version":4294967296,"formations":[]})",
       "invalid value: integer `4294967296`, expected u32 at line 1 column 25"},
      {R"({"format":"f","version":1.0,"formations":[]})",
       "invalid type: floating point `1.0`, expected u32 at line 1 column 25"},
      {R"({"format":"f","version":"1","formations":[]})",
       "invalid type: string \"1\", expected u32 at line 1 column 25"},
      {R"({"format":null})", "invalid type: null, expected a string at line 1 column 11"},
      {R"({"format":"f","version":1,"formations":{}})",
       "invalid type: map, expected a sequence at line 1 column 40"},
      {with_formation("7"),
       "invalid type: integer `7`, expected struct Formation at line 2 column 2"},
      {with_formation(R"([1,"n"])"),
       "invalid length 2, expected struct Formation with 3 elements at line 2 column 8"},
      {with_id("2.0"), "invalid type: floating point `2.0`, expected i64 at line 2 column 8"},
      {with_id("1e300"), "invalid type: floating point `1e300`, expected i64 at line 2 column 8"},
      {with_id("9223372036854775808"),
       "invalid value: integer `9223372036854775808`, expected i64 at line 2 column 8"},
      {with_id("-9223372036854775809"),
       "invalid value: integer `-9223372036854775809`, expected i64 at line 2 column 8"},
      {with_id("123456789012345678901234567890"),
       "invalid value: integer `123456789012345678901234567890`, expected i64 at line 2 column 8"},
      {with_id(R"("a\"\n")"), R"(invalid type: string "a\"\n", expected i64 at line 2 column 8)"},
      {with_id("false"), "invalid type: boolean `false`, expected i64 at line 2 column 8"},
      {with_id("1e999"), "number out of range at line 2 column 8"},
      {with_probes("5"), "invalid type: integer `5`, expected a sequence at line 2 column 1"},
      {with_probes("[5]"), "invalid type: integer `5`, expected struct Probe at line 2 column 2"},
      {with_probes("[[1,2,3]]"),
       "invalid length 3, expected struct Probe with 4 elements at line 2 column 8"},
      {with_probes("[[1,2,3,4,5]]"), "trailing characters at line 2 column 11"},
      {with_probes("[[1,2,3,4,]]"), "trailing comma at line 2 column 11"},
      {with_probes("[[1,2,3,]]"), "trailing comma at line 2 column 9"},
      {with_probes("[[1,2,3,4 5]]"), "expected `,` or `]` at line 2 column 11"},
      {with_probes(R"([{"x":1,"y":2,"z":3}])"), "missing field `range` at line 2 column 20"},
      {with_probes(R"([{"x":1,"x":2}])"), "duplicate field `x` at line 2 column 9"},
      {with_probes(R"([{"x":"x"}])"),
       "invalid type: string \"x\", expected f64 at line 2 column 7"},
      {with_probes(R"([{"x":null}])"), "invalid type: null, expected f64 at line 2 column 7"},
      {with_probes(R"([{"x":true}])"),
       "invalid type: boolean `true`, expected f64 at line 2 column 7"},
      {with_probes(R"([{"x":{}}])"), "invalid type: map, expected f64 at line 2 column 7"},
      {with_probes("[[1e400,0,0,0]]"), "number out of range at line 2 column 3"},
      {with_probes("[[0,-1.5e309,0,0]]"), "number out of range at line 2 column 5"},
      {with_probes("[[0,0,0,0]],"), "trailing comma at line 2 column 13"},
      // Document level.
      {"", "EOF while parsing a value at line 1 column 1"},
      {" \n ", "EOF while parsing a value at line 2 column 2"},
      {"\xef\xbb\xbf[\"f\",1,[]]", "expected value at line 1 column 1"},
      {R"(["f",1,[]] [])", "trailing characters at line 1 column 12"},
      {"[\"f\",1,[]] \r\n\t x", "trailing characters at line 2 column 3"},
      // JSON syntax, also inside values no record knows.
      {R"({"format":"f",})", "trailing comma at line 1 column 15"},
      {R"({"format" "f"})", "expected `:` at line 1 column 11"},
      {R"({"format":"f" "version":1})", "expected `,` or `}` at line 1 column 15"},
      {R"({1:2})", "key must be a string at line 1 column 2"},
      {R"({"format":)", "EOF while parsing a value at line 1 column 11"},
      {R"({"format":"f")", "EOF while parsing an object at line 1 column 14"},
      {R"({"format":"abc)", "EOF while parsing a string at line 1 column 15"},
      {R"({"format":"f","formations":[)", "EOF while parsing a list at line 1 column 29"},
      {R"({"c":[1,2,]})", "trailing comma at line 1 column 11"},
      {R"({"c":[1 2]})", "expected `,` or `]` at line 1 column 9"},
      {R"({"c":{"a":1,}})", "trailing comma at line 1 column 13"},
      {R"({"c":01})", "invalid number at line 1 column 7"},
      {R"({"c":-})", "invalid number at line 1 column 7"},
      {R"({"c":1.})", "invalid number at line 1 column 8"},
      {R"({"c":1e+})", "invalid number at line 1 column 9"},
      {R"({"c":1e)", "EOF while parsing a value at line 1 column 8"},
      {R"({"c":.5})", "expected value at line 1 column 6"},
      {R"({"c":+1})", "expected value at line 1 column 6"},
      {R"({"c":tru})", "invalid literal at line 1 column 9"},
      {R"({"c":nul)", "EOF while parsing a value at line 1 column 9"},
      {"{\"c\":\"a\x01\"}",
       "control character (\\u0000-\\u001F) found while parsing a string at "
       "line 1 column 8"},
      {"{\"c\":\"a\nb\"}",
       "control character (\\u0000-\\u001F) found while parsing a string at "
       "line 1 column 8"},
      {R"({"c":"\x"})", "invalid escape at line 1 column 8"},
      {R"({"c":"\u12G4"})", "invalid escape at line 1 column 11"},
      {R"({"c":"\u12)", "EOF while parsing a string at line 1 column 11"},
      {R"({"c":"\ud800"})", "lone leading surrogate in hex escape at line 1 column 7"},
      {R"({"c":"\ud800\u0041"})", "lone leading surrogate in hex escape at line 1 column 7"},
      {R"({"c":"\ud800\n"})", "lone leading surrogate in hex escape at line 1 column 7"},
      {R"({"c":"\ud800\)", "EOF while parsing a string at line 1 column 14"},
      {R"({"c":"\udc00\ud800"})", "lone trailing surrogate in hex escape at line 1 column 7"},
      {"{\"c\":\"\xff\"}", "invalid UTF-8 in string at line 1 column 7"},
      {"{\"c\":\"a\xc0\x80\"}", "invalid UTF-8 in string at line 1 column 8"},
      {"{\"c\":\"\xed\xa0\x80\"}", "invalid UTF-8 in string at line 1 column 7"},
      {"{\"c\":\"\xe2\x82\"}", "invalid UTF-8 in string at line 1 column 7"},
      {"{\"c\":\"\xe2\x82", "invalid UTF-8 in string at line 1 column 7"},
      {"{\"format\":\n\"f\", \"version\":\r\n  \"1\"}",
       "invalid type: string \"1\", expected u32 at line 3 column 3"},
      // Nesting: the package object is level 1, so the 128th bracket opens level 129.
      {R"({"c":)" + std::string(200, '['), "recursion limit exceeded at line 1 column 133"},
      {R"({"c":)" + std::string(127, '[') + std::string(127, ']') + "}",
       "missing field `format` at line 1 column 260"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    auto read = read_package_json(row.text);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error(), row.message);
  }
}

}  // namespace
}  // namespace orvane
