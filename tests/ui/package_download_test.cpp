// The API's package downloads from ticks of several accounts or of a package file, the folders
// it understands as players type them, and the errors that name the file or folder they are
// about.
#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "helpers/fake_platform.hpp"
#include "marshal/utf8.hpp"
#include "orvane/core/package.hpp"
#include "orvane/ui/ui_app.hpp"

// GCC 12 warns about every member a designated initializer leaves to its default.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace orvane::ui {
namespace {

using orvane::testing::FakePlatform;
namespace json = boost::json;

constexpr unsigned short PORT = 8123;
const std::string TOKEN = "0123456789abcdef0123456789abcdef";
const std::string HOME = "/home/player";
const std::string FOLDER = HOME + "/settings_Default";

std::string path_of(const std::string& account) {
  return FOLDER + "/core_user_" + account + ".dat";
}

std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string percent(const std::string& text) {
  static constexpr char HEX[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    out += '%';
    out += HEX[byte >> 4];
    out += HEX[byte & 0xF];
  }
  return out;
}

// A file's bytes as a browser reads a picked file as text: each byte that starts no UTF-8
// sequence becomes U+FFFD.
std::string as_browser_text(std::string_view bytes) {
  std::string out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const marshal::Utf8Char c = marshal::decode_utf8_at(bytes, i);
    if (c.length == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(bytes.substr(i, c.length));
      i += c.length;
    }
  }
  return out;
}

class PackageDownloadTest : public ::testing::Test {
 protected:
  PackageDownloadTest() {
    fake_.home = HOME;
    fake_.directories = {HOME, FOLDER};
    for (const char* account : {"1001", "1002", "1003", "1004"}) {
      fake_.put_file(path_of(account),
                     file_text(std::string(ORVANE_EXAMPLES) + "/core_user_" + account + ".dat"));
    }
  }

  HttpResponse call(const std::string& method, const std::string& target, const json::value& body) {
    return app_.handle(HttpRequest{method, target, "127.0.0.1:8123", std::nullopt, TOKEN,
                                   body.is_null() ? std::string() : json::serialize(body)});
  }
  // The formations of an account as the page reads them.
  json::array formations_of(const std::string& account) {
    const HttpResponse reply = call("GET", "/api/accounts?folder=" + percent(FOLDER), nullptr);
    const json::value listing = json::parse(reply.body);
    for (const json::value& entry : listing.at("accounts").as_array()) {
      if (entry.at("account") == json::value(account)) return entry.at("formations").as_array();
    }
    ADD_FAILURE() << "no account " << account;
    return {};
  }
  // The versions of the account files as the page shows them, which a change must name.
  json::object versions() {
    const HttpResponse reply = call("GET", "/api/accounts?folder=" + percent(FOLDER), nullptr);
    const json::value listing = json::parse(reply.body);
    json::object shown;
    for (const json::value& entry : listing.at("accounts").as_array()) {
      shown[entry.at("account").as_string()] = entry.at("version");
    }
    return shown;
  }
  std::string header(const HttpResponse& reply, std::string_view name) {
    for (const auto& [key, value] : reply.headers) {
      if (key == name) return value;
    }
    return "";
  }

  FakePlatform fake_;
  UiApp app_{fake_, fake_, UiSession{TOKEN, PORT, FOLDER}};
};

// The formation as a package holds it, from the page's view of it.
Formation formation_from(const json::value& shown) {
  Formation formation{shown.at("id").as_int64(), std::string(shown.at("name").as_string()), {}};
  for (const json::value& p : shown.at("probes").as_array()) {
    formation.probes.push_back({p.at("x").to_number<double>(), p.at("y").to_number<double>(),
                                p.at("z").to_number<double>(), p.at("range").to_number<double>()});
  }
  return formation;
}

