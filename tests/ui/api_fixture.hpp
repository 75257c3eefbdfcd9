// The API in-process on the shipped example accounts held by the test platform: the fixture
// the API tests share.
#pragma once

#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "helpers/fake_platform.hpp"
#include "orvane/ui/ui_app.hpp"

// GCC 12 warns about every member a designated initializer leaves to its default.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace orvane::ui {

using orvane::testing::FakePlatform;
namespace json = boost::json;

constexpr unsigned short PORT = 8123;
inline const std::string TOKEN = "0123456789abcdef0123456789abcdef";
inline const std::string FOLDER = "/game/settings_Default";
inline const std::string HOST = "127.0.0.1:8123";

inline std::string path_of(const std::string& account) {
  return FOLDER + "/core_user_" + account + ".dat";
}

// The test platform holding the example folder's account files.
inline FakePlatform example_platform() {
  FakePlatform fake;
  fake.directories = {"/game", FOLDER};
  for (const char* account : {"1001", "1002", "1003", "1004"}) {
    std::ifstream in(std::string(ORVANE_EXAMPLES) + "/core_user_" + account + ".dat",
                     std::ios::binary);
    fake.files[path_of(account)].assign(std::istreambuf_iterator<char>(in), {});
    EXPECT_FALSE(fake.files[path_of(account)].empty()) << account;
  }
  return fake;
}

struct Call {
  std::string method = "GET";
  std::string target;
  std::string body;
  std::optional<std::string> host = HOST;
  std::optional<std::string> origin;
  std::optional<std::string> token = TOKEN;
};

inline HttpResponse send(UiApp& app, const Call& call) {
  return app.handle(
      HttpRequest{call.method, call.target, call.host, call.origin, call.token, call.body});
}

inline json::value body_of(const HttpResponse& response) {
  boost::system::error_code ec;
  json::value value = json::parse(response.body, ec);
  EXPECT_FALSE(ec) << response.body;
  return value;
}

inline std::string query(const std::string& text) {
  std::string out;
  for (const char c : text) out += c == '/' ? std::string("%2F") : std::string(1, c);
  return out;
}

class ApiTest : public ::testing::Test {
 protected:
  FakePlatform fake_ = example_platform();
  UiApp app_{fake_, fake_, UiSession{TOKEN, PORT, FOLDER}};

  json::value get(const std::string& target, unsigned status = 200) {
    const HttpResponse response = send(app_, {.target = target});
    EXPECT_EQ(response.status, status) << target << ": " << response.body;
    return body_of(response);
  }
  json::value post(const std::string& target, const json::value& body, unsigned status = 200) {
    const HttpResponse response =
        send(app_, {.method = "POST", .target = target, .body = json::serialize(body)});
    EXPECT_EQ(response.status, status) << target << ": " << response.body;
    return body_of(response);
  }

  // The versions of the account files as they now are, as the page names them.
  json::object versions() {
    json::object shown;
    const json::value listing = get("/api/accounts?folder=" + query(FOLDER));
    for (const json::value& account : listing.at("accounts").as_array()) {
      if (account.at("version").is_string())
        shown[account.at("account").as_string()] = account.at("version");
    }
    return shown;
  }
  // A pick of a formation as the page makes it, named as the account now holds it.
  json::object pick(const std::string& account, std::int64_t id) {
    const json::value listing = get("/api/accounts?folder=" + query(FOLDER));
    for (const json::value& entry : listing.at("accounts").as_array()) {
      if (entry.at("account") != account.c_str()) continue;
      for (const json::value& formation : entry.at("formations").as_array()) {
        if (formation.at("id") == id) {
          return json::object{{"account", account}, {"id", id}, {"name", formation.at("name")}};
        }
      }
    }
    ADD_FAILURE() << "account " << account << " holds no formation " << id;
    return {};
  }
  // An apply of formations picked from accounts, with the versions of every account.
  json::value apply(const std::vector<std::string>& targets,
                    const std::vector<std::pair<std::string, std::int64_t>>& picks, bool dry_run,
                    unsigned status = 200) {
    json::array formations;
    for (const auto& [account, id] : picks) formations.push_back(pick(account, id));
    json::array names;
    for (const std::string& target : targets) names.push_back(json::string(target));
    return post("/api/apply",
                json::object{{"folder", FOLDER},
                             {"targets", std::move(names)},
                             {"dry_run", dry_run},
                             {"formations", std::move(formations)},
                             {"versions", versions()}},
                status);
  }
};

}  // namespace orvane::ui
