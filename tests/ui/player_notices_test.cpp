// What the window program tells the player as it starts, where its standard streams reach
// someone (always on Linux, and on Windows when started from a console or a script).
#include "orvane/ui/player_notices.hpp"

#include <gtest/gtest.h>

#include <cerrno>

#include "helpers/fake_platform.hpp"
#include "orvane/ui/options.hpp"

namespace orvane::ui {
namespace {

using testing::FakePlatform;

constexpr const char* ADDRESS = "http://127.0.0.1:8080/#token=00";

TEST(PlayerNotices, StartAndUsageGoToTheStreams) {
  struct Case {
    const char* description;
    void (*tell)(Platform&);
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {"a failure names its cause; the advice is for the box alone",
       [](Platform& p) { tell_start_failure(p, "listen on 127.0.0.1:80: bind: in use", "Try"); },
       "", "Error: listen on 127.0.0.1:80: bind: in use\n"},
      {"the usage asked for", [](Platform& p) { tell_usage(p, true); }, std::string(UI_USAGE_TEXT),
       ""},
      {"the usage of a command line not understood", [](Platform& p) { tell_usage(p, false); }, "",
       std::string(UI_USAGE_TEXT)},
      {"a note", [](Platform& p) { tell(p, MessageKind::Information, "note\n"); }, "", "note\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    FakePlatform platform;
    c.tell(platform);
    EXPECT_EQ(platform.out, c.out);
    EXPECT_EQ(platform.err, c.err);
  }
}

TEST(PlayerNotices, PortAdviceOnlyForAChosenPort) {
  struct Case {
    unsigned short port;
    const char* contains;  // nullptr: no advice
  };
  const Case cases[] = {{0, nullptr}, {8080, "port 8080."}, {65535, "port 65535."}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    const std::string advice = port_advice(c.port);
    if (c.contains == nullptr) {
      EXPECT_EQ(advice, "");
    } else {
      EXPECT_NE(advice.find(c.contains), std::string::npos) << advice;
      EXPECT_NE(advice.find("Without --port"), std::string::npos) << advice;
    }
  }
}

TEST(PlayerNotices, TheAddressAndTheBrowser) {
  struct Case {
    const char* description;
    bool browser;
    std::optional<int> browser_error;
    bool stdout_fails;
    bool told;
    std::string out;
    std::string err_contains;  // "" : nothing on standard error
  };
  const Case cases[] = {
      {"printed, browser opened", true, std::nullopt, false, true, std::string(ADDRESS) + "\n", ""},
      {"printed, no browser wanted", false, std::nullopt, false, true, std::string(ADDRESS) + "\n",
       ""},
      {"standard output fails", false, std::nullopt, true, false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    FakePlatform platform;
    platform.browser_error = c.browser_error;
    if (c.stdout_fails) platform.fail_stdout_after(0, EACCES);
    const auto told = tell_address(platform, ADDRESS, c.browser);
    EXPECT_EQ(told.has_value(), c.told);
    if (!told) {
      EXPECT_EQ(told.error(), "write standard output: Permission denied (os error 13)");
    }
    EXPECT_EQ(platform.out, c.out);
    EXPECT_EQ(platform.err, c.err_contains);
    EXPECT_TRUE(platform.opened_urls.empty()) << "the page is opened through its forwarding file";
  }
}

}  // namespace
}  // namespace orvane::ui
