// The API in-process, on the shipped example accounts held by the test platform: every refusal,
// each endpoint's results, and the files an apply or a restore leaves beside those the command
// line leaves.
#include <gtest/gtest.h>

#include <atomic>
#include <boost/json.hpp>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "api_fixture.hpp"
#include "helpers/fake_platform.hpp"
#include "orvane/cli/cli.hpp"
#include "orvane/core/account_files.hpp"
#include "orvane/core/content_version.hpp"
#include "orvane/core/package.hpp"
#include "orvane/ui/ui_app.hpp"

namespace orvane::ui {
namespace {

using orvane::testing::FakePlatform;
namespace json = boost::json;

TEST_F(ApiTest, RefusesRequestsThatFailTheChecks) {
  const std::string accounts = "/api/accounts?folder=" + query(FOLDER);
  struct Case {
    const char* description;
    Call call;
    unsigned status;
    std::string error;  // a part of the error text
    const char* code;
  };
  const Case cases[] = {
      {"no token", {.target = accounts, .token = std::nullopt}, 403, "token", "forbidden"},
      {"wrong token",
       {.target = accounts, .token = "0123456789abcdef0123456789abcdeF"},
       403,
       "token",
       "forbidden"},
      {"token cut short",
       {.target = accounts, .token = TOKEN.substr(0, 31)},
       403,
       "token",
       "forbidden"},
      {"empty token", {.target = accounts, .token = ""}, 403, "token", "forbidden"},
      {"no host", {.target = accounts, .host = std::nullopt}, 403, "address", "forbidden"},
      {"another host",
       {.target = accounts, .host = "evil.example:8123"},
       403,
       "address",
       "forbidden"},
      {"another port", {.target = accounts, .host = "127.0.0.1:8124"}, 403, "address", "forbidden"},
      {"host without port", {.target = accounts, .host = "localhost"}, 403, "address", "forbidden"},
      {"another origin",
       {.target = accounts, .origin = "http://evil.example"},
       403,
       "other pages",
       "forbidden"},
      {"origin null", {.target = accounts, .origin = "null"}, 403, "other pages", "forbidden"},
      {"origin over https",
       {.target = accounts, .origin = "https://127.0.0.1:8123"},
       403,
       "other pages",
       "forbidden"},
      {"origin on another port",
       {.target = accounts, .origin = "http://localhost:9"},
       403,
       "other pages",
       "forbidden"},
      {"page of another host",
       {.target = "/", .host = "evil.example:8123", .token = std::nullopt},
       403,
       "address",
       "forbidden"},
      {"unknown endpoint", {.target = "/api/nothing"}, 404, "no such", "not_found"},
      {"apply by GET", {.target = "/api/apply"}, 405, "method", "method_not_allowed"},
      {"accounts by POST",
       {.method = "POST", .target = accounts},
       405,
       "method",
       "method_not_allowed"},
      {"quit by GET", {.target = "/api/quit"}, 405, "method", "method_not_allowed"},
      {"folder missing", {.target = "/api/accounts"}, 400, "\"folder\"", "bad_request"},
      {"folder absent",
       {.target = "/api/accounts?folder=%2Fnowhere"},
       400,
       "settings directory: ",
       "folder_unreadable"},
      {"malformed escape", {.target = "/api/accounts?folder=%2"}, 400, "percent", "bad_request"},
      {"escape not UTF-8", {.target = "/api/accounts?folder=%FF"}, 400, "UTF-8", "bad_request"},
      {"parameter twice", {.target = accounts + "&folder=x"}, 400, "twice", "bad_request"},
      {"account as a path",
       {.target = "/api/package?folder=" + query(FOLDER) + "&account=..%2F..%2Fetc"},
       400,
       "no account",
       "no_such_account"},
      {"account of a backup",
       {.target =
            "/api/package?folder=" + query(FOLDER) + "&account=1001.dat.before-probe-formations"},
       400,
       "no account",
       "no_such_account"},
      {"account as a full path",
       {.target = "/api/package?folder=" + query(FOLDER) + "&account=" + query(path_of("1001"))},
       400,
       "no account",
       "no_such_account"},
      {"account not in the folder",
       {.target = "/api/package?folder=" + query(FOLDER) + "&account=9999"},
       400,
       "no account",
       "no_such_account"},
      {"ids not numbers",
       {.target = "/api/package?folder=" + query(FOLDER) + "&account=1001&ids=1,x"},
       400,
       "ids",
       "bad_request"},
      {"id not held",
       {.target = "/api/package?folder=" + query(FOLDER) + "&account=1001&ids=1,3"},
       400,
       "no formation with id 3",
       "no_such_formation"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const HttpResponse response = send(app_, c.call);
    EXPECT_EQ(response.status, c.status);
    EXPECT_EQ(response.content_type, "application/json; charset=utf-8");
    const json::value body = body_of(response);
    const json::string* error =
        body.is_object() ? body.as_object().if_contains("error")->if_string() : nullptr;
    ASSERT_NE(error, nullptr) << response.body;
    EXPECT_NE(std::string(*error).find(c.error), std::string::npos) << *error;
    EXPECT_EQ(body.at("error_code"), c.code);
    for (const auto& [name, value] : response.headers) {
      EXPECT_NE(name.rfind("Access-Control-", 0), 0u) << "no CORS header is ever sent";
    }
  }
}

TEST_F(ApiTest, RefusesBadBodiesWithoutTouchingAFile) {
  const std::string folder = "\"folder\": " + json::serialize(json::string(FOLDER));
  const std::string versions = ", \"versions\": " + json::serialize(this->versions());
  const std::string to_1002 = "{" + folder + ", \"targets\": [\"1002\"]" + versions;
  const std::string package = R"("package": {"format": "kelvo-probe-formations", "version": 1, )"
                              R"("formations": []})";
  struct Case {
    const char* description;
    std::string target;
    std::string body;
    std::string error;
    const char* code;
  };
  const Case cases[] = {
      {"not JSON", "/api/apply", "{" + folder, "not valid JSON", "bad_request"},
      {"empty", "/api/apply", "", "not valid JSON", "bad_request"},
      {"not an object", "/api/apply", "[1, 2]", "not a JSON object", "bad_request"},
      {"folder not text", "/api/apply", "{\"folder\": 7}", "\"folder\" must be a string",
       "bad_request"},
      {"targets not a list", "/api/apply", "{" + folder + ", \"targets\": \"1002\"}",
       "\"targets\" must be a list", "bad_request"},
      {"no target", "/api/apply", "{" + folder + ", \"targets\": []}", "no target", "bad_request"},
      {"a target twice", "/api/apply",
       "{" + folder + ", \"targets\": [\"1002\", \"1003\", \"1002\"]" + versions + "}",
       "names \"1002\" twice", "bad_request"},
      {"a member twice", "/api/apply", to_1002 + ", \"dry_run\": true, \"dry_run\": false}",
       "gives \"dry_run\" twice", "bad_request"},
      {"a member twice deeper", "/api/apply",
       to_1002 + ", \"formations\": [{\"account\": \"1001\", \"id\": 1, \"id\": 2}]}",
       "gives \"id\" twice", "bad_request"},
      {"no versions", "/api/apply", "{" + folder + ", \"targets\": [\"1002\"], \"formations\": []}",
       "no \"versions\"", "bad_request"},
      {"versions not text", "/api/apply",
       "{" + folder + ", \"targets\": [\"1002\"], \"versions\": {\"1002\": 1}}",
       "\"versions\" must be an object of strings", "bad_request"},
      {"no version of the target", "/api/apply",
       "{" + folder + ", \"targets\": [\"1002\"], \"versions\": {\"1001\": \"x\"}}",
       "no version of account \"1002\"", "bad_request"},
      {"unknown target", "/api/apply",
       "{" + folder + ", \"targets\": [\"../1002\"], \"formations\": []" + versions + "}",
       "no account \"../1002\"", "no_such_account"},
      {"dry run not a flag", "/api/apply", to_1002 + ", \"dry_run\": \"no\"}",
       "\"dry_run\" must be", "bad_request"},
      {"neither source", "/api/apply", to_1002 + "}", "either", "bad_request"},
      {"both sources", "/api/apply", to_1002 + ", \"formations\": [], \"package\": \"{}\"}",
       "either", "bad_request"},
      {"formation without id", "/api/apply",
       to_1002 + ", \"formations\": [{\"account\": \"1001\", \"name\": \"Wide Sweep\"}]}",
       "{\"account\", \"id\", \"name\"}", "bad_request"},
      {"formation without name", "/api/apply",
       to_1002 + ", \"formations\": [{\"account\": \"1001\", \"id\": 2}]}", "no \"name\"",
       "bad_request"},
      {"id with a fraction", "/api/apply",
       to_1002 + ", \"formations\": [{\"account\": \"1001\", \"id\": 1.5, \"name\": \"x\"}]}",
       "whole number", "bad_request"},
      {"package not JSON", "/api/apply", to_1002 + ", \"package\": \"{oops\"}",
       "package: ", "bad_package"},
      {"package of another version", "/api/apply",
       to_1002 + R"(, "package": {"format": "kelvo-probe-formations", "version": 2, )"
                 R"("formations": []}})",
       "unsupported formation package", "unsupported_package"},
      {"pick out of range", "/api/apply", to_1002 + ", \"pick\": [1], " + package + "}",
       "no formation number 1", "bad_request"},
      {"restore of no list", "/api/restore", "{" + folder + ", \"accounts\": 1002}",
       "\"accounts\" must be a list", "bad_request"},
      {"restore of an account twice", "/api/restore",
       "{" + folder + ", \"accounts\": [\"1002\", \"1002\"]" + versions + "}",
       "names \"1002\" twice", "bad_request"},
      {"restore without versions", "/api/restore", "{" + folder + ", \"accounts\": [\"1002\"]}",
       "no \"versions\"", "bad_request"},
      {"restore of an unknown account", "/api/restore",
       "{" + folder + ", \"accounts\": [\"1002\", \"1001.dat.before-probe-formations\"]" +
           versions + "}",
       "no account", "no_such_account"},
      {"a point for two accounts", "/api/restore",
       "{" + folder + ", \"accounts\": [\"1002\", \"1003\"], \"point\": \"1\"" + versions + "}",
       "one account", "bad_request"},
      {"point and points", "/api/restore",
       "{" + folder + ", \"accounts\": [\"1002\"], \"point\": \"1\", \"points\": {}" + versions +
           "}",
       "not both", "bad_request"},
      {"points of an account not restored", "/api/restore",
       "{" + folder + ", \"accounts\": [\"1002\"], \"points\": {\"1003\": \"1\"}" + versions + "}",
       "not restored", "bad_request"},
      {"package text not given", "/api/read-package", "{\"package\": 1}", "file's text",
       "bad_request"},
      {"package text not a package", "/api/read-package", "{\"package\": \"[]\"}",
       "package: ", "bad_package"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    fake_.log.clear();
    const HttpResponse response =
        send(app_, {.method = "POST", .target = c.target, .body = c.body});
    EXPECT_EQ(response.status, 400u);
    const json::value body = body_of(response);
    ASSERT_TRUE(body.is_object());
    const json::string* error = body.as_object().if_contains("error")->if_string();
    ASSERT_NE(error, nullptr);
    EXPECT_NE(std::string(*error).find(c.error), std::string::npos) << *error;
    EXPECT_EQ(body.at("error_code"), c.code);
    for (const std::string& entry : fake_.log) {
      EXPECT_EQ(entry.rfind("write", 0), std::string::npos) << entry;
      EXPECT_EQ(entry.rfind("copy", 0), std::string::npos) << entry;
    }
  }
}

TEST_F(ApiTest, ServesThePageWithoutToken) {
  struct Case {
    const char* path;
    const char* type;
    unsigned status;
  };
  const Case cases[] = {
      {"/", "text/html; charset=utf-8", 200},
      {"/index.html", "text/html; charset=utf-8", 200},
      {"/app.js", "text/javascript; charset=utf-8", 200},
      {"/style.css", "text/css; charset=utf-8", 200},
      {"/favicon.svg", "image/svg+xml", 200},
      {"/secret.txt", "text/plain; charset=utf-8", 404},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const HttpResponse response = send(app_, {.target = c.path, .token = std::nullopt});
    EXPECT_EQ(response.status, c.status);
    EXPECT_EQ(response.content_type, c.type);
    if (c.status == 200) {
      EXPECT_FALSE(response.body.empty());
      bool has_policy = false;
      for (const auto& [name, value] : response.headers) {
        has_policy |= name == "Content-Security-Policy" && value.find("default-src 'none'") == 0;
      }
      EXPECT_TRUE(has_policy);
    }
  }
}

TEST_F(ApiTest, ListsTheExampleAccounts) {
  fake_.put_file(path_of("1005"), "not a settings file");
  fake_.put_file(FOLDER + "/core_user_1001.dat.before-probe-formations", "old");
  const json::value reply = get("/api/accounts?folder=" + query(FOLDER));
  EXPECT_EQ(reply.at("folder"), json::value(FOLDER));
  const json::array& accounts = reply.at("accounts").as_array();
  struct Expected {
    const char* account;
    std::size_t formations;
    bool has_backup;
    bool error;
  };
  const Expected expected[] = {{"1001", 3, true, false},
                               {"1002", 0, false, false},
                               {"1003", 9, false, false},
                               {"1004", 2, false, false},
                               {"1005", 0, false, true}};
  ASSERT_EQ(accounts.size(), std::size(expected));
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    SCOPED_TRACE(expected[i].account);
    const json::object& entry = accounts[i].as_object();
    EXPECT_EQ(entry.at("account"), expected[i].account);
    EXPECT_EQ(entry.at("file"),
              json::value("core_user_" + std::string(expected[i].account) + ".dat"));
    EXPECT_EQ(entry.at("formations").as_array().size(), expected[i].formations);
    EXPECT_EQ(entry.at("custom_count"), expected[i].formations);
    EXPECT_EQ(entry.at("has_backup"), expected[i].has_backup);
    EXPECT_EQ(entry.at("error").is_string(), expected[i].error);
    EXPECT_EQ(entry.at("version"),
              json::value(content_version(fake_.files.at(path_of(expected[i].account)))));
  }
  EXPECT_EQ(accounts[4].at("error_code"), "not_a_settings_file");
  EXPECT_EQ(accounts[4].at("error"),
            json::value("decode " + path_of("1005") +
                        ": invalid marshal stream: missing marshal signature"));
  const json::object& first = accounts[0].at("formations").as_array()[0].as_object();
  EXPECT_EQ(first.at("id"), 1);
  EXPECT_EQ(first.at("name"), "Pinpoint Cluster");
  ASSERT_EQ(first.at("probes").as_array().size(), 4u);
  for (const char* coordinate : {"x", "y", "z", "range"}) {
    EXPECT_TRUE(first.at("probes").as_array()[0].as_object().at(coordinate).is_number());
  }
  // Spelled as a package file spells them.
  const std::string text = send(app_, {.target = "/api/accounts?folder=" + query(FOLDER)}).body;
  EXPECT_NE(text.find(R"("probes":[{"x":0.0,"y":0.0,"z":0.0,"range":0.25},)"), std::string::npos)
      << text.substr(0, 300);
}

// Read on a pool, the accounts come back in the folder's order whichever file is read last,
// a broken one in its place with its error.
TEST_F(ApiTest, ListsTheAccountsInOrderOnAPool) {
  for (const std::size_t threads : {2, 8}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    fake_ = example_platform();
    fake_.processors = threads;
    fake_.put_file(path_of("1002b"), "not a settings file");
    // The first account's read waits until another account's has begun, which only a pool
    // lets happen; so the first is also the last to finish.
    std::atomic<bool> other_began{false};
    std::atomic<bool> overlapped{false};
    const std::string first = path_of("1001");
    fake_.before_read = [&](const std::string& path) {
      if (path != first) {
        if (path.ends_with(".dat")) other_began = true;
        return;
      }
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (!other_began && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      overlapped = other_began.load();
    };
    const json::value reply = get("/api/accounts?folder=" + query(FOLDER));
    std::vector<std::string> seen;
    for (const json::value& entry : reply.at("accounts").as_array()) {
      const json::value& error = entry.at("error");
      seen.push_back(std::string(entry.at("account").as_string()) + ":" +
                     (error.is_string()
                          ? std::string(error.as_string())
                          : std::to_string(entry.at("formations").as_array().size())));
    }
    EXPECT_EQ(seen,
              (std::vector<std::string>{"1001:3", "1002:0",
                                        "1002b:decode " + path_of("1002b") +
                                            ": invalid marshal stream: missing marshal signature",
                                        "1003:9", "1004:2"}));
    EXPECT_TRUE(overlapped);
  }
}

// The package the command line would apply for the formations picked from account 1001.
std::string package_of(FakePlatform& fake, const std::vector<std::int64_t>& ids) {
  UiApp app(fake, fake, UiSession{TOKEN, PORT, FOLDER});
  std::string list;
  for (const std::int64_t id : ids) list += (list.empty() ? "" : ",") + std::to_string(id);
  const HttpResponse response =
      send(app, {.target = "/api/package?folder=" + query(FOLDER) + "&account=1001&ids=" + list});
  EXPECT_EQ(response.status, 200u) << response.body;
  return response.body;
}

TEST_F(ApiTest, PreviewWritesNothingAndReportsEachTarget) {
  json::value reply =
      apply({"1002", "1003", "1004"}, {{"1001", 4}, {"1001", 2}, {"1001", 1}}, true);
  const json::object shown = versions();
  for (json::value& result : reply.at("results").as_array()) {
    const json::string& account = result.at("account").as_string();
    EXPECT_EQ(result.at("version"), shown.at(account)) << account;
    result.as_object().erase("version");
  }
  const std::string expected =
      R"({"results":[)"
      R"({"account":"1002","added":[{"name":"Relic Ring","id":4,"name_key":"relic ring"},)"
      R"({"name":"Wide Sweep","id":2,"name_key":"wide sweep"},)"
      R"({"name":"Pinpoint Cluster","id":1,"name_key":"pinpoint cluster"}],)"
      R"("skipped":[],"custom_count":3,"unchanged":false,"error":null,"error_code":null,)"
      R"("restore_point":null,"restore_point_error":null},)"
      R"({"account":"1003","added":[{"name":"Relic Ring","id":4,"name_key":"relic ring"}],)"
      R"("skipped":[{"name":"Wide Sweep","name_key":"wide sweep"},)"
      R"({"name":"Pinpoint Cluster","name_key":"pinpoint cluster"}],"custom_count":10,)"
      R"("unchanged":false,"error":null,"error_code":null,)"
      R"("restore_point":null,"restore_point_error":null},)"
      R"({"account":"1004","added":[{"name":"Relic Ring","id":4,"name_key":"relic ring"},)"
      R"({"name":"Wide Sweep","id":3,"name_key":"wide sweep"},)"
      R"({"name":"Pinpoint Cluster","id":5,"name_key":"pinpoint cluster"}],)"
      R"("skipped":[],"custom_count":5,"unchanged":false,"error":null,"error_code":null,)"
      R"("restore_point":null,"restore_point_error":null}]})";
  EXPECT_EQ(reply, json::parse(expected));
  for (const std::string& entry : fake_.log) {
    EXPECT_TRUE(entry.rfind("read ", 0) == 0 || entry.rfind("list ", 0) == 0) << entry;
  }
}

// Account 1003 holds nine formations, so 1004's two new ones would take it past ten.
TEST_F(ApiTest, ApplyWritesWhatTheCommandLineWritesAndLeavesARefusedTargetAlone) {
  FakePlatform cli = example_platform();
  const std::string package = package_of(cli, {1, 2});
  // The command line on its own copy: one run per target, since its first failure stops it.
  cli.put_file("/package.json", package);
  for (const char* target : {"1002", "1004"}) {
    ASSERT_TRUE(run_command_line(cli, {CommandKind::Apply, {"/package.json", path_of(target)}}));
  }

  const FakePlatform before = fake_;
  const json::value reply = apply({"1002", "1003", "1004"}, {{"1001", 1}, {"1001", 2}}, false);
  const json::array& results = reply.at("results").as_array();
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].at("error"), nullptr);
  EXPECT_EQ(results[1].at("error"), nullptr) << "both names are there already: nothing added";
  EXPECT_EQ(results[1].at("added").as_array().size(), 0u);
  EXPECT_EQ(results[2].at("error"), nullptr);

  for (const char* target : {"1002", "1004"}) {
    SCOPED_TRACE(target);
    EXPECT_EQ(fake_.files.at(path_of(target)), cli.files.at(path_of(target)));
    EXPECT_EQ(fake_.files.at(backup_path_for(path_of(target))), before.files.at(path_of(target)));
  }

  // Now 1004 holds four; a package of 1003's nine cannot go in.
  fake_.log.clear();
  const FakePlatform full = fake_;
  std::vector<std::pair<std::string, std::int64_t>> nine;
  const json::value listing = get("/api/accounts?folder=" + query(FOLDER));
  for (const json::value& formation : listing.at("accounts").at(2).at("formations").as_array()) {
    nine.emplace_back("1003", formation.at("id").as_int64());
  }
  ASSERT_EQ(nine.size(), 9u);
  const json::value refused = apply({"1004", "1002"}, nine, false);
  const json::array& outcome = refused.at("results").as_array();
  EXPECT_EQ(outcome[0].at("error"),
            json::value("target would contain 11 custom formations; ORVANE supports at most 10"));
  EXPECT_EQ(outcome[0].at("error_code"), "over_limit");
  EXPECT_EQ(outcome[0].at("custom_count"), 11) << "the count it would have reached";
  EXPECT_EQ(fake_.files.at(path_of("1004")), full.files.at(path_of("1004")));
  EXPECT_EQ(fake_.files.at(backup_path_for(path_of("1004"))),
            full.files.at(backup_path_for(path_of("1004"))))
      << "a refused target keeps its backup too";
  EXPECT_EQ(outcome[1].at("error"), nullptr) << "the other targets still go on";
  EXPECT_EQ(outcome[1].at("added").as_array().size(), 7u);
  EXPECT_EQ(outcome[1].at("custom_count"), 9);
  EXPECT_NE(fake_.files.at(path_of("1002")), full.files.at(path_of("1002")));
}

// A package sent as its file's text, as its JSON, or picked from, merges the same formations.
TEST_F(ApiTest, ApplyTakesAPackageInEachForm) {
  FakePlatform source = example_platform();
  const std::string all = package_of(source, {1, 2, 4});
  const std::string picked = package_of(source, {4, 1});  // in the file's order: 1, 4
  json::value as_json = json::parse(all);
  struct Case {
    const char* description;
    json::object request;
  };
  const Case cases[] = {
      {"text, picked", {{"package", all}, {"pick", {0, 2}}}},
      {"JSON, picked", {{"package", as_json}, {"pick", {0, 2}}}},
      {"text of the picked", {{"package", picked}}},
      {"formations of the account", {{"formations", {pick("1001", 1), pick("1001", 4)}}}},
  };
  std::optional<std::vector<std::uint8_t>> first;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    fake_ = example_platform();
    json::object request = c.request;
    request["folder"] = FOLDER;
    request["targets"] = json::array{"1002"};
    request["dry_run"] = false;
    request["versions"] = versions();
    const json::value reply = post("/api/apply", request);
    EXPECT_EQ(reply.at("results").at(0).at("added"),
              json::parse(R"([{"name":"Pinpoint Cluster","id":1,"name_key":"pinpoint cluster"},)"
                          R"({"name":"Relic Ring","id":4,"name_key":"relic ring"}])"));
    if (!first) first = fake_.files.at(path_of("1002"));
    EXPECT_EQ(fake_.files.at(path_of("1002")), *first);
  }
}

TEST_F(ApiTest, RestoreGivesBackTheBackupsBytes) {
  const std::string backup = backup_path_for(path_of("1002"));
  const std::vector<std::uint8_t> original = fake_.files.at(path_of("1002"));
  (void)apply({"1002"}, {{"1001", 4}}, false);
  ASSERT_NE(fake_.files.at(path_of("1002")), original);
  ASSERT_EQ(fake_.files.at(backup), original);
  fake_.put_file(backup_path_for(path_of("1004")), "broken");
  const std::vector<std::uint8_t> kept = fake_.files.at(path_of("1004"));

  const json::value reply =
      post("/api/restore", json::object{{"folder", FOLDER},
                                        {"accounts", {"1002", "1004", "1003"}},
                                        {"versions", versions()}});
  const json::array& results = reply.at("results").as_array();
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].at("error"), nullptr);
  EXPECT_EQ(fake_.files.at(path_of("1002")), original);
  EXPECT_EQ(results[1].at("error"),
            json::value("decode " + backup_path_for(path_of("1004")) +
                        ": invalid marshal stream: missing marshal signature"));
  EXPECT_EQ(fake_.files.at(path_of("1004")), kept) << "a backup that does not decode is not used";
  EXPECT_EQ(results[1].at("error_code"), "not_a_settings_file");
  EXPECT_EQ(results[2].at("error"),
            json::value("account 1003 has no backup " + backup_path_for(path_of("1003"))));
  EXPECT_EQ(results[2].at("error_code"), "no_backup");
}

