// Removing and renaming formations through the API: one write against the version shown, through
// the path apply takes, with only the formations named changed and every other setting kept.
#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <functional>
#include <string>
#include <vector>

#include "api_fixture.hpp"
#include "e2e/settings_files.hpp"
#include "orvane/core/account_files.hpp"
#include "orvane/core/content_version.hpp"
#include "orvane/core/formations.hpp"

namespace orvane::ui {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char ACCOUNT[] = "1002";

std::string text_of(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The tree of a file, with the formations dict, its stamp and the selection blanked.
json::value outside_the_formations(const Bytes& bytes) {
  auto decoded = e2e::decode_settings(text_of(bytes));
  EXPECT_TRUE(decoded);
  if (!decoded) return nullptr;
  json::object& ui = decoded->tree.as_object()[e2e::UI_KEY].as_object();
  ui[e2e::CUSTOM_KEY] = nullptr;
  ui[e2e::SELECTED_KEY].as_object()["tuple"].as_array()[1] = nullptr;
  return decoded->tree;
}

class EditTest : public ApiTest {
 protected:
  void SetUp() override {
    fake_.state = "/state";
    auto formations = e2e::numbered_formations(4);
    formations[1].name = "Belt";
    const std::string bytes = e2e::encode_settings(e2e::settings_tree(formations, 2));
    original_ = Bytes(bytes.begin(), bytes.end());
    fake_.files[path_of(ACCOUNT)] = original_;
  }

  json::object request(json::array remove, json::array rename) {
    return json::object{{"folder", FOLDER},
                        {"account", ACCOUNT},
                        {"version", versions().at(ACCOUNT)},
                        {"remove", std::move(remove)},
                        {"rename", std::move(rename)}};
  }
  std::vector<std::string> account_writes() const {
    std::vector<std::string> found;
    for (const std::string& entry : fake_.log) {
      if ((entry.rfind("write ", 0) == 0 || entry.rfind("copy ", 0) == 0) &&
          entry.find(FOLDER) != std::string::npos) {
        found.push_back(entry);
      }
    }
    return found;
  }
  // "id=name" of each formation the account holds, and the id it has selected.
  std::vector<std::string> formations_held() {
    auto decoded = e2e::decode_settings(text_of(fake_.files.at(path_of(ACCOUNT))));
    std::vector<std::string> held;
    if (!decoded) return held;
    for (const Formation& formation : read_formations(decoded->tree)) {
      held.push_back(std::to_string(formation.id) + "=" + formation.name);
    }
    const json::value& selected =
        decoded->tree.at(e2e::UI_KEY).at(e2e::SELECTED_KEY).at("tuple").at(1);
    held.push_back("selected " + json::serialize(selected));
    return held;
  }

  Bytes original_;
};

json::object ref(std::int64_t id, const char* name) { return {{"id", id}, {"name", name}}; }
json::object renaming(std::int64_t id, const char* name, const std::string& new_name) {
  return {{"id", id}, {"name", name}, {"new_name", new_name}};
}

TEST_F(EditTest, RemovesAndRenamesInOneWrite) {
  const struct {
    const char* description;
    json::array remove, rename;
    std::vector<std::string> held;
    const char* reason;
  } rows[] = {
      {"remove the selected one",
       {ref(2, "BELT")},
       {},
       {"1=F1", "3=F3", "4=F4", "selected 1"},
       "before removing BELT"},
      {"rename",
       {},
       {renaming(3, "F3", "Wide Sweep")},
       {"1=F1", "2=Belt", "3=Wide Sweep", "4=F4", "selected 2"},
       "before renaming F3 to Wide Sweep"},
      {"both at once, taking the name removed",
       {ref(1, "F1"), ref(2, "Belt")},
       {renaming(4, "F4", "f1"), renaming(3, "F3", "Belt 2")},
       {"3=Belt 2", "4=f1", "selected 3"},
       "before removing F1, Belt and renaming F4 to f1, F3 to Belt 2"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    fake_.files[path_of(ACCOUNT)] = original_;
    fake_.files.erase(backup_path_for(path_of(ACCOUNT)));
    fake_.filetime += 10000000;
    fake_.log.clear();
    const json::value reply = post("/api/edit", request(row.remove, row.rename));
    EXPECT_EQ(formations_held(), row.held);
    EXPECT_EQ(outside_the_formations(fake_.files.at(path_of(ACCOUNT))),
              outside_the_formations(original_));
    EXPECT_EQ(account_writes(), (std::vector<std::string>{"copy " + path_of(ACCOUNT) + " -> " +
                                                              backup_path_for(path_of(ACCOUNT)),
                                                          "write " + path_of(ACCOUNT)}));
    EXPECT_EQ(fake_.files.at(backup_path_for(path_of(ACCOUNT))), original_);
    EXPECT_EQ(reply.at("unchanged"), false);
    EXPECT_EQ(reply.at("version"), json::value(content_version(fake_.files.at(path_of(ACCOUNT)))));
    EXPECT_EQ(reply.at("custom_count"), row.held.size() - 1);
    // The point kept is the file as it was, and the listing names it.
    ASSERT_TRUE(reply.at("restore_point").is_object());
    EXPECT_EQ(reply.at("restore_point").at("reason"), row.reason);
    EXPECT_EQ(reply.at("restore_point").at("version"), json::value(content_version(original_)));
    const json::value listed =
        get("/api/restore-points?folder=" + query(FOLDER) + "&account=" + ACCOUNT);
    EXPECT_EQ(listed.at("points").at(0).at("id"), reply.at("restore_point").at("id"));
  }
}

TEST_F(EditTest, RefusesAndWritesNothing) {
  struct Case {
    const char* description;
    std::function<void(json::object&, FakePlatform&)> change;
    unsigned status;
    const char* code;  // nullptr: accepted, with nothing to write
  };
  const auto renamed_to = [](const std::string& name) {
    return [name](json::object& request, FakePlatform&) {
      request["rename"] = json::array{renaming(3, "F3", name)};
    };
  };
  const Case cases[] = {
      {"nothing asked", [](json::object&, FakePlatform&) {}, 200, nullptr},
      {"a rename to the name it has", renamed_to("F3"), 200, nullptr},
      {"an empty name", renamed_to(""), 400, "name_empty"},
      {"101 characters", renamed_to(std::string(101, 'x')), 400, "name_too_long"},
      {"a line break", renamed_to("two\nlines"), 400, "name_control_character"},
      {"another formation's name, letter case aside", renamed_to("BELT"), 400, "name_taken"},
      {"a stale version",
       [](json::object&, FakePlatform& fake) {
         fake.files[path_of(ACCOUNT)] = Bytes(1, 0);  // anything else than what was shown
       },
       409, "changed_on_disk"},
      {"the id shown holds another name now",
       [](json::object& request, FakePlatform&) { request["remove"] = json::array{ref(2, "F2")}; },
       409, "changed_on_disk"},
      {"no such id",
       [](json::object& request, FakePlatform&) { request["remove"] = json::array{ref(9, "F9")}; },
       400, "no_such_formation"},
      {"one formation removed and renamed",
       [](json::object& request, FakePlatform&) {
         request["remove"] = json::array{ref(3, "F3")};
         request["rename"] = json::array{renaming(3, "F3", "G")};
       },
       400, "bad_request"},
      {"a list that is not one",
       [](json::object& request, FakePlatform&) { request["remove"] = "F1"; }, 400, "bad_request"},
      {"a rename without its new name",
       [](json::object& request, FakePlatform&) { request["rename"] = json::array{ref(3, "F3")}; },
       400, "bad_request"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    fake_.files[path_of(ACCOUNT)] = original_;
    json::object body = request({}, {});
    c.change(body, fake_);
    const Bytes before = fake_.files[path_of(ACCOUNT)];
    fake_.log.clear();
    const json::value reply = post("/api/edit", body, c.status);
    if (c.code == nullptr) {
      EXPECT_EQ(reply.at("unchanged"), true);
      EXPECT_EQ(reply.at("restore_point"), nullptr);
    } else {
      EXPECT_EQ(reply.at("error_code"), c.code);
      EXPECT_FALSE(reply.at("error").as_string().empty());
    }
    EXPECT_TRUE(account_writes().empty());
    EXPECT_EQ(fake_.files[path_of(ACCOUNT)], before);
    EXPECT_FALSE(fake_.files.contains(backup_path_for(path_of(ACCOUNT))));
  }
  EXPECT_EQ(get("/api/restore-points?folder=" + query(FOLDER) + "&account=" + ACCOUNT)
                .at("points")
                .as_array()
                .size(),
            0u);
}

}  // namespace
}  // namespace orvane::ui
