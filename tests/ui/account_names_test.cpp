// Telling accounts apart: names the player gives them, kept in the program's data folder and
// never in a settings file, and the times their files were last written.
#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <string>
#include <vector>

#include "api_fixture.hpp"
#include "orvane/core/account_files.hpp"
#include "orvane/ui/data_folder.hpp"

namespace orvane::ui {
namespace {

class AccountNamesTest : public ApiTest {
 protected:
  void SetUp() override {
    fake_.state = "/state";
    names_file_ = *program_data_folder(fake_, fake_) + "/account-names.json";
  }
  std::string names_file_;

  json::value name(const std::string& account, const json::value& given, unsigned status = 200) {
    return post("/api/account-name",
                json::object{{"folder", FOLDER}, {"account", account}, {"name", given}}, status);
  }
  // The listing's value of `member` for each account, in the folder's order.
  std::vector<json::value> listed(const char* member) {
    std::vector<json::value> values;
    const json::value reply = get("/api/accounts?folder=" + query(FOLDER));
    for (const json::value& entry : reply.at("accounts").as_array()) {
      values.push_back(entry.at(member));
    }
    return values;
  }
  bool wrote_in_the_settings_folder() const {
    for (const std::string& entry : fake_.log) {
      if (entry.find(FOLDER) != std::string::npos && entry.rfind("read ", 0) != 0 &&
          entry.rfind("list ", 0) != 0) {
        return true;
      }
    }
    return false;
  }
};

TEST_F(AccountNamesTest, KeepsNamesOutsideTheSettingsFiles) {
  const std::vector<json::value> none(4, nullptr);
  const struct {
    const char* description;
    const char* account;
    const char* given;
    std::vector<json::value> names;  // of 1001 to 1004 afterwards
  } steps[] = {
      {"a first name", "1001", "Main", {"Main", nullptr, nullptr, nullptr}},
      {"another account",
       "1003",
       "Hauler \xE2\x80\x94 2",
       {"Main", nullptr, "Hauler \xE2\x80\x94 2", nullptr}},
      {"a new name replaces the old",
       "1001",
       "Alt",
       {"Alt", nullptr, "Hauler \xE2\x80\x94 2", nullptr}},
      {"clearing a name never given",
       "1002",
       "",
       {"Alt", nullptr, "Hauler \xE2\x80\x94 2", nullptr}},
      {"empty clears", "1001", "", {nullptr, nullptr, "Hauler \xE2\x80\x94 2", nullptr}},
      {"the last one cleared", "1003", "", none},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.description);
    fake_.log.clear();
    const json::value reply = name(step.account, step.given);
    EXPECT_EQ(reply.at("name"),
              *step.given == '\0' ? json::value(nullptr) : json::value(step.given));
    EXPECT_EQ(listed("name"), step.names);
    EXPECT_FALSE(wrote_in_the_settings_folder());
    EXPECT_TRUE(fake_.private_files.contains(names_file_));
  }
}

TEST_F(AccountNamesTest, RefusesNamesAgainstTheRule) {
  const struct {
    const char* description;
    std::string account;
    json::value given;
    const char* code;
  } cases[] = {
      {"101 characters", "1001", json::value(std::string(101, 'n')), "name_too_long"},
      {"a line break", "1001", json::value("a\nb"), "name_control_character"},
      {"an account the folder lacks", "1009", json::value("Main"), "no_such_account"},
      {"not a text", "1001", json::value(7), "bad_request"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    fake_.log.clear();
    EXPECT_EQ(name(c.account, c.given, 400).at("error_code"), c.code);
    EXPECT_FALSE(fake_.files.contains(names_file_));
  }
  (void)name("1001", json::value(std::string(100, 'n')));
  EXPECT_EQ(listed("name")[0], json::value(std::string(100, 'n')));
}

TEST_F(AccountNamesTest, ADamagedFileMeansNoNames) {
  for (const std::string& damaged :
       {std::string("not json"), std::string(R"(["1001"])"),
        std::string(R"({"/game/settings_Default":{"1001":7,"1002":"a\tb","1003":"Fine"}})"),
        std::string(256 * 1024 + 1, ' ')}) {
    SCOPED_TRACE(damaged.substr(0, 40));
    fake_.put_file(names_file_, damaged);
    const std::vector<json::value> names = listed("name");
    EXPECT_EQ(names[0], nullptr);
    EXPECT_EQ(names[1], nullptr);
    (void)name("1004", "Scout");
    EXPECT_EQ(listed("name")[3], "Scout");
  }
}

TEST_F(AccountNamesTest, TellsWhenEachFileChangedAndWhichWasPlayedLast) {
  const struct {
    const char* description;
    std::vector<std::uint64_t> times;    // of 1001 to 1004; 0 for none known
    std::vector<std::uint64_t> backups;  // of their backups, the same way
    std::vector<json::value> modified;
    std::vector<bool> played_last;
  } rows[] = {
      {"the newest file",
       {fake_.filetime, fake_.filetime + 10000000, 0, fake_.filetime - 864000000000},
       {0, 0, 0, 0},
       {"2024-01-17T21:20:00Z", "2024-01-17T21:20:01Z", nullptr, "2024-01-16T21:20:00Z"},
       {false, true, false, false}},
      {"the newest written just after its backup, as a copy or restore writes it",
       {fake_.filetime, fake_.filetime + 10000000, 0, fake_.filetime - 864000000000},
       {0, fake_.filetime + 5000000, 0, 0},
       {"2024-01-17T21:20:00Z", "2024-01-17T21:20:01Z", nullptr, "2024-01-16T21:20:00Z"},
       {true, false, false, false}},
      {"the newest saved by the game long after its backup",
       {fake_.filetime, fake_.filetime + 10000000, 0, fake_.filetime - 864000000000},
       {0, fake_.filetime - 36000000000, 0, 0},
       {"2024-01-17T21:20:00Z", "2024-01-17T21:20:01Z", nullptr, "2024-01-16T21:20:00Z"},
       {false, true, false, false}},
      {"none known",
       {0, 0, 0, 0},
       {0, 0, 0, 0},
       {nullptr, nullptr, nullptr, nullptr},
       {false, false, false, false}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    fake_.modified.clear();
    for (std::size_t i = 0; i < row.times.size(); ++i) {
      const std::string path = path_of(std::to_string(1001 + i));
      if (row.times[i] != 0) fake_.modified[path] = row.times[i];
      if (row.backups[i] != 0) fake_.modified[backup_path_for(path)] = row.backups[i];
    }
    EXPECT_EQ(listed("modified"), row.modified);
    std::vector<bool> played;
    for (const json::value& value : listed("played_last")) played.push_back(value.as_bool());
    EXPECT_EQ(played, row.played_last);
  }
}

}  // namespace
}  // namespace orvane::ui