TEST_F(ApiTest, PackageIsWhatExportWrites) {
  struct Case {
    const char* ids;  // nullptr: no ids parameter
    std::vector<std::int64_t> kept;
  };
  const Case cases[] = {{nullptr, {1, 2, 4}}, {"4,1", {1, 4}}, {"2", {2}}};
  FakePlatform cli = example_platform();
  ASSERT_TRUE(run_command_line(cli, {CommandKind::Export, {path_of("1001"), "/all.json"}}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ids ? c.ids : "all");
    std::string target = "/api/package?folder=" + query(FOLDER) + "&account=1001";
    if (c.ids != nullptr) target += "&ids=" + std::string(c.ids);
    const HttpResponse response = send(app_, {.target = target});
    ASSERT_EQ(response.status, 200u);
    auto all = read_package_json(cli.file_text("/all.json"));
    ASSERT_TRUE(all);
    Package expected = *all;
    std::erase_if(expected.formations, [&](const Formation& f) {
      return std::find(c.kept.begin(), c.kept.end(), f.id) == c.kept.end();
    });
    EXPECT_EQ(response.body, write_package_json(expected));
    if (c.ids == nullptr) {
      EXPECT_EQ(response.body, cli.file_text("/all.json"));
    }
  }
  const json::value read =
      post("/api/read-package", json::object{{"package", package_of(fake_, {2})}});
  EXPECT_EQ(read.at("formations").as_array().size(), 1u);
  EXPECT_EQ(read.at("formations").at(0).at("name"), "Wide Sweep");
}

