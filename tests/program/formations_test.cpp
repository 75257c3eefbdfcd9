#include "orvane/core/formations.hpp"

#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace orvane {

// Readable failure output for the formation tables.
void PrintTo(const Formation& f, std::ostream* os) {
  *os << f.id << " \"" << f.name << "\" with " << f.probes.size() << " probe(s)";
}

namespace {

namespace json = boost::json;

constexpr std::int64_t I64_MAX = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t I64_MIN = std::numeric_limits<std::int64_t>::min();
constexpr std::uint64_t EPOCH = 116444736000000000ULL;
constexpr std::uint64_t NOW = EPOCH + 1700000000ULL * 10000000ULL + 1234567;

JsonValue parse(const std::string& text) {
  boost::system::error_code ec;
  JsonValue value = json::parse(text, ec);
  EXPECT_FALSE(ec) << text;
  return value;
}

const JsonValue* at_pointer(const JsonValue& value, std::string_view pointer) {
  boost::system::error_code ec;
  return value.find_pointer(pointer, ec);
}

// A stored formation value: (name text, list of probes).
std::string stored(const std::string& name, const std::string& probes = "[]") {
  return R"({"tuple":[")" + name + R"(",)" + probes + "]}";
}

// A settings tree whose custom formations dict is `dict`, next to other settings.
JsonValue tree_with_dict(const std::string& dict, const std::string& ui_extra = "") {
  return parse(R"({"bytes:other":1,"bytes:ui":{"bytes:a":2,)" + ui_extra +
               R"("bytes:probescanning.customFormations":{"tuple":["long:5",)" + dict + "]}}}");
}

// The dict members of a tree for the test tables: "key=name" in dict order.
std::vector<std::string> dict_summary(const JsonValue& root) {
  std::vector<std::string> out;
  const JsonValue* dict =
      at_pointer(root, "/bytes:ui/bytes:probescanning.customFormations/tuple/1");
  if (dict == nullptr || !dict->is_object()) return out;
  for (const auto& member : dict->get_object()) {
    const JsonValue* name = at_pointer(member.value(), "/tuple/0");
    out.push_back(std::string(member.key()) + "=" +
                  (name && name->is_string() ? std::string(name->get_string()) : "?"));
  }
  return out;
}

Formation named(std::int64_t id, const std::string& name) { return Formation{id, name, {}}; }

TEST(UntagText, SplitsAtFirstColon) {
  const struct {
    const char* text;
    const char* untagged;
  } rows[] = {{"utf8:Belt", "Belt"}, {"Belt", "Belt"}, {"a:b:c", "b:c"}, {"", ""}, {":", ""}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(untag_text(row.text), row.untagged);
  }
}

TEST(FormationKeyId, ReadsDecimalAfterPrefix) {
  const struct {
    const char* key;
    std::optional<std::int64_t> id;
  } rows[] = {
      {"int:5", 5},
      {"long:5", 5},
      {"5", 5},
      {"int:+5", 5},
      {"int:-5", -5},
      {"int:007", 7},
      {"int:-0", 0},
      {"int:00000000000000000000000000001", 1},
      {"int:9223372036854775807", I64_MAX},
      {"int:-9223372036854775808", I64_MIN},
      {"int:9223372036854775808", std::nullopt},
      {"int:-9223372036854775809", std::nullopt},
      {"int:99999999999999999999", std::nullopt},
      {"int:", std::nullopt},
      {"int:-", std::nullopt},
      {"int:+", std::nullopt},
      {"int:--1", std::nullopt},
      {"int: 5", std::nullopt},
      {"int:5 ", std::nullopt},
      {"int:5x", std::nullopt},
      {"int:1e3", std::nullopt},
      {"bytes:misc", std::nullopt},
      {"int:x:5", std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.key);
    EXPECT_EQ(formation_key_id(row.key), row.id);
  }
}

TEST(ParseProbeValue, AcceptsOnlyTheStoredShape) {
  const struct {
    const char* json;
    std::optional<Probe> probe;
  } rows[] = {
      {R"({"tuple":[{"tuple":[1.5,-2.0,3e10]},4.0]})", Probe{1.5, -2, 3e10, 4}},
      {R"({"tuple":[{"tuple":[1,-2,18446744073709551615]},4]})",
       Probe{1, -2, 18446744073709551615.0, 4}},
      {R"({"tuple":[{"tuple":[1,2,3,"extra"]},4,"extra"]})", Probe{1, 2, 3, 4}},
      {R"({"tuple":[{"tuple":[1,2,3]}]})", std::nullopt},
      {R"({"tuple":[{"tuple":[1,2]},4]})", std::nullopt},
      {R"({"tuple":[{"tuple":[1,2,"float:inf"]},4]})", std::nullopt},
      {R"({"tuple":[{"tuple":[1,2,3]},null]})", std::nullopt},
      {R"({"tuple":[[1,2,3],4]})", std::nullopt},
      {R"({"tuple":{"a":1}})", std::nullopt},
      {R"({"list":[{"tuple":[1,2,3]},4]})", std::nullopt},
      {R"([{"tuple":[1,2,3]},4])", std::nullopt},
      {"7", std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.json);
    EXPECT_EQ(parse_probe_value(parse(row.json)), row.probe);
  }
}

TEST(ProbeToJson, WritesDoublesInNestedTuples) {
  const JsonValue value = probe_to_json(Probe{1, -2.5, 0, 4});
  EXPECT_EQ(value, parse(R"({"tuple":[{"tuple":[1.0,-2.5,0.0]},4.0]})"));
  const JsonValue* x = at_pointer(value, "/tuple/0/tuple/0");
  ASSERT_NE(x, nullptr);
  EXPECT_TRUE(x->is_double());
  EXPECT_EQ(parse_probe_value(value), (Probe{1, -2.5, 0, 4}));

  const JsonValue odd = probe_to_json(Probe{std::numeric_limits<double>::infinity(), 0, 0,
                                            std::numeric_limits<double>::quiet_NaN()});
  EXPECT_EQ(odd, parse(R"({"tuple":[{"tuple":[null,0.0,0.0]},null]})"));
}

TEST(ReadFormations, FindsOnlyTheExpectedShape) {
  const struct {
    const char* description;
    JsonValue root;
    std::vector<Formation> expected;
  } rows[] = {
      {"ids in order; negative and missing ids skipped",
       tree_with_dict(R"({"int:3":)" + stored("utf8:C") + R"(,"int:-2":)" + stored("utf8:N") +
                      R"(,"int:x":)" + stored("utf8:X") + R"(,"long:1":)" + stored("utf8:A") + "}"),
       {named(1, "A"), named(3, "C")}},
      {"equal ids keep dict order",
       tree_with_dict(R"({"int:5":)" + stored("utf8:first") + R"(,"long:5":)" +
                      stored("utf8:second") + R"(,"int:4":)" + stored("utf8:zero") + "}"),
       {named(4, "zero"), named(5, "first"), named(5, "second")}},
      {"names untagged whatever the prefix",
       tree_with_dict(R"({"int:1":)" + stored("bytes:a:b") + R"(,"int:2":)" + stored("plain") +
                      "}"),
       {named(1, "a:b"), named(2, "plain")}},
      {"members without a name skipped",
       tree_with_dict(R"({"int:1":{"tuple":[]},"int:2":{"tuple":[5,[]]},"int:3":["utf8:a",[]],)"
                      R"("int:4":{"tuple":["utf8:ok"]}})"),
       {named(4, "ok")}},
      {"probes: integers read as doubles, bad ones dropped, non-list ignored",
       tree_with_dict(R"({"int:1":)" +
                      stored("utf8:p", R"([{"tuple":[{"tuple":[1,2,3]},4]},"bad",)"
                                       R"({"tuple":[{"tuple":[1,2,"float:nan"]},4]},)"
                                       R"({"tuple":[{"tuple":[0.5,0.25,0.125]},8.0]}])") +
                      R"(,"int:2":)" + stored("utf8:q", R"({"tuple":[]})") + "}"),
       {Formation{1, "p", {{1, 2, 3, 4}, {0.5, 0.25, 0.125, 8}}}, named(2, "q")}},
      {"root not an object", parse("[1]"), {}},
      {"no ui", parse(R"({"bytes:other":{}})"), {}},
      {"ui not an object", parse(R"({"bytes:ui":[]})"), {}},
      {"no custom formations", parse(R"({"bytes:ui":{"bytes:x":1}})"), {}},
      {"custom formations tuple too short",
       parse(R"({"bytes:ui":{"bytes:probescanning.customFormations":{"tuple":["long:1"]}}})"),
       {}},
      {"custom formations not a tuple",
       parse(R"({"bytes:ui":{"bytes:probescanning.customFormations":["long:1",{}]}})"),
       {}},
      {"dict not an object", tree_with_dict("[]"), {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    EXPECT_EQ(read_formations(row.root), row.expected);
  }
}

// `n` stored formations with ids 1 to n.
std::string dict_of(int n) {
  std::string dict = "{";
  for (int i = 1; i <= n; ++i) {
    if (i > 1) dict += ",";
    dict += R"("int:)" + std::to_string(i) + R"(":)" + stored("utf8:s" + std::to_string(i));
  }
  return dict + "}";
}

TEST(MergeFormations, AppendsWithIdsAndNames) {
  const struct {
    const char* description;
    std::string dict;
    std::vector<Formation> incoming;
    std::vector<std::string> members;
    std::size_t added;
    std::size_t custom_count;
  } rows[] = {
      {"empty dict",
       "{}",
       {named(1, "a"), named(2, "b"), named(3, "c")},
       {"int:1=utf8:a", "int:2=utf8:b", "int:3=utf8:c"},
       3,
       3},
      {"taken id moves past the largest",
       R"({"int:1":)" + stored("utf8:a") + R"(,"int:4":)" + stored("utf8:b") + "}",
       {named(4, "c"), named(5, "d")},
       {"int:1=utf8:a", "int:4=utf8:b", "int:5=utf8:c", "int:6=utf8:d"},
       2,
       4},
      {"renumbering skips ids the package took",
       R"({"int:1":)" + stored("utf8:a") + R"(,"int:5":)" + stored("utf8:b") + "}",
       {named(6, "c"), named(5, "d")},
       {"int:1=utf8:a", "int:5=utf8:b", "int:6=utf8:c", "int:7=utf8:d"},
       2,
       4},
      {"names compared without ASCII case; a repeated package name added once",
       R"({"int:1":)" + stored("utf8:Belt") + "}",
       {named(2, "belt"), named(3, "Ring"), named(4, "RING")},
       {"int:1=utf8:Belt", "int:3=utf8:Ring"},
       1,
       2},
      {"non-ASCII letters are not folded",
       R"({"int:1":)" + stored("utf8:\xc3\x89") + "}",
       {named(2, "\xc3\xa9")},
       {"int:1=utf8:\xc3\x89", "int:2=utf8:\xc3\xa9"},
       1,
       2},
      {"package names keep any prefix-like text",
       R"({"int:1":)" + stored("utf8:Belt") + "}",
       {named(2, "utf8:Belt")},
       {"int:1=utf8:Belt", "int:2=utf8:utf8:Belt"},
       1,
       2},
      {"negative ids written, not counted",
       "{}",
       {named(-3, "neg"), named(1, "pos")},
       {"int:-3=utf8:neg", "int:1=utf8:pos"},
       2,
       1},
      {"a key without id is kept and blocks its name, a negative id does not",
       R"({"bytes:misc":)" + stored("utf8:Misc") + R"(,"int:-1":)" + stored("utf8:Neg") +
           R"(,"int:2":"junk"})",
       {named(1, "MISC"), named(2, "neg")},
       {"bytes:misc=utf8:Misc", "int:-1=utf8:Neg", "int:2=?", "int:3=utf8:neg"},
       1,
       2},
      {"negative and long keys occupy their ids",
       R"({"int:-3":)" + stored("utf8:a") + R"(,"long:5":)" + stored("utf8:b") + "}",
       {named(-3, "c"), named(5, "d")},
       {"int:-3=utf8:a", "long:5=utf8:b", "int:6=utf8:c", "int:7=utf8:d"},
       2,
       3},
      {"nine stored and one new reach the limit",
       dict_of(9),
       {named(1, "new")},
       {"int:1=utf8:s1", "int:2=utf8:s2", "int:3=utf8:s3", "int:4=utf8:s4", "int:5=utf8:s5",
        "int:6=utf8:s6", "int:7=utf8:s7", "int:8=utf8:s8", "int:9=utf8:s9", "int:10=utf8:new"},
       1,
       10},
      {"ten stored and a skipped name stay within the limit",
       dict_of(10),
       {named(11, "S1")},
       {"int:1=utf8:s1", "int:2=utf8:s2", "int:3=utf8:s3", "int:4=utf8:s4", "int:5=utf8:s5",
        "int:6=utf8:s6", "int:7=utf8:s7", "int:8=utf8:s8", "int:9=utf8:s9", "int:10=utf8:s10"},
       0,
       10},
      {"the largest id is usable when nothing collides",
       R"({"int:9223372036854775807":)" + stored("utf8:top") + "}",
       {named(5, "five")},
       {"int:9223372036854775807=utf8:top", "int:5=utf8:five"},
       1,
       2},
      {"renumbering may take the largest id",
       R"({"int:9223372036854775806":)" + stored("utf8:a") + "}",
       {named(9223372036854775806, "b")},
       {"int:9223372036854775806=utf8:a", "int:9223372036854775807=utf8:b"},
       1,
       2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    JsonValue root = tree_with_dict(row.dict);
    auto outcome = merge_formations(root, row.incoming, NOW);
    ASSERT_TRUE(outcome) << outcome.error();
    EXPECT_EQ(dict_summary(root), row.members);
    EXPECT_EQ(outcome->added, row.added);
    EXPECT_EQ(outcome->custom_count, row.custom_count);
  }
}

TEST(MergeFormations, WritesFormationValueAndStamp) {
  JsonValue root = tree_with_dict("{}");
  const std::vector<Formation> incoming = {Formation{7, "Belt", {{1, 2, 3, 4}, {-0.5, 0, 0, 1}}}};
  ASSERT_TRUE(merge_formations(root, incoming, NOW));
  EXPECT_EQ(root, parse(R"({"bytes:other":1,"bytes:ui":{"bytes:a":2,)"
                        R"("bytes:probescanning.customFormations":{"tuple":["long:)" +
                        std::to_string(EPOCH + 1700000000ULL * 10000000ULL) +
                        R"(",{"int:7":{"tuple":["utf8:Belt",[)"
                        R"({"tuple":[{"tuple":[1.0,2.0,3.0]},4.0]},)"
                        R"({"tuple":[{"tuple":[-0.5,0.0,0.0]},1.0]}]]}}]}}})"));
  // The written formation reads back as it came.
  EXPECT_EQ(read_formations(root), incoming);
}

TEST(MergeFormations, StampIsTheWholeSecond) {
  const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  const struct {
    std::uint64_t now;
    std::uint64_t stamp;
  } rows[] = {
      {EPOCH + 12345678ULL * 10000000ULL + 9999999, EPOCH + 12345678ULL * 10000000ULL},
      {EPOCH, EPOCH},
      {EPOCH - 1, EPOCH},
      {0, EPOCH},
      {max, (max - EPOCH) / 10000000ULL * 10000000ULL + EPOCH},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.now);
    JsonValue root = parse("{}");
    ASSERT_TRUE(merge_formations(root, {}, row.now));
    EXPECT_EQ(root,
              parse(R"({"bytes:ui":{"bytes:probescanning.customFormations":{"tuple":["long:)" +
                    std::to_string(row.stamp) + R"(",{}]}}})"));
  }
}

TEST(MergeFormations, ReplacesTheCustomFormationsMember) {
  const std::string stamp = "long:" + std::to_string(EPOCH + 1700000000ULL * 10000000ULL);
  const std::string fresh =
      R"({"tuple":[")" + stamp + R"(",{"int:1":)" + stored("utf8:a", "[]") + "}]}";
  const struct {
    const char* description;
    std::string before;
    std::string after;
  } rows[] = {
      {"no ui: one is appended", R"({"bytes:x":1})",
       R"({"bytes:x":1,"bytes:ui":{"bytes:probescanning.customFormations":)" + fresh + "}}"},
      {"no member: appended at the end of ui", R"({"bytes:ui":{"bytes:x":1}})",
       R"({"bytes:ui":{"bytes:x":1,"bytes:probescanning.customFormations":)" + fresh + "}}"},
      {"a one-element tuple is replaced whole",
       R"({"bytes:ui":{"bytes:probescanning.customFormations":{"tuple":["long:1"]},"bytes:x":1}})",
       R"({"bytes:ui":{"bytes:probescanning.customFormations":)" + fresh + R"(,"bytes:x":1}})"},
      {"elements past the second are dropped; the position is kept",
       R"({"bytes:ui":{"bytes:probescanning.customFormations":{"tuple":["long:1",{},3]},)"
       R"("bytes:x":1}})",
       R"({"bytes:ui":{"bytes:probescanning.customFormations":)" + fresh + R"(,"bytes:x":1}})"},
      {"an unreadable dict is replaced",
       R"({"bytes:ui":{"bytes:probescanning.customFormations":{"tuple":["long:1",[1]]}}})",
       R"({"bytes:ui":{"bytes:probescanning.customFormations":)" + fresh + "}}"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    JsonValue root = parse(row.before);
    ASSERT_TRUE(merge_formations(root, {named(1, "a")}, NOW));
    EXPECT_EQ(json::serialize(root), json::serialize(parse(row.after)));
  }
}

TEST(MergeFormations, FailureLeavesTreeUnchanged) {
  std::vector<Formation> eleven;
  for (int i = 1; i <= 11; ++i) eleven.push_back(named(i, "n" + std::to_string(i)));
  const struct {
    const char* description;
    JsonValue root;
    std::vector<Formation> incoming;
    std::string error;
  } rows[] = {
      {"ten stored and one new",
       tree_with_dict(dict_of(10)),
       {named(11, "new")},
       "target would contain 11 custom formations; ORVANE supports at most 10"},
      {"the limit is checked before the root", parse("[]"), eleven,
       "target would contain 11 custom formations; ORVANE supports at most 10"},
      {"root not an object", parse("[]"), {named(1, "a")}, "settings root is not an object"},
      {"ui not an object",
       parse(R"({"bytes:ui":"utf8:x"})"),
       {named(1, "a")},
       "settings ui is not an object"},
      {"no id left past the largest",
       tree_with_dict(R"({"int:9223372036854775807":)" + stored("utf8:top") + "}"),
       {named(I64_MAX, "other")},
       "no free formation id: ids reach 9223372036854775807"},
      {"the package itself takes the largest id",
       tree_with_dict(R"({"int:9223372036854775806":)" + stored("utf8:a") + "}"),
       {named(9223372036854775806, "b"), named(9223372036854775806, "c")},
       "no free formation id: ids reach 9223372036854775807"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    JsonValue root = row.root;
    const std::string before = json::serialize(root);
    auto outcome = merge_formations(root, row.incoming, NOW);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error(), row.error);
    EXPECT_EQ(json::serialize(root), before);
  }
}

TEST(MergeFormations, KeepsTheSelectionValid) {
  const std::string belt = R"({"int:2":)" + stored("utf8:Belt") + "}";
  const struct {
    const char* description;
    std::string selected;  // the member's value; empty for no member
    std::string dict;
    std::vector<Formation> incoming;
    std::string expected;  // empty: the member must stay absent
  } rows[] = {
      {"names a stored formation",
       R"({"tuple":["x",2]})",
       belt,
       {named(4, "a")},
       R"({"tuple":["x",2]})"},
      {"names a formation the merge wrote",
       R"({"tuple":["x",4]})",
       "{}",
       {named(4, "a")},
       R"({"tuple":["x",4]})"},
      {"unknown: the first formation's id",
       R"({"tuple":["x",9]})",
       belt,
       {named(4, "a"), named(5, "b")},
       R"({"tuple":["x",4]})"},
      {"unknown: the first formation's id after renumbering",
       R"({"tuple":["x",9]})",
       belt,
       {named(2, "a")},
       R"({"tuple":["x",3]})"},
      {"unknown: the stored formation that kept the first one out",
       R"({"tuple":["x",9]})",
       belt,
       {named(7, "BELT"), named(8, "other")},
       R"({"tuple":["x",2]})"},
      {"the first same-named member with an id",
       R"({"tuple":["x",9]})",
       R"({"bytes:misc":)" + stored("utf8:belt") + R"(,"int:-4":)" + stored("utf8:Belt") +
           R"(,"int:6":)" + stored("utf8:BELT") + R"(,"int:5":)" + stored("utf8:belt") + "}",
       {named(7, "Belt")},
       R"({"tuple":["x",6]})"},
      {"a same-named member without an id gives 0",
       R"({"tuple":["x",9]})",
       R"({"bytes:misc":)" + stored("utf8:Belt") + "}",
       {named(7, "belt")},
       R"({"tuple":["x",0]})"},
      {"empty package gives 0", R"({"tuple":["x",9]})", belt, {}, R"({"tuple":["x",0]})"},
      {"a double counts as -1",
       R"({"tuple":["x",2.0,"y"]})",
       belt,
       {named(4, "a")},
       R"({"tuple":["x",4,"y"]})"},
      {"a string counts as -1",
       R"({"tuple":["x","int:2"]})",
       belt,
       {named(4, "a")},
       R"({"tuple":["x",4]})"},
      {"beyond 64-bit signed counts as -1",
       R"({"tuple":["x",18446744073709551615]})",
       belt,
       {named(4, "a")},
       R"({"tuple":["x",4]})"},
      {"-1 kept when int:-1 exists",
       R"({"tuple":["x",null]})",
       R"({"int:-1":)" + stored("utf8:n") + "}",
       {named(4, "a")},
       R"({"tuple":["x",null]})"},
      {"a short tuple is left alone",
       R"({"tuple":[9]})",
       belt,
       {named(4, "a")},
       R"({"tuple":[9]})"},
      {"a value without a tuple is left alone",
       R"({"list":["x",9]})",
       belt,
       {named(4, "a")},
       R"({"list":["x",9]})"},
      {"no member is created", "", belt, {named(4, "a")}, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    const std::string extra =
        row.selected.empty() ? ""
                             : R"("bytes:probescanning.selectedFormationID":)" + row.selected + ",";
    JsonValue root = tree_with_dict(row.dict, extra);
    ASSERT_TRUE(merge_formations(root, row.incoming, NOW));
    const json::object& ui = root.get_object().at("bytes:ui").get_object();
    const JsonValue* selected = ui.if_contains("bytes:probescanning.selectedFormationID");
    if (row.expected.empty()) {
      EXPECT_EQ(selected, nullptr);
    } else {
      ASSERT_NE(selected, nullptr);
      EXPECT_EQ(json::serialize(*selected), row.expected);
    }
  }
}

}  // namespace
}  // namespace orvane
