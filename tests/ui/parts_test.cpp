// The window program's small parts: its command line and the request target's query.
#include <gtest/gtest.h>

#include "orvane/ui/options.hpp"
#include "orvane/ui/url_query.hpp"

namespace orvane::ui {
namespace {

TEST(UiOptions, AcceptsTheDocumentedCommandLines) {
  struct Case {
    std::vector<std::string> args;
    std::optional<UiOptions> expected;  // nothing: the usage is shown
  };
  const auto options = [](unsigned short port, bool browser, std::optional<std::string> folder) {
    return std::optional<UiOptions>(UiOptions{port, browser, false, std::move(folder)});
  };
  const Case cases[] = {
      {{}, options(0, true, std::nullopt)},
      {{"settings_Default"}, options(0, true, "settings_Default")},
      {{"--port", "8080", "--no-browser", "s"}, options(8080, false, "s")},
      {{"s", "--port", "65535"}, options(65535, true, "s")},
      {{"-"}, options(0, true, "-")},
      {{"--port"}, std::nullopt},
      {{"--port", "0"}, std::nullopt},
      {{"--port", "65536"}, std::nullopt},
      {{"--port", "+80"}, std::nullopt},
      {{"--port", "80x"}, std::nullopt},
      {{"a", "b"}, std::nullopt},
      {{"--verbose"}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const std::optional<UiOptions> parsed = parse_ui_options(c.args);
    ASSERT_EQ(parsed.has_value(), c.expected.has_value());
    if (!parsed) continue;
    EXPECT_EQ(parsed->port, c.expected->port);
    EXPECT_EQ(parsed->open_browser, c.expected->open_browser);
    EXPECT_EQ(parsed->folder, c.expected->folder);
  }
  ASSERT_TRUE(parse_ui_options({"--help"}));
  EXPECT_TRUE(parse_ui_options({"--help"})->help);
}

TEST(RequestTarget, DecodesTheQueryAsBrowsersEncodeIt) {
  struct Case {
    const char* target;
    std::string path;
    std::map<std::string, std::string> query;
    std::string error;  // a part of the error text; empty when it parses
  };
  const Case cases[] = {
      {"/api/accounts", "/api/accounts", {}, ""},
      {"/api/accounts?", "/api/accounts", {}, ""},
      {"/a?folder=C%3A%5CGames+x%2F%C3%A9&&ids=1%2C3&flag",
       "/a",
       {{"folder", "C:\\Games x/\xC3\xA9"}, {"ids", "1,3"}, {"flag", ""}},
       ""},
      {"/a?x=%41%6a", "/a", {{"x", "Aj"}}, ""},
      {"/a?x=%4", "", {}, "percent"},
      {"/a?x=%zz", "", {}, "percent"},
      {"/a?x=%C3", "", {}, "UTF-8"},
      {"/a?x=1&x=2", "", {}, "given twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    auto parsed = parse_request_target(c.target);
    if (!c.error.empty()) {
      ASSERT_FALSE(parsed);
      EXPECT_NE(parsed.error().find(c.error), std::string::npos) << parsed.error();
      continue;
    }
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(parsed->path, c.path);
    EXPECT_EQ(parsed->query, c.query);
  }
}

}  // namespace
}  // namespace orvane::ui
