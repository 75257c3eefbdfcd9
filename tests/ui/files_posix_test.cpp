// The page's reads on a real POSIX file system: pipes, devices and links it lists without
// following, files it reads only up to a bound, and links out of the folder it never writes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/json.hpp>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "api_fixture.hpp"
#include "orvane/core/platform.hpp"
#include "orvane/platform/native_platform.hpp"
#include "orvane/ui/desktop.hpp"

namespace orvane::ui {
namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/orvane-files-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    root_ = name;
    folder_ = root_ / "settings_Default";
    fs::create_directories(folder_);
    fs::create_directories(root_ / "elsewhere");
    ::setenv("XDG_STATE_HOME", (root_ / "state").c_str(), 1);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  fs::path root_;
  fs::path folder_;
  std::unique_ptr<Platform> platform_ = make_native_platform();
  std::unique_ptr<Desktop> desktop_ = make_native_desktop();
};

TEST_F(FilesTest, ReadsOnlyRegularFilesUpToTheBound) {
  std::ofstream(root_ / "hundred") << std::string(100, 'x');
  ASSERT_EQ(::mkfifo((root_ / "pipe").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", root_ / "zero");
  fs::create_symlink(root_ / "hundred", root_ / "link");
  struct Case {
    const char* name;
    std::size_t bound;
    std::optional<ReadRefusal> refusal;  // nothing: read whole
  };
  const Case cases[] = {
      {"hundred", 100, std::nullopt},
      {"hundred", 99, ReadRefusal::TooLarge},
      {"link", 100, std::nullopt},
      {"pipe", 100, ReadRefusal::NotRegular},
      {"zero", 100, ReadRefusal::NotRegular},
      {"missing", 100, ReadRefusal::System},
      {".", 100, ReadRefusal::System},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " within " + std::to_string(c.bound));
    const auto started = std::chrono::steady_clock::now();
    auto read = platform_->read_regular_file((root_ / c.name).string(), c.bound);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    ASSERT_EQ(read.has_value(), !c.refusal.has_value());
    if (read) {
      EXPECT_EQ(read->size(), 100u);
    } else {
      EXPECT_EQ(read.error().refusal, *c.refusal);
    }
  }
}

// A pipe as an account file once hung the listing, and a link to /dev/zero grew it without end.
TEST_F(FilesTest, ListsPipesAndDevicesAsErrorsAtOnceAndWritesNoLinkOutOfTheFolder) {
  const std::string example = std::string(ORVANE_EXAMPLES) + "/core_user_1001.dat";
  fs::copy_file(example, folder_ / "core_user_1001.dat");
  fs::copy_file(std::string(ORVANE_EXAMPLES) + "/core_user_1002.dat",
                root_ / "elsewhere" / "core_user_1002.dat");
  ASSERT_EQ(::mkfifo((folder_ / "core_user_5.dat").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", folder_ / "core_user_6.dat");
  fs::create_symlink(root_ / "elsewhere" / "core_user_1002.dat", folder_ / "core_user_9.dat");
  fs::create_symlink(folder_ / "core_user_1001.dat", folder_ / "core_user_8.dat");

  UiApp app(*platform_, *desktop_, UiSession{TOKEN, PORT, folder_.string()});
  const auto started = std::chrono::steady_clock::now();
  const HttpResponse listing =
      send(app, {.target = "/api/accounts?folder=" + query(folder_.string())});
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  ASSERT_EQ(listing.status, 200u) << listing.body;
  struct Expected {
    const char* account;
    const char* code;  // nullptr: read
  };
  const Expected expected[] = {
      {"1001", nullptr}, {"5", "not_a_regular_file"}, {"6", "not_a_regular_file"}, {"8", nullptr},
      {"9", nullptr},
  };
  const json::value listed = body_of(listing);
  const json::array& accounts = listed.at("accounts").as_array();
  ASSERT_EQ(accounts.size(), std::size(expected));
  json::object versions;
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    SCOPED_TRACE(expected[i].account);
    EXPECT_EQ(accounts[i].at("account"), expected[i].account);
    EXPECT_EQ(accounts[i].at("error_code"),
              expected[i].code ? json::value(expected[i].code) : json::value(nullptr));
    if (accounts[i].at("version").is_string()) {
      versions[accounts[i].at("account").as_string()] = accounts[i].at("version");
    }
  }

  const std::string outside_before = read_all(root_ / "elsewhere" / "core_user_1002.dat");
  const auto apply_to = [&](const char* target) {
    const json::object request{
        {"folder", folder_.string()},
        {"targets", {target}},
        {"dry_run", false},
        {"formations", {{{"account", "1001"}, {"id", 1}, {"name", "Pinpoint Cluster"}}}},
        {"versions", versions}};
    const HttpResponse reply =
        send(app, {.method = "POST", .target = "/api/apply", .body = json::serialize(request)});
    EXPECT_EQ(reply.status, 200u) << reply.body;
    return body_of(reply).at("results").at(0);
  };
  EXPECT_EQ(apply_to("9").at("error_code"), "outside_folder");
  EXPECT_EQ(read_all(root_ / "elsewhere" / "core_user_1002.dat"), outside_before);
  EXPECT_FALSE(fs::exists(folder_ / "core_user_9.dat.before-probe-formations"));

  // A link within the folder is followed: the file it leads to is the account's.
  fs::copy_file(std::string(ORVANE_EXAMPLES) + "/core_user_1002.dat", folder_ / "core_user_7.dat");
  fs::remove(folder_ / "core_user_8.dat");
  fs::create_symlink(folder_ / "core_user_7.dat", folder_ / "core_user_8.dat");
  const json::value relisted =
      body_of(send(app, {.target = "/api/accounts?folder=" + query(folder_.string())}));
  versions["8"] = relisted.at("accounts").at(4).at("version");
  EXPECT_EQ(apply_to("8").at("error"), nullptr);
  EXPECT_TRUE(fs::is_symlink(folder_ / "core_user_8.dat"));
  EXPECT_NE(read_all(folder_ / "core_user_7.dat"),
            read_all(std::string(ORVANE_EXAMPLES) + "/core_user_1002.dat"));
  EXPECT_TRUE(fs::exists(root_ / "state" / "orvane-probe-formations" / "restore-points"));
}

}  // namespace
}  // namespace orvane::ui
