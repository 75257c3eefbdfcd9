#include "orvane/core/account_listing.hpp"

#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <cerrno>
#include <string>
#include <vector>

#include "helpers/fake_platform.hpp"
#include "marshal/json.hpp"
#include "marshal/reader.hpp"
#include "marshal/writer.hpp"
#include "orvane/core/account_folder.hpp"

namespace orvane {
namespace {

using testing::FakePlatform;
using testing::Operation;
namespace json = boost::json;

// A settings file holding formations 1..`count` under keys "int:<id>", plus an unreadable member
// under an id and a formation under a key without one when `odd_members`, and a list nested
// `depth` levels below the root.
std::string settings_file(int count, bool odd_members = false, int depth = 0) {
  json::object dict;
  for (int id = 1; id <= count; ++id) {
    dict["int:" + std::to_string(id)] =
        json::object{{"tuple", json::array{"utf8:F" + std::to_string(id), json::array{}}}};
  }
  if (odd_members) {
    dict["int:90"] = "utf8:unreadable";
    dict["bytes:misc"] = json::object{{"tuple", json::array{"utf8:M", json::array{}}}};
  }
  json::object root{
      {"bytes:ui",
       json::object{{"bytes:probescanning.customFormations",
                     json::object{{"tuple", json::array{"long:1", std::move(dict)}}}}}}};
  json::value deep = 7;
  for (int level = 1; level < depth; ++level) deep = json::array{deep};
  if (depth > 0) root["bytes:deep"] = deep;
  auto value = marshal::json_to_value(root);
  EXPECT_TRUE(value);
  auto bytes = marshal::write_marshal(*value, {.write_crc = false, .mode_byte = 1});
  EXPECT_TRUE(bytes);
  return std::string(bytes->begin(), bytes->end());
}

TEST(AccountListing, IsTheFormationsAndTheCountOrTheFilesError) {
  const struct {
    const char* description;
    std::string path;
    std::size_t formations;
    std::size_t custom_count;
    std::string error;
  } rows[] = {
      {"no formations", "/s/core_user_1.dat", 0, 0, ""},
      {"three formations", "/s/core_user_2.dat", 3, 3, ""},
      {"an unreadable member counts towards the limit, a key without an id for nothing",
       "/s/core_user_3.dat", 2, 3, ""},
      {"not a settings file", "/s/core_user_4.dat", 0, 0,
       "decode /s/core_user_4.dat: invalid marshal stream: missing marshal signature"},
      {"missing", "/s/core_user_5.dat", 0, 0,
       "read /s/core_user_5.dat: No such file or directory (os error 2)"},
      {"unreadable", "/s/core_user_6.dat", 0, 0,
       "read /s/core_user_6.dat: Input/output error (os error 5)"},
  };
  FakePlatform fake;
  fake.put_file("/s/core_user_1.dat", settings_file(0));
  fake.put_file("/s/core_user_2.dat", settings_file(3));
  fake.put_file("/s/core_user_3.dat", settings_file(2, true));
  fake.put_file("/s/core_user_4.dat", "text");
  fake.put_file("/s/core_user_6.dat", settings_file(1));
  fake.fail(Operation::ReadFile, "/s/core_user_6.dat", EIO);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.description);
    const ListingResult listing = read_account_listing(fake, row.path);
    ASSERT_EQ(listing.has_value(), row.error.empty()) << (listing ? "" : listing.error());
    if (!listing) {
      EXPECT_EQ(listing.error(), row.error);
      continue;
    }
    EXPECT_EQ(listing->formations.size(), row.formations);
    EXPECT_EQ(listing->custom_count, row.custom_count);
  }
}

// The pool's threads decode as deeply nested files as the calling thread does: their stacks
// hold the reader's recursion at the format's full depth.
TEST(AccountListing, DeepestFilesListOnEveryThread) {
  for (const std::size_t threads : {1, 4}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    FakePlatform fake;
    fake.processors = threads;
    fake.directories.insert("/s");
    for (int i = 0; i < 6; ++i) {
      fake.put_file("/s/core_user_" + std::to_string(i) + ".dat",
                    settings_file(i, false, static_cast<int>(marshal::MAX_DEPTH) - 1));
    }
    auto files = list_account_files(fake, "/s");
    ASSERT_TRUE(files);
    std::vector<std::string> seen;
    list_accounts_in_order(fake, *files, [&](const AccountFile& file, ListingResult listing) {
      seen.push_back(file.account + ":" +
                     (listing ? std::to_string(listing->formations.size()) : listing.error()));
      return true;
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"0:0", "1:1", "2:2", "3:3", "4:4", "5:5"}));
  }
}

}  // namespace
}  // namespace orvane