TEST_F(ApiTest, FindsSettingsFoldersInWinePrefixes) {
  fake_.home = "/home/player";
  const std::string users = "/home/player/.wine/drive_c/users";
  const std::string local = users + "/player/AppData/Local";
  const std::string proton =
      "/home/player/.steam/steam/steamapps/compatdata/4242/pfx/drive_c/users";
  for (const std::string& folder :
       {std::string("/home"),
        std::string("/home/player"),
        std::string("/home/player/.wine"),
        std::string("/home/player/.wine/drive_c"),
        users,
        users + "/player",
        users + "/player/AppData",
        local,
        local + "/Orvane",
        local + "/Orvane/settings_Default",
        local + "/Orvane/settings_Empty",
        local + "/Linked",
        local + "/Linked/settings_Other",
        std::string("/home/player/.steam"),
        std::string("/home/player/.steam/steam"),
        std::string("/home/player/.steam/steam/steamapps"),
        std::string("/home/player/.steam/steam/steamapps/compatdata"),
        std::string("/home/player/.steam/steam/steamapps/compatdata/4242"),
        std::string("/home/player/.steam/steam/steamapps/compatdata/4242/pfx"),
        std::string("/home/player/.steam/steam/steamapps/compatdata/4242/pfx/drive_c"),
        proton,
        proton + "/steamuser",
        proton + "/steamuser/settings_Tranquil"}) {
    fake_.directories.insert(folder);
  }
  fake_.folder_links.insert(local + "/Linked");
  for (const std::string& folder :
       {local + "/Orvane/settings_Default", local + "/Linked/settings_Other",
        proton + "/steamuser/settings_Tranquil"}) {
    fake_.put_file(folder + "/core_user_1.dat", "x");
  }
  fake_.put_file(local + "/Orvane/settings_Empty/prefs.dat", "x");

  const json::value reply = get("/api/folders");
  EXPECT_EQ(reply.at("folders"),
            json::parse(json::serialize(json::array{
                json::string(FOLDER), json::string(proton + "/steamuser/settings_Tranquil"),
                json::string(local + "/Orvane/settings_Default")})))
      << "the start folder first, then the nearest; no link followed, no folder without accounts";
  EXPECT_EQ(reply.at("home"), "/home/player");
}

