// The steps both programs share beyond the commands: what a merge reports, the account files of a
// folder, one target's apply in each mode, and a restore from the backup.
#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "helpers/fake_platform.hpp"
#include "marshal/json.hpp"
#include "marshal/writer.hpp"
#include "orvane/core/account_files.hpp"
#include "orvane/core/account_folder.hpp"
#include "orvane/core/apply_formations.hpp"
#include "orvane/core/formations.hpp"
#include "orvane/core/restore_from_backup.hpp"

namespace orvane {
namespace {

using testing::FakePlatform;
using testing::Operation;
namespace json = boost::json;

constexpr std::uint64_t NOW = 133500000000000000;

// A tree whose dict holds `stored` (key, name) members, each with no probes.
JsonValue tree_with(const std::vector<std::pair<std::string, std::string>>& stored) {
  json::object dict;
  for (const auto& [key, name] : stored) {
    dict[key] = json::object{{"tuple", json::array{"utf8:" + name, json::array{}}}};
  }
  return json::object{
      {"bytes:ui",
       json::object{{"bytes:probescanning.customFormations",
                     json::object{{"tuple", json::array{"long:1", std::move(dict)}}}}}}};
}

std::vector<std::uint8_t> settings_bytes(const JsonValue& tree) {
  auto value = marshal::json_to_value(tree);
  EXPECT_TRUE(value);
  auto bytes = marshal::write_marshal(*value, {.write_crc = false, .mode_byte = 1});
  EXPECT_TRUE(bytes);
  return {bytes->begin(), bytes->end()};
}

Formation named(std::int64_t id, std::string name) { return Formation{id, std::move(name), {}}; }

TEST(MergeReport, NamesWhatWasAddedUnderWhichIdAndWhatWasSkipped) {
  const struct {
    const char* description;
    std::vector<std::pair<std::string, std::string>> stored;
    std::vector<Formation> incoming;
    std::vector<AddedFormation> added;
    std::vector<std::string> skipped;
  } rows[] = {
      {"into an empty dict", {}, {named(1, "A"), named(2, "B")}, {{"A", 1}, {"B", 2}}, {}},
      {"a taken id is renumbered",
       {{"int:1", "A"}, {"int:4", "B"}},
       {named(4, "C"), named(5, "D")},
       {{"C", 5}, {"D", 6}},
       {}},
      {"names held, letter case aside, are skipped as the package spells them",
       {{"int:1", "Belt"}},
       {named(2, "BELT"), named(3, "Arc"), named(4, "arc")},
       {{"Arc", 3}},
       {"BELT", "arc"}},
      {"a name under a key without an id still blocks",
       {{"bytes:misc", "Arc"}},
       {named(1, "ARC")},
       {},
       {"ARC"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    JsonValue root = tree_with(row.stored);
    auto outcome = merge_formations(root, row.incoming, NOW);
    ASSERT_TRUE(outcome) << outcome.error();
    EXPECT_EQ(outcome->added_formations, row.added);
    EXPECT_EQ(outcome->skipped, row.skipped);
    EXPECT_EQ(outcome->added, row.added.size());
  }
}

TEST(CustomFormationCount, CountsWhatTheLimitCounts) {
  JsonValue root = tree_with({{"int:1", "A"}, {"int:-2", "B"}, {"bytes:x", "C"}, {"int:3", "D"}});
  root.as_object()["bytes:ui"]
      .as_object()["bytes:probescanning.customFormations"]
      .as_object()["tuple"]
      .as_array()[1]
      .as_object()["int:7"] = "unreadable";
  EXPECT_EQ(custom_formation_count(root), 3u) << "ids 1, 3 and 7, unreadable or not";
  EXPECT_EQ(read_formations(root).size(), 2u);
  EXPECT_EQ(custom_formation_count(json::value(7)), 0u);
}

TEST(AccountFiles, AreTheSortedAccountFilesOfTheFolder) {
  FakePlatform fake;
  fake.directories = {"/s", "/s/core_user_9.dat"};
  for (const char* name : {"core_user_2.dat", "core_user_10.dat", "prefs.dat",
                           "core_user_10.dat.before-probe-formations", "core_user__x.dat"}) {
    fake.put_file(std::string("/s/") + name, "x");
  }
  auto files = list_account_files(fake, "/s");
  ASSERT_TRUE(files);
  std::vector<std::string> seen;
  for (const AccountFile& file : *files)
    seen.push_back(file.file + "|" + file.path + "|" + file.account);
  EXPECT_EQ(seen, (std::vector<std::string>{"core_user_10.dat|/s/core_user_10.dat|10",
                                            "core_user_2.dat|/s/core_user_2.dat|2",
                                            "core_user_9.dat|/s/core_user_9.dat|9"}));
  auto missing = list_account_files(fake, "/nowhere");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), "settings directory: No such file or directory (os error 2)");
}

TEST(ApplyFormations, PreviewTouchesNoFileAndWritesComeAfterTheBackup) {
  const std::string target = "/s/core_user_1.dat";
  const std::string backup = backup_path_for(target);
  const struct {
    const char* description;
    ApplyMode mode;
    std::vector<Formation> incoming;
    std::vector<std::string> log;
    bool succeeds;
  } rows[] = {
      {"preview", ApplyMode::Preview, {named(2, "B")}, {"read " + target}, true},
      {"write",
       ApplyMode::Write,
       {named(2, "B")},
       {"read " + target, "copy " + target + " -> " + backup, "hold", "write " + target, "release"},
       true},
      {"write refused by the limit",
       ApplyMode::Write,
       {named(2, "B"), named(3, "C"), named(4, "D"), named(5, "E"), named(6, "F"), named(7, "G"),
        named(8, "H"), named(9, "I"), named(10, "J"), named(11, "K")},
       {"read " + target, "copy " + target + " -> " + backup},
       false},
      {"write when merged",
       ApplyMode::WriteWhenMerged,
       {named(2, "B")},
       {"read " + target, "copy " + target + " -> " + backup, "hold", "write " + target, "release"},
       true},
      {"write when merged, refused by the limit: no backup either",
       ApplyMode::WriteWhenMerged,
       {named(2, "B"), named(3, "C"), named(4, "D"), named(5, "E"), named(6, "F"), named(7, "G"),
        named(8, "H"), named(9, "I"), named(10, "J"), named(11, "K")},
       {"read " + target},
       false},
      {"preview refused by the limit",
       ApplyMode::Preview,
       {named(2, "B"), named(3, "C"), named(4, "D"), named(5, "E"), named(6, "F"), named(7, "G"),
        named(8, "H"), named(9, "I"), named(10, "J"), named(11, "K")},
       {"read " + target},
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    FakePlatform fake;
    fake.files[target] = settings_bytes(tree_with({{"int:1", "A"}}));
    const std::vector<std::uint8_t> before = fake.files[target];
    auto outcome = apply_formations(fake, target, row.incoming, row.mode);
    EXPECT_EQ(outcome.has_value(), row.succeeds);
    EXPECT_EQ(fake.log, row.log);
    if (row.mode == ApplyMode::Preview || !row.succeeds) {
      EXPECT_EQ(fake.files[target], before);
    }
  }
}

// The backup is copied while the tree is merged and encoded, and the two meet before the target
// is opened: a failure of either leaves the target as it was, and when both fail the one the
// backup-first order would meet first is told.
TEST(ApplyFormations, BackupBesideTheMergeFailsAsWhenItCameFirst) {
  const std::string target = "/s/core_user_1.dat";
  const std::string backup = backup_path_for(target);
  const std::string copy = "copy " + target + " -> " + backup;
  std::vector<Formation> too_many;
  for (std::int64_t id = 2; id <= 11; ++id) too_many.push_back(named(id, "N" + std::to_string(id)));
  const std::string denied = "backup " + target + ": Permission denied (os error 13)";
  const std::string limit = "target would contain 11 custom formations; ORVANE supports at most 10";
  const struct {
    const char* description;
    ApplyMode mode;
    bool backup_fails;
    bool merge_refused;
    std::string error;
    std::vector<std::string> log;
  } rows[] = {
      {"write: the backup fails", ApplyMode::Write, true, false, denied, {"read " + target, copy}},
      {"write: both fail, the backup's error",
       ApplyMode::Write,
       true,
       true,
       denied,
       {"read " + target, copy}},
      {"write: the merge is refused after the backup",
       ApplyMode::Write,
       false,
       true,
       limit,
       {"read " + target, copy}},
      {"write when merged: the backup fails",
       ApplyMode::WriteWhenMerged,
       true,
       false,
       denied,
       {"read " + target, copy}},
      {"write when merged: a refused merge is never backed up",
       ApplyMode::WriteWhenMerged,
       true,
       true,
       limit,
       {"read " + target}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    FakePlatform fake;
    fake.files[target] = settings_bytes(tree_with({{"int:1", "A"}}));
    fake.put_file(backup, "older");
    const std::vector<std::uint8_t> before = fake.files[target];
    if (row.backup_fails) fake.fail(Operation::CopyFile, target, EACCES);
    auto outcome = apply_formations(
        fake, target, row.merge_refused ? too_many : std::vector{named(2, "B")}, row.mode);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error(), row.error);
    EXPECT_EQ(fake.log, row.log);
    EXPECT_EQ(fake.files[target], before);
    EXPECT_EQ(fake.files[backup] == before, !row.backup_fails && row.log.size() == 2);
  }
}

TEST(RestoreFromBackup, WritesTheBackupsBytesOnlyWhenTheyDecode) {
  const std::string target = "/s/core_user_1.dat";
  const std::string backup = backup_path_for(target);
  const std::vector<std::uint8_t> saved = settings_bytes(tree_with({{"int:1", "A"}}));
  const struct {
    const char* description;
    bool has_backup;
    std::string backup_text;  // empty: the saved settings
    std::optional<Operation> failing;
    std::string error;
    bool restored;
  } rows[] = {
      {"a good backup", true, "", std::nullopt, "", true},
      {"no backup", false, "", std::nullopt,
       "read " + backup + ": No such file or directory (os error 2)", false},
      {"a backup that is no settings file", true, "text", std::nullopt,
       "decode " + backup + ": invalid marshal stream: missing marshal signature", false},
      {"a write that fails after opening", true, "", Operation::WriteFile,
       "write " + target + ": No space left on device (os error 28)", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    FakePlatform fake;
    fake.put_file(target, "current");
    if (row.has_backup) {
      fake.files[backup] = saved;
      if (!row.backup_text.empty()) fake.put_file(backup, row.backup_text);
    }
    // The write fails once; putting the backup back after it succeeds.
    if (row.failing) fake.fail(*row.failing, target, ENOSPC, 1);
    auto restored = restore_from_backup(fake, target);
    EXPECT_EQ(restored ? std::string() : restored.error(), row.error);
    EXPECT_EQ(fake.files[target] == saved, row.restored);
    if (!row.restored) {
      EXPECT_EQ(fake.file_text(target), "current");
    }
  }
}

}  // namespace
}  // namespace orvane
