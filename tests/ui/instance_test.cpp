// One window program per user: the record of the running one, how a later start finds it and
// asks it, and the file through which the browser opens the page.
#include "orvane/ui/instance.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "helpers/fake_platform.hpp"
#include "orvane/platform/native_platform.hpp"
#include "orvane/ui/browser_redirect.hpp"
#include "orvane/ui/http_server.hpp"
#include "orvane/ui/instance_answer.hpp"
#include "orvane/ui/ui_app.hpp"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#endif

namespace orvane::ui {
namespace {

using orvane::testing::FakePlatform;
using Clock = std::chrono::steady_clock;

const std::string TOKEN = "0123456789abcdef0123456789abcdef";
const std::string DATA = "/home/player/.local/state/orvane-probe-formations";
const std::string RECORD = DATA + "/instance.json";
const std::string REDIRECT = DATA + "/open-page.html";

TEST(InstanceRecord, ReadsBackOnlyAWholeRecord) {
  struct Case {
    const char* description;
    std::string text;
    std::optional<InstanceRecord> expected;
  };
  const InstanceRecord record{51234, TOKEN, 77};
  const Case cases[] = {
      {"as written", instance_file_text(record), record},
      {"members in another order", R"({"process": 77, "token": ")" + TOKEN + R"(", "port": 51234})",
       record},
      {"highest port", R"({"port": 65535, "token": ")" + TOKEN + R"(", "process": 1})",
       InstanceRecord{65535, TOKEN, 1}},
      {"empty", "", std::nullopt},
      {"cut short", instance_file_text(record).substr(0, 20), std::nullopt},
      {"not an object", "[51234]", std::nullopt},
      {"a member missing", R"({"port": 51234, "token": ")" + TOKEN + R"("})", std::nullopt},
      {"a member more", R"({"port": 1, "token": ")" + TOKEN + R"(", "process": 1, "folder": "x"})",
       std::nullopt},
      {"port 0", R"({"port": 0, "token": ")" + TOKEN + R"(", "process": 1})", std::nullopt},
      {"port past 65535", R"({"port": 65536, "token": ")" + TOKEN + R"(", "process": 1})",
       std::nullopt},
      {"port as text", R"({"port": "80", "token": ")" + TOKEN + R"(", "process": 1})",
       std::nullopt},
      {"process 0", R"({"port": 80, "token": ")" + TOKEN + R"(", "process": 0})", std::nullopt},
      {"process below 0", R"({"port": 80, "token": ")" + TOKEN + R"(", "process": -4})",
       std::nullopt},
      {"token cut short", R"({"port": 80, "token": "0123", "process": 1})", std::nullopt},
      {"token in capitals",
       R"({"port": 80, "token": "0123456789ABCDEF0123456789ABCDEF", "process": 1})", std::nullopt},
      {"token not hexadecimal",
       R"({"port": 80, "token": "0123456789abcdef0123456789abcdeg", "process": 1})", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(parse_instance_file(c.text), c.expected);
  }
  EXPECT_EQ(page_address(record), "http://127.0.0.1:51234/#token=" + TOKEN);
}

TEST(RunningInstance, IsTheRecordedOneOnlyIfItRunsAndAnswers) {
  const InstanceRecord other{40000, TOKEN, 900};
  struct Case {
    const char* description;
    std::optional<std::string> record;  // the file's text; none when there is no file
    bool process_runs;
    bool answers;
    bool found;
    bool asked;  // whether the token went to the recorded port
  };
  const Case cases[] = {
      {"no record", std::nullopt, true, true, false, false},
      {"a damaged record", "{\"port\": 40000", true, true, false, false},
      {"its process has ended", instance_file_text(other), false, true, false, false},
      {"it names this very process", instance_file_text({40000, TOKEN, 4242}), true, true, false,
       false},
      {"it does not answer", instance_file_text(other), true, false, false, true},
      {"it runs and answers", instance_file_text(other), true, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    FakePlatform fake;
    fake.directories = {DATA};
    if (c.record) fake.put_file(RECORD, *c.record);
    if (c.process_runs) fake.other_processes = {900};
    bool asked = false;
    const auto found = find_running_instance(fake, fake, DATA, [&](const InstanceRecord& record) {
      asked = true;
      EXPECT_EQ(record, other);
      return c.answers;
    });
    EXPECT_EQ(found.has_value(), c.found);
    if (found) {
      EXPECT_EQ(*found, other);
    }
    EXPECT_EQ(asked, c.asked);
  }
}

TEST(RunningInstance, IsRecordedPrivatelyAndForgottenOnlyWhileItsOwn) {
  const InstanceRecord self{51234, TOKEN, 4242};
  const InstanceRecord later{51300, "ffffffffffffffffffffffffffffffff", 5000};
  struct Case {
    const char* description;
    std::optional<std::string> before;          // the record there before this run started
    std::optional<InstanceRecord> replaced_by;  // a later start's, while this run served
    bool left;                                  // a record is there once this run ended
  };
  const Case cases[] = {
      {"none before", std::nullopt, std::nullopt, false},
      {"a stale one before", instance_file_text({1, TOKEN, 1}), std::nullopt, false},
      {"damaged before", "\x01\x02", std::nullopt, false},
      {"replaced by a later start", std::nullopt, later, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    FakePlatform fake;
    fake.directories = {DATA};
    if (c.before) fake.put_file(RECORD, *c.before);
    ASSERT_TRUE(record_instance(fake, fake, DATA, self));
    EXPECT_EQ(fake.private_files.count(RECORD), 1u);
    EXPECT_EQ(parse_instance_file(fake.file_text(RECORD)), self);
    if (c.replaced_by) {
      ASSERT_TRUE(record_instance(fake, fake, DATA, *c.replaced_by));
    }
    forget_instance(fake, DATA, self);
    EXPECT_EQ(fake.files.count(RECORD) == 1, c.left);
    if (c.left) {
      EXPECT_EQ(parse_instance_file(fake.file_text(RECORD)), c.replaced_by);
    }
  }

  FakePlatform fake;
  fake.fail(orvane::testing::Operation::OpenForWrite, RECORD, EACCES);
  const auto refused = record_instance(fake, fake, DATA, self);
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.error().find(RECORD), std::string::npos) << refused.error();
}

TEST(BrowserRedirect, ForwardsToTheAddressWithoutPuttingItOnACommandLine) {
  const std::string address = "http://127.0.0.1:51234/#token=" + TOKEN;
  FakePlatform fake;
  fake.directories = {DATA};
  ASSERT_TRUE(open_through_redirect(fake, fake, DATA, address));
  // The browser is handed the file; the token is only inside it.
  ASSERT_EQ(fake.opened_urls, std::vector<std::string>{REDIRECT});
  EXPECT_EQ(fake.private_files.count(REDIRECT), 1u);
  const std::string page = fake.file_text(REDIRECT);
  EXPECT_NE(page.find("<meta http-equiv=\"refresh\" content=\"0;url=" + address + "\">"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("<a href=\"" + address + "\">"), std::string::npos) << page;

  // Another run's page is not removed; this run's is.
  remove_redirect(fake, DATA, "http://127.0.0.1:1/#token=" + TOKEN);
  EXPECT_EQ(fake.files.count(REDIRECT), 1u);
  remove_redirect(fake, DATA, address);
  EXPECT_EQ(fake.files.count(REDIRECT), 0u);

  // Markup in an address stays text.
  const std::string odd = redirect_page("http://x/\"><script>&'");
  EXPECT_EQ(odd.find("<script>"), std::string::npos) << odd;
  EXPECT_NE(odd.find("&quot;&gt;&lt;script&gt;&amp;&#39;"), std::string::npos) << odd;
}

TEST(UiAppScreen, RefusesOnTheHeadersWhatTheHandlerWouldRefuse) {
  FakePlatform fake;
  UiApp app(fake, fake, UiSession{TOKEN, 8123, std::nullopt});
  const std::string host = "127.0.0.1:8123";
  struct Case {
    HttpRequest request;  // the headers alone: the body is not read yet
    std::optional<unsigned> refused;
  };
  const Case cases[] = {
      {{"POST", "/api/apply", host, std::nullopt, TOKEN, ""}, std::nullopt},
      {{"POST", "/api/apply", host, std::nullopt, std::nullopt, ""}, 403},
      {{"POST", "/api/apply", host, "http://evil.example", TOKEN, ""}, 403},
      {{"GET", "/", host, std::nullopt, std::nullopt, ""}, std::nullopt},
      {{"GET", "/", "evil.example:8123", std::nullopt, std::nullopt, ""}, 403},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.target + " " + c.request.host.value_or("") + " " +
                 c.request.token.value_or("no token"));
    const auto screened = app.screen(c.request);
    ASSERT_EQ(screened.has_value(), c.refused.has_value());
    if (screened) {
      EXPECT_EQ(screened->status, app.handle(c.request).status);
    }
  }
  const HttpResponse instance = app.handle({"GET", "/api/instance", host, std::nullopt, TOKEN, ""});
  EXPECT_EQ(instance.body, R"({"program":"orvane-probe-formations-ui","process":4242})");
}

// A real server on this machine, as a running instance serves it.
class InstanceAnswerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto server = HttpServer::listen(
        0, {[this](const HttpRequest& r) { return app_->screen(r); },
            [this](const HttpRequest& r) { return app_->handle(r); }, [] { return false; }});
    ASSERT_TRUE(server) << server.error();
    server_ = std::move(*server);
    app_ = std::make_unique<UiApp>(fake_, fake_, UiSession{TOKEN, server_->port(), std::nullopt});
    thread_ = std::thread([this] { server_->run(); });
  }
  void TearDown() override {
    server_->request_stop();
    thread_.join();
  }

  FakePlatform fake_;
  std::unique_ptr<UiApp> app_;
  std::unique_ptr<HttpServer> server_;
  std::thread thread_;
};

TEST_F(InstanceAnswerTest, CountsOnlyTheRecordedProcessAnsweringWithItsToken) {
  // A port nothing listens on: one this test had and gave back.
  unsigned short closed_port = 0;
  {
    auto other = HttpServer::listen(0, {nullptr, nullptr, [] { return true; }});
    ASSERT_TRUE(other);
    closed_port = (*other)->port();
  }
  // Accepts, and never reads: it is never run.
  auto silent = HttpServer::listen(0, {nullptr, nullptr, [] { return false; }});
  ASSERT_TRUE(silent);
  struct Case {
    const char* description;
    InstanceRecord record;
    bool answers;
  };
  const Case cases[] = {
      {"a server that never answers", {(*silent)->port(), TOKEN, fake_.process}, false},
      {"the recorded process with its token", {server_->port(), TOKEN, fake_.process}, true},
      {"another token",
       {server_->port(), "ffffffffffffffffffffffffffffffff", fake_.process},
       false},
      {"another process on that port", {server_->port(), TOKEN, fake_.process + 1}, false},
      {"nothing on that port", {closed_port, TOKEN, fake_.process}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(instance_answers(c.record, std::chrono::milliseconds(500)), c.answers);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  }
}

#ifndef _WIN32
// The platform's own operations behind the record, on this system's files and processes.
TEST(PrivateFile, IsOnlyTheUsersAndReplacesWhatStoodThere) {
  auto platform = make_native_platform();
  auto desktop = make_native_desktop();
  char folder_template[] = "/tmp/orvane-instance-XXXXXX";
  ASSERT_NE(::mkdtemp(folder_template), nullptr);
  const std::string folder = folder_template;
  const std::string path = folder + "/instance.json";
  const std::string elsewhere = folder + "/elsewhere";
  struct Case {
    const char* description;
    void (*before)(const std::string& path, const std::string& elsewhere);
  };
  const Case cases[] = {
      {"nothing there", [](const std::string&, const std::string&) {}},
      {"a file readable by all",
       [](const std::string& p, const std::string&) {
         std::ofstream(p) << "old";
         ::chmod(p.c_str(), 0644);
       }},
      {"a link to another file",
       [](const std::string& p, const std::string& e) {
         std::ofstream(e) << "keep";
         ASSERT_EQ(::symlink(e.c_str(), p.c_str()), 0);
       }},
      {"a temporary file left by a crash",
       [](const std::string& p, const std::string&) { std::ofstream(p + ".new") << "half"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    c.before(path, elsewhere);
    ASSERT_TRUE(desktop->write_private_file(path, "new"));
    struct stat info {};
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    auto written = platform->read_file(path);
    ASSERT_TRUE(written);
    EXPECT_EQ(std::string(written->begin(), written->end()), "new");
    EXPECT_NE(::access((path + ".new").c_str(), F_OK), 0) << "the temporary name is gone";
    if (::access(elsewhere.c_str(), F_OK) == 0) {
      auto kept = platform->read_file(elsewhere);
      EXPECT_EQ(std::string(kept->begin(), kept->end()), "keep") << "written through a link";
    }
    ASSERT_TRUE(platform->remove_file(path));
    EXPECT_NE(::access(path.c_str(), F_OK), 0);
    EXPECT_TRUE(platform->remove_file(path)) << "removing what is gone";
    ::unlink(elsewhere.c_str());
  }
  ::rmdir(folder.c_str());
}

TEST(ProcessRunning, TellsALiveProcessFromAnEndedOne) {
  auto platform = make_native_platform();
  auto desktop = make_native_desktop();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  struct Case {
    const char* description;
    std::uint64_t id;
    bool running;
  };
  const Case cases[] = {
      {"this process", desktop->process_id(), true},
      {"its parent", static_cast<std::uint64_t>(::getppid()), true},
      {"a child that has ended", static_cast<std::uint64_t>(child), false},
      {"id 0, a process group", 0, false},
      {"past the largest id", std::uint64_t{1} << 40, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(desktop->process_running(c.id), c.running);
  }
}
#endif

}  // namespace
}  // namespace orvane::ui
