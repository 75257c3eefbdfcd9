#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

#include "orvane/cli/commands.hpp"
#include "orvane/core/settings.hpp"
#include "orvane/platform/native_platform.hpp"

namespace orvane {
namespace {

TEST(BackupPathFor, ReplacesOnlyTheFileNameExtension) {
  struct Case {
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"core_user_12345.dat", "core_user_12345.dat.before-probe-formations"},
      {"settings", "settings.dat.before-probe-formations"},
      {"core_user_1.bak", "core_user_1.dat.before-probe-formations"},
      {".dat", ".dat.dat.before-probe-formations"},
      {"name.", "name.dat.before-probe-formations"},
      {"a.b.c", "a.b.dat.before-probe-formations"},
      {"dir/core_user_1.dat", "dir/core_user_1.dat.before-probe-formations"},
      {"/abs/dir/core_user_1.dat", "/abs/dir/core_user_1.dat.before-probe-formations"},
      {"a.b/c", "a.b/c.dat.before-probe-formations"},
      {"a.b/.hidden", "a.b/.hidden.dat.before-probe-formations"},
      {"core_user_1.dat.before-probe-formations", "core_user_1.dat.dat.before-probe-formations"},
#ifdef _WIN32
      {"C:\\s.d\\core_user_1.dat", "C:\\s.d\\core_user_1.dat.before-probe-formations"},
      {"C:\\s.d\\prefs", "C:\\s.d\\prefs.dat.before-probe-formations"},
#else
      // Outside Windows a backslash is part of the file name.
      {"s.d\\prefs", "s.dat.before-probe-formations"},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(backup_path_for(c.path), c.expected);
  }
}

TEST(AccountLabel, IsTheStemAfterThePrefix) {
  struct Case {
    const char* path;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"core_user_12345.dat", "12345"},
      {"core_user_.dat", ""},
      {"dir/core_user_7.dat", "7"},
      {"a.b/core_user_7.dat", "7"},
      {"core_user_7", "7"},
      {"core_user_7.bak", "7"},
      {"core_user_a.b.dat", "a.b"},
      {"core_user_\xc3\xa9.dat", "\xc3\xa9"},
      {"core_user_\xff.dat", std::nullopt},
      {"Core_user_7.dat", std::nullopt},
      {"backup.dat", std::nullopt},
      {"prefs.dat", std::nullopt},
      {"core_user.dat", std::nullopt},
      {"dir/", std::nullopt},
      {"", std::nullopt},
#ifdef _WIN32
      {"C:\\s\\core_user_7.dat", "7"},
#else
      {"C:\\s\\core_user_7.dat", std::nullopt},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(account_label(c.path), c.expected);
  }
}

TEST(IsAccountFileName, AcceptsOnlyAccountSettingsFiles) {
  struct Case {
    std::string name;
    bool expected;
  };
  const Case cases[] = {
      {"core_user_12345.dat", true},
      {"core_user_.dat", true},
      {"core_user_a_b.dat", true},
      {"core_user_\xc3\xa9.dat", true},
      {"core_user__.dat", false},
      {"core_user_1__old.dat", false},
      {"Core_user_1.dat", false},
      {"core_user_1.DAT", false},
      {"core_user_1.dat.before-probe-formations", false},
      {"core_user_1.dat ", false},
      {"core_user_\xff.dat", false},
      {"core_user_", false},
      {"core_user.dat", false},
      {"prefs.dat", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(is_account_file_name(c.name), c.expected);
  }
}

#ifndef _WIN32
// The native platform on the real file system, in a fresh directory per test.
class NativePlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           (std::string("orvane-native-") + info->name() + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  std::unique_ptr<Platform> platform_ = make_native_platform();
  std::filesystem::path dir_;
};

support::UnclearedBytes bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

OsError os_error_of(const OsError& error) { return error; }
OsError os_error_of(const WriteError& error) { return error.os; }

TEST_F(NativePlatformTest, WritesReadsAndCopiesWholeFiles) {
  const std::string a = path("a.dat");
  const std::string b = path("b.dat");
  ASSERT_TRUE(platform_->write_file(a, bytes_of("longer first content")));
  ASSERT_TRUE(platform_->write_file(a, bytes_of(std::string("x\0y", 3))));
  auto read = platform_->read_file(a);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, bytes_of(std::string("x\0y", 3)));

  ASSERT_TRUE(platform_->write_file(b, bytes_of("an older backup, longer than the copy")));
  ASSERT_TRUE(platform_->copy_file(a, b));
  EXPECT_EQ(*platform_->read_file(b), bytes_of(std::string("x\0y", 3)));

  ASSERT_TRUE(platform_->write_file(a, {}));
  EXPECT_TRUE(platform_->read_file(a)->empty());
}

