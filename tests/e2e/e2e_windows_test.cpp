// End-to-end cases only Windows has: drive letters and backslashes, UTF-16 file names, the
// Win32 error codes, and a command line that the program splits itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "run_program.hpp"
#include "settings_files.hpp"

namespace e2e {
namespace {

// "é", "日本" and a satellite outside the Basic Multilingual Plane (a surrogate pair on disk).
constexpr char NON_ASCII[] = "\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x9B\xB0";
constexpr wchar_t NON_ASCII_WIDE[] = L"\u00E9\u65E5\u672C\U0001F6F0";

// The error line's quoting of a path: only the backslash needs an escape in these tests.
std::string quoted(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') out += '\\';
    out += c;
  }
  return out;
}

bool starts_with(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool ends_with(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string forward_slashes(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

// Makes `dir` the working directory for one test, so relative paths can be tried.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& dir) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(fs_path(dir));
  }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;
  ~WorkingDirectory() {
    std::error_code ec;
    std::filesystem::current_path(saved_, ec);
  }

 private:
  std::filesystem::path saved_;
};

class E2eWindows : public FolderTest {
 protected:
  std::string make_dir(const std::string& name) {
    const std::string path = dir_.file(name);
    std::error_code ec;
    std::filesystem::create_directories(fs_path(path), ec);
    EXPECT_FALSE(ec) << path;
    return path;
  }
};

TEST_F(E2eWindows, OneFileUnderEverySpellingOfItsPath) {
  make_dir("settings_Default");
  const std::string path =
      put("settings_Default\\core_user_1.dat", encode_settings(numbered_formations(2)));
  ASSERT_TRUE(path.size() > 2 && path[1] == ':') << "expected a drive letter: " << path;
  const WorkingDirectory cwd(dir_.path());

  const std::vector<std::pair<const char*, std::string>> spellings = {
      {"drive letter and backslashes", path},
      {"forward slashes", forward_slashes(path)},
      {"drive-relative root", path.substr(2)},
      {"relative with backslashes", "settings_Default\\core_user_1.dat"},
      {"dot segments", ".\\settings_Default\\..\\settings_Default\\core_user_1.dat"},
      {"extended-length prefix", "\\\\?\\" + path},
  };
  for (const auto& [description, spelling] : spellings) {
    SCOPED_TRACE(description);
    const RunResult r = run_program({"list", spelling});
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "2 formation(s)\nF1\t2 probe(s)\nF2\t2 probe(s)\n");
  }
}

TEST_F(E2eWindows, MissingFilesAndFoldersGiveTheirWin32Codes) {
  const std::string settings = put("core_user_1.dat", encode_settings(numbered_formations(1)));
  const std::string package = put("package.json", package_text(numbered_formations(1, "P")));
  const std::string missing_file = dir_.file("core_user_404.dat");
  const std::string missing_folder = dir_.file("absent\\core_user_1.dat");
  const std::string missing_dir = dir_.file("absent");

  struct Case {
    const char* description;
    std::vector<std::string> args;
    std::string context;  // the error text before the system's description
    int code;
  };
  const std::vector<Case> cases = {
      {"list of a missing file", {"list", missing_file}, "read " + missing_file + ": ", 2},
      {"list in a missing folder", {"list", missing_folder}, "read " + missing_folder + ": ", 3},
      {"apply to a target in a missing folder",
       {"apply", package, missing_folder},
       "read " + missing_folder + ": ",
       3},
      {"apply of a missing package", {"apply", missing_file, settings}, "", 2},
      {"export into a missing folder", {"export", settings, missing_folder}, "", 3},
      {"accounts of a missing folder", {"accounts", missing_dir}, "settings directory: ", 3},
      {"accounts of a missing folder, trailing backslash",
       {"accounts", missing_dir + "\\"},
       "settings directory: ",
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const RunResult r = run_program(c.args);
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const std::string prefix = "Error: \"" + quoted(c.context);
    const std::string suffix = " (os error " + std::to_string(c.code) + ")\"\n";
    EXPECT_TRUE(starts_with(r.err, prefix)) << r.err;
    EXPECT_TRUE(ends_with(r.err, suffix)) << r.err;
    // The system's description sits between them, with its line end removed.
    EXPECT_GT(r.err.size(), prefix.size() + suffix.size()) << r.err;
    EXPECT_EQ(r.err.find_first_of("\r\n"), r.err.size() - 1) << r.err;
  }
  EXPECT_FALSE(file_exists(dir_.file("absent"))) << "nothing may be created on the way";
}

TEST_F(E2eWindows, AccountsJoinsWithOneSeparator) {
  // A blank in the folder name and a trailing backslash is where naive command-line quoting
  // goes wrong: the backslash would escape the closing quote.
  const std::string folder = make_dir("settings Default");
  put("settings Default\\core_user_2.dat", encode_settings(numbered_formations(2)));
  put("settings Default\\core_user_10.dat", encode_settings(numbered_formations(1)));
  put(std::string("settings Default\\core_user_") + NON_ASCII + ".dat",
      encode_settings(numbered_formations(0)));
  put("settings Default\\core_user_2.dat.before-probe-formations", "stale backup");
  const std::string expected =
      std::string("10\t1 formation(s)\n2\t2 formation(s)\n") + NON_ASCII + "\t0 formation(s)\n";

  const std::vector<std::pair<const char*, std::string>> spellings = {
      {"no trailing separator", folder},
      {"trailing backslash", folder + "\\"},
      {"trailing forward slash", folder + "/"},
      {"forward slashes throughout", forward_slashes(folder)},
  };
  for (const auto& [description, spelling] : spellings) {
    SCOPED_TRACE(description);
    const RunResult r = run_program({"accounts", spelling});
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, expected);
  }

  // A broken file shows the joined path in the error line: one separator, never two.
  put("settings Default\\core_user_3.dat", "not a settings file");
  const std::vector<std::pair<std::string, std::string>> joins = {
      {folder, folder + "\\core_user_3.dat"},
      {folder + "\\", folder + "\\core_user_3.dat"},
      {folder + "/", folder + "/core_user_3.dat"},
  };
  for (const auto& [argument, joined] : joins) {
    SCOPED_TRACE(argument);
    const RunResult r = run_program({"accounts", argument});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "10\t1 formation(s)\n2\t2 formation(s)\n");
    EXPECT_TRUE(starts_with(r.err, "Error: \"decode " + quoted(joined) + ": ")) << r.err;
  }
}

