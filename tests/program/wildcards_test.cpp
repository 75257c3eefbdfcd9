#include "orvane/cli/wildcards.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers/fake_platform.hpp"

namespace orvane {
namespace {

using testing::FakePlatform;

TEST(WildcardMatches, StarIsAnyRunQuestionMarkOneCharacter) {
  struct Case {
    const char* pattern;
    const char* name;
    bool expected;
  };
  const Case cases[] = {
      {"core_user_*.dat", "core_user_12345.dat", true},
      {"core_user_*.dat", "core_user_.dat", true},
      {"core_user_*.dat", "core_user_1.dat.before-probe-formations", false},
      {"core_user_*.dat", "prefs.dat", false},
      {"*", "anything", true},
      {"*.dat", ".dat", true},
      {"*a*b*", "xxaxxbxx", true},
      {"*a*b", "xxaxxbxxa", false},
      {"*ab", "aab", true},
      {"core_user_?.dat", "core_user_7.dat", true},
      {"core_user_?.dat", "core_user_.dat", false},
      {"core_user_?.dat", "core_user_10.dat", false},
      // One character, not one byte: a two-byte and a four-byte UTF-8 sequence.
      {"core_user_?.dat", "core_user_\xC3\xA9.dat", true},
      {"core_user_?.dat", "core_user_\xF0\x9F\x9B\xB0.dat", true},
      {"?\xC3\xA9", "x\xC3\xA9", true},
      {"*\xC3\xA9", "\xC3\xA8\xC3\xA9", true},
      // Windows names are the same in either letter case.
      {"CORE_USER_*.DAT", "core_user_1.dat", true},
      {"\xC3\x89*", "\xC3\xA9t\xC3\xA9", false},
      {"", "", true},
      {"", "a", false},
      {"a", "", false},
      {"**", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.name);
    EXPECT_EQ(wildcard_matches(c.pattern, c.name), c.expected);
  }
}

TEST(ExpandWildcards, OperandsBecomeTheMatchingEntriesOfTheirFolder) {
  struct Case {
    const char* description;
    std::vector<std::string> args;
    std::vector<std::string> expected;
    std::vector<std::string> listed;  // the folders read on the way
  };
  const Case cases[] = {
      {"sorted by name in byte order, any letter case",
       {"apply", "p.json", "d/core_user_*.dat"},
       {"apply", "p.json", "d/Core_User_3.DAT", "d/core_user_1.dat", "d/core_user_10.dat",
        "d/core_user_2.dat", "d/core_user_\xC3\xA9.dat"},
       {"list d/"}},
      {"question mark: one character",
       {"accounts", "d/core_user_1?.dat"},
       {"accounts", "d/core_user_10.dat"},
       {"list d/"}},
      {"every operand on its own",
       {"apply", "d/*.json", "d/core_user_?.dat"},
       {"apply", "d/p.json", "d/Core_User_3.DAT", "d/core_user_1.dat", "d/core_user_2.dat",
        "d/core_user_\xC3\xA9.dat"},
       {"list d/", "list d/"}},
      {"a folder is an entry like any other",
       {"accounts", "s*"},
       {"accounts", "sub.dat"},
       {"list ."}},
      {"the current folder, joined as typed: without a folder part",
       {"list", "*.json"},
       {"list", "top.json"},
       {"list ."}},
      {"no match stays as typed", {"list", "d/*.bak"}, {"list", "d/*.bak"}, {"list d/"}},
      {"missing folder stays as typed",
       {"list", "missing/*.dat"},
       {"list", "missing/*.dat"},
       {"list missing/"}},
      {"wildcard in a folder component stays as typed, unread",
       {"list", "*/core_user_1.dat"},
       {"list", "*/core_user_1.dat"},
       {}},
      {"the command word is no path", {"l?st", "d/p.json"}, {"l?st", "d/p.json"}, {}},
      {"no wildcard, no listing", {"list", "d/core_user_1.dat"}, {"list", "d/core_user_1.dat"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    FakePlatform fake;
    fake.directories = {"d/", ".", "./sub.dat"};
    for (const char* name : {"core_user_1.dat", "core_user_2.dat", "core_user_10.dat",
                             "Core_User_3.DAT", "core_user_\xC3\xA9.dat",
                             "core_user_1.dat.before-probe-formations", "prefs.dat", "p.json"}) {
      fake.put_file(std::string("d/") + name, "x");
    }
    fake.put_file("./top.json", "x");
    EXPECT_EQ(expand_wildcards(fake, c.args), c.expected);
    EXPECT_EQ(fake.log, c.listed);
  }
}

}  // namespace
}  // namespace orvane