// A copy is the source byte for byte whatever the source is; a name that leads back to the
// source leaves it as it was.
TEST_F(NativePlatformTest, CopiesAnyFileWhole) {
  std::vector<std::uint8_t> large(3 * 1024 * 1024 + 17);
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<std::uint8_t>(i * 131 >> 3);
  ASSERT_TRUE(platform_->write_file(path("large"), large));
  ASSERT_TRUE(platform_->write_file(path("small"), bytes_of("small")));
  ASSERT_TRUE(platform_->write_file(path("empty"), {}));
  std::filesystem::create_symlink(path("small"), path("link"));
  struct Case {
    const char* description;
    std::string from;
    std::string to;
    std::string expected_from;  // whose content the copy must hold: read before the copy
  };
  const Case cases[] = {
      {"a file larger than one buffer", path("large"), path("large.copy"), path("large")},
      {"an empty file over a longer one", path("empty"), path("large.copy"), path("empty")},
      {"a file onto itself", path("small"), path("small"), path("small")},
      {"a file onto a link to itself", path("small"), path("link"), path("small")},
      {"a file the kernel makes up", "/proc/version", path("version"), "/proc/version"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    auto expected = platform_->read_file(c.expected_from);
    ASSERT_TRUE(expected);
    ASSERT_TRUE(platform_->copy_file(c.from, c.to));
    EXPECT_EQ(*platform_->read_file(c.to), *expected);
    EXPECT_EQ(*platform_->read_file(c.from), *expected);
  }
}

// The copy is always a file of its own: whatever stood at its name is replaced, never written
// through, and a file that name used to lead to stays as it was.
TEST_F(NativePlatformTest, CopyIsANewFileWhateverStoodAtItsName) {
  namespace fs = std::filesystem;
  struct Case {
    const char* description;
    std::function<void(const std::string& to)> prepare;
  };
  const Case cases[] = {
      {"nothing", [](const std::string&) {}},
      {"a longer file",
       [&](const std::string& to) {
         (void)platform_->write_file(to, bytes_of("an older, longer backup"));
       }},
      {"a link to another file",
       [&](const std::string& to) { fs::create_symlink(path("other"), to); }},
      {"a hard link to another file",
       [&](const std::string& to) { fs::create_hard_link(path("other"), to); }},
      {"a hard link to the source",
       [&](const std::string& to) { fs::create_hard_link(path("source"), to); }},
      {"a dangling link", [&](const std::string& to) { fs::create_symlink(path("missing"), to); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    ASSERT_TRUE(platform_->write_file(path("source"), bytes_of("source bytes")));
    ASSERT_TRUE(platform_->write_file(path("other"), bytes_of("another account")));
    ::chmod(path("source").c_str(), 0600);
    const std::string to = path("backup");
    c.prepare(to);
    ASSERT_TRUE(platform_->copy_file(path("source"), to));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(to)));
    EXPECT_EQ(fs::hard_link_count(to), 1u);
    EXPECT_EQ(fs::status(to).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(*platform_->read_file(to), bytes_of("source bytes"));
    EXPECT_EQ(*platform_->read_file(path("source")), bytes_of("source bytes"));
    EXPECT_EQ(*platform_->read_file(path("other")), bytes_of("another account"));
    EXPECT_FALSE(fs::exists(path("missing")));
    fs::remove(to);
  }
  fs::create_directory(path("folder"));
  auto refused = platform_->copy_file(path("source"), path("folder"));
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().code, EISDIR);
}

TEST_F(NativePlatformTest, ExaminedFilesAreKnownByWhatTheyAre) {
  namespace fs = std::filesystem;
  ASSERT_TRUE(platform_->write_file(path("a"), bytes_of("a")));
  ASSERT_TRUE(platform_->write_file(path("b"), bytes_of("a")));
  fs::create_symlink(path("a"), path("link"));
  fs::create_hard_link(path("a"), path("hard"));
  const auto a = platform_->examine_file(path("a"));
  ASSERT_TRUE(a);
  EXPECT_TRUE(a->regular);
  EXPECT_EQ(platform_->examine_file(path("link"))->identity, a->identity);
  EXPECT_EQ(platform_->examine_file(path("hard"))->identity, a->identity);
  EXPECT_EQ(platform_->examine_file(dir_.string() + "/./a")->identity, a->identity);
  EXPECT_NE(platform_->examine_file(path("b"))->identity, a->identity);
  EXPECT_FALSE(platform_->examine_file(dir_.string())->regular);
  EXPECT_FALSE(platform_->examine_file("/dev/null")->regular);
  EXPECT_FALSE(platform_->examine_file(path("missing")));
}

volatile std::sig_atomic_t interruptions_seen = 0;

// A signal raised while interruptions are held arrives only once they are released.
TEST_F(NativePlatformTest, HeldInterruptionsArriveOnRelease) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(signal);
    interruptions_seen = 0;
    const auto previous =
        std::signal(signal, [](int) { interruptions_seen = interruptions_seen + 1; });
    {
      const InterruptionsHeld held(*platform_);
      std::raise(signal);
      EXPECT_EQ(interruptions_seen, 0);
    }
    EXPECT_EQ(interruptions_seen, 1);
    std::signal(signal, previous);
  }
}

