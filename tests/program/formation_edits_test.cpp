#include "orvane/core/formation_edits.hpp"

#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "orvane/core/display_names.hpp"

namespace orvane {
namespace {

namespace json = boost::json;

constexpr std::uint64_t EPOCH = 116444736000000000ULL;
constexpr std::uint64_t NOW = EPOCH + 1700000000ULL * 10000000ULL + 1234567;
constexpr std::string_view DICT_POINTER = "/bytes:ui/bytes:probescanning.customFormations/tuple/1";
constexpr std::string_view STAMP_POINTER = "/bytes:ui/bytes:probescanning.customFormations/tuple/0";
constexpr std::string_view SELECTED_POINTER =
    "/bytes:ui/bytes:probescanning.selectedFormationID/tuple/1";

JsonValue parse(const std::string& text) {
  boost::system::error_code ec;
  JsonValue value = json::parse(text, ec);
  EXPECT_FALSE(ec) << text;
  return value;
}

JsonValue* at(JsonValue& value, std::string_view pointer) {
  boost::system::error_code ec;
  return value.find_pointer(pointer, ec);
}

std::string stored(const std::string& name, const std::string& probes = "[]") {
  return R"({"tuple":[")" + name + R"(",)" + probes + "]}";
}

// Settings around the dict that no edit may touch: another root member, other ui members before
// and after it, a third element of its tuple and the selection.
JsonValue tree_with(const std::string& dict, const std::string& selected = R"({"tuple":["x",7]})") {
  return parse(R"({"bytes:other":[1,2],"bytes:ui":{"bytes:a":"long:3",)"
               R"("bytes:probescanning.selectedFormationID":)" +
               selected + R"(,"bytes:probescanning.customFormations":{"tuple":["long:5",)" + dict +
               R"(,"extra"]},"bytes:z":{"tuple":[1]}}})");
}

// The five formations of most rows, beside members the listing skips.
const std::string FIVE =
    "{" + (R"("int:1":)" + stored("utf8:Belt", "[1]")) + "," +
    (R"("bytes:misc":)" + stored("utf8:Misc")) + "," +
    (R"("int:3":)" + stored("utf8:Ring", "[3]")) + "," +
    (R"("int:-2":)" + stored("utf8:Negative")) + "," + (R"("int:x":)" + stored("utf8:Ex")) + "," +
    R"("int:4":"not a tuple",)" + (R"("int:7":)" + stored("utf8:Pinpoint", "[7]")) + "," +
    (R"("long:7":)" + stored("utf8:pinpoint")) + "," + (R"("int:9":)" + stored("utf8:Cross")) + "}";

// "key=name" of each dict member, in dict order.
std::vector<std::string> members(JsonValue& root) {
  std::vector<std::string> out;
  JsonValue* dict = at(root, DICT_POINTER);
  if (dict == nullptr || !dict->is_object()) return out;
  for (auto& member : dict->get_object()) {
    const JsonValue* name = at(member.value(), "/tuple/0");
    out.push_back(std::string(member.key()) + "=" +
                  (name && name->is_string() ? std::string(name->get_string()) : "?"));
  }
  return out;
}

// The tree with the dict and its stamp blanked: what must stay exactly as it was.
JsonValue outside_the_dict(JsonValue root) {
  if (JsonValue* dict = at(root, DICT_POINTER)) *dict = nullptr;
  if (JsonValue* stamp = at(root, STAMP_POINTER)) *stamp = nullptr;
  if (JsonValue* selected = at(root, SELECTED_POINTER)) *selected = nullptr;
  return root;
}

FormationRef ref(std::int64_t id, std::string name) { return FormationRef{id, std::move(name)}; }
FormationRename rename(std::int64_t id, std::string name, std::string new_name) {
  return FormationRename{ref(id, std::move(name)), std::move(new_name)};
}

const std::vector<std::string> FIVE_MEMBERS = {
    "int:1=utf8:Belt",      "bytes:misc=utf8:Misc", "int:3=utf8:Ring",
    "int:-2=utf8:Negative", "int:x=utf8:Ex",        "int:4=?",
    "int:7=utf8:Pinpoint",  "long:7=utf8:pinpoint", "int:9=utf8:Cross"};

std::vector<std::string> replaced(std::vector<std::string> rows, const std::string& from,
                                  const std::string& to) {
  for (auto it = rows.begin(); it != rows.end(); ++it) {
    if (*it != from) continue;
    if (to.empty()) {
      rows.erase(it);
    } else {
      *it = to;
    }
    break;
  }
  return rows;
}

TEST(EditFormations, ChangesOnlyTheNamedMembers) {
  const std::string long_name(100, 'n');
  std::string accented;
  for (int i = 0; i < 100; ++i) accented += "\xC3\xA9";
  const struct {
    const char* description;
    FormationEdits edits;
    std::vector<std::string> expected;
    std::size_t removed, renamed, custom_count;
  } rows[] = {
      {"nothing asked", {}, FIVE_MEMBERS, 0, 0, 6},
      {"remove one, by its name in another case",
       {{ref(3, "RING")}, {}},
       replaced(FIVE_MEMBERS, "int:3=utf8:Ring", ""),
       1,
       0,
       5},
      {"remove the first member of an id that two keys give",
       {{ref(7, "Pinpoint")}, {}},
       replaced(FIVE_MEMBERS, "int:7=utf8:Pinpoint", ""),
       1,
       0,
       5},
      {"rename in place",
       {{}, {rename(1, "Belt", "Wide Belt")}},
       replaced(FIVE_MEMBERS, "int:1=utf8:Belt", "int:1=utf8:Wide Belt"),
       0,
       1,
       6},
      {"rename to its own name in another case",
       {{}, {rename(1, "Belt", "BELT")}},
       replaced(FIVE_MEMBERS, "int:1=utf8:Belt", "int:1=utf8:BELT"),
       0,
       1,
       6},
      {"rename to the name it has changes nothing",
       {{}, {rename(1, "Belt", "Belt")}},
       FIVE_MEMBERS,
       0,
       0,
       6},
      {"two formations swap names",
       {{}, {rename(1, "Belt", "Ring"), rename(3, "Ring", "Belt")}},
       replaced(replaced(FIVE_MEMBERS, "int:1=utf8:Belt", "int:1=utf8:Ring"), "int:3=utf8:Ring",
                "int:3=utf8:Belt"),
       0,
       2,
       6},
      {"a rename takes the name a removal frees; both at once",
       {{ref(9, "Cross")}, {rename(1, "Belt", "cross")}},
       replaced(replaced(FIVE_MEMBERS, "int:9=utf8:Cross", ""), "int:1=utf8:Belt",
                "int:1=utf8:cross"),
       1,
       1,
       5},
      {"a negative id reserves no name",
       {{}, {rename(1, "Belt", "negative")}},
       replaced(FIVE_MEMBERS, "int:1=utf8:Belt", "int:1=utf8:negative"),
       0,
       1,
       6},
      {"100 characters, two bytes each",
       {{}, {rename(1, "Belt", accented)}},
       replaced(FIVE_MEMBERS, "int:1=utf8:Belt", "int:1=utf8:" + accented),
       0,
       1,
       6},
      {"100 ASCII characters",
       {{}, {rename(9, "cross", long_name)}},
       replaced(FIVE_MEMBERS, "int:9=utf8:Cross", "int:9=utf8:" + long_name),
       0,
       1,
       6},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    JsonValue root = tree_with(FIVE);
    JsonValue before = root;
    auto edited = edit_formations(root, row.edits, NOW);
    ASSERT_TRUE(edited) << edited.error().text;
    EXPECT_EQ(members(root), row.expected);
    EXPECT_EQ(edited->removed, row.removed);
    EXPECT_EQ(edited->renamed, row.renamed);
    EXPECT_EQ(edited->custom_count, row.custom_count);
    EXPECT_EQ(outside_the_dict(root), outside_the_dict(before));
    // The stamp moves only with a change; probes and the members not named stay as they were.
    EXPECT_EQ(*at(root, STAMP_POINTER),
              edited->changed()
                  ? JsonValue("long:" + std::to_string(EPOCH + 1700000000ULL * 10000000ULL))
                  : JsonValue("long:5"));
    for (auto& member : at(root, DICT_POINTER)->get_object()) {
      if (JsonValue* probes = at(member.value(), "/tuple/1")) {
        const JsonValue* was =
            at(before, std::string(DICT_POINTER) + "/" + std::string(member.key()) + "/tuple/1");
        if (was != nullptr) {
          EXPECT_EQ(*probes, *was) << member.key();
        }
      }
    }
  }
}

TEST(EditFormations, RefusesAndLeavesTheTreeAsItWas) {
  const struct {
    const char* description;
    std::string tree;  // empty: tree_with(FIVE)
    FormationEdits edits;
    EditRefusal refusal;
    std::optional<NameFault> fault;
    std::string text;
  } rows[] = {
      {"no such id",
       "",
       {{ref(5, "Belt")}, {}},
       EditRefusal::NoSuchFormation,
       {},
       "no formation 5 (Belt)"},
      {"a negative id is no formation",
       "",
       {{ref(-2, "Negative")}, {}},
       EditRefusal::NoSuchFormation,
       {},
       "no formation -2 (Negative)"},
      {"an id whose value is not a formation",
       "",
       {{}, {rename(4, "x", "y")}},
       EditRefusal::NoSuchFormation,
       {},
       "no formation 4 (x)"},
      {"the id holds another name",
       "",
       {{ref(9, "Belt")}, {}},
       EditRefusal::NameChanged,
       {},
       "formation 9 is no longer Belt"},
      {"removed twice",
       "",
       {{ref(1, "Belt"), ref(1, "belt")}, {}},
       EditRefusal::NamedTwice,
       {},
       "formation 1 (belt) is named twice"},
      {"removed and renamed",
       "",
       {{ref(1, "Belt")}, {rename(1, "Belt", "B")}},
       EditRefusal::NamedTwice,
       {},
       "formation 1 (Belt) is named twice"},
      {"empty",
       "",
       {{}, {rename(1, "Belt", "")}},
       EditRefusal::BadName,
       NameFault::Empty,
       "cannot rename formation 1 (Belt): a name cannot be empty"},
      {"101 characters",
       "",
       {{}, {rename(1, "Belt", std::string(101, 'n'))}},
       EditRefusal::BadName,
       NameFault::TooLong,
       "cannot rename formation 1 (Belt): a name holds at most 100 characters"},
      {"a tab",
       "",
       {{}, {rename(1, "Belt", "a\tb")}},
       EditRefusal::BadName,
       NameFault::ControlCharacter,
       "cannot rename formation 1 (Belt): a name cannot hold control characters"},
      {"a C1 control",
       "",
       {{}, {rename(1, "Belt", "a\xC2\x85")}},
       EditRefusal::BadName,
       NameFault::ControlCharacter,
       "cannot rename formation 1 (Belt): a name cannot hold control characters"},
      {"bytes that are not UTF-8",
       "",
       {{}, {rename(1, "Belt", "a\xFF")}},
       EditRefusal::BadName,
       NameFault::ControlCharacter,
       "cannot rename formation 1 (Belt): a name cannot hold control characters"},
      {"another formation's name in another case",
       "",
       {{}, {rename(1, "Belt", "RING")}},
       EditRefusal::NameTaken,
       {},
       "cannot rename formation 1 (Belt): another formation is already named RING"},
      {"the name of a member without an id",
       "",
       {{}, {rename(1, "Belt", "misc")}},
       EditRefusal::NameTaken,
       {},
       "cannot rename formation 1 (Belt): another formation is already named misc"},
      {"two renames to one name",
       "",
       {{}, {rename(1, "Belt", "New"), rename(3, "Ring", "new")}},
       EditRefusal::NameTaken,
       {},
       "cannot rename formation 3 (Ring): another formation is already named new"},
      {"a later refusal keeps an earlier removal out",
       "",
       {{ref(1, "Belt")}, {rename(3, "Ring", "")}},
       EditRefusal::BadName,
       NameFault::Empty,
       "cannot rename formation 3 (Ring): a name cannot be empty"},
      {"no dict",
       R"({"bytes:ui":{}})",
       {{ref(1, "Belt")}, {}},
       EditRefusal::NoSuchFormation,
       {},
       "no formation 1 (Belt)"},
      {"root not a dict",
       "[]",
       {{ref(1, "Belt")}, {}},
       EditRefusal::NotSettings,
       {},
       "settings root is not an object"},
      {"ui not a dict",
       R"({"bytes:ui":[]})",
       {{ref(1, "Belt")}, {}},
       EditRefusal::NotSettings,
       {},
       "settings ui is not an object"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    JsonValue root = row.tree.empty() ? tree_with(FIVE) : parse(row.tree);
    const JsonValue before = root;
    auto edited = edit_formations(root, row.edits, NOW);
    ASSERT_FALSE(edited);
    EXPECT_EQ(edited.error().refusal, row.refusal);
    EXPECT_EQ(edited.error().fault, row.fault);
    EXPECT_EQ(edited.error().text, row.text);
    EXPECT_EQ(root, before);
  }
}

TEST(EditFormations, RemovingTheSelectedFormationSelectsTheLowestLeft) {
  const std::string dict = "{" + (R"("int:8":)" + stored("utf8:Eight")) + "," +
                           (R"("int:-1":)" + stored("utf8:Neg")) + "," +
                           (R"("int:5":)" + stored("utf8:Five")) + "," +
                           (R"("int:2":)" + stored("utf8:Two")) + "}";
  const struct {
    const char* description;
    std::string selected;  // the member's value; empty for no member
    std::vector<FormationRef> remove;
    std::string expected;
  } rows[] = {
      {"the lowest id left",
       R"({"tuple":["x",2,"y"]})",
       {ref(2, "Two")},
       R"({"tuple":["x",5,"y"]})"},
      {"none left gives 0",
       R"({"tuple":["x",2]})",
       {ref(2, "Two"), ref(5, "Five"), ref(8, "Eight")},
       R"({"tuple":["x",0]})"},
      {"another formation selected",
       R"({"tuple":["x",8]})",
       {ref(2, "Two")},
       R"({"tuple":["x",8]})"},
      {"a selection that named none before stays",
       R"({"tuple":["x",9]})",
       {ref(2, "Two")},
       R"({"tuple":["x",9]})"},
      {"a double is not the removed id",
       R"({"tuple":["x",2.0]})",
       {ref(2, "Two")},
       R"({"tuple":["x",2.0]})"},
      {"a tuple of one element is not reshaped",
       R"({"tuple":[2]})",
       {ref(2, "Two")},
       R"({"tuple":[2]})"},
      {"a missing member is not made", "", {ref(2, "Two")}, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    JsonValue root =
        parse(R"({"bytes:ui":{)" +
              (row.selected.empty()
                   ? ""
                   : R"("bytes:probescanning.selectedFormationID":)" + row.selected + ",") +
              R"("bytes:probescanning.customFormations":{"tuple":["long:5",)" + dict + "]}}}");
    ASSERT_TRUE(edit_formations(root, {row.remove, {}}, NOW));
    JsonValue* selected = at(root, "/bytes:ui/bytes:probescanning.selectedFormationID");
    if (row.expected.empty()) {
      EXPECT_EQ(selected, nullptr);
    } else {
      ASSERT_NE(selected, nullptr);
      EXPECT_EQ(*selected, parse(row.expected));
    }
  }
}

}  // namespace
}  // namespace orvane
