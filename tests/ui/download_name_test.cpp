// The names of downloaded package files and their Content-Disposition header.
#include "download_name.hpp"

#include <gtest/gtest.h>

namespace orvane::ui {
namespace {

std::vector<Formation> named(std::vector<std::string> names) {
  std::vector<Formation> formations;
  for (std::string& name : names) formations.push_back(Formation{1, std::move(name), {}});
  return formations;
}

TEST(PackageFileName, SaysWhatThePackageHolds) {
  const std::string long_name(80, 'a');
  struct Case {
    const char* description;
    std::vector<std::string> names;
    std::string expected;
  };
  const Case cases[] = {
      {"none", {}, "formations.json"},
      {"one", {"Relic Ring"}, "Relic Ring.json"},
      {"two", {"Relic Ring", "Wide Sweep"}, "Relic Ring + 1 more.json"},
      {"three", {"Hex Spread", "a", "b"}, "Hex Spread + 2 more.json"},
      {"characters Windows refuses", {"a<b>c:d\"e/f\\g|h?i*j"}, "a_b_c_d_e_f_g_h_i_j.json"},
      {"control characters", {"tab\there\x7f"}, "tab_here_.json"},
      {"dots and blanks at the ends", {" .hidden. "}, "hidden.json"},
      {"only dots", {"..."}, "formations.json"},
      {"empty name of several", {"", "b"}, "formations + 1 more.json"},
      {"not ASCII kept", {"Ringe \xc3\xbc\xe2\x9c\x93"}, "Ringe \xc3\xbc\xe2\x9c\x93.json"},
      {"bytes that are not UTF-8",
       {"a\xff"
        "b"},
       "a_b.json"},
      {"cut short", {long_name}, std::string(60, 'a') + ".json"},
      {"cut short before a character, not inside it",
       {std::string(59, 'a') + "\xc3\xbc"},
       std::string(59, 'a') + ".json"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(package_file_name(named(c.names)), c.expected);
  }
}

TEST(AttachmentHeader, GivesTheNameInUtf8AndInAscii) {
  struct Case {
    const char* description;
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"plain", "Relic Ring + 2 more.json",
       "attachment; filename=\"Relic Ring + 2 more.json\"; "
       "filename*=UTF-8''Relic%20Ring%20+%202%20more.json"},
      {"not ASCII", "\xc3\xbc.json",
       "attachment; filename=\"_.json\"; filename*=UTF-8''%c3%bc.json"},
      {"percent and quote", "100% \"x\".json",
       "attachment; filename=\"100% _x_.json\"; filename*=UTF-8''100%25%20%22x%22.json"},
      {"line break never ends the header", "a\r\nb",
       "attachment; filename=\"a__b\"; filename*=UTF-8''a%0d%0ab"},
      {"semicolon", "a;b.json", "attachment; filename=\"a;b.json\"; filename*=UTF-8''a%3bb.json"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(attachment_header(c.name), c.expected);
  }
}

}  // namespace
}  // namespace orvane::ui