TEST_F(E2eWindows, NonAsciiNamesAreUtf16OnDiskAndUtf8InOutput) {
  const std::string folder = std::string("J\xC3\xB6rd ") + NON_ASCII;
  make_dir(folder);
  const std::string target = put(folder + "\\core_user_" + NON_ASCII + ".dat",
                                 encode_settings(std::vector<StoredFormation>{
                                     {1, std::string("Ring ") + NON_ASCII, sample_probes(3)}}));
  const std::string package =
      put(folder + "\\paquete " + NON_ASCII + ".json", package_text(numbered_formations(1, "P")));

  const RunResult listed = run_program({"list", target});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.out, std::string("1 formation(s)\nRing ") + NON_ASCII + "\t3 probe(s)\n")
      << "standard output must carry the UTF-8 bytes, not the console code page";

  const RunResult applied = run_program({"apply", package, target});
  EXPECT_EQ(applied.failure, "");
  EXPECT_EQ(applied.status, 0);
  EXPECT_EQ(applied.err, "");
  EXPECT_EQ(applied.out, std::string("Added 1 formation(s) to account ") + NON_ASCII + "\n");

  // The names on disk, read back through the wide API, are the intended characters.
  std::vector<std::wstring> names;
  for (const auto& entry : std::filesystem::directory_iterator(fs_path(dir_.file(folder)))) {
    names.push_back(entry.path().filename().wstring());
  }
  std::sort(names.begin(), names.end());
  const std::wstring account = std::wstring(L"core_user_") + NON_ASCII_WIDE;
  EXPECT_EQ(names,
            (std::vector<std::wstring>{account + L".dat", account + L".dat.before-probe-formations",
                                       std::wstring(L"paquete ") + NON_ASCII_WIDE + L".json"}));

  const RunResult missing = run_program({"list", dir_.file(folder + "\\" + NON_ASCII + ".dat")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(
      starts_with(missing.err, "Error: \"read " + quoted(dir_.file(folder + "\\" + NON_ASCII))))
      << "the path is printed in UTF-8, unescaped: " << missing.err;
}

// Neither cmd nor PowerShell expands `*` and `?`, so the program does, as a shell would.
TEST_F(E2eWindows, WildcardsAreExpandedByTheProgram) {
  const std::string folder = make_dir("settings_Default");
  make_dir("dots");
  put("p.json", package_text({{1, "New", sample_probes(1)}}));
  const std::string one = "1 formation(s)\nF1\t2 probe(s)\n";
  const WorkingDirectory cwd(dir_.path());

  struct Case {
    const char* description;
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err_prefix;  // the whole of standard error when `exact`
    bool exact = true;
  };
  const std::vector<Case> cases = {
      {"one line per account file, in name order",
       {"apply", "p.json", "settings_Default\\core_user_*.dat"},
       0,
       "Added 1 formation(s) to account 10\nAdded 1 formation(s) to account 1001\n"
       "Added 1 formation(s) to account 2\n",
       ""},
      {"question mark: exactly one character",
       {"list", "settings_Default\\core_user_1?.dat"},
       0,
       one,
       ""},
      {"absolute, forward slashes",
       {"list", forward_slashes(folder) + "/core_user_100?.dat"},
       0,
       one,
       ""},
      {"extended-length prefix", {"list", "\\\\?\\" + folder + "\\core_user_1?.dat"}, 0, one, ""},
      {"a folder matches too",
       {"accounts", "settings_D*"},
       0,
       "10\t1 formation(s)\n1001\t1 formation(s)\n2\t1 formation(s)\n",
       ""},
      {"dot entries never match", {"list", "dots\\.*"}, 0, one, ""},
      {"no match stays as typed",
       {"list", "settings_Default\\core_user_*.bak"},
       1,
       "",
       "Error: \"read settings_Default\\\\core_user_*.bak: ",
       false},
      {"wildcard in a folder component stays as typed",
       {"list", "settings_*\\core_user_10.dat"},
       1,
       "",
       "Error: \"read settings_*\\\\core_user_10.dat: ",
       false},
      {"two matches where list takes one: the usage, as a shell would give",
       {"list", "settings_Default\\*.dat"},
       2,
       "",
       USAGE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    for (const char* name : {"core_user_2.dat", "core_user_10.dat", "core_user_1001.dat"}) {
      put(std::string("settings_Default\\") + name, encode_settings(numbered_formations(1)));
    }
    put("settings_Default\\core_user_2.dat.before-probe-formations", "stale backup");
    put("dots\\.only.dat", encode_settings(numbered_formations(1)));
    const RunResult r = run_program(c.args);
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
    if (c.exact) {
      EXPECT_EQ(r.err, c.err_prefix);
    } else {
      EXPECT_TRUE(starts_with(r.err, c.err_prefix)) << r.err;
    }
  }
}

// The file API refuses a plain path past 260 characters; the program passes every path on in
// the `\\?\` form, which has no such limit.
TEST_F(E2eWindows, PathsPastTheOldLengthLimit) {
  std::string nested;
  for (char letter = 'a'; letter < 'i'; ++letter) {
    nested += (nested.empty() ? "" : "\\") + std::string(40, letter);
  }
  const std::string relative = nested + "\\core_user_1.dat";
  ASSERT_GT(relative.size(), 300u);
  const std::string absolute = dir_.file(relative);
  // The test's own file access goes through the same prefix.
  const auto long_form = [](const std::string& path) { return "\\\\?\\" + path; };
  std::error_code ec;
  std::filesystem::create_directories(fs_path(long_form(dir_.file(nested))), ec);
  ASSERT_FALSE(ec) << ec.message();
  const std::string original = encode_settings(numbered_formations(1));
  const std::string package = put("p.json", package_text({{1, "New", sample_probes(1)}}));
  const WorkingDirectory cwd(dir_.path());

  struct Case {
    const char* description;
    std::vector<std::string> args;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"list, absolute", {"list", absolute}, "1 formation(s)\nF1\t2 probe(s)\n"},
      {"list, relative", {"list", relative}, "1 formation(s)\nF1\t2 probe(s)\n"},
      {"list, forward slashes",
       {"list", forward_slashes(absolute)},
       "1 formation(s)\nF1\t2 probe(s)\n"},
      {"list, dot segments",
       {"list",
        ".\\" + nested + "\\..\\" + nested.substr(nested.rfind('\\') + 1) + "\\core_user_1.dat"},
       "1 formation(s)\nF1\t2 probe(s)\n"},
      {"apply, relative", {"apply", package, relative}, "Added 1 formation(s) to account 1\n"},
      {"accounts, relative", {"accounts", nested}, "1\t1 formation(s)\n"},
      {"export, absolute",
       {"export", absolute, dir_.file(nested + "\\package.json")},
       "Exported 1 formation(s)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    ASSERT_TRUE(write_bytes(long_form(absolute), original));
    const RunResult r = run_program(c.args);
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, c.out);
  }
  EXPECT_EQ(read_bytes(long_form(absolute + ".before-probe-formations")), original)
      << "the backup lies beside the target";
  EXPECT_TRUE(starts_with(read_bytes(long_form(dir_.file(nested + "\\package.json"))), "{"));

  // Messages show the path as typed, not the form handed to the system.
  const std::string missing = nested + "\\core_user_404.dat";
  const RunResult r = run_program({"list", missing});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(starts_with(r.err, "Error: \"read " + quoted(missing) + ": ")) << r.err;
  EXPECT_TRUE(ends_with(r.err, " (os error 2)\"\n")) << r.err;
}

TEST(E2eWindowsCommandLine, ArgumentsArriveExactlyAsTyped) {
  // Each operand names a file that does not exist, so the error line echoes it back.
  const std::vector<std::string> operands = {
      "with blank.dat", "quote\"inside.dat", "back\\\\slashes\\",
      "tab\there.dat",  "trailing\\\"",      std::string(NON_ASCII) + ".dat",
  };
  for (const std::string& operand : operands) {
    SCOPED_TRACE(operand);
    const RunResult r = run_program({"list", operand});
    EXPECT_EQ(r.status, 1);
    std::string shown = quoted(operand);
    std::string escaped;
    for (const char c : shown) {
      if (c == '"') escaped += '\\';
      if (c == '\t') {
        escaped += "\\t";
        continue;
      }
      escaped += c;
    }
    EXPECT_TRUE(starts_with(r.err, "Error: \"read " + escaped + ": ")) << r.err;
  }
}

TEST(E2eWindowsCommandLine, UnpairedSurrogateIsRefused) {
  // ED A0 80 is U+D800 in UTF-8 form; the runner passes it on as a lone UTF-16 surrogate.
  const RunResult r = run_program({"list", "bad\xED\xA0\x80.dat"});
  EXPECT_EQ(r.failure, "");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: \"argument 2 is not valid UTF-16 text\"\n");
}

}  // namespace
}  // namespace e2e