TEST_F(NativePlatformTest, ReportsOsErrors) {
  ASSERT_TRUE(platform_->write_file(path("file"), bytes_of("x")));
  const auto code_of = [](const auto& result) -> std::optional<int> {
    if (result) return std::nullopt;
    return os_error_of(result.error()).code;
  };
  struct Case {
    const char* description;
    std::function<std::optional<int>()> run;
    int expected;
  };
  const Case cases[] = {
      {"read a missing file", [&] { return code_of(platform_->read_file(path("missing"))); },
       ENOENT},
      {"read a directory", [&] { return code_of(platform_->read_file(dir_.string())); }, EISDIR},
      {"write into a missing directory",
       [&] { return code_of(platform_->write_file(path("missing/x"), bytes_of("x"))); }, ENOENT},
      {"copy a missing file",
       [&] { return code_of(platform_->copy_file(path("missing"), path("copy"))); }, ENOENT},
      {"list a missing directory",
       [&] { return code_of(platform_->list_directory(path("missing"))); }, ENOENT},
      {"list a file", [&] { return code_of(platform_->list_directory(path("file"))); }, ENOTDIR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(c.run(), c.expected);
  }
  EXPECT_FALSE(std::filesystem::exists(path("copy")));
  EXPECT_EQ(platform_->os_error_text(OsError{ENOENT}),
            "No such file or directory (os error " + std::to_string(ENOENT) + ")");
}

// Only a write that got the file open may have changed it, and only then is a restore due.
TEST_F(NativePlatformTest, WriteFailuresTellWhetherTheFileWasOpened) {
  struct Case {
    const char* description;
    std::string path;
    WriteStage stage;
    int code;
  };
  const Case cases[] = {
      {"into a missing directory", path("missing/x"), WriteStage::Opening, ENOENT},
      {"over a directory", dir_.string(), WriteStage::Opening, EISDIR},
      // Opens like any file, then refuses every byte as a full disk would.
      {"to a full device", "/dev/full", WriteStage::Writing, ENOSPC},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    auto written = platform_->write_file(c.path, bytes_of("settings"));
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().stage, c.stage);
    EXPECT_EQ(written.error().os.code, c.code);
  }
}

TEST_F(NativePlatformTest, ListsEntriesWithoutDotEntries) {
  ASSERT_TRUE(platform_->write_file(path("core_user_1.dat"), bytes_of("x")));
  std::filesystem::create_directory(path("sub"));
  auto names = platform_->list_directory(dir_.string());
  ASSERT_TRUE(names);
  std::sort(names->begin(), names->end());
  EXPECT_EQ(*names, (std::vector<std::string>{"core_user_1.dat", "sub"}));
}

TEST_F(NativePlatformTest, JoinsPathsAndReadsTheClock) {
  EXPECT_EQ(platform_->join_path("dir", "f"), "dir/f");
  EXPECT_EQ(platform_->join_path("dir/", "f"), "dir/f");
  // 2020-01-01 and 2100-01-01 as FILETIME: a sanity window for the conversion.
  const std::uint64_t now = platform_->now_filetime();
  EXPECT_GT(now, 132223104000000000u);
  EXPECT_LT(now, 157469184000000000u);
}

#endif  // _WIN32

}  // namespace
}  // namespace orvane
