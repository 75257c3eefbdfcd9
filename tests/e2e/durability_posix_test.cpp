// What keeps a player's settings safe on a real POSIX system: the backup is a file of its own
// whatever stood at its name, it reaches the disk before the target is cut, the target reaches
// it before its line is printed, and an interruption during the write waits for it. The system
// calls are watched with strace, which also injects the signals.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "run_program.hpp"
#include "settings_files.hpp"

namespace e2e {
namespace {

namespace fs = std::filesystem;

std::string backup_of(const std::string& dat_path) {
  return dat_path.substr(0, dat_path.size() - 4) + ".dat.before-probe-formations";
}

unsigned permissions_of(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return info.st_mode & 0777;
}

bool strace_available() { return std::system("strace -V >/dev/null 2>&1") == 0; }

// The leak checker of a sanitizer build cannot run under ptrace and would abort the program.
std::vector<std::string> strace(std::vector<std::string> options) {
  options.insert(options.begin(), {"strace", "-E", "ASAN_OPTIONS=detect_leaks=0"});
  return options;
}

// One line of strace's output: `name(arguments) = result`.
struct Call {
  std::string name;
  std::string arguments;
  std::string result;
};

std::vector<Call> read_trace(const std::string& path) {
  static const std::regex line(R"(^(\w+)\((.*)\)\s+=\s+(\S+).*$)");
  std::vector<Call> calls;
  std::ifstream in(path);
  std::smatch m;
  for (std::string text; std::getline(in, text);) {
    if (std::regex_match(text, m, line)) calls.push_back({m[1], m[2], m[3]});
  }
  return calls;
}

using CallTest = std::function<bool(const Call&)>;

CallTest call_of(const std::string& name, const std::string& argument_start,
                 const std::string& containing = "") {
  return [=](const Call& c) {
    return c.name == name && c.arguments.starts_with(argument_start) &&
           c.arguments.find(containing) != std::string::npos;
  };
}

CallTest opening(const std::string& path, const std::string& flag) {
  return call_of("openat", "AT_FDCWD, \"" + path + "\", ", flag);
}

CallTest syncing(const std::string& fd) {
  return [=](const Call& c) { return c.name == "fsync" && c.arguments == fd; };
}

// The index of the first call from `from` on that passes `test`; the size when none does.
std::size_t find_call(const std::vector<Call>& calls, std::size_t from, const CallTest& test) {
  for (std::size_t i = from; i < calls.size(); ++i) {
    if (test(calls[i])) return i;
  }
  return calls.size();
}

// Which call of its name the call at `index` is, counted from 1 as strace's injection counts.
int occurrence(const std::vector<Call>& calls, std::size_t index) {
  int n = 0;
  for (std::size_t i = 0; i <= index; ++i) n += calls[i].name == calls[index].name;
  return n;
}

class Durability : public FolderTest {
 protected:
  void SetUp() override {
    if (!strace_available()) GTEST_SKIP() << "strace is not installed";
  }
};

using BackupPlace = FolderTest;

// Whatever stands at the backup path is replaced by a new regular file with the target's
// permission bits; no other file changes, and a target whose write fails is put back whole.
TEST_F(BackupPlace, BackupIsAFileOfItsOwn) {
  const std::string original = encode_settings(numbered_formations(1));
  const std::string neighbour = encode_settings(numbered_formations(2, "N"));
  const std::string package = put("p.json", package_text(numbered_formations(6, "P")));
  struct Case {
    const char* description;
    std::function<void(const std::string& backup)> prepare;
  };
  const Case cases[] = {
      {"nothing there", [](const std::string&) {}},
      {"an older backup", [&](const std::string& b) { write_bytes(b, "older"); }},
      {"a link to another account's file",
       [&](const std::string& b) { fs::create_symlink(fs_path(dir_.file("core_user_8.dat")), b); }},
      {"a hard link to another account's file",
       [&](const std::string& b) {
         fs::create_hard_link(fs_path(dir_.file("core_user_8.dat")), b);
       }},
      {"a hard link to the target itself",
       [&](const std::string& b) {
         fs::create_hard_link(fs_path(dir_.file("core_user_7.dat")), b);
       }},
  };
  for (const bool write_fails : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.description) + (write_fails ? ", write fails" : ", written"));
      const std::string target = put("core_user_7.dat", original);
      const std::string other = put("core_user_8.dat", neighbour);
      ::chmod(target.c_str(), 0600);
      std::error_code ec;
      fs::remove(fs_path(backup_of(target)), ec);
      c.prepare(backup_of(target));

      // The merged target outgrows the original, so a limit of the original's size lets the
      // backup through and cuts the target's write short.
      const RunResult r =
          write_fails ? run_program_with_file_size_limit({"apply", package, target},
                                                         original.size(), FileSizeSignal::Ignored)
                      : run_program({"apply", package, target});
      EXPECT_EQ(r.failure, "");
      EXPECT_EQ(r.status, write_fails ? 1 : 0) << r.err;
      EXPECT_EQ(read_bytes(other), neighbour) << "another account's file is never written";
      const fs::path backup = fs_path(backup_of(target));
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(backup)));
      EXPECT_EQ(fs::hard_link_count(backup), 1u);
      EXPECT_EQ(fs::hard_link_count(fs_path(target)), 1u);
      EXPECT_EQ(permissions_of(backup_of(target)), 0600u);
      EXPECT_EQ(read_bytes(backup_of(target)), original);
      if (write_fails) {
        EXPECT_EQ(read_bytes(target), original) << "put back whole from the backup";
      } else {
        EXPECT_EQ(run_program({"list", target}).out.substr(0, 15), "7 formation(s)\n");
      }
    }
  }
}

