// What the API writes and refuses to write: changes made only against the versions the page
// showed, no write for an apply that adds nothing, restore points kept and restored, restores of
// what is not a settings file refused, and files the page does not follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <boost/json.hpp>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "api_fixture.hpp"
#include "e2e/settings_files.hpp"
#include "orvane/core/account_files.hpp"
#include "orvane/core/content_version.hpp"
#include "orvane/ui/data_folder.hpp"

namespace orvane::ui {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A settings file that decodes, whose formations are those given.
Bytes settings_with(const std::vector<e2e::StoredFormation>& formations) {
  return bytes_of(e2e::encode_settings(formations));
}

class ChangesTest : public ApiTest {
 protected:
  void SetUp() override { fake_.state = "/state"; }

  // Every write and copy the platform saw since the log was cleared.
  std::vector<std::string> writes() const {
    std::vector<std::string> found;
    for (const std::string& entry : fake_.log) {
      if (entry.rfind("write ", 0) == 0 || entry.rfind("copy ", 0) == 0) found.push_back(entry);
    }
    return found;
  }
  std::vector<std::string> account_writes() const {
    std::vector<std::string> found;
    for (const std::string& entry : writes()) {
      if (entry.find(FOLDER) != std::string::npos) found.push_back(entry);
    }
    return found;
  }
  json::value restore(const json::object& extra, unsigned status = 200) {
    json::object request = extra;
    request["folder"] = FOLDER;
    if (!request.contains("versions")) request["versions"] = versions();
    return post("/api/restore", request, status);
  }
  json::array points(const std::string& account) {
    return get("/api/restore-points?folder=" + query(FOLDER) + "&account=" + account)
        .at("points")
        .as_array();
  }
};

// The page showed the example files; then something changed one of them.
TEST_F(ChangesTest, RefusesChangesMadeFromAStaleView) {
  struct Case {
    const char* description;
    std::function<void(FakePlatform&, json::object&)> meanwhile;
    unsigned status;                   // of the reply
    std::vector<std::string> touched;  // accounts written all the same
  };
  const auto rewrite = [](const std::string& account) {
    return [account](FakePlatform& fake, json::object&) {
      fake.files[path_of(account)] = settings_with(e2e::numbered_formations(2, "Other"));
    };
  };
  const Case cases[] = {
      {"nothing changed", [](FakePlatform&, json::object&) {}, 200, {"1002", "1004"}},
      {"the source changed", rewrite("1001"), 409, {}},
      {"a target changed", rewrite("1004"), 200, {"1002"}},
      {"the source's id holds another name",
       [](FakePlatform&, json::object& request) {
         request["formations"].as_array()[0].as_object()["name"] = "Survey Line";
       },
       409,
       {}},
      {"the source's id holds none",
       [](FakePlatform&, json::object& request) {
         request["formations"].as_array()[0].as_object()["id"] = 9;
       },
       409,
       {}},
      {"a version from another file",
       [](FakePlatform&, json::object& request) {
         // A copy first: inserting the key may move the value it would be read from.
         json::value version = request["versions"].at("1001");
         request["versions"].as_object()["1002"] = std::move(version);
       },
       200,
       {"1004"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    fake_ = example_platform();
    fake_.state = "/state";
    json::object request{{"folder", FOLDER},
                         {"targets", {"1002", "1004"}},
                         {"dry_run", false},
                         {"formations", {pick("1001", 1), pick("1001", 4)}},
                         {"versions", versions()}};
    c.meanwhile(fake_, request);
    const FakePlatform before = fake_;
    fake_.log.clear();
    const HttpResponse response =
        send(app_, {.method = "POST", .target = "/api/apply", .body = json::serialize(request)});
    ASSERT_EQ(response.status, c.status) << response.body;
    const json::value reply = body_of(response);
    if (c.status == 409) {
      EXPECT_EQ(reply.at("error_code"), "changed_on_disk");
      EXPECT_NE(reply.at("error").as_string().find("account 1001 changed"), std::string::npos);
    }
    for (const char* account : {"1002", "1004"}) {
      SCOPED_TRACE(account);
      const bool touched =
          std::find(c.touched.begin(), c.touched.end(), account) != c.touched.end();
      EXPECT_EQ(fake_.files.at(path_of(account)) != before.files.at(path_of(account)), touched);
      EXPECT_EQ(fake_.files.count(backup_path_for(path_of(account))) != 0, touched);
      if (c.status != 200) continue;
      for (const json::value& result : reply.at("results").as_array()) {
        if (result.at("account") != account) continue;
        EXPECT_EQ(result.at("error_code"), touched ? json::value(nullptr) : "changed_on_disk");
      }
    }
    if (c.touched.empty()) {
      EXPECT_TRUE(account_writes().empty());
    }
  }
}

// The client saves the file after the page read it and before the page writes it.
TEST_F(ChangesTest, ChecksTheTargetAgainJustBeforeWritingIt) {
  const Bytes saved = settings_with(e2e::numbered_formations(1, "Saved"));
  const json::object request{{"folder", FOLDER},
                             {"targets", {"1002"}},
                             {"dry_run", false},
                             {"formations", {pick("1001", 1)}},
                             {"versions", versions()}};
  // The apply's first read of the target checks its version; the second comes just before the
  // write.
  int reads = 0;
  fake_.before_read = [&](const std::string& path) {
    if (path == path_of("1002") && ++reads == 2) fake_.files[path] = saved;
  };
  fake_.log.clear();
  const json::value reply = post("/api/apply", request);
  const json::object& result = reply.at("results").at(0).as_object();
  EXPECT_EQ(result.at("error_code"), "changed_on_disk");
  EXPECT_NE(result.at("error").as_string().find("just before it was written"), std::string::npos);
  EXPECT_EQ(fake_.files.at(path_of("1002")), saved) << "the client's save is kept";
  EXPECT_EQ(std::count(fake_.log.begin(), fake_.log.end(), "hold"), 1)
      << "the check and the write are one step";
}

TEST_F(ChangesTest, AnApplyThatAddsNothingWritesNothing) {
  const json::value first = apply({"1002"}, {{"1001", 1}, {"1001", 2}}, false);
  ASSERT_EQ(first.at("results").at(0).at("unchanged"), false);
  const Bytes merged = fake_.files.at(path_of("1002"));
  const Bytes backup = fake_.files.at(backup_path_for(path_of("1002")));
  const std::size_t kept = points("1002").size();
  fake_.log.clear();

  const json::value again = apply({"1002"}, {{"1001", 1}, {"1001", 2}}, false);
  const json::object& result = again.at("results").at(0).as_object();
  EXPECT_EQ(result.at("unchanged"), true);
  EXPECT_EQ(result.at("error"), nullptr);
  EXPECT_EQ(result.at("added").as_array().size(), 0u);
  EXPECT_EQ(result.at("skipped").as_array().size(), 2u);
  EXPECT_EQ(result.at("restore_point"), nullptr);
  EXPECT_EQ(fake_.files.at(path_of("1002")), merged);
  EXPECT_EQ(fake_.files.at(backup_path_for(path_of("1002"))), backup)
      << "the backup still holds the file before the first apply";
  EXPECT_TRUE(writes().empty());
  EXPECT_EQ(points("1002").size(), kept);
}

TEST_F(ChangesTest, RestoresOnlyWhatIsASettingsFile) {
  struct Case {
    const char* description;
    std::function<void(FakePlatform&, const std::string&)> make_backup;
    const char* code;  // nullptr: restored
  };
  const auto put = [](Bytes bytes) {
    return [bytes](FakePlatform& fake, const std::string& path) { fake.files[path] = bytes; };
  };
  e2e::JsonValue no_ui = e2e::settings_tree({}, 0);
  no_ui.as_object().erase(e2e::UI_KEY);
  e2e::JsonValue ui_a_list = e2e::settings_tree({}, 0);
  ui_a_list.as_object()[e2e::UI_KEY] = json::array{1, 2};
  const Case cases[] = {
      {"a settings file", put(settings_with(e2e::numbered_formations(3))), nullptr},
      // 0x7D 0x01 and the integer 5 in one byte: a whole stream whose root is not a dictionary.
      {"a root of one integer", put(Bytes{0x7D, 0x01, 0x05}), "not_a_settings_file"},
      {"a root without ui", put(bytes_of(e2e::encode_settings(no_ui))), "not_a_settings_file"},
      {"a ui that is a list", put(bytes_of(e2e::encode_settings(ui_a_list))),
       "not_a_settings_file"},
      {"bytes that do not decode", put(bytes_of("not settings")), "not_a_settings_file"},
      {"a pipe",
       [](FakePlatform& fake, const std::string& path) { fake.special_files.insert(path); },
       "not_a_regular_file"},
      {"no backup", [](FakePlatform&, const std::string&) {}, "no_backup"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    fake_ = example_platform();
    fake_.state = "/state";
    const std::string backup = backup_path_for(path_of("1002"));
    c.make_backup(fake_, backup);
    const Bytes before = fake_.files.at(path_of("1002"));
    const json::value reply = restore({{"accounts", {"1002"}}});
    const json::object& result = reply.at("results").at(0).as_object();
    if (c.code == nullptr) {
      EXPECT_EQ(result.at("error"), nullptr);
      EXPECT_EQ(fake_.files.at(path_of("1002")), fake_.files.at(backup));
    } else {
      EXPECT_EQ(result.at("error_code"), c.code) << result.at("error");
      EXPECT_EQ(fake_.files.at(path_of("1002")), before);
      EXPECT_TRUE(points("1002").empty()) << "nothing changed, so no point is kept";
    }
  }
}

TEST_F(ChangesTest, KeepsRestorePointsAndRestoresThemById) {
  const Bytes original = fake_.files.at(path_of("1002"));
  fake_.filetime += 10000000;
  (void)apply({"1002"}, {{"1001", 1}}, false);
  const Bytes with_one = fake_.files.at(path_of("1002"));
  fake_.filetime += 10000000;
  (void)apply({"1002"}, {{"1001", 2}, {"1001", 4}}, false);
  const Bytes with_three = fake_.files.at(path_of("1002"));

  json::array listed = points("1002");
  ASSERT_EQ(listed.size(), 2u);
  struct Expected {
    const char* reason;
    const Bytes* bytes;
    const char* time;
  };
  const Expected expected[] = {
      {"before adding Wide Sweep, Relic Ring", &with_one, "2024-01-17T21:20:02Z"},
      {"before adding Pinpoint Cluster", &original, "2024-01-17T21:20:01Z"},
  };
  for (std::size_t i = 0; i < listed.size(); ++i) {
    SCOPED_TRACE(expected[i].reason);
    EXPECT_EQ(listed[i].at("reason"), expected[i].reason);
    EXPECT_EQ(listed[i].at("time"), expected[i].time);
    EXPECT_EQ(listed[i].at("version"), json::value(content_version(*expected[i].bytes)));
  }

  // Back to the very first state, by id; that restore keeps a point of its own.
  const std::string first = std::string(listed[1].at("id").as_string());
  fake_.filetime += 10000000;
  const json::value reply = restore({{"accounts", {"1002"}}, {"point", first}});
  EXPECT_EQ(reply.at("results").at(0).at("error"), nullptr);
  EXPECT_EQ(fake_.files.at(path_of("1002")), original);
  EXPECT_EQ(reply.at("results").at(0).at("version"), json::value(content_version(original)));
  listed = points("1002");
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0].at("reason"), "before restoring the state before adding Pinpoint Cluster");

  // ...and that restore undone in turn.
  const std::string undo = std::string(listed[0].at("id").as_string());
  (void)restore({{"accounts", {"1002"}}, {"point", undo}});
  EXPECT_EQ(fake_.files.at(path_of("1002")), with_three);

  const json::value missing =
      restore({{"accounts", {"1002"}}, {"point", "00000000000000000001-00"}});
  EXPECT_EQ(missing.at("results").at(0).at("error_code"), "no_such_restore_point");
  const json::value not_an_id = restore({{"accounts", {"1002"}}, {"point", "../../etc/passwd"}});
  EXPECT_EQ(not_an_id.at("results").at(0).at("error_code"), "no_such_restore_point");

  // A point whose bytes are no longer those kept is refused, and the account left alone.
  for (auto& [path, bytes] : fake_.files) {
    if (path.rfind("/state/", 0) == 0 && path.ends_with(first + ".settings")) bytes.push_back(0);
  }
  const Bytes now = fake_.files.at(path_of("1002"));
  const json::value damaged = restore({{"accounts", {"1002"}}, {"point", first}});
  EXPECT_EQ(damaged.at("results").at(0).at("error_code"), "read_failed");
  EXPECT_EQ(fake_.files.at(path_of("1002")), now);
}

TEST_F(ChangesTest, KeepsTheNewestTwentyPointsOfEachAccount) {
  for (int i = 0; i < 24; ++i) {
    fake_.filetime += 10000000;
    fake_.files[path_of("1002")] =
        settings_with(e2e::numbered_formations(1, "Round" + std::to_string(i)));
    ASSERT_EQ(apply({"1002"}, {{"1001", 1}}, false).at("results").at(0).at("error"), nullptr);
  }
  const json::array listed = points("1002");
  ASSERT_EQ(listed.size(), 20u);
  EXPECT_EQ(listed[0].at("version"),
            json::value(content_version(settings_with(e2e::numbered_formations(1, "Round23")))));
  EXPECT_EQ(listed[19].at("version"),
            json::value(content_version(settings_with(e2e::numbered_formations(1, "Round4")))));
  std::size_t stored = 0;
  for (const auto& [path, bytes] : fake_.files) stored += path.rfind("/state/", 0) == 0;
  EXPECT_EQ(stored, 40u) << "the bytes and the facts of twenty points";
  EXPECT_TRUE(points("1004").empty());
}

TEST_F(ChangesTest, UndoesEverythingSinceTheFirstChange) {
  const Bytes first_1002 = fake_.files.at(path_of("1002"));
  const Bytes first_1004 = fake_.files.at(path_of("1004"));
  const json::value one = apply({"1002", "1004"}, {{"1001", 1}}, false);
  fake_.filetime += 10000000;
  (void)apply({"1002"}, {{"1001", 2}}, false);
  json::object first_points;
  for (const json::value& result : one.at("results").as_array()) {
    first_points[result.at("account").as_string()] = result.at("restore_point").at("id");
  }
  const json::value reply = restore({{"accounts", {"1002", "1004"}}, {"points", first_points}});
  for (const json::value& result : reply.at("results").as_array()) {
    EXPECT_EQ(result.at("error"), nullptr) << result;
  }
  EXPECT_EQ(fake_.files.at(path_of("1002")), first_1002);
  EXPECT_EQ(fake_.files.at(path_of("1004")), first_1004);
}

// The store is the program's own: missing or damaged, it never stops a change.
TEST_F(ChangesTest, AMissingOrDamagedStoreStopsNothing) {
  struct Case {
    const char* description;
    std::function<void(FakePlatform&)> damage;
  };
  const Case cases[] = {
      {"no data folder", [](FakePlatform& fake) { fake.state.reset(); }},
      {"a file where the data folder goes",
       [](FakePlatform& fake) {
         fake.state = "/state";
         fake.files[*program_data_folder(fake, fake)] = {};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    fake_ = example_platform();
    c.damage(fake_);
    const json::value reply = apply({"1002"}, {{"1001", 1}}, false);
    const json::object& result = reply.at("results").at(0).as_object();
    EXPECT_EQ(result.at("error"), nullptr);
    EXPECT_EQ(result.at("added").as_array().size(), 1u);
    EXPECT_EQ(result.at("restore_point"), nullptr);
    EXPECT_EQ(result.at("restore_point_error").at("error_code"), "restore_point_failed");
    EXPECT_EQ(fake_.files.at(backup_path_for(path_of("1002"))),
              example_platform().files.at(path_of("1002")));
    const json::value restored = restore({{"accounts", {"1002"}}});
    EXPECT_EQ(restored.at("results").at(0).at("error"), nullptr);
    EXPECT_EQ(fake_.files.at(path_of("1002")), example_platform().files.at(path_of("1002")));
    EXPECT_TRUE(get("/api/accounts?folder=" + query(FOLDER)).at("accounts").is_array());
  }
}

TEST_F(ChangesTest, ListsButDoesNotFollowFilesItMustNotRead) {
  fake_.directories.insert("/elsewhere");
  fake_.files["/elsewhere/core_user_9.dat"] = fake_.files.at(path_of("1002"));
  fake_.aliases[path_of("9")] = "/elsewhere/core_user_9.dat";
  fake_.files[path_of("9")] = {};  // the link's own entry, so the folder lists it
  fake_.aliases[path_of("8")] = path_of("1002");
  fake_.files[path_of("8")] = {};
  fake_.special_files.insert(path_of("5"));
  fake_.files[path_of("5")] = {};
  fake_.huge_files.insert(path_of("6"));
  fake_.files[path_of("6")] = {};
  struct Case {
    const char* account;
    const char* listed;   // error_code of the listing; nullptr: read
    const char* applied;  // error_code of an apply; nullptr: written
  };
  const Case cases[] = {
      {"5", "not_a_regular_file", "not_a_regular_file"},
      {"6", "too_large", "too_large"},
      {"8", nullptr, nullptr},  // a link within the folder
      {"9", nullptr, "outside_folder"},
  };
  const json::value listing = get("/api/accounts?folder=" + query(FOLDER));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.account);
    const json::value* entry = nullptr;
    for (const json::value& account : listing.at("accounts").as_array()) {
      if (account.at("account") == c.account) entry = &account;
    }
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->at("error_code"), c.listed ? json::value(c.listed) : json::value(nullptr));
    json::object shown = versions();
    if (!shown.contains(c.account)) shown[c.account] = "none";
    const Bytes target_before = fake_.files.at(fake_.aliases.count(path_of(c.account))
                                                   ? fake_.aliases.at(path_of(c.account))
                                                   : path_of(c.account));
    const json::value reply = post("/api/apply", json::object{{"folder", FOLDER},
                                                              {"targets", {c.account}},
                                                              {"dry_run", false},
                                                              {"formations", {pick("1001", 1)}},
                                                              {"versions", shown}});
    const json::object& result = reply.at("results").at(0).as_object();
    EXPECT_EQ(result.at("error_code"), c.applied ? json::value(c.applied) : json::value(nullptr));
    if (c.applied != nullptr) {
      EXPECT_EQ(fake_.files.at(fake_.aliases.count(path_of(c.account))
                                   ? fake_.aliases.at(path_of(c.account))
                                   : path_of(c.account)),
                target_before);
    }
  }
  fake_.put_file(backup_path_for(path_of("9")), "x");
  const json::value restored = restore({{"accounts", {"9"}}});
  EXPECT_EQ(restored.at("results").at(0).at("error_code"), "outside_folder");
  EXPECT_EQ(fake_.files.at("/elsewhere/core_user_9.dat"), fake_.files.at(path_of("1002")));
}

TEST_F(ChangesTest, AFailedWritePutsBackWhatTheFileHeld) {
  const Bytes before = fake_.files.at(path_of("1002"));
  fake_.fail(testing::Operation::WriteFile, path_of("1002"), ENOSPC, 1);
  const json::value reply = apply({"1002"}, {{"1001", 1}}, false);
  const json::object& result = reply.at("results").at(0).as_object();
  EXPECT_EQ(result.at("error_code"), "write_failed");
  EXPECT_EQ(result.at("error"),
            json::value("write " + path_of("1002") + ": No space left on device (os error 28)"));
  EXPECT_EQ(fake_.files.at(path_of("1002")), before);
}

TEST_F(ChangesTest, TellsThePageTheRulesItShows) {
  EXPECT_EQ(get("/api/info"), json::parse(R"({"max_custom_formations":10,)"
                                          R"("max_account_file_bytes":268435456,)"
                                          R"("restore_points_kept":20,)"
                                          R"("max_name_characters":100})"));
}

}  // namespace
}  // namespace orvane::ui