TEST_F(ApiTest, BrowsesFolders) {
  fake_.directories.insert(FOLDER + "/old");
  struct Case {
    const char* description;
    std::string path;
    std::vector<std::string> drives;
    std::string expected;
  };
  const Case cases[] = {
      {"a settings folder",
       FOLDER,
       {},
       R"({"path":"/game/settings_Default","parent":"/game","folders":[)"
       R"({"name":"old","path":"/game/settings_Default/old"}],"account_files":4})"},
      {"the top",
       "",
       {},
       R"({"path":"/","parent":null,"folders":[{"name":"game","path":"/game"}],"account_files":0})"},
      {"the drives",
       "",
       {"C:\\", "D:\\"},
       R"({"path":"","parent":null,"folders":[{"name":"C:\\","path":"C:\\"},{"name":"D:\\","path":"D:\\"}],"account_files":0})"},
  };
  fake_.directories.insert("/");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    fake_.drive_roots = c.drives;
    EXPECT_EQ(get("/api/browse?path=" + query(c.path)), json::parse(c.expected));
  }
  (void)get("/api/browse?path=%2Fnowhere", 400);
}

TEST(SessionToken, IsHexOfSixteenRandomBytes) {
  FakePlatform fake;
  fake.next_random_byte = 0xF0;
  auto token = make_session_token(fake, fake);
  ASSERT_TRUE(token);
  EXPECT_EQ(*token, "f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff");
  EXPECT_TRUE(same_token(*token, "f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff"));
  EXPECT_FALSE(same_token(*token, "f0f1f2f3f4f5f6f7f8f9fafbfcfdfef0"));
  EXPECT_FALSE(same_token(*token, ""));
}

TEST_F(ApiTest, QuitAnswersThenAsksTheServerToStop) {
  EXPECT_FALSE(app_.quit_requested());
  (void)get("/api/quit", 405);
  EXPECT_FALSE(app_.quit_requested());
  EXPECT_EQ(post("/api/quit", json::object{}), json::parse(R"({"stopping":true})"));
  EXPECT_TRUE(app_.quit_requested());
}

}  // namespace
}  // namespace orvane::ui