TEST_F(PackageDownloadTest, MakesOnePackageOfTicksFromSeveralAccounts) {
  const json::array a1001 = formations_of("1001");
  const json::array a1004 = formations_of("1004");
  ASSERT_GE(a1001.size(), 2u);
  ASSERT_GE(a1004.size(), 1u);
  struct Case {
    const char* description;
    std::vector<std::pair<std::string, json::value>> picks;  // account, formation as shown
    std::string file_name;
  };
  const std::string first = std::string(a1004[0].at("name").as_string());
  const Case cases[] = {
      {"one formation", {{"1004", a1004[0]}}, first + ".json"},
      {"two accounts, in the order ticked",
       {{"1004", a1004[0]}, {"1001", a1001[1]}, {"1001", a1001[0]}},
       first + " + 2 more.json"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    json::array picks;
    Package expected{std::string(PACKAGE_FORMAT), PACKAGE_VERSION, {}};
    for (const auto& [account, shown] : c.picks) {
      picks.push_back(json::object{{"account", account}, {"id", shown.at("id")}});
      expected.formations.push_back(formation_from(shown));
    }
    const HttpResponse reply =
        call("POST", "/api/package", json::object{{"folder", FOLDER}, {"formations", picks}});
    ASSERT_EQ(reply.status, 200u) << reply.body;
    EXPECT_EQ(reply.body, write_package_json(expected));
    EXPECT_NE(header(reply, "Content-Disposition").find("filename=\"" + c.file_name + "\""),
              std::string::npos)
        << header(reply, "Content-Disposition");

    // The same package sent back picks from itself, as a friend's package does.
    const HttpResponse again = call(
        "POST", "/api/package", json::object{{"package", reply.body}, {"pick", json::array{0}}});
    ASSERT_EQ(again.status, 200u) << again.body;
    Package only_first = expected;
    only_first.formations.resize(1);
    EXPECT_EQ(again.body, write_package_json(only_first));
    EXPECT_NE(header(again, "Content-Disposition").find("filename=\"" + first + ".json\""),
              std::string::npos);
  }
}

TEST_F(PackageDownloadTest, NamesAnAccountsWholePackageByItsFormations) {
  const json::array held = formations_of("1001");
  const HttpResponse reply =
      call("GET", "/api/package?folder=" + percent(FOLDER) + "&account=1001", nullptr);
  ASSERT_EQ(reply.status, 200u);
  const std::string expected = std::string(held[0].at("name").as_string()) + " + " +
                               std::to_string(held.size() - 1) + " more.json";
  EXPECT_NE(header(reply, "Content-Disposition").find("filename=\"" + expected + "\""),
            std::string::npos)
      << header(reply, "Content-Disposition");
}

TEST_F(PackageDownloadTest, ErrorsNameTheFileOrFolderTheyAreAbout) {
  const std::string settings =
      as_browser_text(file_text(std::string(ORVANE_EXAMPLES) + "/core_user_1001.dat"));
  const HttpResponse good =
      call("GET", "/api/package?folder=" + percent(FOLDER) + "&account=1001", nullptr);
  struct Case {
    const char* description;
    std::string target;
    json::value body;
    std::string error;
    const char* code;
  };
  const Case cases[] = {
      {"settings file opened as a package", "/api/read-package",
       json::object{{"package", settings}, {"file_name", "core_user_1001.dat"}},
       "this is an account's settings file, not a package (core_user_1001.dat)", "bad_package"},
      {"settings file sent without its name", "/api/read-package",
       json::object{{"package", settings}}, "this is an account's settings file, not a package",
       "bad_package"},
      {"not a package", "/api/read-package",
       json::object{{"package", "hello"}, {"file_name", "notes.txt"}}, "(notes.txt)",
       "bad_package"},
      {"name not text", "/api/read-package", json::object{{"package", "{}"}, {"file_name", 3}},
       "\"file_name\" must be a string", "bad_request"},
      {"settings file as a package to download", "/api/package",
       json::object{{"package", settings}, {"file_name", "x.dat"}},
       "this is an account's settings file, not a package (x.dat)", "bad_package"},
      {"pick past the end", "/api/package",
       json::object{{"package", good.body}, {"pick", json::array{7}}, {"file_name", "f.json"}},
       "the package has no formation number 7 (f.json)", "bad_request"},
      {"settings file as a package to apply", "/api/apply",
       json::object{{"folder", FOLDER},
                    {"targets", json::array{"1002"}},
                    {"package", settings},
                    {"versions", versions()}},
       "this is an account's settings file, not a package", "bad_package"},
      {"nothing picked", "/api/package",
       json::object{{"folder", FOLDER}, {"formations", json::array{}}}, "no formation is picked",
       "bad_request"},
      {"neither picks nor package", "/api/package", json::object{{"folder", FOLDER}}, "give either",
       "bad_request"},
      {"both picks and package", "/api/package",
       json::object{{"folder", FOLDER}, {"formations", json::array{}}, {"package", good.body}},
       "give either", "bad_request"},
      {"formation not held", "/api/package",
       json::object{{"folder", FOLDER},
                    {"formations", json::array{json::object{{"account", "1002"}, {"id", 1}}}}},
       "account 1002 holds no formation with id 1", "no_such_formation"},
      {"folder that is not there", "/api/package",
       json::object{{"folder", "/nowhere/settings_X"}, {"formations", json::array{}}},
       "(/nowhere/settings_X)", "folder_unreadable"},
      {"folder of accounts that is not there", "/api/accounts?folder=%2Fno%2Fsuch", nullptr,
       "settings directory: ", "folder_unreadable"},
      {"folder typed with ~ that is not there", "/api/accounts?folder=~%2Fgone", nullptr,
       "(/home/player/gone)", "folder_unreadable"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const HttpResponse reply = call(c.body.is_null() ? "GET" : "POST", c.target, c.body);
    EXPECT_EQ(reply.status, 400u);
    const json::value body = json::parse(reply.body);
    const std::string error(body.at("error").as_string());
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(body.at("error_code"), json::value(c.code)) << error;
  }
}

TEST_F(PackageDownloadTest, OpensFoldersAsPlayersTypeThem) {
  const std::string cases[] = {FOLDER, "\"" + FOLDER + "\"", "  '" + FOLDER + "'  ",
                               "~/settings_Default"};
  for (const std::string& typed : cases) {
    SCOPED_TRACE(typed);
    const HttpResponse reply = call("GET", "/api/accounts?folder=" + percent(typed), nullptr);
    ASSERT_EQ(reply.status, 200u) << reply.body;
    const json::value body = json::parse(reply.body);
    EXPECT_EQ(body.at("folder"), json::value(FOLDER));
    EXPECT_EQ(body.at("accounts").as_array().size(), 4u);
    const HttpResponse browsed = call("GET", "/api/browse?path=" + percent(typed), nullptr);
    ASSERT_EQ(browsed.status, 200u) << browsed.body;
    EXPECT_EQ(json::parse(browsed.body).at("path"), json::value(FOLDER));
  }
}

}  // namespace
}  // namespace orvane::ui