// The backup's data and folder entry are on the disk before the target is opened for writing;
// the target's data is on the disk before its line is printed; interruptions are held from
// before the target is opened until it is whole.
TEST_F(Durability, SyncsInTheOrderThatKeepsAWholeCopy) {
  const std::string target = put("core_user_7.dat", encode_settings(numbered_formations(1)));
  const std::string package = put("p.json", package_text(numbered_formations(2, "P")));
  const std::string trace = dir_.file("trace");
  const RunResult r = run_program_under(
      strace({"-o", trace, "-e", "trace=openat,fsync,fdatasync,rt_sigprocmask,write"}),
      {"apply", package, target});
  ASSERT_EQ(r.failure, "");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<Call> calls = read_trace(trace);

  const std::size_t backup_open = find_call(calls, 0, opening(backup_of(target), "O_EXCL"));
  ASSERT_LT(backup_open, calls.size());
  const std::string backup_fd = calls[backup_open].result;
  struct Step {
    const char* description;
    CallTest test;
  };
  const std::vector<Step> steps = {
      {"the backup synced", syncing(backup_fd)},
      {"its folder opened", opening(dir_.path(), "O_DIRECTORY")},
  };
  std::size_t at = backup_open;
  for (const Step& step : steps) {
    at = find_call(calls, at + 1, step.test);
    ASSERT_LT(at, calls.size()) << step.description;
  }
  const std::string folder_fd = calls[at].result;
  const std::size_t folder_sync = find_call(calls, at + 1, syncing(folder_fd));
  ASSERT_LT(folder_sync, calls.size()) << "the folder synced";
  const std::size_t held = find_call(calls, folder_sync + 1,
                                     call_of("rt_sigprocmask", "SIG_BLOCK, [HUP INT QUIT TERM]"));
  ASSERT_LT(held, calls.size()) << "interruptions held after the backup is on the disk";
  const std::size_t target_open = find_call(calls, held + 1, opening(target, "O_TRUNC"));
  ASSERT_LT(target_open, calls.size()) << "the target cut only once they are held";
  EXPECT_EQ(find_call(calls, 0, opening(target, "O_TRUNC")), target_open)
      << "no earlier truncating open of the target";
  const std::string target_fd = calls[target_open].result;
  const std::size_t target_sync = find_call(calls, target_open + 1, syncing(target_fd));
  ASSERT_LT(target_sync, calls.size()) << "the target synced";
  const std::size_t released =
      find_call(calls, target_sync + 1, call_of("rt_sigprocmask", "SIG_SETMASK, []"));
  ASSERT_LT(released, calls.size()) << "interruptions released once the target is whole";
  const std::size_t line = find_call(calls, released + 1, call_of("write", "1, \"Added 2"));
  EXPECT_LT(line, calls.size()) << "the line printed last";
}

// A SIGINT that arrives while the target is being written waits for the write: the program then
// ends as interrupted, with the target whole and merged. One that arrives before the write
// begins ends the program there, with the target as it was.
TEST_F(Durability, InterruptionDuringTheWriteWaitsForIt) {
  JsonValue tree = settings_tree(numbered_formations(1), 1);
  // 16 MB of other settings: a write long enough to be caught in the middle.
  tree.as_object()["bytes:history"] = "utf8:" + std::string(std::size_t{16} << 20, 'h');
  const std::string original = encode_settings(tree);
  const std::string package = put("p.json", package_text(numbered_formations(2, "P")));
  const std::string target = dir_.file("core_user_7.dat");

  put("core_user_7.dat", original);
  const std::string trace = dir_.file("trace");
  const RunResult reference = run_program_under(
      strace({"-o", trace, "-e", "trace=openat,write,fsync"}), {"apply", package, target});
  ASSERT_EQ(reference.status, 0) << reference.err;
  const std::string merged_listing = run_program({"list", target}).out;
  ASSERT_EQ(merged_listing.substr(0, 15), "3 formation(s)\n");
  const std::vector<Call> calls = read_trace(trace);
  const std::size_t target_open = find_call(calls, 0, opening(target, "O_TRUNC"));
  ASSERT_LT(target_open, calls.size());
  const std::string target_fd = calls[target_open].result;

  struct Case {
    const char* description;
    std::size_t call;  // in the reference trace
    bool whole;        // merged whole, or else left as it was
  };
  const Case cases[] = {
      {"at the target's truncating open", target_open, true},
      {"at the target's first write",
       find_call(calls, target_open, call_of("write", target_fd + ", ")), true},
      {"at the target's sync", find_call(calls, target_open, syncing(target_fd)), true},
      {"before the write, at the package's open", find_call(calls, 0, opening(package, "")), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    ASSERT_LT(c.call, calls.size());
    put("core_user_7.dat", original);
    std::error_code ec;
    fs::remove(fs_path(backup_of(target)), ec);
    const std::string name = calls[c.call].name;
    const RunResult r = run_program_under(strace({"-o", "/dev/null", "-e", "trace=" + name, "-e",
                                                  "inject=" + name + ":signal=SIGINT:when=" +
                                                      std::to_string(occurrence(calls, c.call))}),
                                          {"apply", package, target});
    EXPECT_EQ(r.failure, "killed by signal 2 (Interrupt)");
    EXPECT_EQ(r.out, "");
    if (c.whole) {
      EXPECT_EQ(run_program({"list", target}).out, merged_listing);
      EXPECT_EQ(read_bytes(backup_of(target)), original);
    } else {
      EXPECT_EQ(read_bytes(target), original);
    }
  }
}

}  // namespace
}  // namespace e2e
